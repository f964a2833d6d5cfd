#include "plugin/PluginAbi.h"

namespace lorvex {

namespace {
TPlugInRequest currentRequest{};
HWND applicationOwner = nullptr;
}  // namespace

TPlugInRequest& CurrentRequest() { return currentRequest; }

HWND ApplicationOwner() { return applicationOwner; }
void SetApplicationOwner(HWND owner) { applicationOwner = owner; }

}  // namespace lorvex
