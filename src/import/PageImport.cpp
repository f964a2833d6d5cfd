#include "import/PageImport.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <set>
#include <vector>

#include "links/CompletePageLinks.h"
#include "links/CssReferences.h"
#include "links/PageLinks.h"
#include "links/ScriptFreePage.h"
#include "platform/Charset.h"
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

bool NamesLocalFile(std::string_view url) {
  return IsDrivePath(url) || IsSharePath(url) || StartsWithIgnoreCase(url, "file:");
}

// Where a reference may lead depends on the document it was read from (a page, frame,
// script or style sheet), not on the page that linked that document. One read from the
// user's disk or network (a drive or share path) may name files there and whatever the URL
// service reads. Any other came from the web, and what it names is fetched over the web only,
// or a document could carry the user's files (or, through a share path, the user's
// credentials) off to wherever it pleases; the test is made on the resolved URL before any
// transfer starts, so every fetch engine sees only what passed it.
bool IsLocalDocument(std::string_view location) {
  return IsDrivePath(location) || IsSharePath(location);
}

enum class Reach {
  Fetch,   // fetched, or copied from disk
  Refuse,  // not fetched, listed as failed, left as written
  Leave,   // not fetched and not listed
};

Reach ReachOf(std::string_view url, bool localDocument, bool complete) {
  if (HasWebScheme(url)) return Reach::Fetch;
  const std::string scheme = UrlScheme(url);
  if (!localDocument) return IsSchemeOfNoFile(scheme) ? Reach::Leave : Reach::Refuse;
  // The complete scan of a page from disk has always left other schemes as they stand.
  return complete && !scheme.empty() ? Reach::Leave : Reach::Fetch;
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
  // With CompletePages: which references are style sheets (their own references are fetched
  // right after them), the references of the page's style elements and attributes (fetched
  // after the first pass, without progress steps of their own), and the folder's names.
  std::vector<bool> sheets;
  StringList styleUrls, styleLocals;
  std::vector<bool> styleSheets;
  ResourceNames* names = nullptr;
};

// A resource folder as the local names begin: "/" between folders and at the end.
std::string LocalFolderText(std::string_view folder) {
  std::string text(Trim(folder));
  for (char& c : text)
    if (c == '\\') c = '/';
  if (!text.empty() && text.back() != '/') text.push_back('/');
  return text;
}

// A sheet that a page names is at level 0, one that a sheet names (by @import, or by a url()
// whose name ends in .css) a level below it. Sheets down to this level are fetched and read; a
// reference that names a sheet deeper down keeps its text, so a server whose sheets name ever
// deeper ones cannot keep the import going.
constexpr int kDeepestSheetLevel = 3;

bool IsStyleSheetName(std::string_view name) {
  return EqualsIgnoreCase(ExtractUrlFileExt(name), ".css");
}

// One reference of a style sheet as the import reads it.
struct SheetReference {
  std::string url, fragment;  // url empty: nothing to fetch
  bool sheet = false;         // it names a style sheet
};
SheetReference ReadSheetReference(const std::string& sheetUrl, const CssReference& css) {
  SheetReference ref;
  ref.url = StyleReferenceUrl(sheetUrl, css.value, &ref.fragment);
  ref.sheet = css.fromImport || IsStyleSheetName(WantedFileName(ref.url, false));
  return ref;
}

// A level's passes are walks over its references. Each walk makes every decision about what is
// fetched (reach, safe names, once per folder, deferred or embedded, the sheet level bound) and
// hands what it decides on to a Visitor: the Fetcher makes the fetches and keeps the import's
// state (names, failures, progress), the Planner only announces them to FetchAhead and changes
// nothing. What runs ahead is thus what the walk run for real will ask for, in its order.
class PageLevel {
 public:
  PageLevel(int32_t depth, std::string pageUrl, std::string resourceFolder, PageReferences refs,
            PageImportContext& context)
      : depth_(depth),
        pageUrl_(std::move(pageUrl)),
        resourceFolder_(std::move(resourceFolder)),
        refs_(std::move(refs)),
        context_(context),
        fetches_(context.fetches),
        observer_(context.observer),
        state_(context.state),
        complete_(refs_.names != nullptr),
        localPage_(IsLocalDocument(pageUrl_)) {}

  // The passes; false when stopped. Exceptions are left to the caller. What was fetched ahead
  // for this level and not used by it is dropped at the end.
  bool Run() {
    struct DropPlans {
      FetchAhead& fetches;
      const void* owner;
      ~DropPlans() { fetches.DropPlans(owner); }
    } drop{fetches_, this};
    if (fetches_.RunsAhead()) {
      Planner plan(*this);
      FetchPass(plan);
      StylePass(plan);
      EmbedPass(plan);
    }
    Fetcher fetch(*this);
    return FetchPass(fetch) && StylePass(fetch) && EmbedPass(fetch) && !observer_.StopAll();
  }

 private:
  class Visitor {
   public:
    virtual ~Visitor() = default;
    virtual bool Stopped() = 0;
    // A progress step begins (false: stopped) and ends.
    virtual bool BeginStep() = 0;
    virtual void EndStep() = 0;
    // The name of url in the folder.
    virtual std::string NameOf(const std::string& url, const std::string& wanted) = 0;
    // True the first time url is to be fetched into the folder.
    virtual bool FirstFetch(const std::string& url) = 0;
    virtual void Refuse(const std::string& url, const std::string& local) = 0;
    // url stored at local; true when it is there now.
    virtual bool Fetch(const std::string& url, const std::string& local) = 0;
    // The walk comes to a page or script embedded one level deeper ...
    virtual void Descend() = 0;
    // ... and to reference i, read from disk or fetched, imported there.
    virtual void Embed(size_t i, bool fromDisk) = 0;
  };

  // Makes the fetches.
  class Fetcher final : public Visitor {
   public:
    explicit Fetcher(PageLevel& level) : level_(level) {}
    bool Stopped() override { return level_.observer_.StopAll(); }
    bool BeginStep() override {
      ++level_.state_.FetchedCount;
      level_.observer_.ProcessMessages();
      return !level_.observer_.StopAll();
    }
    void EndStep() override { level_.ProgressStep(); }
    std::string NameOf(const std::string& url, const std::string& wanted) override {
      return level_.refs_.names->NameOf(url, wanted);
    }
    bool FirstFetch(const std::string& url) override { return level_.refs_.names->FirstFetch(url); }
    void Refuse(const std::string& url, const std::string& local) override {
      level_.Fail(url, local);
    }
    bool Fetch(const std::string& url, const std::string& local) override {
      return level_.FetchNow(url, local);
    }
    void Descend() override { level_.state_.ImportDepth = level_.depth_ + 1; }
    void Embed(size_t i, bool fromDisk) override { level_.ImportEmbedded(i, fromDisk); }

   private:
    PageLevel& level_;
  };

  // Announces the fetches and changes nothing: names are looked at, not given, and what is
  // fetched once per folder is counted here.
  class Planner final : public Visitor {
   public:
    explicit Planner(const PageLevel& level) : level_(level) {}
    bool Stopped() override { return false; }
    bool BeginStep() override { return true; }
    void EndStep() override {}
    std::string NameOf(const std::string& url, const std::string& wanted) override {
      return level_.refs_.names->PeekName(url, wanted);
    }
    bool FirstFetch(const std::string& url) override {
      return !level_.refs_.names->Fetched(url) && planned_.insert(url).second;
    }
    void Refuse(const std::string&, const std::string&) override {}
    void Descend() override {}
    // False: nothing is at local yet, so nothing below it is walked. A local file is copied
    // or read when the import comes to it.
    bool Fetch(const std::string& url, const std::string& local) override {
      if (!NamesLocalFile(url)) level_.fetches_.Plan(url, local, &level_);
      return false;
    }
    void Embed(size_t i, bool fromDisk) override {
      if (!fromDisk) level_.fetches_.Plan(level_.refs_.urls[i], std::string(), &level_);
    }

   private:
    const PageLevel& level_;
    std::set<std::string> planned_;
  };

  void Fail(size_t i) { Fail(refs_.urls[i], refs_.locals[i]); }
  void Fail(const std::string& url, const std::string& local) {
    state_.FailedUrls.push_back(url);
    state_.FailedTargets.push_back(local);
  }

  void ProgressStep() {
    if (observer_.HasProgressBar() && state_.ReferenceTotal != 0)
      observer_.SetProgress(ProgressPosition(state_.FetchedCount, state_.ReferenceTotal));
    observer_.ProcessMessages();
  }

  // Pages in frames and scripts wait for the second pass; modern attributes (kind -1) name
  // resources only.
  bool Deferred(size_t i) const {
    const int kind = refs_.kinds[i];
    const std::string& local = refs_.locals[i];
    return kind >= 0 && (IsPageFile(local) ? kind == rkFrame : IsScriptFile(local));
  }
  bool Embedded(size_t i) const {
    const std::string& local = refs_.locals[i];
    const int kind = refs_.kinds[i];
    return (IsPageFile(local) || IsScriptFile(local)) &&
           (kind == rkScript || kind == rkLink || kind == rkFrame);
  }

  Reach ReachFrom(bool localDocument, std::string_view url) const {
    return ReachOf(url, localDocument, complete_);
  }

  // First pass: every resource is copied or fetched; pages in frames and scripts wait for the
  // second pass.
  bool FetchPass(Visitor& visit) {
    for (size_t i = 0; i < refs_.urls.size(); ++i) {
      if (visit.Stopped()) return false;
      const std::string& url = refs_.urls[i];
      if (url.size() < 2) continue;
      if (!visit.BeginStep()) return false;
      const std::string& local = refs_.locals[i];
      if (!Deferred(i) && FetchResource(visit, url, local, localPage_) && refs_.names &&
          refs_.sheets[i] && !FetchStyleSheetReferences(url, local, 0))
        return false;
      visit.EndStep();
    }
    return true;
  }

  // One resource read from a document that is local or not; true when it is now at its local
  // name.
  bool FetchResource(Visitor& visit, const std::string& url, const std::string& local,
                     bool localDocument) {
    if (!IsSafeLocalName(resourceFolder_, local)) return false;
    const Reach reach = ReachFrom(localDocument, url);
    if (reach == Reach::Leave) return false;
    if (refs_.names && !visit.FirstFetch(url)) return false;  // fetched once per folder
    if (reach == Reach::Refuse) {
      visit.Refuse(url, local);
      return false;
    }
    return visit.Fetch(url, local);
  }

  // Copies or fetches url to local now.
  bool FetchNow(const std::string& url, const std::string& local) {
    if (IsDrivePath(url)) {
      // A local file is copied, unless the page names its own copy; a failed copy is not
      // reported (there is nothing a retry over the web could do).
      const std::string source = GetLongPath(ReplaceAllText(url, "/", "\\"));
      const std::string target =
          GetLongPath(ReplaceAllText(resourceFolder_ + ExtractUrlFileName(local), "/", "\\"));
      return EqualsIgnoreCase(source, target) || platform::CopyFileReplacing(source, target);
    }
    if (fetches_.FetchToFile(url, local)) return true;
    Fail(url, local);
    return false;
  }

  // The references of a saved style sheet, fetched in order (the sheets it names depth
  // first, each announced just before its own references are), then the sheet rewritten to
  // name them by their local names. level is the sheet's (0 for one that a page names). What
  // the sheet may reach depends on where it came from, not on the page. False when stopped.
  bool FetchStyleSheetReferences(const std::string& sheetUrl, const std::string& sheetFile,
                                 int level) {
    std::string text;
    try {
      text = ReadFileBytes(sheetFile);
    } catch (const FileError&) {
      return true;  // nothing to read: nothing to fetch
    }
    const std::vector<CssReference> found = FindCssReferences(text);
    std::vector<std::optional<std::string>> names;
    if (fetches_.RunsAhead()) {
      Planner plan(*this);
      SheetPass(plan, sheetUrl, found, level, names);
    }
    Fetcher fetch(*this);
    if (!SheetPass(fetch, sheetUrl, found, level, names)) return false;
    size_t index = 0;
    const std::string rewritten =
        RewriteCssReferences(text, [&](const CssReference&) { return names[index++]; });
    if (rewritten != text) WriteFileBytes(sheetFile, rewritten);
    return true;
  }

  // The references found in a sheet at level, in order; names gets the local name of each
  // (none: it keeps its text). A reference that names a sheet below the deepest level keeps
  // its text, and so does what the sheet may not reach; what is refused is listed and keeps
  // its text.
  bool SheetPass(Visitor& visit, const std::string& sheetUrl,
                 const std::vector<CssReference>& found, int level,
                 std::vector<std::optional<std::string>>& names) {
    const bool localSheet = IsLocalDocument(sheetUrl);
    const std::string folder = LocalFolderText(resourceFolder_);
    names.clear();
    for (const CssReference& css : found) {
      std::optional<std::string>& name = names.emplace_back();
      if (visit.Stopped()) return false;
      const SheetReference ref = ReadSheetReference(sheetUrl, css);
      if (ref.url.size() < 2 || (ref.sheet && level >= kDeepestSheetLevel) ||
          ReachFrom(localSheet, ref.url) == Reach::Leave)
        continue;
      const std::string local = visit.NameOf(ref.url, WantedFileName(ref.url, false));
      if (!IsSafeLocalName(resourceFolder_, folder + local)) continue;
      if (ReachFrom(localSheet, ref.url) == Reach::Fetch) name = local + ref.fragment;
      if (FetchResource(visit, ref.url, folder + local, localSheet) && ref.sheet &&
          !FetchStyleSheetReferences(ref.url, folder + local, level + 1))
        return false;
    }
    return true;
  }

  // The references of the page's style elements and attributes.
  bool StylePass(Visitor& visit) {
    for (size_t i = 0; i < refs_.styleUrls.size(); ++i) {
      if (visit.Stopped()) return false;
      const std::string& url = refs_.styleUrls[i];
      const std::string& local = refs_.styleLocals[i];
      if (url.size() >= 2 && FetchResource(visit, url, local, localPage_) &&
          (refs_.styleSheets[i] || IsStyleSheetName(local)) &&
          !FetchStyleSheetReferences(url, local, 0))
        return false;
    }
    return true;
  }

  // Second pass: pages in frames, linked pages and scripts are imported one level deeper; a
  // page read from disk reads what it embeds from disk too.
  bool EmbedPass(Visitor& visit) {
    for (size_t i = 0; i < refs_.urls.size(); ++i) {
      if (!visit.BeginStep()) return false;
      if (Embedded(i)) visit.Descend();
      if (Embedded(i) && IsSafeLocalName(resourceFolder_, refs_.locals[i])) {
        const Reach reach = ReachFrom(localPage_, refs_.urls[i]);
        if (reach == Reach::Refuse)
          visit.Refuse(refs_.urls[i], refs_.locals[i]);
        else if (reach == Reach::Fetch)
          visit.Embed(i, IsDrivePath(pageUrl_));
      }
      visit.EndStep();
    }
    return true;
  }

  // A page or script that could not be read or fetched is listed, not saved empty: the list's
  // retry can still fetch it.
  void ImportEmbedded(size_t i, bool fromDisk) {
    const std::string& url = refs_.urls[i];
    const std::string& local = refs_.locals[i];
    const std::optional<std::string> text = fromDisk ? LoadTextFile(url) : fetches_.FetchText(url);
    if (!text) {
      Fail(i);
      return;
    }
    ImportPage(*text, url, ExtractUrlFileName(local), resourceFolder_, depth_ + 1, context_);
  }

  const int32_t depth_;
  const std::string pageUrl_;
  const std::string resourceFolder_;
  const PageReferences refs_;
  PageImportContext& context_;
  FetchAhead& fetches_;
  ImportObserver& observer_;
  PageImportState& state_;
  const bool complete_;
  const bool localPage_;
};

// A local path as UTF-8, the form a URL names it in.
std::string FileNameAsUtf8(const std::string& path) {
  std::string utf8;
  return platform::FileNameTextToUtf8(path, utf8) ? utf8 : path;
}

// The references to fetch in complete mode, from the page's scan: the tags' references and
// modern attributes in order (each once), then the style references (each once).
// An <iframe srcdoc> document's references are the page's own, in their place.
void FlattenReferences(const std::vector<PageReference>& scanned,
                       std::vector<const PageReference*>& out) {
  for (const PageReference& ref : scanned) {
    if (ref.form == PageReference::Form::Srcdoc)
      FlattenReferences(ref.inner, out);
    else
      out.push_back(&ref);
  }
}

PageReferences CompletePageReferences(const std::vector<PageReference>& scanned,
                                      const std::string& resourceFolder, bool localPage,
                                      ResourceNames& names) {
  PageReferences refs;
  refs.names = &names;
  const std::string folder = LocalFolderText(resourceFolder);
  std::set<std::pair<int, std::string>> listed;
  std::set<std::string> styles;
  std::vector<const PageReference*> all;
  FlattenReferences(scanned, all);
  for (const PageReference* each : all) {
    const PageReference& ref = *each;
    if (ref.url.empty() || ref.form == PageReference::Form::RemoveTag ||
        ref.form == PageReference::Form::RemoveAttribute ||
        ReachOf(ref.url, localPage, true) == Reach::Leave)
      continue;
    const std::string local =
        folder + names.NameOf(ref.url, WantedFileName(ref.url, ref.kind == rkFrame));
    if (ref.inlineStyle) {
      if (!styles.insert(ref.url).second) continue;
      refs.styleUrls.push_back(ref.url);
      refs.styleLocals.push_back(local);
      refs.styleSheets.push_back(ref.styleSheet);
      continue;
    }
    const int kind = ref.kind;
    if (!listed.emplace(kind, ref.url).second) continue;
    refs.urls.push_back(ref.url);
    refs.locals.push_back(local);
    refs.kinds.push_back(kind);
    refs.sheets.push_back(ref.styleSheet || IsStyleSheetName(local));
  }
  return refs;
}

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
                std::string Folder, int32_t Depth, PageImportContext& context) {
  PageImportState& state = context.state;
  const int32_t depth = Depth;
  if (depth > kMaxImportDepth) return false;
  Folder = AddBackslash(Folder);
  if (!platform::DirectoryExists(Folder) && !platform::CreateDirectoryLevel(Folder)) return false;

  // The top page is named by its document number; a script's references point into the
  // folder of the page that includes it.
  const bool complete = state.Options.CompletePages;
  const bool script = complete ? IsCompletePageScriptFile(PageUrl) : IsScriptFile(PageUrl);
  std::string pageFile = Folder + PageName, resourceFolder, localFolder;
  if (ExtractUrlFileExt(PageName).empty()) {
    pageFile += ".htm";
    localFolder = FileNameOnly(pageFile) + ".files";
    resourceFolder = Folder + localFolder + "\\";
  } else if (!script) {
    resourceFolder = Folder + FileNameOnly(pageFile) + ".files\\";
    localFolder = FileNameOnly(PageName) + ".files";
  } else {
    resourceFolder = Folder;
    localFolder = LastUrlFolderName(Folder);
  }
  PageReferences refs;
  if (complete) {
    // A rendered top page is saved without its scripts; what it embeds keeps its own.
    const bool rendered = state.Options.Snapshot && depth == 1 && !script;
    const std::string scriptFree = rendered ? ScriptFreePage(Html) : std::string();
    const std::string& html = rendered ? scriptFree : Html;
    // Names are given in the order of the page; the page is written with them before any
    // of its references is fetched.
    const std::vector<PageReference> scanned = ScanCompletePage(html, PageUrl, script);
    const bool localPage = IsLocalDocument(ResolveUrl(PageUrl, PageUrl));
    ResourceNames& names = state.FolderNames[AsciiLowerCase(resourceFolder)];
    const std::string prefix =
        LocalFolderText(localFolder) == "/" ? "" : LocalFolderText(localFolder);
    const std::string saved = RewriteCompletePage(
        html, scanned, [&](const PageReference& ref) -> std::optional<std::string> {
          // What the page may not reach keeps its text.
          if (ReachOf(ref.url, localPage, true) != Reach::Fetch) return std::nullopt;
          const std::string& name =
              names.NameOf(ref.url, WantedFileName(ref.url, ref.kind == rkFrame));
          if (!IsSafeLocalName(resourceFolder, name)) return std::nullopt;
          return FileNameAsUtf8(prefix + name);
        });
    WriteFileBytes(pageFile, NormalizeLineBreaks(saved));
    refs = CompletePageReferences(scanned, resourceFolder, localPage, names);
    PageUrl = ResolveUrl(PageUrl, PageUrl);
  } else {
    WriteFileBytes(pageFile, NormalizeLineBreaks(RewritePageLinks(Html, localFolder, PageUrl)));
    PageUrl = ResolveUrl(PageUrl, PageUrl);
    refs = CollectPageReferences(Html, PageUrl, resourceFolder);
  }
  if (!refs.urls.empty() && !platform::DirectoryExists(resourceFolder) &&
      !platform::CreateDirectoryLevel(resourceFolder))
    return false;
  state.ReferenceTotal = int32_t(refs.urls.size());

  try {
    return PageLevel(depth, std::move(PageUrl), std::move(resourceFolder), std::move(refs), context)
        .Run();
  } catch (...) {
    // Whatever ends the passes (a sub-page that cannot be read, saved or scanned, a fetch
    // that raised) ends this level only.
    return false;
  }
}

bool RunPageImport(const std::string& Html, const std::string& PageLocation, int32_t DocumentId,
                   const std::string& WorkFolder, ResourceFetcher& fetcher,
                   ImportObserver& observer, PageImportState& state,
                   const PageImportOptions& options) {
  state = PageImportState{};
  state.Options = options;
  state.Options.CompletePages |= options.Snapshot;
  const std::string name = std::to_string(DocumentId);
  // Beside the page and its resource folder, under a name the import never gives a file.
  FetchAhead fetches(
      fetcher, observer, options.Connections,
      WorkFolder.empty() ? std::string() : AddBackslash(WorkFolder) + name + ".fetching");
  PageImportContext context{fetches, observer, state};
  return ImportPage(Html, PageLocation, name, WorkFolder, 1, context);
}

}  // namespace lorvex
