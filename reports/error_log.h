// The error log: turns a caught error, or the provider errors of a data connection, into lines
// of the check page's progress log and raises the program-wide error flag (which stops the
// instruction loader).
#pragma once

#include <string>

namespace msu {
class Context;
namespace data {
class Connection;
}  // namespace data
}  // namespace msu

namespace msu::reports {

// When `connection` is given and its error collection holds at least one entry, writes
// "An ERROR has occurred, " + context_text + ":" and then one line per entry, oldest first,
// "number,description". Otherwise writes one line: `number`, a tab and `description`.
// All lines are normal lines of the check page. Then sets context.ErrorFlag. Never throws.
void HandleError(Context& context, long number, const std::string& description,
                 const std::string& context_text, const data::Connection* connection);

}  // namespace msu::reports
