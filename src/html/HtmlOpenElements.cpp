// Conventions of this file:
// - A position is an index into open_; open_[0] stands for the html element, so position 0
//   also means "none" in the answers of Top (the html element bounds every scope anyway).
// - The index stacks (Positions) hold the positions of the open elements of one kind in
//   ascending order; an element is pushed on each of its kinds and taken off them when it is
//   popped, so their tops answer "the nearest open element of this kind" at once.
// - An element taken out of the middle of the stack (by the adoption of a formatting element,
//   or a form's end tag) stays in open_ as not alive; Top skips it and Pop drops it when it
//   comes to the top.
// - The rule names follow the tree construction of the HTML standard: the insertion modes
//   ("in table", "in row" ...), "close a p element", "generate implied end tags", "reconstruct
//   the active formatting elements", "the adoption agency algorithm".
#include "html/HtmlOpenElements.h"

#include <algorithm>

#include "html/HtmlTokenizer.h"
#include "util/Ascii.h"

namespace lorvex {

namespace {

enum Kind : uint32_t {
  kSpecial = 1u << 0,
  kListBarrier = 1u << 1,  // special but address, div and p
  kScope = 1u << 2,
  kTableScope = 1u << 3,
  kHeading = 1u << 4,
  kMode = 1u << 5,  // table parts and template: they set the insertion mode
  kCell = 1u << 6,
  kSection = 1u << 7,
  kTemplate = 1u << 8,
  kHtmlPoint = 1u << 9,    // foreignObject, desc, title; annotation-xml of HTML
  kMathText = 1u << 10,    // mi, mo, mn, ms, mtext
  kAnnotation = 1u << 11,  // annotation-xml
  kImplied = 1u << 12,     // closed by "generate implied end tags"
  kImpliedThorough = 1u << 13,
  kFormatting = 1u << 14,
  kMarker = 1u << 15,  // puts a marker in the list of formatting elements
};

struct NamedKinds {
  std::string_view names;  // space separated
  uint32_t kinds;
};

// The kinds of the HTML elements by name.
const std::unordered_map<std::string_view, uint32_t>& HtmlKinds() {
  static const std::unordered_map<std::string_view, uint32_t> table = [] {
    const NamedKinds lists[] = {
        {"address applet area article aside base basefont bgsound blockquote body br button "
         "caption center col colgroup dd details dialog dir div dl dt embed fieldset figcaption "
         "figure footer form frame frameset h1 h2 h3 h4 h5 h6 head header hgroup hr html "
         "iframe img input keygen li link listing main marquee menu meta nav noembed noframes "
         "noscript object ol p param plaintext pre script search section select source style "
         "summary table tbody td template textarea tfoot th thead title tr track ul wbr xmp",
         kSpecial},
        {"applet caption html table td th marquee object select template", kScope},
        {"html table template", kTableScope},
        {"h1 h2 h3 h4 h5 h6", kHeading},
        {"td th tr tbody thead tfoot caption colgroup table template html", kMode},
        {"td th", kCell},
        {"tbody thead tfoot", kSection},
        {"template", kTemplate},
        {"dd dt li optgroup option p rb rp rt rtc", kImplied | kImpliedThorough},
        {"caption colgroup tbody td tfoot th thead tr", kImpliedThorough},
        {"a b big code em font i nobr s small strike strong tt u", kFormatting},
        {"applet marquee object td th caption template", kMarker},
    };
    std::unordered_map<std::string_view, uint32_t> kinds;
    for (const NamedKinds& list : lists) {
      std::string_view names = list.names;
      while (!names.empty()) {
        const size_t space = names.find(' ');
        kinds[names.substr(0, space)] |= list.kinds;
        names = space == std::string_view::npos ? std::string_view() : names.substr(space + 1);
      }
    }
    for (auto& [name, kind] : kinds) {
      if ((kind & kSpecial) && name != "address" && name != "div" && name != "p")
        kind |= kListBarrier;
    }
    return kinds;
  }();
  return table;
}

uint32_t KindsOfHtml(std::string_view name) {
  const auto& table = HtmlKinds();
  const auto found = table.find(name);
  return found == table.end() ? 0 : found->second;
}

template <size_t N>
bool IsOneOf(std::string_view name, const std::string_view (&names)[N]) {
  return std::find(std::begin(names), std::end(names), name) != std::end(names);
}

bool EqualsFolded(std::string_view text, std::string_view lower) {
  if (text.size() != lower.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (AsciiLower(text[i]) != lower[i]) return false;
  }
  return true;
}

// The HTML start tags that end svg/math content.
bool IsBreakout(const HtmlToken& tag) {
  static constexpr std::string_view kBreakout[] = {
      "b",      "big",  "blockquote", "body",  "br",   "center", "code",    "dd",   "div",
      "dl",     "dt",   "em",         "embed", "h1",   "h2",     "h3",      "h4",   "h5",
      "h6",     "head", "hr",         "i",     "img",  "li",     "listing", "menu", "meta",
      "nobr",   "ol",   "p",          "pre",   "ruby", "s",      "small",   "span", "strong",
      "strike", "sub",  "sup",        "table", "tt",   "u",      "ul",      "var"};
  if (IsOneOf(tag.name, kBreakout)) return true;
  return tag.name == "font" && (FindHtmlAttribute(tag, "color") || FindHtmlAttribute(tag, "face") ||
                                FindHtmlAttribute(tag, "size"));
}

constexpr bool IsHtmlSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

}  // namespace

HtmlOpenElements::HtmlOpenElements() { Push("html", Space::Html); }

// --- Queries ------------------------------------------------------------------------------

bool HtmlOpenElements::CurrentIs(std::string_view name) const {
  return Current().space == Space::Html && Current().name == name;
}

uint32_t HtmlOpenElements::Top(Positions& positions) {
  while (!positions.empty() && !open_[positions.back()].alive) positions.pop_back();
  return positions.empty() ? 0 : positions.back();
}

uint32_t HtmlOpenElements::TopOf(std::string_view name) {
  const auto found = htmlByName_.find(std::string(name));
  return found == htmlByName_.end() ? 0 : Top(found->second);
}

bool HtmlOpenElements::InScope(std::string_view name) {
  const uint32_t at = TopOf(name);
  return at > 0 && at >= Top(scope_);
}

bool HtmlOpenElements::InButtonScope(std::string_view name) {
  const uint32_t at = TopOf(name);
  return at > 0 && at >= std::max(Top(scope_), TopOf("button"));
}

bool HtmlOpenElements::InListItemScope(std::string_view name) {
  const uint32_t at = TopOf(name);
  return at > 0 && at >= std::max({Top(scope_), TopOf("ol"), TopOf("ul")});
}

bool HtmlOpenElements::InTableScope(std::string_view name) {
  const uint32_t at = TopOf(name);
  return at > 0 && at >= Top(tableScope_);
}

// The insertion mode, as resetting it would find it from the nearest table part or template.
HtmlOpenElements::Mode HtmlOpenElements::CurrentMode() {
  const std::string& name = open_[Top(modes_)].name;
  if (name == "td" || name == "th") return Mode::Cell;
  if (name == "tr") return Mode::Row;
  if (name == "tbody" || name == "thead" || name == "tfoot") return Mode::TableBody;
  if (name == "caption") return Mode::Caption;
  if (name == "colgroup") return Mode::ColumnGroup;
  if (name == "table") return Mode::Table;
  if (name == "template") return open_[Top(modes_)].contents;
  return Mode::Body;  // html
}

bool HtmlOpenElements::TakesHtmlStartTag(const HtmlToken& tag) const {
  const Element& current = Current();
  if (current.space == Space::Html || (current.kinds & kHtmlPoint)) return true;
  if (current.kinds & kMathText) return tag.name != "mglyph" && tag.name != "malignmark";
  return (current.kinds & kAnnotation) && tag.name == "svg";
}

bool HtmlOpenElements::AllowsCdata() const { return CurrentIsForeign(); }

// --- The stack ----------------------------------------------------------------------------

void HtmlOpenElements::Push(std::string_view name, Space space, bool htmlPoint) {
  uint32_t kinds = 0;
  if (space == Space::Html) {
    kinds = KindsOfHtml(name);
  } else if (space == Space::Svg) {
    if (name == "foreignobject" || name == "desc" || name == "title")
      kinds = kSpecial | kListBarrier | kScope | kHtmlPoint;
  } else {
    static constexpr std::string_view kText[] = {"mi", "mo", "mn", "ms", "mtext"};
    if (IsOneOf(name, kText)) kinds = kSpecial | kListBarrier | kScope | kMathText;
    if (name == "annotation-xml")
      kinds =
          kSpecial | kListBarrier | kScope | kAnnotation | (htmlPoint ? uint32_t(kHtmlPoint) : 0u);
  }
  const auto at = static_cast<uint32_t>(open_.size());
  open_.push_back(Element{std::string(name), space, kinds});
  (space == Space::Html ? htmlByName_ : foreignByName_)[open_.back().name].push_back(at);
  if (space == Space::Html) html_.push_back(at);
  if (kinds & kSpecial) special_.push_back(at);
  if (kinds & kListBarrier) listBarrier_.push_back(at);
  if (kinds & kScope) scope_.push_back(at);
  if (kinds & kTableScope) tableScope_.push_back(at);
  if (kinds & kHeading) headings_.push_back(at);
  if (kinds & kMode) modes_.push_back(at);
  if (kinds & kCell) cells_.push_back(at);
  if (kinds & kSection) sections_.push_back(at);
  if (kinds & kTemplate) templates_.push_back(at);
  if (kinds & kMarker) PushMarker();
}

void HtmlOpenElements::PushFormatting(std::string_view name) {
  Push(name, Space::Html);
  const auto entry = static_cast<int32_t>(formatting_.size());
  open_.back().entry = entry;
  formatting_.push_back(FormattingEntry{std::string(name), int32_t(open_.size() - 1)});
  entriesByName_[formatting_.back().name].push_back(entry);
}

void HtmlOpenElements::PushMarker() {
  markers_.push_back(formatting_.size());
  formatting_.push_back(FormattingEntry{std::string(), -1});
}

void HtmlOpenElements::Pop() {
  do {
    const auto at = static_cast<uint32_t>(open_.size() - 1);
    Element& e = open_.back();
    const auto dropFrom = [at](Positions& positions) {
      if (!positions.empty() && positions.back() == at) positions.pop_back();
    };
    auto& byName = e.space == Space::Html ? htmlByName_ : foreignByName_;
    const auto named = byName.find(e.name);
    if (named != byName.end()) {
      dropFrom(named->second);
      if (named->second.empty()) byName.erase(named);
    }
    for (Positions* positions : {&html_, &special_, &listBarrier_, &scope_, &tableScope_,
                                 &headings_, &modes_, &cells_, &sections_, &templates_})
      dropFrom(*positions);
    if (e.entry >= 0) formatting_[e.entry].element = -1;
    if (form_ == at) form_ = -1;
    open_.pop_back();
  } while (open_.size() > 1 && !open_.back().alive);
}

void HtmlOpenElements::PopTo(uint32_t position) {
  if (position == 0) return;
  while (open_.size() > position) Pop();
}

void HtmlOpenElements::PopToName(std::string_view name) { PopTo(TopOf(name)); }

// Pops what svg/math opened down to an HTML element or one whose start tags are HTML ones.
void HtmlOpenElements::PopToHtmlContent() {
  while (CurrentIsForeign() && !(Current().kinds & (kHtmlPoint | kMathText))) Pop();
}

void HtmlOpenElements::GenerateImpliedEndTags(std::string_view except) {
  while (Current().space == Space::Html && (Current().kinds & kImplied) && Current().name != except)
    Pop();
}

void HtmlOpenElements::ClosePIfInButtonScope() {
  if (!InButtonScope("p")) return;
  GenerateImpliedEndTags("p");
  PopToName("p");
}

void HtmlOpenElements::CloseCell() {
  GenerateImpliedEndTags();
  PopTo(Top(cells_));
  ClearFormattingToMarker();
}

// "Clear the stack back to a table (body, row) context": pops to the nearest of names.
void HtmlOpenElements::ClearBackTo(std::initializer_list<std::string_view> names) {
  while (open_.size() > 1 &&
         !(Current().space == Space::Html &&
           std::find(names.begin(), names.end(), Current().name) != names.end()))
    Pop();
}

// --- Formatting elements -------------------------------------------------------------------

// Drops the last entry of formatting_, which must be removed or a marker.
void HtmlOpenElements::DropLastEntry() {
  FormattingEntry& e = formatting_.back();
  if (e.element >= 0) open_[e.element].entry = -1;
  const auto named = entriesByName_.find(e.name);
  if (named != entriesByName_.end()) {
    if (!named->second.empty() && named->second.back() == int32_t(formatting_.size() - 1))
      named->second.pop_back();
    if (named->second.empty()) entriesByName_.erase(named);
  }
  formatting_.pop_back();
}

void HtmlOpenElements::ClearFormattingToMarker() {
  if (markers_.empty()) return;
  while (formatting_.size() > markers_.back()) DropLastEntry();
  markers_.pop_back();
}

void HtmlOpenElements::RemoveEntry(int32_t entry) {
  if (entry < 0 || formatting_[entry].removed) return;
  FormattingEntry& e = formatting_[entry];
  e.removed = true;
  if (e.element >= 0) open_[e.element].entry = -1;
  e.element = -1;
  while (!formatting_.empty() && formatting_.back().removed) DropLastEntry();
}

int32_t HtmlOpenElements::LastEntry(std::string_view name) {
  const auto named = entriesByName_.find(std::string(name));
  if (named == entriesByName_.end()) return -1;
  std::vector<int32_t>& entries = named->second;
  while (!entries.empty() && formatting_[entries.back()].removed) entries.pop_back();
  if (entries.empty()) return -1;
  const int32_t entry = entries.back();
  return markers_.empty() || size_t(entry) > markers_.back() ? entry : -1;
}

// Reopens the formatting elements after the last marker that are no longer on the stack.
void HtmlOpenElements::Reconstruct() {
  size_t first = formatting_.size();
  while (first > 0) {
    const FormattingEntry& e = formatting_[first - 1];
    if (e.name.empty() || e.element >= 0) break;  // a marker, or still open
    --first;
  }
  for (size_t i = first; i < formatting_.size(); ++i) {
    if (formatting_[i].removed) continue;
    Push(formatting_[i].name, Space::Html);
    open_.back().entry = static_cast<int32_t>(i);
    formatting_[i].element = static_cast<int32_t>(open_.size() - 1);
  }
}

// The adoption agency algorithm for an end tag of a formatting element, as far as the stack
// shows it: each special element opened after the formatting element becomes in turn the
// furthest block, and when none is left, what was opened after the last one is closed.
void HtmlOpenElements::Adoption(std::string_view name) {
  if (CurrentIs(name) && Current().entry < 0) return Pop();
  const int32_t entry = LastEntry(name);
  if (entry < 0) return AnyOtherEndTag(name);
  if (formatting_[entry].element < 0) return RemoveEntry(entry);  // closed already
  const auto at = uint32_t(formatting_[entry].element);
  if (at < Top(scope_)) return;  // not in scope: ignored
  size_t blocks = 0;             // special elements after it, up to eight
  for (auto i = std::upper_bound(special_.begin(), special_.end(), at);
       i != special_.end() && blocks < 8; ++i)
    blocks += open_[*i].alive ? 1 : 0;
  if (blocks == 0) {
    PopTo(at);
    RemoveEntry(entry);
    return;
  }
  // The algorithm runs eight rounds: with more special elements than that, the formatting
  // element's last copy stays open after the eighth (the original stands for it here).
  if (blocks >= 8) return;
  PopTo(Top(special_) + 1);
  RemoveEntry(entry);
  TakeOut(at);
}

// Takes the element at a position out of the stack; one below the current node stays in
// open_ as not alive until the elements after it are popped.
void HtmlOpenElements::TakeOut(uint32_t at) {
  if (at == open_.size() - 1) return Pop();
  Element& e = open_[at];
  e.alive = false;
  auto& byName = e.space == Space::Html ? htmlByName_ : foreignByName_;
  Positions& named = byName[e.name];
  if (!named.empty() && named.back() == at) named.pop_back();
}

// "Any other end tag" in body: the nearest HTML element of the name, unless a special element
// comes first.
void HtmlOpenElements::AnyOtherEndTag(std::string_view name) {
  const uint32_t at = TopOf(name);
  if (at == 0 || at < Top(special_)) return;
  GenerateImpliedEndTags(name);
  PopTo(at);
}

// --- Start tags ---------------------------------------------------------------------------

HtmlContent HtmlOpenElements::StartTag(HtmlToken& tag) {
  tagSeen_ = true;
  if (CurrentIsForeign() && !TakesHtmlStartTag(tag)) {
    if (!IsBreakout(tag)) {
      tag.foreign = true;
      if (!tag.selfClosing) {
        bool htmlPoint = false;
        if (tag.name == "annotation-xml") {
          const HtmlTagAttribute* encoding = FindHtmlAttribute(tag, "encoding");
          htmlPoint = encoding && (EqualsFolded(encoding->value.text, "text/html") ||
                                   EqualsFolded(encoding->value.text, "application/xhtml+xml"));
        }
        Push(tag.name, Current().space, htmlPoint);
      }
      return HtmlContent::Markup;
    }
    PopToHtmlContent();
  }
  return HtmlStartTag(tag);
}

HtmlContent HtmlOpenElements::HtmlStartTag(HtmlToken& tag) {
  const std::string& name = tag.name;
  static constexpr std::string_view kTableParts[] = {"caption", "col", "colgroup", "tbody", "td",
                                                     "tfoot",   "th",  "thead",    "tr"};
  static constexpr std::string_view kSections[] = {"tbody", "tfoot", "thead"};
  switch (CurrentMode()) {
    case Mode::Body:
      break;
    case Mode::Template: {
      // The first tag other than those of a head sets how the template's contents are read.
      static constexpr std::string_view kHead[] = {"base",     "basefont", "bgsound", "link",
                                                   "meta",     "noframes", "script",  "style",
                                                   "template", "title"};
      if (IsOneOf(name, kHead)) break;
      Mode& contents = open_[Top(modes_)].contents;
      if (name == "caption" || name == "colgroup" || IsOneOf(name, kSections)) {
        contents = Mode::Table;
      } else if (name == "col") {
        contents = Mode::ColumnGroup;
      } else if (name == "tr") {
        contents = Mode::TableBody;
      } else if (name == "td" || name == "th") {
        contents = Mode::Row;
      } else {
        contents = Mode::Body;
      }
      return HtmlStartTag(tag);
    }
    case Mode::Cell:
      if (!IsOneOf(name, kTableParts)) break;
      if (Top(cells_) < Top(tableScope_)) return HtmlContent::Markup;
      CloseCell();
      return HtmlStartTag(tag);
    case Mode::Caption:
      if (!IsOneOf(name, kTableParts)) break;
      if (!InTableScope("caption")) return HtmlContent::Markup;
      GenerateImpliedEndTags();
      PopToName("caption");
      ClearFormattingToMarker();
      return HtmlStartTag(tag);
    case Mode::ColumnGroup:
      if (name == "col") return HtmlContent::Markup;
      if (name == "template") break;
      if (!CurrentIs("colgroup")) return HtmlContent::Markup;
      Pop();
      return HtmlStartTag(tag);
    case Mode::Row:
      if (name == "td" || name == "th") {
        ClearBackTo({"tr", "template", "html"});
        Push(name, Space::Html);
        return HtmlContent::Markup;
      }
      if (IsOneOf(name, kTableParts)) {
        if (!InTableScope("tr")) return HtmlContent::Markup;
        ClearBackTo({"tr", "template", "html"});
        Pop();
        return HtmlStartTag(tag);
      }
      [[fallthrough]];
    case Mode::TableBody:
      if (name == "tr" || name == "td" || name == "th") {
        ClearBackTo({"tbody", "tfoot", "thead", "template", "html"});
        Push("tr", Space::Html);
        if (name != "tr") Push(name, Space::Html);
        return HtmlContent::Markup;
      }
      if (IsOneOf(name, kTableParts)) {
        if (Top(sections_) < Top(tableScope_)) return HtmlContent::Markup;
        ClearBackTo({"tbody", "tfoot", "thead", "template", "html"});
        Pop();
        return HtmlStartTag(tag);
      }
      [[fallthrough]];
    case Mode::Table:
      if (name == "caption" || name == "colgroup" || IsOneOf(name, kSections)) {
        ClearBackTo({"table", "template", "html"});
        Push(name, Space::Html);
        return HtmlContent::Markup;
      }
      if (name == "col" || name == "td" || name == "th" || name == "tr") {
        ClearBackTo({"table", "template", "html"});
        Push(name == "col" ? "colgroup" : "tbody", Space::Html);
        return HtmlStartTag(tag);
      }
      if (name == "table") {
        if (!InTableScope("table")) return HtmlContent::Markup;
        PopToName("table");
        return HtmlStartTag(tag);
      }
      if (name == "input") {
        const HtmlTagAttribute* type = FindHtmlAttribute(tag, "type");
        if (type && EqualsFolded(type->value.text, "hidden")) return HtmlContent::Markup;
        break;
      }
      if (name == "form") {
        if (Top(templates_) == 0 && form_ == -1) form_ = -2;  // made and closed at once
        return HtmlContent::Markup;
      }
      break;  // style, script, template and the rest: as in body
  }
  return BodyStartTag(tag);
}

HtmlContent HtmlOpenElements::BodyStartTag(HtmlToken& tag) {
  const std::string& name = tag.name;
  static constexpr std::string_view kIgnored[] = {
      "html",  "body",  "frameset", "head",  "caption", "col",   "colgroup",
      "frame", "tbody", "td",       "tfoot", "th",      "thead", "tr"};
  static constexpr std::string_view kVoid[] = {"base", "basefont", "bgsound", "link",
                                               "meta", "param",    "source",  "track"};
  static constexpr std::string_view kVoidInline[] = {"area",   "br",  "embed", "img",
                                                     "keygen", "wbr", "image"};
  static constexpr std::string_view kBlocks[] = {
      "address", "article", "aside",   "blockquote", "center",     "details", "dialog",
      "dir",     "div",     "dl",      "fieldset",   "figcaption", "figure",  "footer",
      "header",  "hgroup",  "main",    "menu",       "nav",        "ol",      "p",
      "search",  "section", "summary", "ul",         "pre",        "listing"};
  static constexpr std::string_view kRawText[] = {"style",   "noframes", "iframe",
                                                  "noembed", "noscript", "script"};
  static constexpr std::string_view kFormatting[] = {"b", "big",   "code",   "em",     "font", "i",
                                                     "s", "small", "strike", "strong", "tt",   "u"};
  if (IsOneOf(name, kIgnored) || IsOneOf(name, kVoid)) return HtmlContent::Markup;
  if (IsOneOf(name, kRawText)) return HtmlContent::RawText;
  if (name == "title") return HtmlContent::RcData;
  if (name == "textarea") return HtmlContent::RcData;
  if (name == "template") {
    Push(name, Space::Html);
    return HtmlContent::Markup;
  }
  if (IsOneOf(name, kBlocks)) {
    ClosePIfInButtonScope();
    Push(name, Space::Html);
    return HtmlContent::Markup;
  }
  if (name.size() == 2 && name[0] == 'h' && name[1] >= '1' && name[1] <= '6') {
    ClosePIfInButtonScope();
    if (Current().space == Space::Html && (Current().kinds & kHeading)) Pop();
    Push(name, Space::Html);
    return HtmlContent::Markup;
  }
  if (name == "form") {
    const bool inTemplate = Top(templates_) > 0;
    if (form_ != -1 && !inTemplate) return HtmlContent::Markup;
    ClosePIfInButtonScope();
    Push(name, Space::Html);
    if (!inTemplate) form_ = int64_t(open_.size() - 1);
    return HtmlContent::Markup;
  }
  if (name == "li" || name == "dd" || name == "dt") {
    // The nearest li (or dd/dt) closes unless a special element other than address, div and
    // p comes first.
    uint32_t item = 0;
    std::string_view itemName;
    if (name == "li") {
      item = TopOf("li");
      itemName = "li";
    } else {
      const uint32_t dd = TopOf("dd"), dt = TopOf("dt");
      item = std::max(dd, dt);
      itemName = dd > dt ? "dd" : "dt";
    }
    if (item > 0 && item >= Top(listBarrier_)) {
      GenerateImpliedEndTags(itemName);
      PopTo(item);
    }
    ClosePIfInButtonScope();
    Push(name, Space::Html);
    return HtmlContent::Markup;
  }
  if (name == "plaintext") {
    ClosePIfInButtonScope();
    return HtmlContent::PlainText;
  }
  if (name == "button") {
    if (InScope("button")) {
      GenerateImpliedEndTags();
      PopToName("button");
    }
    Reconstruct();
    Push(name, Space::Html);
    return HtmlContent::Markup;
  }
  if (name == "a") {
    // An "a" still in the list closes first, with what its adoption closes.
    const int32_t entry = LastEntry("a");
    if (entry >= 0) {
      const int32_t element = formatting_[entry].element;
      Adoption("a");
      RemoveEntry(entry);
      if (element >= 0 && size_t(element) < open_.size() && open_[element].alive &&
          open_[element].name == "a")
        TakeOut(uint32_t(element));
    }
    Reconstruct();
    PushFormatting(name);
    return HtmlContent::Markup;
  }
  if (IsOneOf(name, kFormatting)) {
    Reconstruct();
    PushFormatting(name);
    return HtmlContent::Markup;
  }
  if (name == "nobr") {
    Reconstruct();
    if (InScope("nobr")) {
      Adoption("nobr");
      Reconstruct();
    }
    PushFormatting(name);
    return HtmlContent::Markup;
  }
  if (name == "applet" || name == "marquee" || name == "object") {
    Reconstruct();
    Push(name, Space::Html);
    return HtmlContent::Markup;
  }
  if (name == "table") {
    if (!quirks_) ClosePIfInButtonScope();
    Push(name, Space::Html);
    return HtmlContent::Markup;
  }
  if (IsOneOf(name, kVoidInline)) {
    Reconstruct();
    return HtmlContent::Markup;
  }
  if (name == "input") {
    if (InScope("select")) PopToName("select");
    Reconstruct();
    return HtmlContent::Markup;
  }
  if (name == "hr") {
    ClosePIfInButtonScope();
    if (InScope("select")) GenerateImpliedEndTags();
    return HtmlContent::Markup;
  }
  if (name == "xmp") {
    ClosePIfInButtonScope();
    Reconstruct();
    return HtmlContent::RawText;
  }
  if (name == "select") {
    if (InScope("select")) {
      PopToName("select");
      return HtmlContent::Markup;
    }
    Reconstruct();
    Push(name, Space::Html);
    return HtmlContent::Markup;
  }
  if (name == "option" || name == "optgroup") {
    if (InScope("select")) {
      GenerateImpliedEndTags(name == "option" ? "optgroup" : "");
    } else if (CurrentIs("option")) {
      Pop();
    }
    Reconstruct();
    Push(name, Space::Html);
    return HtmlContent::Markup;
  }
  if (name == "rb" || name == "rtc" || name == "rp" || name == "rt") {
    if (InScope("ruby")) GenerateImpliedEndTags(name == "rp" || name == "rt" ? "rtc" : "");
    Push(name, Space::Html);
    return HtmlContent::Markup;
  }
  if (name == "svg" || name == "math") {
    Reconstruct();
    tag.foreign = true;
    if (!tag.selfClosing) Push(name, name == "svg" ? Space::Svg : Space::Math);
    return HtmlContent::Markup;
  }
  Reconstruct();
  Push(name, Space::Html);
  return HtmlContent::Markup;
}

// --- End tags -----------------------------------------------------------------------------

void HtmlOpenElements::EndTag(std::string_view name) {
  tagSeen_ = true;
  if (CurrentIsForeign()) {
    if (name == "p" || name == "br") {
      PopToHtmlContent();
      return HtmlEndTag(name);
    }
    // An svg/math element of the name opened after the nearest HTML element closes; else the
    // end tag is an HTML one.
    const auto named = foreignByName_.find(std::string(name));
    const uint32_t foreign = named == foreignByName_.end() ? 0 : Top(named->second);
    if (foreign > 0 && foreign > Top(html_)) return PopTo(foreign);
  }
  HtmlEndTag(name);
}

void HtmlOpenElements::HtmlEndTag(std::string_view name) {
  static constexpr std::string_view kTableParts[] = {
      "body", "caption", "col", "colgroup", "html", "tbody", "td", "tfoot", "th", "thead", "tr"};
  static constexpr std::string_view kSections[] = {"tbody", "tfoot", "thead"};
  switch (CurrentMode()) {
    case Mode::Body:
      return BodyEndTag(name);
    case Mode::Template:
      if (name == "template") BodyEndTag(name);
      return;
    case Mode::Cell:
      if (name == "td" || name == "th") {
        if (!InTableScope(name)) return;
        GenerateImpliedEndTags();
        PopToName(name);
        ClearFormattingToMarker();
        return;
      }
      if (name == "table" || name == "tr" || IsOneOf(name, kSections)) {
        if (!InTableScope(name)) return;
        CloseCell();
        return HtmlEndTag(name);
      }
      if (IsOneOf(name, kTableParts)) return;
      return BodyEndTag(name);
    case Mode::Caption:
      if (name == "caption" || name == "table") {
        if (!InTableScope("caption")) return;
        GenerateImpliedEndTags();
        PopToName("caption");
        ClearFormattingToMarker();
        if (name == "table") HtmlEndTag(name);
        return;
      }
      if (IsOneOf(name, kTableParts)) return;
      return BodyEndTag(name);
    case Mode::ColumnGroup:
      if (name == "colgroup") {
        if (CurrentIs("colgroup")) Pop();
        return;
      }
      if (name == "col") return;
      if (name == "template") return BodyEndTag(name);
      if (!CurrentIs("colgroup")) return;
      Pop();
      return HtmlEndTag(name);
    case Mode::Row:
      if (name == "tr" || name == "table" || IsOneOf(name, kSections)) {
        if (!InTableScope(name)) return;
        if (!InTableScope("tr")) return;
        ClearBackTo({"tr", "template", "html"});
        Pop();
        if (name != "tr") HtmlEndTag(name);
        return;
      }
      [[fallthrough]];
    case Mode::TableBody:
      if (IsOneOf(name, kSections) || name == "table") {
        if (name == "table" ? Top(sections_) < Top(tableScope_) : !InTableScope(name)) return;
        ClearBackTo({"tbody", "tfoot", "thead", "template", "html"});
        Pop();
        if (name == "table") HtmlEndTag(name);
        return;
      }
      [[fallthrough]];
    case Mode::Table:
      if (name == "table") {
        if (InTableScope("table")) PopToName("table");
        return;
      }
      if (IsOneOf(name, kTableParts)) return;
      return BodyEndTag(name);
  }
}

void HtmlOpenElements::BodyEndTag(std::string_view name) {
  static constexpr std::string_view kBlocks[] = {
      "address", "article", "aside",  "blockquote", "button",   "center",     "details",
      "dialog",  "dir",     "div",    "dl",         "fieldset", "figcaption", "figure",
      "footer",  "header",  "hgroup", "listing",    "main",     "menu",       "nav",
      "ol",      "pre",     "search", "section",    "select",   "summary",    "ul"};
  static constexpr std::string_view kFormatting[] = {"a",      "b",      "big",  "code", "em",
                                                     "font",   "i",      "nobr", "s",    "small",
                                                     "strike", "strong", "tt",   "u"};
  if (name == "template") {
    if (Top(templates_) == 0) return;
    while (Current().space == Space::Html && (Current().kinds & kImpliedThorough)) Pop();
    PopTo(Top(templates_));
    ClearFormattingToMarker();
    return;
  }
  if (name == "body" || name == "html") return;
  if (IsOneOf(name, kBlocks)) {
    if (!InScope(name)) return;
    GenerateImpliedEndTags();
    PopToName(name);
    return;
  }
  if (name == "form") {
    if (Top(templates_) > 0) {
      if (!InScope("form")) return;
      GenerateImpliedEndTags();
      PopToName("form");
      return;
    }
    const int64_t form = form_;
    form_ = -1;
    if (form < 0 || uint32_t(form) < Top(scope_)) return;
    GenerateImpliedEndTags();
    TakeOut(uint32_t(form));  // what was opened after it stays open
    return;
  }
  if (name == "p") {
    if (!InButtonScope("p")) return;  // an empty p is made and closed
    GenerateImpliedEndTags("p");
    PopToName("p");
    return;
  }
  if (name == "li" ? InListItemScope(name) : (name == "dd" || name == "dt") && InScope(name)) {
    GenerateImpliedEndTags(name);
    PopToName(name);
    return;
  }
  if (name == "li" || name == "dd" || name == "dt") return;
  if (name.size() == 2 && name[0] == 'h' && name[1] >= '1' && name[1] <= '6') {
    const uint32_t heading = Top(headings_);
    if (heading == 0 || heading < Top(scope_)) return;
    GenerateImpliedEndTags();
    PopTo(heading);
    return;
  }
  if (IsOneOf(name, kFormatting)) return Adoption(name);
  if (name == "applet" || name == "marquee" || name == "object") {
    if (!InScope(name)) return;
    GenerateImpliedEndTags();
    PopToName(name);
    ClearFormattingToMarker();
    return;
  }
  if (name == "br") {
    Reconstruct();
    return;
  }
  AnyOtherEndTag(name);
}

// --- Text and doctype -----------------------------------------------------------------------

void HtmlOpenElements::Text(std::string_view text) {
  if (text.empty()) return;
  if (CurrentIsForeign() && !(Current().kinds & (kHtmlPoint | kMathText))) return;
  const Mode mode = CurrentMode();
  if (mode == Mode::Body || mode == Mode::Cell || mode == Mode::Caption || mode == Mode::Template) {
    Reconstruct();
    return;
  }
  if (std::all_of(text.begin(), text.end(), IsHtmlSpace)) return;
  // In a table, other text goes before it as in body; a column group ends first.
  if (mode == Mode::ColumnGroup && CurrentIs("colgroup")) Pop();
  Reconstruct();
}

void HtmlOpenElements::Doctype(std::string_view content) {
  if (tagSeen_) return;
  size_t i = 0;
  while (i < content.size() && IsHtmlSpace(content[i])) ++i;
  size_t end = i;
  while (end < content.size() && !IsHtmlSpace(content[end])) ++end;
  quirks_ = !EqualsFolded(content.substr(i, end - i), "html");
}

}  // namespace lorvex
