// The help of msu as a whole, for `msu --help` and for its manual page.
#pragma once

#include <string>

namespace msu::cli {

// The overview: usage, the commands, the program's own options.
std::string MsuOverviewHelp();

// What `msu --help` prints: the overview, `folder_description` (which application folder is in
// use, DescribeApplicationFolder), then the help of check, merge and split.
std::string MsuHelp(const std::string& folder_description);

}  // namespace msu::cli
