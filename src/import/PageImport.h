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

#include "fetch/FetchAhead.h"
#include "fetch/Fetching.h"
#include "import/ResourceNames.h"
#include "util/Strings.h"

namespace lorvex {

// What an import saves beyond the default mode, and how many transfers it runs at once.
struct PageImportOptions {
  // Also what modern pages need to look right offline: the references of style sheets,
  // style elements and style attributes, srcset and media sources, lazy-loading attributes,
  // modern file kinds; one naming space per resource folder.
  bool CompletePages = false;
  // Most transfers at once; 1 fetches each resource when the import comes to it.
  int Connections = 1;
  // The top page is the document as a browser rendered it: saved as complete pages are (this
  // implies CompletePages), without the scripts that would run again in the copy
  // (ScriptFreePage.h), so they are neither fetched nor listed. What it embeds was not
  // rendered and keeps its scripts.
  bool Snapshot = false;
};

// The state of one import, as the progress dialog and the failure list see it.
struct PageImportState {
  PageImportOptions Options;
  int32_t ImportDepth = 1;     // depth of the page imported last; 1 for the top page
  int32_t FetchedCount = 0;    // progress steps taken, over all levels and both passes
  int32_t ReferenceTotal = 0;  // references of the page whose passes run now
  StringList FailedUrls;       // resources that could not be fetched ...
  StringList FailedTargets;    // ... and the local files they were to become
  // With CompletePages: the names of each resource folder's files, by the folder's path.
  std::map<std::string, ResourceNames> FolderNames;
};

// The deepest level imported: the top page and what it embeds.
constexpr int32_t kMaxImportDepth = 2;

// What every level of one import works with.
struct PageImportContext {
  FetchAhead& fetches;
  ImportObserver& observer;
  PageImportState& state;
};

// Imports one page at Depth (1 for the top page): Html is its text, PageUrl where it came from
// (a URL, or a local file or folder), PageName the name to save it under (a decimal document
// number for the top page, which gets ".htm"; a file name for a sub-page or script), Folder
// where to save it. False when the level was refused (too deep, a folder that cannot be
// made), stopped, or ended by an exception in its passes. Throws what saving or scanning the
// page raises.
bool ImportPage(const std::string& Html, std::string PageUrl, const std::string& PageName,
                std::string Folder, int32_t Depth, PageImportContext& context);

// The import of a top page as the export runs it: resets the state (depth 1, no steps, empty
// failure lists) and imports the page as DocumentId into WorkFolder, taken as given, with up
// to options.Connections transfers of fetcher at once. Fetches that run ahead write into a
// folder of their own in WorkFolder, gone when this returns. Packing
// and the list of failures stay with the caller. An exception from saving or scanning the top
// page leaves it: then nothing is to be packed and no failure list shown.
bool RunPageImport(const std::string& Html, const std::string& PageLocation, int32_t DocumentId,
                   const std::string& WorkFolder, ResourceFetcher& fetcher,
                   ImportObserver& observer, PageImportState& state,
                   const PageImportOptions& options = {});

}  // namespace lorvex
