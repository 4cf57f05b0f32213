#include "server/login.h"

#include "core/text.h"

namespace msu {

std::string DeriveServerPassword(const std::string& typed) {
  if (typed.empty()) return std::string();
  const unsigned char first = static_cast<unsigned char>(UpperCase(typed.substr(0, 1))[0]);
  return std::to_string(static_cast<unsigned>(first)) + typed.substr(1);
}

}  // namespace msu
