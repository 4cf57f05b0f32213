#include "reports/error_log.h"

#include "core/context.h"
#include "data/data_access.h"

namespace msu::reports {

void HandleError(Context& context, long number, const std::string& description,
                 const std::string& context_text, const data::Connection* connection) {
  Progress& progress = context.progress();
  if (connection != nullptr && !connection->Errors().empty()) {
    progress.AddProgress("An ERROR has occurred, " + context_text + ":");
    for (const data::ErrorEntry& entry : connection->Errors()) {
      progress.AddProgress(std::to_string(entry.number) + "," + entry.description);
    }
  } else {
    progress.AddProgress(std::to_string(number) + "\t" + description);
  }
  context.ErrorFlag = true;
}

}  // namespace msu::reports
