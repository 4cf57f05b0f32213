#include "core/file_copier.h"

#include <filesystem>

namespace msu {

namespace {

class SystemCopier : public FileCopier {
 public:
  std::error_code Copy(const std::string& from, const std::string& to) override {
    std::error_code error;
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, error);
    return error;
  }
};

}  // namespace

FileCopier& SystemFileCopier() {
  static SystemCopier copier;
  return copier;
}

}  // namespace msu
