// The reference host and the packing library stand-in declare what they exchange with the
// library themselves (host/HostAbi.h). Here the two sides are laid side by side: every field
// of the request record at the same offset with the same size and type, every export and
// packing call with the same return, arguments and calling convention, and the dialog
// controls the host looks for under the same identifiers.
#include "HostAbi.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cwchar>
#include <type_traits>
#include <vector>

#include "dialogs/DialogIds.h"
#include "plugin/PackingLibrary.h"
#include "plugin/lorvex.h"

namespace lorvex {
namespace {

// The host's type for a library type that crosses the boundary: the records are declared on
// both sides, everything else (pointers, integers, the callbacks) must be the same type.
template <typename T>
struct HostSide {
  using type = T;
};
template <>
struct HostSide<TPlugInRequest> {
  using type = host::TPlugInRequest;
};
template <>
struct HostSide<TDialogFont> {
  using type = host::TDialogFont;
};

// The library's function pointer type with each argument replaced by the host's, keeping the
// calling convention; void when the library's is not stdcall.
template <typename F>
struct AsHostCall {
  using type = void;
};
template <typename R, typename... Args>
struct AsHostCall<R(__stdcall*)(Args...)> {
  using type = typename HostSide<R>::type(__stdcall*)(typename HostSide<Args>::type...);
};

template <typename LibraryCall, typename HostCall>
constexpr bool kSameCall = std::is_same_v<typename AsHostCall<LibraryCall>::type, HostCall>;

struct Field {
  const char* name;
  size_t libraryOffset, hostOffset;
  size_t librarySize, hostSize;
  bool sameType;
};

template <typename Library, typename Host>
Field FieldOf(const char* name, size_t libraryOffset, size_t hostOffset) {
  constexpr bool sameType = std::is_same_v<typename HostSide<Library>::type, Host>;
  return Field{name, libraryOffset, hostOffset, sizeof(Library), sizeof(Host), sameType};
}

#define LORVEX_FIELD(Record, name)                                                             \
  FieldOf<decltype(Record::name), decltype(host::Record::name)>(#name, offsetof(Record, name), \
                                                                offsetof(host::Record, name))

// Every field is listed in the library's order; the list has to cover the record without a
// gap, so a field added to the library's record fails here until the host declares it too.
void ExpectSameLayout(const std::vector<Field>& fields, size_t librarySize, size_t hostSize) {
  EXPECT_EQ(hostSize, librarySize);
  size_t next = 0;
  for (const Field& field : fields) {
    SCOPED_TRACE(field.name);
    EXPECT_EQ(field.libraryOffset, next) << "a field of the library's record is not listed";
    EXPECT_EQ(field.hostOffset, field.libraryOffset);
    EXPECT_EQ(field.hostSize, field.librarySize);
    EXPECT_TRUE(field.sameType) << "the host declares another type";
    next = field.libraryOffset + field.librarySize;
  }
  EXPECT_EQ(next, librarySize) << "the record ends with a field that is not listed";
}

TEST(HostAbi, TheHostLaysOutTheDialogFontAsTheLibraryReadsIt) {
  ExpectSameLayout({LORVEX_FIELD(TDialogFont, Name), LORVEX_FIELD(TDialogFont, Size),
                    LORVEX_FIELD(TDialogFont, Color), LORVEX_FIELD(TDialogFont, Charset),
                    LORVEX_FIELD(TDialogFont, Unused)},
                   sizeof(TDialogFont), sizeof(host::TDialogFont));
}

TEST(HostAbi, TheHostLaysOutTheRequestAsTheLibraryReadsIt) {
  ExpectSameLayout(
      {LORVEX_FIELD(TPlugInRequest, HostHandle), LORVEX_FIELD(TPlugInRequest, WorkFolder),
       LORVEX_FIELD(TPlugInRequest, TemplateFolder), LORVEX_FIELD(TPlugInRequest, DocumentId),
       LORVEX_FIELD(TPlugInRequest, FileName), LORVEX_FIELD(TPlugInRequest, PackMode),
       LORVEX_FIELD(TPlugInRequest, DialogState), LORVEX_FIELD(TPlugInRequest, Unused1),
       LORVEX_FIELD(TPlugInRequest, DialogColor), LORVEX_FIELD(TPlugInRequest, UseProxy),
       LORVEX_FIELD(TPlugInRequest, Unused2), LORVEX_FIELD(TPlugInRequest, ProxyServer),
       LORVEX_FIELD(TPlugInRequest, ProxyPort), LORVEX_FIELD(TPlugInRequest, HttpReadTimeout),
       LORVEX_FIELD(TPlugInRequest, DialogFont), LORVEX_FIELD(TPlugInRequest, FontCharset),
       LORVEX_FIELD(TPlugInRequest, Unused3), LORVEX_FIELD(TPlugInRequest, GetHostMessage),
       LORVEX_FIELD(TPlugInRequest, PrepareForm)},
      sizeof(TPlugInRequest), sizeof(host::TPlugInRequest));
}

TEST(HostAbi, TheHostCallsTheExportsAsTheLibraryDefinesThem) {
  EXPECT_TRUE((kSameCall<decltype(&getcount), host::GetCountFunc>));
  EXPECT_TRUE((kSameCall<decltype(&gettype), host::GetTypeFunc>));
  EXPECT_TRUE((kSameCall<decltype(&getname), host::GetTextFunc>));
  EXPECT_TRUE((kSameCall<decltype(&getauthor), host::GetTextFunc>));
  EXPECT_TRUE((kSameCall<decltype(&getdescription), host::GetTextFunc>));
  EXPECT_TRUE((kSameCall<decltype(&getversion), host::GetTextFunc>));
  EXPECT_TRUE((kSameCall<decltype(&getsupportedformats), host::GetTextFunc>));
  EXPECT_TRUE((kSameCall<decltype(&initalize), host::InitalizeFunc>));
  EXPECT_TRUE((kSameCall<decltype(&loadhtmltostream), host::LoadHtmlFunc>));
  EXPECT_TRUE((kSameCall<decltype(&loadblankpagetostream), host::LoadBlankFunc>));
}

TEST(HostAbi, ThePackingLibraryExportsWhatTheLibraryImports) {
  EXPECT_TRUE((kSameCall<decltype(&decompressdir), host::DecompressDirFunc>));
  EXPECT_TRUE((kSameCall<decltype(&decompressstream), host::DecompressStreamFunc>));
}

TEST(HostAbi, TheHostFindsTheErrorListByTheLibrarysIdentifiers) {
  EXPECT_STREQ(host::kErrorsCaption, kErrorsCaption);
  EXPECT_STREQ(host::kProgressCaption, kProgressCaption);
  EXPECT_EQ(host::kIdErrorList, kIdErrorList);
  EXPECT_EQ(host::kIdOk, kIdOk);
  EXPECT_EQ(host::kIdRetry, kIdRetry);
  EXPECT_EQ(host::kIdErrorsStop, kIdErrorsStop);
}

}  // namespace
}  // namespace lorvex
