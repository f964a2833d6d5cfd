#include "import/PageImport.h"

#include <cstdint>
#include <limits>
#include <vector>

#include "links/PageLinks.h"
#include "platform/Platform.h"
#include "util/FileOperation.h"
#include "util/SafeFileName.h"
#include "util/UrlPath.h"

namespace lorvex {

namespace {

// Local names and resolved URLs follow one rule: a second character ":" makes a drive path.
bool IsDrivePath(std::string_view path) { return path.size() >= 2 && path[1] == ':'; }
bool IsSharePath(std::string_view path) {
  return path.size() >= 2 && IsPathDelimiter(path[0]) && IsPathDelimiter(path[1]);
}

// A page read from the user's disk or network may name other files there; a page from the
// web may not, or a page could carry the user's files (or, through a share path, the user's
// credentials) off to wherever it pleases.
bool IsLocalPage(std::string_view pageUrl) { return IsDrivePath(pageUrl) || IsSharePath(pageUrl); }
bool NamesLocalFile(std::string_view url) {
  return IsDrivePath(url) || IsSharePath(url) || StartsWithIgnoreCase(url, "file:");
}

// Names come from the page: one that could leave the resource folder, name a device or fail
// to be created is not written. Both the name as the fetch writes it and the trimmed name that
// a copy or a sub-page is saved under must pass.
bool IsSafeLocalName(const std::string& resourceFolder, std::string_view local) {
  const size_t slash = local.rfind('/');
  const std::string_view raw = slash == std::string_view::npos ? local : local.substr(slash + 1);
  return IsSafeFileIn(resourceFolder, raw) &&
         IsSafeFileIn(resourceFolder, ExtractUrlFileName(local));
}

// fetched * 100 / total (both positive), rounded to the nearest integer, halves to even.
int ProgressPosition(int32_t fetched, int32_t total) {
  const int64_t numerator = int64_t(fetched) * 100;
  int64_t quotient = numerator / total;
  const int64_t remainder = numerator % total;
  if (2 * remainder > total || (2 * remainder == total && quotient % 2 != 0)) ++quotient;
  return quotient > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max()
                                                    : int(quotient);
}

// One level's reference lists, index-aligned.
struct PageReferences {
  StringList urls;    // the plain URL of each reference
  StringList locals;  // the local file it becomes ("/" separated)
  std::vector<int> kinds;
};

class PageLevel {
 public:
  PageLevel(int32_t depth, std::string pageUrl, std::string resourceFolder, PageReferences refs,
            PageFetcher& fetcher, PageImportState& state)
      : depth_(depth),
        pageUrl_(std::move(pageUrl)),
        resourceFolder_(std::move(resourceFolder)),
        refs_(std::move(refs)),
        fetcher_(fetcher),
        state_(state),
        localPage_(IsLocalPage(pageUrl_)) {}

  // The two passes; false when stopped. Exceptions are left to the caller.
  bool Run() { return FetchPass() && EmbedPass() && !fetcher_.StopAll(); }

 private:
  void Fail(size_t i) {
    state_.FailedUrls.push_back(refs_.urls[i]);
    state_.FailedTargets.push_back(refs_.locals[i]);
  }

  void ProgressStep() {
    if (fetcher_.HasProgressBar() && state_.ReferenceTotal != 0)
      fetcher_.SetProgress(ProgressPosition(state_.FetchedCount, state_.ReferenceTotal));
    fetcher_.ProcessMessages();
  }

  // First pass: every resource is copied or fetched; pages in frames and scripts wait for the
  // second pass.
  bool FetchPass() {
    for (size_t i = 0; i < refs_.urls.size(); ++i) {
      if (fetcher_.StopAll()) return false;
      const std::string& url = refs_.urls[i];
      if (url.size() < 2) continue;
      ++state_.FetchedCount;
      fetcher_.ProcessMessages();
      if (fetcher_.StopAll()) return false;
      const std::string& local = refs_.locals[i];
      const bool deferred = IsPageFile(local) ? refs_.kinds[i] == rkFrame : IsScriptFile(local);
      if (!deferred) FetchResource(i);
      ProgressStep();
    }
    return true;
  }

  void FetchResource(size_t i) {
    const std::string& url = refs_.urls[i];
    const std::string& local = refs_.locals[i];
    if (!IsSafeLocalName(resourceFolder_, local)) return;
    if (!localPage_ && NamesLocalFile(url)) {
      Fail(i);
      return;
    }
    if (IsDrivePath(url)) {
      // A local file is copied, unless the page names its own copy; a failed copy is not
      // reported (there is nothing a retry over the web could do).
      const std::string source = GetLongPath(ReplaceAllText(url, "/", "\\"));
      const std::string target =
          GetLongPath(ReplaceAllText(resourceFolder_ + ExtractUrlFileName(local), "/", "\\"));
      if (!EqualsIgnoreCase(source, target)) platform::CopyFileReplacing(source, target);
    } else if (!fetcher_.FetchToFile(url, local)) {
      Fail(i);
    }
  }

  // Second pass: pages in frames, linked pages and scripts are imported one level deeper.
  bool EmbedPass() {
    for (size_t i = 0; i < refs_.urls.size(); ++i) {
      ++state_.FetchedCount;
      fetcher_.ProcessMessages();
      if (fetcher_.StopAll()) return false;
      const std::string& local = refs_.locals[i];
      const int kind = refs_.kinds[i];
      if ((IsPageFile(local) || IsScriptFile(local)) &&
          (kind == rkScript || kind == rkLink || kind == rkFrame))
        ImportEmbedded(i);
      ProgressStep();
    }
    return true;
  }

  void ImportEmbedded(size_t i) {
    const std::string& url = refs_.urls[i];
    const std::string& local = refs_.locals[i];
    state_.ImportDepth = depth_ + 1;
    if (!IsSafeLocalName(resourceFolder_, local)) return;
    if (!localPage_ && NamesLocalFile(url)) {
      Fail(i);
      return;
    }
    // A page read from disk reads what it embeds from disk too. A page or script that could
    // not be fetched is listed, not saved empty: the list's retry can still fetch it.
    std::optional<std::string> text;
    if (IsDrivePath(pageUrl_))
      text = LoadTextFile(url);
    else
      text = fetcher_.FetchText(url);
    if (!text) {
      Fail(i);
      return;
    }
    ImportPage(*text, url, ExtractUrlFileName(local), resourceFolder_, fetcher_, state_);
  }

  const int32_t depth_;
  const std::string pageUrl_;
  const std::string resourceFolder_;
  const PageReferences refs_;
  PageFetcher& fetcher_;
  PageImportState& state_;
  const bool localPage_;
};

// The references to fetch, from the page text as it was given (not the rewritten one).
PageReferences CollectPageReferences(const std::string& html, const std::string& pageUrl,
                                     const std::string& resourceFolder) {
  PageReferences refs;
  refs.urls = FetchReferenceList(html, pageUrl);
  refs.locals = MakeLocalNames(refs.urls, resourceFolder);
  refs.kinds.reserve(refs.urls.size());
  for (const std::string& ref : refs.urls) refs.kinds.push_back(ReferenceKindOf(ref));
  StripReferenceKinds(refs.urls);
  return refs;
}

}  // namespace

bool ImportPage(const std::string& Html, std::string PageUrl, const std::string& PageName,
                std::string Folder, PageFetcher& fetcher, PageImportState& state) {
  const int32_t depth = state.ImportDepth;
  if (depth > kMaxImportDepth) return false;
  Folder = AddBackslash(Folder);
  if (!platform::DirectoryExists(Folder) && !platform::CreateDirectoryLevel(Folder)) return false;

  // The top page is named by its document number; a script's references point into the
  // folder of the page that includes it.
  std::string pageFile = Folder + PageName, resourceFolder, saved;
  if (ExtractUrlFileExt(PageName).empty()) {
    pageFile += ".htm";
    const std::string localFolder = FileNameOnly(pageFile) + ".files";
    resourceFolder = Folder + localFolder + "\\";
    saved = RewritePageLinks(Html, localFolder, PageUrl);
  } else if (!IsScriptFile(PageUrl)) {
    resourceFolder = Folder + FileNameOnly(pageFile) + ".files\\";
    saved = RewritePageLinks(Html, FileNameOnly(PageName) + ".files", PageUrl);
  } else {
    resourceFolder = Folder;
    saved = RewritePageLinks(Html, LastUrlFolderName(Folder), PageUrl);
  }
  WriteFileBytes(pageFile, NormalizeLineBreaks(saved));

  PageUrl = ResolveUrl(PageUrl, PageUrl);
  PageReferences refs = CollectPageReferences(Html, PageUrl, resourceFolder);
  if (!refs.urls.empty() && !platform::DirectoryExists(resourceFolder) &&
      !platform::CreateDirectoryLevel(resourceFolder))
    return false;
  state.ReferenceTotal = int32_t(refs.urls.size());

  try {
    return PageLevel(depth, std::move(PageUrl), std::move(resourceFolder), std::move(refs), fetcher,
                     state)
        .Run();
  } catch (...) {
    // Whatever ends the passes (a sub-page that cannot be read, saved or scanned, a fetch
    // that raised) ends this level only.
    return false;
  }
}

bool RunPageImport(const std::string& Html, const std::string& PageLocation, int32_t DocumentId,
                   const std::string& WorkFolder, PageFetcher& fetcher, PageImportState& state) {
  state = PageImportState{};
  return ImportPage(Html, PageLocation, std::to_string(DocumentId), WorkFolder, fetcher, state);
}

}  // namespace lorvex
