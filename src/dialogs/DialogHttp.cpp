#include "dialogs/DialogHttp.h"

namespace lorvex {

std::unique_ptr<THttpClient> MakeDialogHttpClient(bool followRedirects) {
  auto http = std::make_unique<THttpClient>();
  http->HandleRedirects = followRedirects;
  http->AllowCookies = true;
  http->ReadTimeout = 0;
  http->MaxLineAction = TMaxLineAction::maException;
  http->HTTPOptions = THttpOption::hoForceEncodeParams;
  http->ProxyParams = TProxyParams{};
  http->Request = THttpRequestSettings{};  // the dialogs' Accept, content type and user agent
  return http;
}

void ApplyRequestProxy(THttpClient& http, const TPlugInRequest& request) {
  if (request.UseProxy != 0) {
    http.ProxyParams.ProxyServer = Text(request.ProxyServer);
    http.ProxyParams.ProxyPort = request.ProxyPort;
  } else {
    http.ProxyParams.ProxyServer.clear();
    http.ProxyParams.ProxyPort = 0;
  }
}

int QuietWaitTimeout(const TPlugInRequest& request) {
  return request.HttpReadTimeout > 0 ? request.HttpReadTimeout : kQuietWaitDefaultMs;
}

}  // namespace lorvex
