// The password the utility logs in to the server with. Administrators type the password of the
// suite's Warden tool; the server knows it only in a derived form.
#pragma once

#include <string>

namespace msu {

// The server password for the Warden password `typed` (UTF-8): the decimal code of its first
// character upper-cased, followed by the rest of `typed` unchanged ("secret" gives "83ecret";
// a single character gives its code alone). Code and case are those of Windows-1252, the
// suite's code page: "é" and "É" both give 201; a character it lacks counts as "?" (63), and a
// byte that is no UTF-8 is taken as Windows-1252. An empty text gives an empty text (the
// callers refuse it before).
std::string DeriveServerPassword(const std::string& typed);

}  // namespace msu
