#include "import/ResourceNames.h"

#include "platform/Charset.h"
#include "util/Strings.h"
#include "util/UrlPath.h"

namespace lorvex {

namespace {

constexpr std::size_t kFirstNumber = 2;

}  // namespace

std::pair<std::string, std::size_t> ResourceNames::FreeName(const std::string& wanted,
                                                            const std::string& folded) const {
  ++probes_;
  if (taken_.count(folded) == 0) return {wanted, 0};
  auto next = nextNumber_.find(folded);
  for (std::size_t k = next == nextNumber_.end() ? kFirstNumber : next->second;; ++k) {
    std::string name = TagFileName(wanted, std::to_string(k));
    ++probes_;
    if (taken_.count(AsciiLowerCase(name)) == 0) return {std::move(name), k};
  }
}

const std::string& ResourceNames::NameOf(const std::string& url, const std::string& wanted) {
  auto known = names_.find(url);
  if (known != names_.end()) return known->second;
  if (Trim(wanted).empty()) return names_.emplace(url, wanted).first->second;
  const std::string folded = AsciiLowerCase(wanted);
  auto [name, number] = FreeName(wanted, folded);
  taken_.insert(AsciiLowerCase(name));
  if (number != 0) nextNumber_[folded] = number + 1;
  return names_.emplace(url, std::move(name)).first->second;
}

std::string ResourceNames::PeekName(const std::string& url, const std::string& wanted) const {
  auto known = names_.find(url);
  if (known != names_.end()) return known->second;
  if (Trim(wanted).empty()) return wanted;
  return FreeName(wanted, AsciiLowerCase(wanted)).first;
}

namespace {

// The file name that the last segment of a web URL's path names: its escapes decoded (a
// decoded delimiter cuts it again), and UTF-8 turned into the system's file name text where it
// can be.
std::string DecodedSegmentName(std::string_view segment) {
  StringList line{std::string(segment)};
  UrlDecodeList(line);
  std::string name = ExtractUrlFileName(line.front());
  for (char c : name)
    if (static_cast<unsigned char>(c) >= 0x80) {
      std::string text;
      return platform::ConvertToFileNameText("utf-8", name, text) ? text : name;
    }
  return name;
}

}  // namespace

std::string WantedFileName(const std::string& url, bool frame) {
  // A URL of the web keeps its escapes (so the server sees what the page wrote); a location
  // on disk is decoded already.
  std::string name = ExtractUrlFileName(WithoutQueryOrFragment(url));
  if (HasWebScheme(url)) name = DecodedSegmentName(name);
  if (frame && !Trim(name).empty() && ExtractUrlFileExt(name).empty()) name += ".htm";
  return name;
}

}  // namespace lorvex
