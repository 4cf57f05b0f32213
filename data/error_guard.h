// The error collection of a connection (Connection::Errors) the way its callers read it: the
// errors of the last call that failed, none once a call succeeds. A connection and its
// recordsets run every call that keeps the collection through Guard.
//
// Guard also makes every failure a DataError: the callers of the data layer handle that one
// error type, so a failure of another kind (a standard exception from below) reaches them as
// DataError kErrStatement with its message rather than past their handlers.
#pragma once

#include <type_traits>
#include <vector>

#include "data/data_access.h"

namespace msu::data {

// Empties the collection after a call that succeeded; nullptr keeps nothing.
void ForgetErrors(std::vector<ErrorEntry>* errors);

// Inside a handler: records the exception being handled in the collection (nullptr: nowhere)
// and throws it on, a DataError as it is, any other standard exception as DataError
// kErrStatement. Anything else passes on unrecorded.
[[noreturn]] void RecordAndRethrow(std::vector<ErrorEntry>* errors);

// Runs `call` and returns what it returns. Afterwards `errors` is empty, or holds the error
// `call` failed with, which is thrown on as a DataError (see above).
template <class F>
auto Guard(std::vector<ErrorEntry>* errors, F&& call) -> decltype(call()) {
  try {
    if constexpr (std::is_void_v<decltype(call())>) {
      call();
      ForgetErrors(errors);
    } else {
      auto result = call();
      ForgetErrors(errors);
      return result;
    }
  } catch (...) {
    RecordAndRethrow(errors);
  }
}

}  // namespace msu::data
