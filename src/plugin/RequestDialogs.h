// The dialogs as the host's request wants them: its look, hooks and network settings.
#pragma once

#include "dialogs/DialogHost.h"
#include "plugin/PluginAbi.h"

namespace lorvex {

// The wait bound of an import whose progress dialog stays hidden (no Skip button), when the
// request gives no read time-out.
constexpr int kQuietWaitDefaultMs = 60000;

// What the dialogs take from request, which must outlive them (its DialogState is theirs to
// clear and restore). The proxy is the request's when UseProxy is set, else none.
DialogHost DialogHostOf(TPlugInRequest& request);

// The bound of every wait of a quiet import: the request's read time-out, or
// kQuietWaitDefaultMs when it gives none.
int QuietWaitTimeout(const TPlugInRequest& request);

}  // namespace lorvex
