// What the host side exchanges with lorvex.dll, declared as the host lays it out and calls it:
// the request record, the library's exports, the two callbacks the host supplies, the packing
// calls that the host's packing library exports, and the controls of the library's dialogs that
// the host looks for. The reference host and morquill.dll include this header and never the
// library's own, so that a library expecting something else is seen as a mismatch
// (tests/plugin/HostAbi_test.cpp compares the two sides) instead of being built to agree.
//
// Booleans cross as one byte (bool here); every call is stdcall except the host's callbacks,
// which take their argument and return their result in EAX.
#pragma once

#include <objidl.h>
#include <windows.h>

#include <cstdint>

namespace lorvex::host {

static_assert(sizeof(bool) == 1, "booleans cross the boundary as one byte");

// The host's callbacks, in the host's register convention.
using GetHostMessageFunc = const char*(__attribute__((regparm(1))) *)(const char* key);
using PrepareFormFunc = void(__attribute__((regparm(1))) *)(HWND form);

#pragma pack(push, 1)
struct TDialogFont {
  const char* Name;
  int32_t Size;  // points
  uint32_t Color;
  uint8_t Charset;
  uint8_t Unused[3];
};

// Passed by value with every call, 72 bytes. The strings belong to the host for one call.
struct TPlugInRequest {
  HWND HostHandle;
  const char* WorkFolder;
  const char* TemplateFolder;
  int32_t DocumentId;
  const char* FileName;
  uint8_t PackMode;
  uint8_t DialogState;
  uint8_t Unused1[2];
  uint32_t DialogColor;
  uint8_t UseProxy;
  uint8_t Unused2[3];
  const char* ProxyServer;
  int32_t ProxyPort;
  int32_t HttpReadTimeout;  // ms
  TDialogFont DialogFont;
  uint8_t FontCharset;  // wins over DialogFont.Charset
  uint8_t Unused3[3];
  GetHostMessageFunc GetHostMessage;
  PrepareFormFunc PrepareForm;
};
#pragma pack(pop)

static_assert(sizeof(TDialogFont) == 16);
static_assert(sizeof(TPlugInRequest) == 72);

// lorvex.dll's exports, found by name with GetProcAddress.
using GetCountFunc = int32_t(__stdcall*)();                  // getcount
using GetTypeFunc = int32_t(__stdcall*)(int32_t index);      // gettype
using GetTextFunc = const char*(__stdcall*)(int32_t index);  // getname, getauthor,
                                                             // getdescription, getversion,
                                                             // getsupportedformats
using InitalizeFunc = bool(__stdcall*)(TPlugInRequest request, int32_t index, IStream** hostStream,
                                       bool* isPage);
using LoadHtmlFunc = bool(__stdcall*)(TPlugInRequest request, const char* html,
                                      const char* pageLocation, IStream* hostStream, bool quiet);
using LoadBlankFunc = void(__stdcall*)(TPlugInRequest request, IStream* hostStream);

// morquill.dll's exports, which the library imports by name.
using DecompressDirFunc = void(__stdcall*)(const char* documentName, const char* folder,
                                           IStream* hostStream, uint8_t packMode);
using DecompressStreamFunc = void(__stdcall*)(IStream* source, IStream* hostStream,
                                              uint8_t packMode, int32_t reserved);

// The library's error list, which the host answers: its caption, the list of addresses and
// its buttons; and the caption of its progress dialog, its bar and its Skip button.
inline constexpr const wchar_t* kErrorsCaption = L"错误列表";
inline constexpr int kIdErrorList = 201;
inline constexpr int kIdOk = 202;
inline constexpr int kIdRetry = 203;
inline constexpr int kIdErrorsStop = 204;
inline constexpr const wchar_t* kProgressCaption = L"保存进度";
inline constexpr int kIdProgressBar = 102;
inline constexpr int kIdSkip = 103;

}  // namespace lorvex::host
