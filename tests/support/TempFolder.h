// A fresh folder under the system's temporary folder, removed with everything in it when the
// test ends.
#pragma once

#include <string>
#include <string_view>

namespace lorvex::support {

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder, without a trailing delimiter, in the platform's own path form.
  const std::string& path() const { return path_; }
  // Writes a file in the folder and returns its full path.
  std::string File(std::string_view name, std::string_view bytes) const;

 private:
  std::string path_;
};

}  // namespace lorvex::support
