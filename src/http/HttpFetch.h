// The HTTP-only fetch routines of the page import and of the error dialog's retry.
#pragma once

#include <optional>
#include <string>

#include "http/HttpClient.h"

namespace lorvex {

// GETs Url with Http and stores the body as FileName, replacing any file there. The body is
// streamed into a temporary file beside the target, which is moved into place only after the
// GET succeeded; on failure the target is untouched and the temporary file removed. Throws
// HttpError, or FileError when the file cannot be written or moved.
void HttpDownloadToFile(const std::string& Url, const std::string& FileName, THttpClient& Http);

// As HttpDownloadToFile; false on any failure, which it does not let out.
bool HttpGetToFile(const std::string& Url, const std::string& FileName, THttpClient& Http);

// The body of Url; empty on any failure, which it does not let out.
std::string HttpGetText(const std::string& Url, THttpClient& Http);
// The body of Url; none on any failure, which it does not let out.
std::optional<std::string> HttpTryGetText(const std::string& Url, THttpClient& Http);

// The name of the temporary file that HttpDownloadToFile writes beside FileName.
std::string PartialFileName(const std::string& FileName);

}  // namespace lorvex
