// A value read from or written to a database: NULL, an integer, a real number, text or bytes.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

namespace msu::data {

class Value {
 public:
  enum class Kind { kNull, kInteger, kReal, kText, kBlob };

  Value() = default;  // NULL
  static Value Null() { return Value(); }
  static Value Integer(int64_t v) { return Value(Storage(v)); }
  static Value Real(double v) { return Value(Storage(v)); }
  static Value Text(std::string v) { return Value(Storage(std::in_place_index<3>, std::move(v))); }
  static Value Blob(std::string bytes) {
    return Value(Storage(std::in_place_index<4>, std::move(bytes)));
  }

  Kind kind() const { return static_cast<Kind>(storage_.index()); }
  bool IsNull() const { return kind() == Kind::kNull; }

  // Integer value; a real is truncated toward zero, text is read by its leading number.
  // NULL reads as 0.
  int64_t AsInteger() const;
  // Real value, read the same way.
  double AsReal() const;
  // True for a non-zero number, or the texts "1", "T", "True", "Y" (any case).
  bool AsBool() const;
  // The text form: integers in plain decimal, reals in the shortest form that reads back to
  // the same number with a point as decimal separator, text as stored; NULL is empty text.
  std::string AsText() const;
  // The stored text of a text value, read without a copy; nullptr for a value of another kind.
  const std::string* StoredText() const { return std::get_if<3>(&storage_); }

  // Exact equality of kind and content (used by tests; the merge compares by its own rules).
  bool operator==(const Value& other) const { return storage_ == other.storage_; }

 private:
  using Storage = std::variant<std::monostate, int64_t, double, std::string, std::string>;
  explicit Value(Storage storage) : storage_(std::move(storage)) {}
  Storage storage_;
};

}  // namespace msu::data
