// The HTTP clients of the two download dialogs: their common settings and the proxy taken
// from the request.
#pragma once

#include <memory>

#include "http/HttpClient.h"
#include "plugin/PluginAbi.h"

namespace lorvex {

// The wait bound of an import whose progress dialog stays hidden (no Skip button), when the
// request gives no read time-out.
constexpr int kQuietWaitDefaultMs = 60000;

// A client with the dialogs' settings: cookies kept, the dialogs' request header values, no
// read time-out, no proxy; redirects followed as asked.
std::unique_ptr<THttpClient> MakeDialogHttpClient(bool followRedirects);

// The request's proxy when UseProxy is set, else none (empty server, port 0).
void ApplyRequestProxy(THttpClient& http, const TPlugInRequest& request);

// The bound of every wait of a quiet import: the request's read time-out, or
// kQuietWaitDefaultMs when it gives none.
int QuietWaitTimeout(const TPlugInRequest& request);

}  // namespace lorvex
