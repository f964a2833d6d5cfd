#include "plugin/RequestDialogs.h"

namespace lorvex {

DialogHost DialogHostOf(TPlugInRequest& request) {
  DialogHost host;
  host.Owner = ApplicationOwner();
  if (PrepareFormFunc prepare = request.PrepareForm)
    host.PrepareForm = [prepare](HWND form) { prepare(form); };
  host.DialogState = &request.DialogState;
  host.Font = DialogFont{Text(request.DialogFont.Name), request.DialogFont.Size,
                         request.DialogFont.Color, request.DialogFont.Charset};
  host.FontCharset = request.FontCharset;
  host.Color = request.DialogColor;
  if (request.UseProxy != 0) {
    host.ProxyServer = Text(request.ProxyServer);
    host.ProxyPort = request.ProxyPort;
  }
  host.ReadTimeout = request.HttpReadTimeout;
  return host;
}

int QuietWaitTimeout(const TPlugInRequest& request) {
  return request.HttpReadTimeout > 0 ? request.HttpReadTimeout : kQuietWaitDefaultMs;
}

}  // namespace lorvex
