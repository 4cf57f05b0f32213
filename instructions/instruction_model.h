// The processing instructions in memory: the core tables to renumber and copy, each with the
// child tables that carry its key, and the lookup tables to check and copy, each with its code
// fields and the tables that refer to it.
//
//   Tables   -> PTable  -> Children  -> Child
//   LookUps  -> LookUp  -> CodeFields -> CodeField
//                       -> RefTables  -> RefTable -> CodeFields -> CodeField
//
// Every collection keeps the order of adding, counts from 1 and compares keys without regard to
// case (see keyed_collection.h). Sub-collections are held by value, so reading one never yields
// nothing: a new item starts with empty ones. The Set... slots of the sub-collections replace
// them with the given collection.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "instructions/keyed_collection.h"

namespace msu {
class Context;
}  // namespace msu

namespace msu::instructions {

// Key text of a table declared without a key, and code field of a lookup or referring table
// declared without a field list.
inline constexpr const char* kNoKey = "<NONE>";

class CodeField {
 public:
  const std::string& FieldName() const { return field_name_; }
  void SetFieldName(std::string name) { field_name_ = std::move(name); }

 private:
  std::string field_name_;
};

class CodeFields : public KeyedCollection<CodeField> {
 public:
  // Appends a code field, under `key` when it is not empty. Throws CollectionError when the key
  // is taken; the collection is then unchanged.
  CodeField& Add(std::string field_name, std::string_view key = {});
};

class RefTable {
 public:
  const std::string& TableName() const { return table_name_; }
  void SetTableName(std::string name) { table_name_ = std::move(name); }

  // The fields of the referring table that hold the lookup's code, in the order of the
  // lookup's own code fields.
  instructions::CodeFields& CodeFields() { return code_fields_; }
  const instructions::CodeFields& CodeFields() const { return code_fields_; }
  void SetCodeFields(instructions::CodeFields fields) { code_fields_ = std::move(fields); }

 private:
  std::string table_name_;
  instructions::CodeFields code_fields_;
};

class RefTables : public KeyedCollection<RefTable> {
 public:
  // Appends a referring table, under `key` when it is not empty. Throws CollectionError when
  // the key is taken; the collection is then unchanged.
  RefTable& Add(std::string table_name, std::string_view key = {});
};

class LookUp {
 public:
  const std::string& TableName() const { return table_name_; }
  void SetTableName(std::string name) { table_name_ = std::move(name); }

  instructions::CodeFields& CodeFields() { return code_fields_; }
  const instructions::CodeFields& CodeFields() const { return code_fields_; }
  void SetCodeFields(instructions::CodeFields fields) { code_fields_ = std::move(fields); }

  instructions::RefTables& RefTables() { return ref_tables_; }
  const instructions::RefTables& RefTables() const { return ref_tables_; }
  void SetRefTables(instructions::RefTables tables) { ref_tables_ = std::move(tables); }

 private:
  std::string table_name_;
  instructions::CodeFields code_fields_;
  instructions::RefTables ref_tables_;
};

class LookUps : public KeyedCollection<LookUp> {
 public:
  // Appends a lookup table, under `key` when it is not empty (the loader gives none, so one
  // table may stand in several items). Throws CollectionError when the key is taken.
  LookUp& Add(std::string table_name, std::string_view key = {});
};

class Child {
 public:
  const std::string& TableName() const { return table_name_; }
  void SetTableName(std::string name) { table_name_ = std::move(name); }

  // The field of the child table that holds the parent's key.
  const std::string& ForeignKey() const { return foreign_key_; }
  void SetForeignKey(std::string key) { foreign_key_ = std::move(key); }

  // A count kept for the callers; no operation of the utility sets it.
  int32_t RecordsUpdated() const { return records_updated_; }
  void SetRecordsUpdated(int32_t count) { records_updated_ = count; }

 private:
  std::string table_name_;
  std::string foreign_key_;
  int32_t records_updated_ = 0;
};

class Children : public KeyedCollection<Child> {
 public:
  Children() = default;
  Children(Children&&) noexcept = default;
  Children& operator=(Children&&) noexcept = default;

  // Sets context.merge.CurrentOperation to " Loading CVN Table instructions for: " followed by
  // the table name, then appends a child, under `key` when it is not empty. Never throws: when
  // the append fails, the error goes to the error log (HandleError, which raises the error flag
  // that stops the loader) and the new child is still returned; it is then not part of the
  // collection, but stays alive as long as the collection does.
  Child& Add(Context& context, std::string table_name, std::string foreign_key,
             std::string_view key = {});

 private:
  std::vector<std::unique_ptr<Child>> rejected_;
};

class PTable {
 public:
  const std::string& TableName() const { return table_name_; }
  void SetTableName(std::string name) { table_name_ = std::move(name); }

  // Writing the key text decides AutoIncrement: a text that contains "AUTOINCREMENT" (any case)
  // marks a table whose keys the database assigns, and the key field is then the text after
  // its last "=" (all of it when there is none), untrimmed. Any other text is kept as written,
  // "+" and all: the renumbering splits a second key field off it.
  const std::string& PrimaryKey() const { return primary_key_; }
  void SetPrimaryKey(std::string key_text);
  bool AutoIncrement() const { return auto_increment_; }

  instructions::Children& Children() { return children_; }
  const instructions::Children& Children() const { return children_; }
  void SetChildren(instructions::Children children) { children_ = std::move(children); }

 private:
  std::string table_name_;
  std::string primary_key_;
  bool auto_increment_ = false;
  instructions::Children children_;
};

class Tables : public KeyedCollection<PTable> {
 public:
  // Creates a PTable with the table name and then the key text (which sets AutoIncrement) and
  // appends it, under `key` when it is not empty. Throws CollectionError when the key is taken;
  // the collection is then unchanged.
  PTable& Add(std::string table_name, std::string primary_key, std::string_view key = {});
};

}  // namespace msu::instructions
