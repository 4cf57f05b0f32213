// The incident list of the split selection page, as the split engine sees it: one entry per
// incident with its text, its tag (the incident's id), a tick the user sets and a status the
// engine writes, and the label that counts the ticks. The wizard shows it in its list view;
// msu and the tests keep it in memory (IncidentEntries).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/incident_tag.h"

namespace msu::split {

class IncidentList {
 public:
  virtual ~IncidentList() = default;

  virtual void Clear() = 0;
  // Adds an unticked entry at the end. The wizard lets pending window events run after each.
  virtual void AddItem(const std::string& text, const std::string& tag) = 0;
  virtual int Count() const = 0;
  // The entry at `index` (from 0).
  virtual std::string Text(int index) const = 0;
  virtual std::string Tag(int index) const = 0;
  virtual bool Checked(int index) const = 0;
  // Writes the entry's second column and shows it in bold or not.
  virtual void SetStatus(int index, const std::string& status, bool bold) = 0;
  // Switches the list on (it takes ticks) or off.
  virtual void SetEnabled(bool enabled) = 0;
  // The caption of the count label beside the list.
  virtual void SetSelectedCaption(const std::string& caption) = 0;
};

// The list in memory.
class IncidentEntries : public IncidentList {
 public:
  struct Entry {
    std::string text;
    std::string tag;
    bool checked = false;
    std::string status;
    bool bold = false;
  };

  void Clear() override { entries_.clear(); }
  void AddItem(const std::string& text, const std::string& tag) override {
    entries_.push_back({text, tag, false, "", false});
  }
  int Count() const override { return static_cast<int>(entries_.size()); }
  std::string Text(int index) const override { return At(index).text; }
  std::string Tag(int index) const override { return At(index).tag; }
  bool Checked(int index) const override { return At(index).checked; }
  void SetStatus(int index, const std::string& status, bool bold) override;
  void SetEnabled(bool enabled) override { enabled_ = enabled; }
  void SetSelectedCaption(const std::string& caption) override { caption_ = caption; }

  // Ticks the entry of incident `id`, as the user would; false when no entry has that id.
  bool Tick(int64_t id);
  const std::vector<Entry>& Entries() const { return entries_; }
  bool Enabled() const { return enabled_; }
  const std::string& SelectedCaption() const { return caption_; }

 private:
  const Entry& At(int index) const { return entries_.at(static_cast<size_t>(index)); }

  std::vector<Entry> entries_;
  bool enabled_ = true;
  std::string caption_;
};

}  // namespace msu::split
