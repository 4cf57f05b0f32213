#include "core/server_password.h"

#include "core/text.h"
#include "core/windows1252.h"

namespace msu {

std::string DeriveServerPassword(const std::string& typed) {
  if (typed.empty()) return std::string();
  size_t rest = 0;
  const char32_t first = NextCharacter(typed, &rest);
  // A character the code page lacks becomes "?", as the suite's conversion to ANSI makes it.
  const unsigned char code = UpperWindows1252(ToWindows1252(first).value_or('?'));
  return std::to_string(static_cast<unsigned>(code)) + typed.substr(rest);
}

}  // namespace msu
