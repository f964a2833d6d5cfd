// The page import: one HTML page saved with its references pointed at local copies, the
// resources it names fetched or copied beside it, and the pages and scripts it embeds
// imported the same way one level deeper.
//
// Working folder layout for document 123: the page is <Folder>\123.htm, its resources lie in
// <Folder>\123.files\; a sub-page frame.htm lies there too with its own frame.files\, and a
// script's resources go into the folder of the page that includes it.
//
// Failures are exceptions inside; each level catches those of its two passes (ending that
// level with false), while one raised while a page is saved or scanned leaves ImportPage and
// so ends the passes of the page that references it.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "import/ResourceNames.h"
#include "util/Strings.h"

namespace lorvex {

// What the import needs of the world. The Windows build plugs in the progress dialog's two
// engines; the native build the HTTP client alone; tests a fake.
class PageFetcher {
 public:
  virtual ~PageFetcher() = default;
  // True when the resource was stored in fileName ("/" may separate its folders). Never throws.
  virtual bool FetchToFile(const std::string& url, const std::string& fileName) = 0;
  // The resource as text (possibly empty); none when it could not be fetched. May throw,
  // which ends the passes of the page being imported.
  virtual std::optional<std::string> FetchText(const std::string& url) = 0;
  // Handles what is pending (window messages, a Stop button) between steps.
  virtual void ProcessMessages() = 0;
  virtual bool HasProgressBar() const = 0;
  // Called only when HasProgressBar(); the position may pass 100 (the bar stays full).
  virtual void SetProgress(int position) = 0;
  // The user asked to stop the whole import.
  virtual bool StopAll() const = 0;
};

// What an import saves beyond the pages of its first design.
struct PageImportOptions {
  // Also what today's pages need to look right offline: the references of style sheets,
  // style elements and style attributes, srcset and media sources, lazy-loading attributes,
  // today's file kinds; one naming space per resource folder.
  bool CompletePages = false;
};

// The module-wide state of one import.
struct PageImportState {
  PageImportOptions Options;
  int32_t ImportDepth = 1;     // depth of the page about to be imported; 1 for the top page
  int32_t FetchedCount = 0;    // progress steps taken, over all levels and both passes
  int32_t ReferenceTotal = 0;  // references of the page whose passes run now
  StringList FailedUrls;       // resources that could not be fetched ...
  StringList FailedTargets;    // ... and the local files they were to become
  // With CompletePages: the names of each resource folder's files, by the folder's path.
  std::map<std::string, ResourceNames> FolderNames;
};

// The deepest level imported: the top page and what it embeds.
constexpr int32_t kMaxImportDepth = 2;

// Imports one page at depth state.ImportDepth: Html is its text, PageUrl where it came from
// (a URL, or a local file or folder), PageName the name to save it under (a decimal document
// number for the top page, which gets ".htm"; a file name for a sub-page or script), Folder
// where to save it. False when the level was refused (too deep, a folder that cannot be
// made), stopped, or ended by an exception in its passes. Throws what saving or scanning the
// page raises.
bool ImportPage(const std::string& Html, std::string PageUrl, const std::string& PageName,
                std::string Folder, PageFetcher& fetcher, PageImportState& state);

// The import of a top page as the export runs it: resets the state (depth 1, no steps, empty
// failure lists) and imports the page as DocumentId into WorkFolder, taken as given. Packing
// and the list of failures stay with the caller. An exception from saving or scanning the top
// page leaves it: then nothing is to be packed and no failure list shown.
bool RunPageImport(const std::string& Html, const std::string& PageLocation, int32_t DocumentId,
                   const std::string& WorkFolder, PageFetcher& fetcher, PageImportState& state,
                   const PageImportOptions& options = {});

}  // namespace lorvex
