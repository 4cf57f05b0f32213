#include "core/context.h"

#include <filesystem>

#include "core/text.h"

namespace msu {

std::string Context::AppFile(const std::string& name) const {
  return JoinPath(application_folder_, name);
}

std::string ProgramFolder() {
  std::error_code error;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return std::filesystem::current_path().string();
  return exe.parent_path().string();
}

}  // namespace msu
