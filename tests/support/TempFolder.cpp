#include "support/TempFolder.h"

#include <filesystem>
#include <random>

#include "util/FileOperation.h"

namespace lorvex::support {

TempFolder::TempFolder() {
  std::random_device random;
  auto base = std::filesystem::temp_directory_path();
  for (;;) {
    auto candidate = base / ("lorvex-test-" + std::to_string(random()));
    if (std::filesystem::create_directory(candidate)) {
      path_ = candidate.string();
      return;
    }
  }
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempFolder::File(std::string_view name, std::string_view bytes) const {
#ifdef _WIN32
  std::string full = path_ + "\\" + std::string(name);
#else
  std::string full = path_ + "/" + std::string(name);
#endif
  WriteFileBytes(full, bytes);
  return full;
}

}  // namespace lorvex::support
