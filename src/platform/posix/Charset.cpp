#include "platform/Charset.h"

#include <iconv.h>

#include <cerrno>

namespace lorvex::platform {

namespace {

// Longer names are no character set names; iconv is not asked about them.
constexpr size_t kMaxCharsetName = 40;
constexpr size_t kMaxInput = 64 * 1024;

// Owns one conversion descriptor.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

// Letters, digits and the punctuation of registered names: anything else (a "//" option
// suffix, a path) never reaches iconv_open.
bool IsCharsetName(std::string_view name) {
  if (name.empty() || name.size() > kMaxCharsetName) return false;
  for (char c : name) {
    bool letterOrDigit = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!letterOrDigit && c != '-' && c != '_' && c != '.' && c != ':') return false;
  }
  return true;
}

}  // namespace

bool ConvertToFileNameText(std::string_view charset, std::string_view bytes, std::string& out) {
  return ConvertToUtf8(charset, bytes, out);  // file names are UTF-8 here
}

bool ConvertToUtf8(std::string_view charset, std::string_view bytes, std::string& out) {
  out.clear();
  if (!IsCharsetName(charset) || bytes.size() > kMaxInput) return false;
  Converter converter("UTF-8", std::string(charset).c_str());
  if (!converter.ok()) return false;
  std::string buffer(bytes.size() * 2 + 16, '\0');
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  size_t used = 0;
  // inLeft empty: the second round, with no input, ends a stateful encoding's shifted state
  // (and rejects one cut off in the middle of a character).
  for (bool flushed = false; !flushed;) {
    char* target = buffer.data() + used;
    size_t targetLeft = buffer.size() - used;
    const bool flushing = inLeft == 0;
    size_t done = flushing ? iconv(converter.get(), nullptr, nullptr, &target, &targetLeft)
                           : iconv(converter.get(), &in, &inLeft, &target, &targetLeft);
    used = buffer.size() - targetLeft;
    if (done == static_cast<size_t>(-1)) {
      if (errno != E2BIG) return false;
      buffer.resize(buffer.size() * 2);
      continue;
    }
    flushed = flushing;
  }
  out.assign(buffer.data(), used);
  return true;
}

bool FileNameTextToUtf8(std::string_view name, std::string& out) {
  out.assign(name);
  return true;
}

}  // namespace lorvex::platform
