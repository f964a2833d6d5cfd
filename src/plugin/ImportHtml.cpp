#include "plugin/ImportHtml.h"

#include <memory>
#include <optional>

#include "dialogs/DownloadErrors.h"
#include "dialogs/DownloadFlags.h"
#include "dialogs/DownloadProgress.h"
#include "dialogs/MessagePump.h"
#include "fetch/win32/ImportFetcher.h"
#include "import/PageImport.h"
#include "platform/BrowserProcess.h"
#include "platform/win32/Boundary.h"
#include "plugin/PackingLibrary.h"
#include "plugin/PageImportSettings.h"
#include "plugin/RequestDialogs.h"
#include "snapshot/Snapshot.h"
#include "util/FileOperation.h"
#include "util/UrlPath.h"

namespace lorvex {

namespace {

// What the import shows and asks of the progress dialog: its bar (when shown), the thread's
// messages, Stop and Skip.
class DialogObserver final : public ImportObserver {
 public:
  DialogObserver(TForm_DownloadProgress& form, bool shown) : form_(form), shown_(shown) {}

  void ProcessMessages() override { ProcessPendingMessages(); }
  bool HasProgressBar() const override { return shown_; }
  void SetProgress(int position) override { form_.SetProgress(position); }
  bool StopAll() const override { return DownloadFlags().StopAll; }
  bool TakeSkip() override { return form_.TakeSkip(); }

 private:
  TForm_DownloadProgress& form_;
  bool shown_;
};

// The transfers' settings from the request: its proxy when UseProxy is set, and for an
// import whose dialog stays hidden (no Skip can end a stalled transfer) a bound on every wait.
ImportFetchSettings FetchSettingsFor(const TPlugInRequest& request, bool quiet, int connections) {
  ImportFetchSettings settings;
  if (request.UseProxy != 0) {
    settings.ProxyServer = Text(request.ProxyServer);
    settings.ProxyPort = request.ProxyPort;
  }
  settings.WaitBound = quiet ? QuietWaitTimeout(request) : 0;
  settings.Connections = connections;
  settings.HandleMessage = HandleDialogKey;
  return settings;
}

// The modal list of failures; true when the user chose Stop there.
bool ShowFailures(const PageImportState& state) {
  TForm_DownloadErrors errors(DialogHostOf(CurrentRequest()));
  errors.FailedUrls.insert(errors.FailedUrls.end(), state.FailedUrls.begin(),
                           state.FailedUrls.end());
  errors.FailedTargets.insert(errors.FailedTargets.end(), state.FailedTargets.begin(),
                              state.FailedTargets.end());
  errors.ShowModal();
  return DownloadFlags().StopAll;
}

// The import with the settings given: the page, its resources, the packing and the list of
// failures.
bool ImportWithSettings(const TPlugInRequest& request, const std::string& html,
                        const std::string& pageLocation, IStream* hostStream, bool quiet,
                        const PageImportOptions& options) {
  bool result = false;
  // The transfers outlive the dialog, whose close ends them.
  auto fetcher =
      std::make_unique<ImportFetcher>(FetchSettingsFor(request, quiet, options.Connections));
  auto progress = std::make_unique<TForm_DownloadProgress>(DialogHostOf(CurrentRequest()));
  progress->OnClose = [&fetcher] { fetcher->AbandonAll(); };
  PageImportState state;
  try {
    if (!quiet) progress->Show();
    DialogObserver observer(*progress, !quiet);
    const std::string workFolder = Text(request.WorkFolder);
    bool imported = RunPageImport(html, pageLocation, request.DocumentId, workFolder, *fetcher,
                                  observer, state, options);
    if (imported) {
      if (!hostStream) throw PackingError("no host stream");
      PackFolder(std::to_string(request.DocumentId), AddBackslash(workFolder), hostStream,
                 request.PackMode);
    }
    bool stopped = !state.FailedUrls.empty() && ShowFailures(state);
    result = imported && !stopped;
  } catch (...) {
    win32::TraceCaughtException("ImportHtmlToStream");
    result = false;
  }
  progress->Close();
  return result;
}

// One line of the debugger output, as the boundaries write theirs.
void Trace(const std::string& where, const std::string& text) {
  ::OutputDebugStringA(("lorvex: " + where + ": " + text + "\n").c_str());
}

// The page on disk as a browser rendered it, and where the import takes it from.
struct RenderedFile {
  std::string html, location;
};

// Renders the file with the browser the settings name; nothing, with a trace line saying why,
// where no browser is found or the rendering fails. The browser's scratch folder is gone
// when this returns, whatever happened.
std::optional<RenderedFile> RenderFile(const TPlugInRequest& request, const std::string& fileName,
                                       const std::string& location) {
  static constexpr char kWhere[] = "ImportHtmlFile";
  static constexpr char kKept[] = "; saved with its scripts";
  const std::string browser = FindRenderingBrowser();
  if (browser.empty()) {
    Trace(kWhere, std::string("no browser to render the page found") + kKept);
    return std::nullopt;
  }
  // The browser is started elsewhere: it is given the file's full name.
  char full[MAX_PATH + 1] = {};
  const DWORD length = ::GetFullPathNameA(fileName.c_str(), sizeof full, full, nullptr);
  if (length == 0 || length > MAX_PATH) {
    Trace(kWhere, "no full name for " + fileName + kKept);
    return std::nullopt;
  }
  snapshot::SnapshotSettings settings;
  settings.browser = browser;
  if (request.UseProxy != 0)
    settings.proxy = Text(request.ProxyServer) + ":" + std::to_string(request.ProxyPort);
  settings.timeoutMs = QuietWaitTimeout(request);
  // Nothing here offers Stop; the host's windows are kept answering while the browser works.
  settings.stopped = [] {
    ProcessPendingMessages();
    return false;
  };
  try {
    snapshot::RenderedPage page =
        snapshot::TakeSnapshot(platform::FileUrlForBrowser(browser, full), settings);
    RenderedFile rendered{std::move(page.html), snapshot::RenderedPageLocation(page.url, location)};
    if (rendered.location.empty())
      throw snapshot::SnapshotError("the browser ended on " + page.url + ", which is no page");
    if (!page.settled)
      Trace(kWhere, "the page did not settle within " + std::to_string(settings.timeoutMs) +
                        " ms; it is saved as it stood then");
    return rendered;
  } catch (const std::exception& e) {
    Trace(kWhere, "the page could not be rendered by " + browser + " (" + e.what() + ")" + kKept);
  } catch (...) {
    Trace(kWhere, "the page could not be rendered by " + browser + kKept);
  }
  return std::nullopt;
}

}  // namespace

bool ImportHtmlToStream(const TPlugInRequest& request, const std::string& html,
                        const std::string& pageLocation, IStream* hostStream, bool quiet) {
  return ImportWithSettings(request, html, pageLocation, hostStream, quiet,
                            ReadPageImportSettings());
}

bool ImportHtmlFile(const TPlugInRequest& request, IStream* hostStream) {
  const std::string fileName = Text(request.FileName);
  const std::string html = LoadTextFile(fileName);
  const std::string location = ExtractUrlFolder(fileName);
  PageImportOptions options = ReadPageImportSettings();
  if (options.Snapshot) {
    if (std::optional<RenderedFile> rendered = RenderFile(request, fileName, location))
      return ImportWithSettings(request, rendered->html, rendered->location, hostStream, true,
                                options);
    // A page that no browser rendered still needs its scripts: it is saved as complete pages
    // are, scripts kept.
    options.Snapshot = false;
  }
  return ImportWithSettings(request, html, location, hostStream, true, options);
}

}  // namespace lorvex
