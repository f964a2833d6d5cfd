#include "plugin/ImportArchive.h"

#include <windows.h>

#include <string>
#include <vector>

#include "import/ArchiveImport.h"
#include "platform/win32/MessagePump.h"
#include "plugin/PackingLibrary.h"

namespace lorvex {

namespace {

constexpr const char* kReportCaption = "Import MHT,EML Files";

// The host's text for a key, copied at once as the host expects.
std::string HostMessage(const char* key) {
  GetHostMessageFunc get = CurrentRequest().GetHostMessage;
  return Text(get ? get(key) : nullptr);
}

// A WM_QUIT met here is posted again for the host's loop, and ends this turn.
void ProcessPendingMessages() {
  win32::QuitKeeper quit;
  win32::PumpMessages(quit, {});
}

// A host without a window runs unattended: the report then goes to the debugger output only,
// so that nothing waits for a click that no one can give.
void Report(const std::vector<std::string>& messages) {
  if (messages.empty()) return;
  std::string text;
  for (const std::string& message : messages) text += message + "\r\n";
  ::OutputDebugStringA(text.c_str());
  HWND owner = ApplicationOwner();
  if (owner && ::IsWindow(owner))
    ::MessageBoxA(owner, text.c_str(), kReportCaption, MB_OK | MB_ICONWARNING);
}

}  // namespace

bool ImportArchive(const TPlugInRequest& request, IStream* hostStream) {
  TMhtHost host{HostMessage, ProcessPendingMessages};
  auto pack = [&](const std::string& documentName, const std::string& workFolder) {
    PackFolder(documentName, workFolder, hostStream, request.PackMode);
  };
  std::vector<std::string> messages;
  try {
    ImportMhtFile(Text(request.FileName), Text(request.WorkFolder),
                  std::to_string(request.DocumentId), host, pack, messages);
  } catch (...) {
    Report(messages);
    throw;
  }
  Report(messages);
  return true;
}

}  // namespace lorvex
