// The request record that the host passes with every call, and the library's copy of it.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace lorvex {

// Host callbacks use the host's register convention: the argument in EAX, the result in EAX.
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

// Exactly 72 bytes, passed by value. Strings belong to the host and live for one call.
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
static_assert(offsetof(TPlugInRequest, HostHandle) == 0);
static_assert(offsetof(TPlugInRequest, WorkFolder) == 4);
static_assert(offsetof(TPlugInRequest, TemplateFolder) == 8);
static_assert(offsetof(TPlugInRequest, DocumentId) == 12);
static_assert(offsetof(TPlugInRequest, FileName) == 16);
static_assert(offsetof(TPlugInRequest, PackMode) == 20);
static_assert(offsetof(TPlugInRequest, DialogState) == 21);
static_assert(offsetof(TPlugInRequest, DialogColor) == 24);
static_assert(offsetof(TPlugInRequest, UseProxy) == 28);
static_assert(offsetof(TPlugInRequest, ProxyServer) == 32);
static_assert(offsetof(TPlugInRequest, ProxyPort) == 36);
static_assert(offsetof(TPlugInRequest, HttpReadTimeout) == 40);
static_assert(offsetof(TPlugInRequest, DialogFont) == 44);
static_assert(offsetof(TPlugInRequest, FontCharset) == 60);
static_assert(offsetof(TPlugInRequest, GetHostMessage) == 64);
static_assert(offsetof(TPlugInRequest, PrepareForm) == 68);

// A string the host passed (it may pass none): its text, or empty.
inline std::string Text(const char* s) { return s ? std::string(s) : std::string(); }

// The last request received by initalize or loadhtmltostream. Never cleared; the dialogs
// and the web archive import read their settings from it.
TPlugInRequest& CurrentRequest();

// The window that owns the library's windows: the host's main window while initalize runs,
// none otherwise.
HWND ApplicationOwner();
void SetApplicationOwner(HWND owner);

}  // namespace lorvex
