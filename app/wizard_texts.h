// Texts the wizard shows on more than one page or from more than one handler.
#pragma once

namespace msu::app {

inline constexpr const char* kCaption = "Orvane Merge/Split Utility";
// The first lines of the check and merge logs, at start-up and after every edit of a merge path.
inline constexpr const char* kPressCheck = "Press Check Databases to proceed.";
inline constexpr const char* kPressMerge = "Press Merge to proceed.";
// Added to the check log when the working copies of a completed check are gone before a merge
// completed with them: Next then waits for Check Databases.
inline constexpr const char* kMergeStoppedLine =
    "Warning, the merge was stopped: run Check Databases again.";
inline constexpr const char* kCopiesRemovedLine =
    "Warning, the working copies were removed: run Check Databases again.";
// Shown instead of a step's work while no services are set (see frmWizard's constructor).
inline constexpr const char* kNoServices = "The database server is not available in this build.";

}  // namespace msu::app
