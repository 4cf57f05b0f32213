// The password the utility logs in to the server with. Administrators type the password of the
// suite's Warden tool; the server knows it only in a derived form.
#pragma once

#include <string>

namespace msu {

// The server password for the Warden password `typed`: the decimal code of its first character
// upper-cased, followed by the rest of `typed` unchanged ("secret" gives "83ecret"; a single
// character gives its code alone). Only ASCII letters change case; the code of any other byte
// is its unsigned value. An empty text gives an empty text (the callers refuse it before).
std::string DeriveServerPassword(const std::string& typed);

}  // namespace msu
