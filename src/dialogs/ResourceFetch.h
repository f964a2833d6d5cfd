// Fetching one resource of a page import on the progress dialog's two engines: the moniker
// downloader first, the HTTP client when the downloader reports a failure (its Tag, which the
// dialog's completion handler sets, is not 0).
//
// Each moniker download is waited for, with the thread's messages processed, until its
// binding has stopped and its last completion report has run, so a fetch that succeeds has
// its file complete. That wait has no bound of its own: the downloader's inactivity
// time-out (TimeOut, when not 0), Skip (TIEDownload::Cancel, which also ends the wait) and
// a Stop (DownloadFlags().StopAll) end it. The HTTP fallback's waits end by the client's
// read time-out or by Skip (Disconnect from its idle hook).
#pragma once

#include <optional>
#include <string>

#include "download/IEDownload.h"
#include "http/HttpClient.h"

namespace lorvex {

// Stores Url as FileName; true on success. On false nothing is left at FileName: a part the
// moniker stored before it broke off is removed when the HTTP fallback fails too.
bool FetchToFile(const std::string& Url, const std::string& FileName, TIEDownload& Downloader,
                 THttpClient& Http);

// The content of Url as text: the moniker's (lines joined with CR LF after every line), else
// the HTTP body, else none. An exception of the downloader is let out.
std::optional<std::string> FetchText(const std::string& Url, TIEDownload& Downloader,
                                     THttpClient& Http);

// The limits of the moniker waits above.
WaitLimits FetchWaitLimits();

}  // namespace lorvex
