// The lines both conversions end with when a statement fails. Internal to convert/.
#pragma once

#include "core/context.h"
#include "server_routines/routine_errors.h"

namespace msu::convert {

// Sets LastError to the failure being handled and writes "Error, merge stopped, " +
// CurrentOperation and "Error is " + LastError to the merge page's log, both always shown.
// Call only inside a catch block.
inline void ReportConversionFailure(Context& context) {
  server_routines::KeepLastError(context, server_routines::CurrentError());
  context.progress().AddProgressMerge("Error, merge stopped, " + context.merge.CurrentOperation);
  context.progress().AddProgressMerge("Error is " + context.merge.LastError);
}

}  // namespace msu::convert
