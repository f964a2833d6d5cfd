// The steps that turn an address into the document as the browser shows it, over a session
// of the browser's debugging protocol.
//
// In a new tab the page is opened, then: wait until it has loaded and its network is idle;
// scroll through it a screen at a time so that lazy content loads and scroll effects run; back
// at the top, wait until its network is idle again and the view stands still (two pictures of
// the screen, taken a pause apart, alike); then take the document (PageScripts.h). Every wait
// ends at the deadline, and the page is then taken as it stands, with a short grace for the
// taking itself. Dialogs the page opens are dismissed, downloads refused.
#pragma once

#include <string>

#include "snapshot/DevToolsSession.h"

namespace lorvex::snapshot {

// The size of the view the page is laid out and shown in.
constexpr int kViewWidth = 1280;
constexpr int kViewHeight = 900;

struct RenderedPage {
  std::string url;       // the document's address, after redirects and the page's own moves
  std::string html;      // the document, UTF-8
  bool settled = false;  // false when the deadline cut one of the waits short
};

// Renders url in a new tab of the browser behind session. Throws SnapshotError when the page
// could not be opened (the browser's reason, or the server's error status), its renderer
// crashed, or the document could not be taken even after the grace; SnapshotStopped;
// platform::ChannelClosed when the browser went away.
RenderedPage RenderPage(DevToolsSession& session, const std::string& url,
                        Clock::time_point deadline);

}  // namespace lorvex::snapshot
