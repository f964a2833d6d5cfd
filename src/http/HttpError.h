// The one exception type of the HTTP client: every failure of a transfer raises it, with
// the kind of failure and, for an answer that was not a success, its status code.
#pragma once

#include <stdexcept>
#include <string>

namespace lorvex {

enum class HttpFailure {
  Status,      // the server answered with a status other than 2xx (StatusCode() holds it)
  Url,         // a malformed URL, or a scheme other than http and https
  Connect,     // the host could not be resolved or the connection was refused or timed out
  Network,     // the connection failed or was reset during the transfer
  Timeout,     // no data for the read time-out
  Aborted,     // Disconnect ended the transfer
  Protocol,    // a malformed answer, or one beyond the client's limits
  Incomplete,  // the connection closed before the body was complete
  Redirects,   // more redirections than the client follows
  Tls,         // no secure channel: a failed handshake or a certificate that does not verify
};

class HttpError : public std::runtime_error {
 public:
  HttpError(HttpFailure kind, const std::string& message, int statusCode = 0)
      : std::runtime_error(message), kind_(kind), statusCode_(statusCode) {}

  HttpFailure Kind() const noexcept { return kind_; }
  // The status code of the answer; 0 when the failure was not an answer's status.
  int StatusCode() const noexcept { return statusCode_; }

 private:
  HttpFailure kind_;
  int statusCode_;
};

}  // namespace lorvex
