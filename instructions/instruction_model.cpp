#include "instructions/instruction_model.h"

#include "core/context.h"
#include "core/text.h"
#include "reports/error_log.h"

namespace msu::instructions {

CodeField& CodeFields::Add(std::string field_name, std::string_view key) {
  auto item = std::make_unique<CodeField>();
  item->SetFieldName(std::move(field_name));
  return Append(std::move(item), key);
}

RefTable& RefTables::Add(std::string table_name, std::string_view key) {
  auto item = std::make_unique<RefTable>();
  item->SetTableName(std::move(table_name));
  return Append(std::move(item), key);
}

LookUp& LookUps::Add(std::string table_name, std::string_view key) {
  auto item = std::make_unique<LookUp>();
  item->SetTableName(std::move(table_name));
  return Append(std::move(item), key);
}

Child& Children::Add(Context& context, std::string table_name, std::string foreign_key,
                     std::string_view key) {
  context.merge.CurrentOperation = " Loading CVN Table instructions for: " + table_name;
  auto item = std::make_unique<Child>();
  item->SetTableName(std::move(table_name));
  item->SetForeignKey(std::move(foreign_key));
  try {
    CheckKeyFree(key);
  } catch (const CollectionError& error) {
    reports::HandleError(context, error.number(), error.description(),
                         context.merge.CurrentOperation, nullptr);
    rejected_.push_back(std::move(item));
    return *rejected_.back();
  }
  return Append(std::move(item), key);
}

void PTable::SetPrimaryKey(std::string key_text) {
  auto_increment_ = UpperCase(key_text).find("AUTOINCREMENT") != std::string::npos;
  if (auto_increment_) {
    size_t equals = key_text.rfind('=');
    if (equals != std::string::npos) key_text.erase(0, equals + 1);
  }
  primary_key_ = std::move(key_text);
}

PTable& Tables::Add(std::string table_name, std::string primary_key, std::string_view key) {
  auto item = std::make_unique<PTable>();
  item->SetTableName(std::move(table_name));
  item->SetPrimaryKey(std::move(primary_key));
  return Append(std::move(item), key);
}

}  // namespace msu::instructions
