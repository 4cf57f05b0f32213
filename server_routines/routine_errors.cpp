#include "server_routines/routine_errors.h"

#include <exception>

#include "data/admin.h"
#include "data/data_access.h"

namespace msu::server_routines {

RoutineError CurrentError() {
  try {
    throw;
  } catch (const NumberedError& error) {
    return {error.number(), error.description(), {}};
  } catch (const std::exception& error) {
    return {data::kErrAdminOperation, error.what(), {}};
  } catch (...) {
    return {data::kErrAdminOperation, "Unknown failure of the server administration.", {}};
  }
}

std::string LastErrorText(const RoutineError& error) {
  return std::to_string(error.number) + " - " + error.description;
}

void KeepLastError(Context& context, RoutineError error) {
  error.context = context.merge.CurrentOperation;
  context.merge.LastError = LastErrorText(error);
  context.merge.LastFailure = std::move(error);
}

void ShowErrorBox(Prompt& prompt, const RoutineError& error) {
  try {
    prompt.MessageBox(error.description + " " + std::to_string(error.number), "", Buttons::kOk,
                      Icon::kNone);
  } catch (...) {
    // The routine is already on its error path; a box that cannot be shown changes nothing.
  }
}

}  // namespace msu::server_routines
