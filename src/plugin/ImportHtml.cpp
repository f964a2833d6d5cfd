#include "plugin/ImportHtml.h"

#include <memory>

#include "dialogs/DownloadErrors.h"
#include "dialogs/DownloadFlags.h"
#include "dialogs/DownloadProgress.h"
#include "dialogs/MessagePump.h"
#include "dialogs/ResourceFetch.h"
#include "import/PageImport.h"
#include "platform/win32/Boundary.h"
#include "plugin/PackingLibrary.h"
#include "plugin/PageImportSettings.h"
#include "util/FileOperation.h"
#include "util/UrlPath.h"

namespace lorvex {

namespace {

// The page import's view of the progress dialog: its two engines, its bar (when shown), the
// thread's messages and the Stop button's flag.
class DialogFetcher final : public PageFetcher {
 public:
  DialogFetcher(TForm_DownloadProgress& form, bool shown) : form_(form), shown_(shown) {}

  // The dialog's close box destroys its HTTP client while the import goes on: what is left
  // then counts as not fetched (listed, so that a retry can still fetch it).
  bool FetchToFile(const std::string& url, const std::string& fileName) override {
    return form_.HTTP && lorvex::FetchToFile(url, fileName, form_.IEDownload, *form_.HTTP);
  }
  std::optional<std::string> FetchText(const std::string& url) override {
    if (!form_.HTTP) return std::nullopt;
    return lorvex::FetchText(url, form_.IEDownload, *form_.HTTP);
  }
  void ProcessMessages() override { ProcessPendingMessages(); }
  bool HasProgressBar() const override { return shown_; }
  void SetProgress(int position) override { form_.SetProgress(position); }
  bool StopAll() const override { return DownloadFlags().StopAll; }

 private:
  TForm_DownloadProgress& form_;
  bool shown_;
};

// The modal list of failures; true when the user chose Stop there.
bool ShowFailures(const PageImportState& state) {
  TForm_DownloadErrors errors;
  errors.FailedUrls.insert(errors.FailedUrls.end(), state.FailedUrls.begin(),
                           state.FailedUrls.end());
  errors.FailedTargets.insert(errors.FailedTargets.end(), state.FailedTargets.begin(),
                              state.FailedTargets.end());
  errors.ShowModal();
  return DownloadFlags().StopAll;
}

}  // namespace

bool ImportHtmlToStream(const TPlugInRequest& request, const std::string& html,
                        const std::string& pageLocation, IStream* hostStream, bool quiet) {
  bool result = false;
  auto progress = std::make_unique<TForm_DownloadProgress>();
  PageImportState state;
  try {
    if (quiet) {
      progress->BoundWaitsWhileHidden();  // no Skip button can end a stalled transfer
    } else {
      progress->Show();
    }
    DialogFetcher fetcher(*progress, !quiet);
    const std::string workFolder = Text(request.WorkFolder);
    bool imported = RunPageImport(html, pageLocation, request.DocumentId, workFolder, fetcher,
                                  state, ReadPageImportSettings());
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

bool ImportHtmlFile(const TPlugInRequest& request, IStream* hostStream) {
  const std::string fileName = Text(request.FileName);
  const std::string html = LoadTextFile(fileName);
  return ImportHtmlToStream(request, html, ExtractUrlFolder(fileName), hostStream, true);
}

}  // namespace lorvex
