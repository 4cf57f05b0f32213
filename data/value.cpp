#include "data/value.h"

#include <charconv>
#include <cmath>

#include "core/text.h"

namespace msu::data {

int64_t Value::AsInteger() const {
  switch (kind()) {
    case Kind::kInteger:
      return std::get<1>(storage_);
    case Kind::kReal:
      return static_cast<int64_t>(std::get<2>(storage_));
    case Kind::kText:
      return static_cast<int64_t>(LeadingNumber(std::get<3>(storage_)));
    default:
      return 0;
  }
}

double Value::AsReal() const {
  switch (kind()) {
    case Kind::kInteger:
      return static_cast<double>(std::get<1>(storage_));
    case Kind::kReal:
      return std::get<2>(storage_);
    case Kind::kText:
      return LeadingNumber(std::get<3>(storage_));
    default:
      return 0.0;
  }
}

bool Value::AsBool() const {
  switch (kind()) {
    case Kind::kInteger:
      return std::get<1>(storage_) != 0;
    case Kind::kReal:
      return std::get<2>(storage_) != 0.0;
    case Kind::kText: {
      std::string t = UpperCase(Trim(std::get<3>(storage_)));
      return t == "1" || t == "T" || t == "TRUE" || t == "Y" || t == "-1";
    }
    default:
      return false;
  }
}

std::string Value::AsText() const {
  switch (kind()) {
    case Kind::kInteger:
      return std::to_string(std::get<1>(storage_));
    case Kind::kReal: {
      double v = std::get<2>(storage_);
      char buffer[64];
      auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
      return std::string(buffer, result.ptr);
    }
    case Kind::kText:
      return std::get<3>(storage_);
    case Kind::kBlob:
      return std::get<4>(storage_);
    default:
      return std::string();
  }
}

}  // namespace msu::data
