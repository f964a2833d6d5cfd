// A WebSocket client (RFC 6455) over the socket seam: the way to a browser's debugging
// protocol where it listens on a loopback port instead of pipes.
//
// Only what that peer needs: one connection to 127.0.0.1, the opening handshake (answered by
// 101), text messages sent as single masked frames, messages received whole (fragments
// joined, text or binary alike), pings answered with pongs. A close frame or the end of the
// stream is platform::ChannelClosed; a frame that breaks the framing rules or a message past
// kMaxWebSocketMessage is std::runtime_error.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "platform/BrowserProcess.h"
#include "snapshot/DevToolsSession.h"

namespace lorvex::snapshot {

constexpr size_t kMaxWebSocketMessage = size_t(512) << 20;

// Connects to ws://127.0.0.1:port + path and completes the handshake before until; throws
// SnapshotError when it cannot.
std::unique_ptr<platform::MessageChannel> ConnectWebSocket(int port, const std::string& path,
                                                           Clock::time_point until);

}  // namespace lorvex::snapshot
