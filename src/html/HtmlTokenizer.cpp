// Conventions of this file:
// - `text_` is the whole page and `pos_` the tokenizer's cursor in it; every position is an
//   offset into the page. Each reader starts at a "<" and returns where reading goes on.
// - "Space" is what the tokenizer separates with: tab, LF, FF, CR, space (CR counts because a
//   browser has turned it into LF before tokenizing).
// - A tag cut off by the end of the text is dropped with the rest of the text, as a browser
//   drops it; everything else runs to the end of the text when its terminator is missing.
// - Names fold A-Z only (util/Ascii.h); a NUL in a name becomes U+FFFD.
// - Which state follows a start tag, and whether "<![CDATA[" opens text, is the tree builder's
//   answer (HtmlOpenElements): the tokenizer hands it every tag and every run of text.
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
  HtmlOpenElements tree_;

  char At(size_t p) const { return p < text_.size() ? text_[p] : '\0'; }
  bool StartsWith(size_t p, std::string_view s) const { return text_.substr(p, s.size()) == s; }

  void FlushText(size_t upTo) {
    if (upTo <= textStart_) return;
    tree_.Text(text_.substr(textStart_, upTo - textStart_));
    Add(HtmlTokenKind::Text, textStart_, upTo, textStart_, upTo);
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
    FlushText(open);
    tag.content = tree_.StartTag(tag);
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
    FlushText(open);
    if (!closesRawText) tree_.EndTag(tag.name);
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
      tree_.Doctype(text_.substr(open + 9, contentEnd - (open + 9)));
      AddMarkup(HtmlTokenKind::Doctype, open, end, open + 9, contentEnd);
      return end;
    }
    if (tree_.AllowsCdata() && StartsWith(open + 2, "[CDATA[")) {
      const size_t close = text_.find("]]>", open + 9);
      const size_t contentEnd = close == std::string_view::npos ? text_.size() : close;
      const size_t end = close == std::string_view::npos ? text_.size() : close + 3;
      FlushText(open);
      tree_.Text(text_.substr(open + 9, contentEnd - (open + 9)));
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
