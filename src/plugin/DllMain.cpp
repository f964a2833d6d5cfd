// Loading the library initialises COM for the loading thread; unloading it undoes that.
#include <objbase.h>
#include <windows.h>

namespace {
bool comInitialised = false;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      comInitialised = SUCCEEDED(::CoInitialize(nullptr));
      break;
    case DLL_PROCESS_DETACH:
      // At process exit (reserved != null) COM is torn down by the system already.
      if (comInitialised && reserved == nullptr) ::CoUninitialize();
      comInitialised = false;
      break;
  }
  return TRUE;
}
