// Conventions of this file:
// - `text_` is the whole page and `pos_` the tokenizer's cursor in it; every position is an
//   offset into the page. Each reader starts at a "<" and returns where reading goes on.
// - "Space" is what the tokenizer separates with: tab, LF, FF, CR, space (CR counts because a
//   browser has turned it into LF before tokenizing).
// - A tag cut off by the end of the text is dropped with the rest of the text, as a browser
//   drops it; everything else runs to the end of the text when its terminator is missing.
// - Names fold A-Z only (util/Ascii.h); a NUL in a name becomes U+FFFD.
// - The open elements are followed only inside svg/math (ForeignScope): outside them, the
//   tokenizer's state after a start tag depends on its name alone.
#include "html/HtmlTokenizer.h"

#include <algorithm>
#include <unordered_set>

#include "util/Ascii.h"

namespace lorvex {

namespace {

constexpr bool IsHtmlSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

bool EqualsFolded(std::string_view text, std::string_view lower) {
  if (text.size() != lower.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (AsciiLower(text[i]) != lower[i]) return false;
  }
  return true;
}

std::string FoldName(std::string_view raw) {
  std::string name;
  name.reserve(raw.size());
  for (char c : raw) {
    if (c == '\0') {
      name += "\xEF\xBF\xBD";
    } else {
      name.push_back(AsciiLower(c));
    }
  }
  return name;
}

template <size_t N>
bool IsOneOf(std::string_view name, const std::string_view (&names)[N]) {
  return std::find(std::begin(names), std::end(names), name) != std::end(names);
}

// How an element's contents are read when its start tag is an HTML one.
HtmlContent ContentOf(std::string_view name) {
  static constexpr std::string_view kRawText[] = {"style",    "xmp",      "iframe", "noembed",
                                                  "noframes", "noscript", "script"};
  if (IsOneOf(name, kRawText)) return HtmlContent::RawText;
  if (name == "textarea" || name == "title") return HtmlContent::RcData;
  if (name == "plaintext") return HtmlContent::PlainText;
  return HtmlContent::Markup;
}

// The HTML elements that never hold anything, so never stay open.
bool IsVoidElement(std::string_view name) {
  static constexpr std::string_view kVoid[] = {
      "area", "base",  "basefont", "bgsound", "br",   "col",   "embed",  "frame", "hr", "image",
      "img",  "input", "keygen",   "link",    "meta", "param", "source", "track", "wbr"};
  return IsOneOf(name, kVoid);
}

// The HTML start tags that end svg/math content.
bool EndsForeignContent(const HtmlToken& tag) {
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

// The elements open inside svg/math content, just enough to know whether the next start tag
// is an HTML one or an svg/math one, and whether "<![CDATA[" opens text. Empty outside.
class ForeignScope {
 public:
  // Records a start tag; says how the element's contents are read and marks svg/math ones.
  HtmlContent OnStartTag(HtmlToken& tag) {
    if (!open_.empty() && !TakesHtmlStartTag(tag.name)) {
      if (!EndsForeignContent(tag)) {
        tag.foreign = true;
        if (!tag.selfClosing)
          Push(tag, open_.back().space == Space::Math ? Space::Math : Space::Svg);
        return HtmlContent::Markup;
      }
      PopToHtmlContent();
    }
    if (tag.name == "svg" || tag.name == "math") {
      tag.foreign = true;
      if (!tag.selfClosing) Push(tag, tag.name == "svg" ? Space::Svg : Space::Math);
      return HtmlContent::Markup;
    }
    const HtmlContent content = ContentOf(tag.name);
    // A raw-text element's end tag is read by the raw-text reader; it never stays open here.
    if (!open_.empty() && content == HtmlContent::Markup && !IsVoidElement(tag.name)) {
      Push(tag, Space::Html);
    }
    return content;
  }

  void OnEndTag(std::string_view name) {
    if (open_.empty()) return;
    if (open_.back().space == Space::Html) return CloseHtml(name);
    if (name == "p" || name == "br") {
      PopToHtmlContent();
      return CloseHtml(name);
    }
    for (size_t i = open_.size(); i-- > 0;) {
      if (open_[i].space == Space::Html) return CloseHtml(name);
      if (open_[i].name == name) return open_.resize(i);
    }
    // Not opened inside svg/math: what it closes outside is not followed here.
  }

  // "<![CDATA[" opens text where the current element is an svg or math one.
  bool AllowsCdata() const { return !open_.empty() && open_.back().space != Space::Html; }

 private:
  enum class Space { Html, Svg, Math };
  struct Element {
    std::string name;
    Space space;
    bool htmlPoint;      // its start tags are HTML ones (foreignObject, desc, title ...)
    bool mathTextPoint;  // mi, mo, mn, ms, mtext: HTML start tags but mglyph and malignmark
  };
  std::vector<Element> open_;

  void Push(const HtmlToken& tag, Space space) {
    Element e{tag.name, space, false, false};
    if (space == Space::Svg) {
      e.htmlPoint = tag.name == "foreignobject" || tag.name == "desc" || tag.name == "title";
    } else if (space == Space::Math) {
      static constexpr std::string_view kText[] = {"mi", "mo", "mn", "ms", "mtext"};
      e.mathTextPoint = IsOneOf(tag.name, kText);
      if (tag.name == "annotation-xml") {
        const HtmlTagAttribute* encoding = FindHtmlAttribute(tag, "encoding");
        e.htmlPoint = encoding && (EqualsFolded(encoding->value.text, "text/html") ||
                                   EqualsFolded(encoding->value.text, "application/xhtml+xml"));
      }
    }
    open_.push_back(std::move(e));
  }

  bool TakesHtmlStartTag(std::string_view name) const {
    const Element& current = open_.back();
    if (current.space == Space::Html || current.htmlPoint) return true;
    if (current.mathTextPoint) return name != "mglyph" && name != "malignmark";
    return current.space == Space::Math && current.name == "annotation-xml" && name == "svg";
  }

  void PopToHtmlContent() {
    while (!open_.empty() && open_.back().space != Space::Html && !open_.back().htmlPoint &&
           !open_.back().mathTextPoint) {
      open_.pop_back();
    }
  }

  // An HTML end tag closes the nearest open HTML element of its name, but never reaches past
  // an svg/math element that takes HTML start tags.
  void CloseHtml(std::string_view name) {
    for (size_t i = open_.size(); i-- > 0;) {
      const Element& e = open_[i];
      if (e.space == Space::Html) {
        if (e.name == name) return open_.resize(i);
      } else if (e.htmlPoint || e.mathTextPoint || e.name == "annotation-xml") {
        return;
      }
    }
  }
};

class Tokenizer {
 public:
  explicit Tokenizer(std::string_view text) : text_(text) {}

  std::vector<HtmlToken> Run() {
    while (pos_ < text_.size()) {
      const size_t open = text_.find('<', pos_);
      if (open == std::string_view::npos) break;
      pos_ = TagOpen(open);
    }
    FlushText(text_.size());
    return std::move(tokens_);
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
  size_t textStart_ = 0;  // where the pending run of character data starts
  std::vector<HtmlToken> tokens_;
  ForeignScope scope_;

  char At(size_t p) const { return p < text_.size() ? text_[p] : '\0'; }
  bool StartsWith(size_t p, std::string_view s) const { return text_.substr(p, s.size()) == s; }

  void FlushText(size_t upTo) {
    if (upTo > textStart_) Add(HtmlTokenKind::Text, textStart_, upTo, textStart_, upTo);
  }

  HtmlToken& Add(HtmlTokenKind kind, size_t begin, size_t end, size_t contentBegin,
                 size_t contentEnd) {
    HtmlToken& token = tokens_.emplace_back();
    token.kind = kind;
    token.begin = begin;
    token.end = end;
    token.contentBegin = contentBegin;
    token.contentEnd = contentEnd;
    textStart_ = end;
    return token;
  }

  // A markup token at [begin, end): the character data before it becomes a Text token.
  HtmlToken& AddMarkup(HtmlTokenKind kind, size_t begin, size_t end, size_t contentBegin,
                       size_t contentEnd) {
    FlushText(begin);
    return Add(kind, begin, end, contentBegin, contentEnd);
  }

  // Data state at a "<": what follows decides what it opens.
  size_t TagOpen(size_t open) {
    const char next = At(open + 1);
    if (IsAsciiAlpha(next)) return StartTag(open);
    if (next == '!') return MarkupDeclaration(open);
    if (next == '?') return BogusComment(open, open + 1);
    if (next == '/') {
      const char after = At(open + 2);
      if (IsAsciiAlpha(after)) return EndTag(open);
      if (after == '>') {  // "</>" is dropped
        FlushText(open);
        textStart_ = open + 3;
        return open + 3;
      }
      if (open + 2 < text_.size()) return BogusComment(open, open + 2);
    }
    return open + 1;  // a "<" that opens nothing is text
  }

  // --- Tags -------------------------------------------------------------------------------

  // Reads the tag at text_[begin] ("<" or "</" and a letter) into tag: name, attributes,
  // self-closing flag and extent. False when the text ends inside it.
  bool ReadTag(size_t begin, bool endTag, HtmlToken& tag) {
    size_t p = begin + (endTag ? 2 : 1);
    const size_t nameBegin = p;
    while (p < text_.size() && !IsHtmlSpace(text_[p]) && text_[p] != '/' && text_[p] != '>') ++p;
    tag.name = FoldName(text_.substr(nameBegin, p - nameBegin));
    std::unordered_set<std::string> seen;  // used once a tag has many attributes
    for (;;) {
      while (p < text_.size() && IsHtmlSpace(text_[p])) ++p;
      if (p >= text_.size()) return false;
      if (text_[p] == '>') break;
      if (text_[p] == '/') {
        if (At(p + 1) == '>') {
          tag.selfClosing = true;
          ++p;
          break;
        }
        ++p;
        continue;
      }
      HtmlTagAttribute attribute;
      p = ReadAttribute(p, attribute);
      if (p >= text_.size()) return false;
      if (!endTag) AddAttribute(tag, std::move(attribute), seen);
    }
    tag.begin = tag.contentBegin = begin;
    tag.end = tag.contentEnd = p + 1;
    return true;
  }

  // The attribute at text_[p] (its name's first byte, which may be "="); returns where the
  // tag goes on, or the end of the text when the tag is cut off.
  size_t ReadAttribute(size_t p, HtmlTagAttribute& attribute) {
    const size_t nameBegin = p++;
    while (p < text_.size() && !IsHtmlSpace(text_[p]) && text_[p] != '/' && text_[p] != '>' &&
           text_[p] != '=') {
      ++p;
    }
    attribute.name = FoldName(text_.substr(nameBegin, p - nameBegin));
    attribute.nameOffset = nameBegin;
    attribute.valueOffset = p;
    attribute.rawValue = text_.substr(p, 0);  // an empty slice where a value would start
    size_t afterName = p;
    while (afterName < text_.size() && IsHtmlSpace(text_[afterName])) ++afterName;
    if (At(afterName) != '=' || afterName >= text_.size()) return afterName;
    attribute.hasValue = true;
    p = afterName + 1;
    while (p < text_.size() && IsHtmlSpace(text_[p])) ++p;
    if (p >= text_.size()) return p;
    const char quote = text_[p];
    size_t valueEnd;
    if (quote == '"' || quote == '\'') {
      attribute.quote = quote;
      attribute.valueOffset = p + 1;
      valueEnd = text_.find(quote, p + 1);
      if (valueEnd == std::string_view::npos) return text_.size();
      p = valueEnd + 1;
    } else {
      attribute.valueOffset = p;
      while (p < text_.size() && !IsHtmlSpace(text_[p]) && text_[p] != '>') ++p;
      valueEnd = p;  // "<a href=x>": an empty value when ">" comes first
    }
    attribute.rawValue = text_.substr(attribute.valueOffset, valueEnd - attribute.valueOffset);
    return p;
  }

  // The first attribute of a name counts; later ones are left out.
  static void AddAttribute(HtmlToken& tag, HtmlTagAttribute&& attribute,
                           std::unordered_set<std::string>& seen) {
    constexpr size_t kLinearSearch = 16;  // beyond this many, names are looked up in a set
    auto& list = tag.attributes;
    if (list.size() < kLinearSearch) {
      for (const HtmlTagAttribute& a : list) {
        if (a.name == attribute.name) return;
      }
    } else {
      if (seen.empty()) {
        for (const HtmlTagAttribute& a : list) seen.insert(a.name);
      }
      if (!seen.insert(attribute.name).second) return;
    }
    attribute.value = DecodeHtmlText(attribute.rawValue, true);
    list.push_back(std::move(attribute));
  }

  size_t StartTag(size_t open) {
    HtmlToken tag;
    tag.kind = HtmlTokenKind::StartTag;
    if (!ReadTag(open, false, tag)) return Cutoff(open);
    tag.content = scope_.OnStartTag(tag);
    FlushText(open);
    const HtmlContent content = tag.content;
    const std::string name = tag.name;
    textStart_ = tag.end;
    tokens_.push_back(std::move(tag));
    switch (content) {
      case HtmlContent::Markup:
        return textStart_;
      case HtmlContent::PlainText:
        return RawText(textStart_, text_.size(), content);
      case HtmlContent::RawText:
        if (name == "script") return RawText(textStart_, ScriptEnd(textStart_), content);
        [[fallthrough]];
      case HtmlContent::RcData:
        return RawText(textStart_, RawTextEnd(textStart_, name), content);
    }
    return textStart_;
  }

  size_t EndTag(size_t open, bool closesRawText = false) {
    HtmlToken tag;
    tag.kind = HtmlTokenKind::EndTag;
    if (!ReadTag(open, true, tag)) return Cutoff(open);
    if (!closesRawText) scope_.OnEndTag(tag.name);
    FlushText(open);
    textStart_ = tag.end;
    tokens_.push_back(std::move(tag));
    return textStart_;
  }

  // A tag cut off by the end of the text: it and everything after it are dropped.
  size_t Cutoff(size_t open) {
    FlushText(open);
    textStart_ = text_.size();
    return text_.size();
  }

  // --- Raw text, RCDATA, plaintext, script data --------------------------------------------

  // The contents [begin, end) of a raw-text element, then its end tag at end (if any).
  size_t RawText(size_t begin, size_t end, HtmlContent kind) {
    if (end > begin) Add(HtmlTokenKind::RawText, begin, end, begin, end).rawKind = kind;
    textStart_ = end;
    return end < text_.size() ? EndTag(end, true) : end;
  }

  // "</name" followed by space, "/" or ">" at text_[p], letters of any case.
  bool EndTagAt(size_t p, std::string_view name) const {
    if (At(p) != '<' || At(p + 1) != '/' || p + 2 + name.size() >= text_.size()) return false;
    if (!EqualsFolded(text_.substr(p + 2, name.size()), name)) return false;
    const char after = text_[p + 2 + name.size()];
    return IsHtmlSpace(after) || after == '/' || after == '>';
  }

  // Where a raw-text or RCDATA element's end tag starts, or the end of the text.
  size_t RawTextEnd(size_t from, std::string_view name) const {
    for (size_t p = from; (p = text_.find("</", p)) != std::string_view::npos; p += 2) {
      if (EndTagAt(p, name)) return p;
    }
    return text_.size();
  }

  // Where a script's end tag starts, or the end of the text. Inside "<!--" a "<script" starts
  // a part where "</script>" does not end the script, only that part; "-->" ends both.
  size_t ScriptEnd(size_t from) const {
    enum class State { Data, Escaped, DoubleEscaped } state = State::Data;
    size_t dashes = 0;  // "-" just before, inside "<!--"
    size_t p = from;
    while (p < text_.size()) {
      const char c = text_[p];
      if (state != State::Data && c == '-') {
        ++dashes;
        ++p;
        continue;
      }
      if (state != State::Data && c == '>' && dashes >= 2) {
        state = State::Data;
        dashes = 0;
        ++p;
        continue;
      }
      dashes = 0;
      if (c != '<') {
        ++p;
        continue;
      }
      switch (state) {
        case State::Data:
          if (EndTagAt(p, "script")) return p;
          if (StartsWith(p, "<!--")) {
            state = State::Escaped;
            dashes = 2;  // "<!-->" goes straight back
            p += 4;
            continue;
          }
          ++p;
          break;
        case State::Escaped: {
          if (EndTagAt(p, "script")) return p;
          const size_t word = p + 1;
          const size_t wordEnd = LettersEnd(word);
          if (IsScriptWord(word, wordEnd)) state = State::DoubleEscaped;
          p = std::max(wordEnd, p + 1);
          break;
        }
        case State::DoubleEscaped: {
          if (At(p + 1) != '/') {
            ++p;
            break;
          }
          const size_t word = p + 2;
          const size_t wordEnd = LettersEnd(word);
          if (IsScriptWord(word, wordEnd)) state = State::Escaped;
          p = wordEnd;
          break;
        }
      }
    }
    return text_.size();
  }

  size_t LettersEnd(size_t p) const {
    while (p < text_.size() && IsAsciiAlpha(text_[p])) ++p;
    return p;
  }

  // "script" in any case at [begin, end), followed by space, "/" or ">".
  bool IsScriptWord(size_t begin, size_t end) const {
    if (end >= text_.size() || !EqualsFolded(text_.substr(begin, end - begin), "script")) {
      return false;
    }
    return IsHtmlSpace(text_[end]) || text_[end] == '/' || text_[end] == '>';
  }

  // --- Comments, doctypes, CDATA ------------------------------------------------------------

  size_t MarkupDeclaration(size_t open) {
    if (StartsWith(open + 2, "--")) return Comment(open);
    if (EqualsFolded(text_.substr(open + 2, 7), "doctype")) {
      const size_t close = text_.find('>', open + 9);
      const size_t contentEnd = close == std::string_view::npos ? text_.size() : close;
      const size_t end = close == std::string_view::npos ? text_.size() : close + 1;
      AddMarkup(HtmlTokenKind::Doctype, open, end, open + 9, contentEnd);
      return end;
    }
    if (scope_.AllowsCdata() && StartsWith(open + 2, "[CDATA[")) {
      const size_t close = text_.find("]]>", open + 9);
      const size_t contentEnd = close == std::string_view::npos ? text_.size() : close;
      const size_t end = close == std::string_view::npos ? text_.size() : close + 3;
      AddMarkup(HtmlTokenKind::Text, open, end, open + 9, contentEnd);
      return end;
    }
    return BogusComment(open, open + 2);
  }

  // "<!--" at open. "<!-->" and "<!--->" are whole comments; otherwise the first "-->" or
  // "--!>" ends it, or the end of the text.
  size_t Comment(size_t open) {
    const size_t content = open + 4;
    size_t contentEnd = text_.size(), end = text_.size();
    if (At(content) == '>' && content < text_.size()) {
      contentEnd = content;
      end = content + 1;
    } else if (StartsWith(content, "->")) {
      contentEnd = content;
      end = content + 2;
    } else {
      for (size_t p = content; (p = text_.find("--", p)) != std::string_view::npos; ++p) {
        if (At(p + 2) == '>' && p + 2 < text_.size()) {
          contentEnd = p;
          end = p + 3;
          break;
        }
        if (StartsWith(p + 2, "!>")) {
          contentEnd = p;
          end = p + 4;
          break;
        }
      }
    }
    AddMarkup(HtmlTokenKind::Comment, open, end, content, contentEnd);
    return end;
  }

  // A comment from content to the next ">" ("<?xml ...>", "<!x>", "</ x>").
  size_t BogusComment(size_t open, size_t content) {
    const size_t close = text_.find('>', content);
    const size_t contentEnd = close == std::string_view::npos ? text_.size() : close;
    const size_t end = close == std::string_view::npos ? text_.size() : close + 1;
    AddMarkup(HtmlTokenKind::Comment, open, end, content, contentEnd);
    return end;
  }
};

}  // namespace

std::vector<HtmlToken> TokenizeHtml(std::string_view text) { return Tokenizer(text).Run(); }

const HtmlTagAttribute* FindHtmlAttribute(const HtmlToken& tag, std::string_view name) {
  for (const HtmlTagAttribute& attribute : tag.attributes) {
    if (attribute.name == name) return &attribute;
  }
  return nullptr;
}

}  // namespace lorvex
