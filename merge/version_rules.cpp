#include "merge/version_rules.h"

#include <optional>
#include <vector>

#include "core/context.h"

namespace msu {

bool IsMergeSupported(std::string_view database_version) {
  return server_routines::VersionNumber(database_version) >= kMergeSupportedVersion;
}

bool NeedsLegacyConversion(std::string_view database_version) {
  return !server_routines::UsesInstructions4x(database_version);
}

bool IsDbVerToOld(std::string_view merge_version) {
  std::optional<std::vector<int16_t>> parts = server_routines::VersionParts(merge_version);
  // A version that cannot be compared is no proof that Database 2 is recent enough.
  if (!parts || parts->size() < 2) return true;
  const int16_t major = (*parts)[0];
  const int16_t minor = (*parts)[1];
  const int16_t build = parts->size() >= 3 ? (*parts)[2] : 0;
  if (major != kRequiredMergeMajor) return major < kRequiredMergeMajor;
  if (minor != kRequiredMergeMinor) return minor < kRequiredMergeMinor;
  return build < kRequiredMergeBuild;
}

bool ChooseInstructionFile(Context& context) {
  const std::string& version = context.versions.Database1Version;
  if (!IsMergeSupported(version)) {
    context.progress().AddProgress(kSourceTooOldMessage);
    return false;
  }
  context.versions.InstructionFileName = server_routines::InstructionFileForVersion(version);
  return true;
}

}  // namespace msu
