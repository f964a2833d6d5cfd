#include "links/KindReferences.h"

#include <stdexcept>

#include "util/Ascii.h"
#include "util/UrlPath.h"

namespace lorvex {

namespace {

char KindDigit(int kind) { return static_cast<char>('0' + kind); }

// True when resolving the reference text changes nothing: trimmed, nothing to decode, no
// "file:" scheme, absolute, and already with the delimiters that resolution would give it.
bool IsResolvedReference(std::string_view text) {
  if (text.size() < 2 || Trim(text).size() != text.size()) return false;
  if (text.find('%') != std::string_view::npos || StartsWithIgnoreCase(text, "file:") ||
      IsRelativeUrl(text))
    return false;
  return text.find(text[1] == ':' ? '/' : '\\') == std::string_view::npos;
}

std::string KindReferenceInFolder(std::string_view folder, std::string_view ref) {
  if (ref.empty()) return std::string();
  std::string out;
  out.reserve(folder.size() + ref.size() + 1);
  out.push_back(ref.front());
  AppendResolvedUrl(out, folder, ref.substr(1));
  return out;
}

}  // namespace

std::string PrefixKind(int kind, std::string_view text) {
  std::string out;
  out.reserve(text.size() + 1);
  out.push_back(KindDigit(kind));
  out.append(text);
  return out;
}

int ReferenceKindOf(std::string_view ref) {
  if (ref.empty())
    throw std::invalid_argument("a kind-prefixed reference is empty: it has no kind digit");
  if (!IsAsciiDigit(ref.front()))
    throw std::invalid_argument("a kind-prefixed reference begins with '" +
                                std::string(ref.substr(0, 1)) + "', not with a kind digit");
  return ref.front() - '0';
}

std::string StripKind(std::string_view ref) { return std::string(WithoutKind(ref)); }

bool HasKind(std::string_view line, int kind) {
  return !line.empty() && line.front() == KindDigit(kind);
}

std::string_view WithoutKind(std::string_view line) { return line.empty() ? line : line.substr(1); }

std::string ResolveKindReference(std::string_view base, std::string_view ref) {
  return KindReferenceInFolder(ResolveBaseFolder(base), ref);
}

std::string ResolveKindValueInFolder(std::string_view folder, int kind, std::string_view value) {
  std::string out;
  out.reserve(folder.size() + value.size() + 2);
  out.push_back(KindDigit(kind));
  AppendResolvedUrl(out, folder, value);
  return out;
}

void ResolveReferenceList(std::string_view base, StringList& refs) {
  const std::string folder = ResolveBaseFolder(base);
  for (std::string& line : refs)
    if (line.empty() || !IsResolvedReference(WithoutKind(line)))
      line = KindReferenceInFolder(folder, line);
}

bool IsNonResourceReference(std::string_view line) {
  return HasKind(line, rkBase) || HasKind(line, rkMeta) || HasKind(line, rkAnchor);
}

void RemoveNonResourceReferences(StringList& refs) {
  std::erase_if(refs, [](const std::string& line) { return IsNonResourceReference(line); });
}

void StripReferenceKinds(StringList& refs) {
  for (std::string& line : refs)
    if (!line.empty()) line.erase(0, 1);
}

}  // namespace lorvex
