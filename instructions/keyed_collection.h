// The ordered keyed list under every collection of the instruction model: items keep the order
// in which they were added, numeric indexes start at 1, and text keys are compared without
// regard to ASCII letter case. Each collection owns its items; references to them stay valid
// until the item is removed or the collection ends.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>
#include "core/numbered_error.h"

#include "core/text.h"

namespace msu::instructions {

// A failed Add, Item or Remove. The loader quotes description() in its error lines.
class CollectionError : public NumberedError {
 public:
  using NumberedError::NumberedError;
};

template <typename T>
class KeyedCollection {
  struct Entry {
    std::string key;  // upper-cased; empty for an item without a key
    std::unique_ptr<T> item;
  };
  using EntryIterator = typename std::vector<Entry>::const_iterator;

 public:
  KeyedCollection() = default;
  KeyedCollection(KeyedCollection&&) noexcept = default;
  KeyedCollection& operator=(KeyedCollection&&) noexcept = default;
  KeyedCollection(const KeyedCollection&) = delete;
  KeyedCollection& operator=(const KeyedCollection&) = delete;

  // Number of items.
  int32_t Count() const { return static_cast<int32_t>(entries_.size()); }

  // The item at `index` (1 to Count). Throws CollectionError (kErrSubscriptOutOfRange) otherwise.
  T& Item(long index) { return *entries_[Position(index)].item; }
  const T& Item(long index) const { return *entries_[Position(index)].item; }

  // The item stored under `key`, compared without regard to case. Throws CollectionError
  // (kErrInvalidProcedureCall) when no item has that key.
  T& Item(std::string_view key) { return *Find(key); }
  const T& Item(std::string_view key) const { return *Find(key); }

  // True when an item is stored under `key`.
  bool Contains(std::string_view key) const { return by_key_.count(UpperCase(key)) != 0; }

  // Removes the item at `index` or under `key`. Throws CollectionError when there is none; the
  // collection is then unchanged.
  void Remove(long index) { Erase(Position(index)); }
  void Remove(std::string_view key) {
    T* item = Find(key);
    for (size_t i = 0; i < entries_.size(); ++i) {
      if (entries_[i].item.get() == item) return Erase(i);
    }
  }

  // Enumeration in the order of adding (the NewEnum of the suite's collections).
  class Iterator {
   public:
    explicit Iterator(EntryIterator it) : it_(it) {}
    T& operator*() const { return *it_->item; }
    T* operator->() const { return it_->item.get(); }
    Iterator& operator++() {
      ++it_;
      return *this;
    }
    bool operator==(const Iterator& other) const { return it_ == other.it_; }
    bool operator!=(const Iterator& other) const { return it_ != other.it_; }

   private:
    EntryIterator it_;
  };
  Iterator begin() const { return Iterator(entries_.cbegin()); }
  Iterator end() const { return Iterator(entries_.cend()); }

 protected:
  // Appends `item`, under `key` when the key is not empty. Throws CollectionError
  // (kErrDuplicateKey) when the key is taken; the collection is then unchanged and the item is
  // destroyed.
  T& Append(std::unique_ptr<T> item, std::string_view key) {
    CheckKeyFree(key);
    std::string upper = UpperCase(key);
    T& added = *item;
    entries_.push_back(Entry{key.empty() ? std::string() : upper, std::move(item)});
    if (!key.empty()) by_key_.emplace(std::move(upper), &added);
    return added;
  }

  // Throws CollectionError (kErrDuplicateKey) when `key` is not empty and already taken.
  void CheckKeyFree(std::string_view key) const {
    if (!key.empty() && by_key_.count(UpperCase(key)) != 0) {
      throw CollectionError(kErrDuplicateKey,
                            "This key is already associated with an element of this "
                            "collection: \"" +
                                std::string(key) + "\"");
    }
  }

 private:
  size_t Position(long index) const {
    if (index < 1 || index > static_cast<long>(entries_.size())) {
      throw CollectionError(kErrSubscriptOutOfRange,
                            "Subscript out of range: this collection has no element at index " +
                                std::to_string(index) + " (it holds " +
                                std::to_string(entries_.size()) + ")");
    }
    return static_cast<size_t>(index - 1);
  }

  T* Find(std::string_view key) const {
    auto it = by_key_.find(UpperCase(key));
    if (it == by_key_.end()) {
      throw CollectionError(
          kErrInvalidProcedureCall,
          "No element of this collection has the key \"" + std::string(key) + "\"");
    }
    return it->second;
  }

  void Erase(size_t position) {
    if (!entries_[position].key.empty()) by_key_.erase(entries_[position].key);
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(position));
  }

  std::vector<Entry> entries_;
  std::unordered_map<std::string, T*> by_key_;
};

}  // namespace msu::instructions
