#include "platform/Charset.h"

#include <windows.h>

#include "util/Strings.h"

namespace lorvex::platform {

namespace {

constexpr size_t kMaxInput = 64 * 1024;

struct CharsetCodePage {
  std::string_view name;  // lower-case
  UINT codePage;
};

// The MIME names that mail and saved pages use, with the code page that Windows converts
// them with. A name not listed has no conversion.
constexpr CharsetCodePage kCodePages[] = {
    {"utf-8", CP_UTF8},     {"utf8", CP_UTF8},       {"us-ascii", 20127},    {"ascii", 20127},
    {"iso-8859-1", 28591},  {"latin1", 28591},       {"iso-8859-2", 28592},  {"iso-8859-3", 28593},
    {"iso-8859-4", 28594},  {"iso-8859-5", 28595},   {"iso-8859-6", 28596},  {"iso-8859-7", 28597},
    {"iso-8859-8", 28598},  {"iso-8859-9", 28599},   {"iso-8859-13", 28603}, {"iso-8859-15", 28605},
    {"windows-1250", 1250}, {"windows-1251", 1251},  {"windows-1252", 1252}, {"windows-1253", 1253},
    {"windows-1254", 1254}, {"windows-1255", 1255},  {"windows-1256", 1256}, {"windows-1257", 1257},
    {"windows-1258", 1258}, {"windows-874", 874},    {"cp1250", 1250},       {"cp1251", 1251},
    {"cp1252", 1252},       {"gb2312", 936},         {"gbk", 936},           {"cp936", 936},
    {"x-gbk", 936},         {"euc-cn", 936},         {"gb18030", 54936},     {"big5", 950},
    {"big5-hkscs", 950},    {"shift_jis", 932},      {"shift-jis", 932},     {"sjis", 932},
    {"cp932", 932},         {"windows-31j", 932},    {"euc-jp", 20932},      {"iso-2022-jp", 50220},
    {"euc-kr", 949},        {"ks_c_5601-1987", 949}, {"cp949", 949},         {"koi8-r", 20866},
    {"koi8-u", 21866},      {"tis-620", 874},        {"ibm866", 866},        {"cp866", 866},
    {"ibm850", 850},        {"cp850", 850},          {"ibm437", 437},        {"cp437", 437},
};

// MultiByteToWideChar refuses MB_ERR_INVALID_CHARS for these code pages.
bool TakesNoFlags(UINT codePage) {
  return (codePage >= 50220 && codePage <= 50229) || codePage == 52936 ||
         (codePage >= 57002 && codePage <= 57011) || codePage == 65000 || codePage == 42;
}

UINT CodePageOf(std::string_view charset) {
  const std::string name = AsciiLowerCase(Trim(charset));
  for (const CharsetCodePage& entry : kCodePages)
    if (entry.name == name) return entry.codePage;
  return 0;
}

}  // namespace

bool ConvertToFileNameText(std::string_view charset, std::string_view bytes, std::string& out) {
  out.clear();
  const UINT codePage = CodePageOf(charset);
  if (codePage == 0 || bytes.size() > kMaxInput) return false;
  if (bytes.empty()) return true;
  const int length = static_cast<int>(bytes.size());
  const DWORD inFlags = TakesNoFlags(codePage) ? 0 : MB_ERR_INVALID_CHARS;
  const int wide = ::MultiByteToWideChar(codePage, inFlags, bytes.data(), length, nullptr, 0);
  if (wide <= 0) return false;
  std::wstring text(static_cast<size_t>(wide), L'\0');
  if (::MultiByteToWideChar(codePage, inFlags, bytes.data(), length, text.data(), wide) != wide)
    return false;
  // Without the flag a character missing from the code page would come out as its nearest
  // look-alike ("a" for "a with ring") or as the default character: both count as missing.
  // On a system whose ANSI code page is UTF-8 every character has its form.
  const bool utf8System = ::GetACP() == CP_UTF8;
  const DWORD outFlags = utf8System ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  BOOL* usedDefaultOut = utf8System ? nullptr : &usedDefault;
  const int narrow = ::WideCharToMultiByte(CP_ACP, outFlags, text.data(), wide, nullptr, 0, nullptr,
                                           usedDefaultOut);
  if (narrow <= 0 || usedDefault) return false;
  out.assign(static_cast<size_t>(narrow), '\0');
  if (::WideCharToMultiByte(CP_ACP, outFlags, text.data(), wide, out.data(), narrow, nullptr,
                            usedDefaultOut) != narrow ||
      usedDefault) {
    out.clear();
    return false;
  }
  return true;
}

namespace {

// UTF-16 text as the bytes of a code page; false when a character has no form there.
bool WideToCodePage(UINT codePage, const std::wstring& text, std::string& out) {
  const int wide = static_cast<int>(text.size());
  const int narrow =
      ::WideCharToMultiByte(codePage, 0, text.data(), wide, nullptr, 0, nullptr, nullptr);
  if (narrow <= 0) return false;
  out.assign(static_cast<size_t>(narrow), '\0');
  if (::WideCharToMultiByte(codePage, 0, text.data(), wide, out.data(), narrow, nullptr, nullptr) !=
      narrow) {
    out.clear();
    return false;
  }
  return true;
}

}  // namespace

bool ConvertToUtf8(std::string_view charset, std::string_view bytes, std::string& out) {
  out.clear();
  const UINT codePage = CodePageOf(charset);
  if (codePage == 0 || bytes.size() > kMaxInput) return false;
  if (bytes.empty()) return true;
  const int length = static_cast<int>(bytes.size());
  const DWORD inFlags = TakesNoFlags(codePage) ? 0 : MB_ERR_INVALID_CHARS;
  const int wide = ::MultiByteToWideChar(codePage, inFlags, bytes.data(), length, nullptr, 0);
  if (wide <= 0) return false;
  std::wstring text(static_cast<size_t>(wide), L'\0');
  if (::MultiByteToWideChar(codePage, inFlags, bytes.data(), length, text.data(), wide) != wide)
    return false;
  return WideToCodePage(CP_UTF8, text, out);
}

bool FileNameTextToUtf8(std::string_view name, std::string& out) {
  out.clear();
  if (name.size() > kMaxInput) return false;
  if (name.empty()) return true;
  const int length = static_cast<int>(name.size());
  const int wide =
      ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, name.data(), length, nullptr, 0);
  if (wide <= 0) return false;
  std::wstring text(static_cast<size_t>(wide), L'\0');
  if (::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, name.data(), length, text.data(), wide) !=
      wide)
    return false;
  const int narrow =
      ::WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, nullptr, 0, nullptr, nullptr);
  if (narrow <= 0) return false;
  out.assign(static_cast<size_t>(narrow), '\0');
  if (::WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, out.data(), narrow, nullptr, nullptr) !=
      narrow) {
    out.clear();
    return false;
  }
  return true;
}

}  // namespace lorvex::platform
