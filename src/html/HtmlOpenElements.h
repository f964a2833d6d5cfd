// The elements a browser's tree construction holds open while it reads a page, kept as far as
// they decide how the tokenizer reads on: whether a start tag makes an svg/math element or an
// HTML one, whether the element's contents are raw text, and whether "<![CDATA[" opens text.
// The tokenizer hands it every tag (and the character data between tags) and it answers a start
// tag with the kind of contents that follows, as a tree builder answers its tokenizer.
//
// What it follows of the tree construction of the HTML standard (scripting on): the stack of
// open elements with the namespaces and the scopes of its elements, the insertion modes of
// tables and template contents as the nearest table part or template on the stack implies
// them (a template's contents as its first tag makes them: rows, cells, a table or a body), the end
// tags that close foreign content (an HTML end tag matching an element open outside svg/math,
// "</p>" and "</br>", the breakout start tags, and the formatting elements' end tags, whose
// adoption closes what was opened after the last special element), the formatting elements a
// paragraph's end left behind and the next tag or text reopens, and select as browsers read it now
// (its contents are read as anywhere else; a second select or an input closes it).
//
// What it leaves out: the head and body elements and a frameset (where the tree ignores almost
// every tag), the clones that the adoption of a formatting element leaves when more than seven
// special elements were opened after it, and the Noah's Ark limit of three equal formatting
// elements. Inside a frameset this reads raw text where the browser ignores the tag.
//
// Each token costs constant time on average, whatever the nesting: the stack is indexed by
// name and by the kinds of element that bound the scopes, so no end tag walks the stack.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace lorvex {

struct HtmlToken;

// How the contents of an element after a start tag are read.
enum class HtmlContent {
  Markup,     // tags and text
  RawText,    // script, style, xmp, iframe, noembed, noframes, noscript: no tags, no references
  RcData,     // textarea, title: no tags, references decode (DecodeHtmlText(..., false))
  PlainText,  // plaintext: the rest of the page
};

class HtmlOpenElements {
 public:
  HtmlOpenElements();

  // A start tag, name lower-cased, attributes read: marks it foreign when it makes an svg or
  // math element and says how its contents are read (their end tag is the tokenizer's own).
  HtmlContent StartTag(HtmlToken& tag);
  // An end tag outside raw text (name lower-cased).
  void EndTag(std::string_view name);
  // Character data between tags (references not decoded).
  void Text(std::string_view text);
  // A doctype before the first tag: "<!DOCTYPE html>" turns the quirks of old pages off.
  void Doctype(std::string_view content);
  // "<![CDATA[" opens text where the current element is an svg or math one.
  bool AllowsCdata() const;

 private:
  enum class Space : uint8_t { Html, Svg, Math };
  enum class Mode : uint8_t { Body, Table, TableBody, Row, Cell, Caption, ColumnGroup, Template };

  struct Element {
    std::string name;  // lower-cased
    Space space;
    uint32_t kinds;                  // Kind bits
    bool alive = true;               // false once taken out of the middle of the stack
    int32_t entry = -1;              // its entry in formatting_, or -1
    Mode contents = Mode::Template;  // a template's: how its contents are read
  };
  // A formatting element that text or a tag reopens while it is not on the stack, or a marker
  // (cells, captions, templates, applets, objects, marquees) that bounds them.
  struct FormattingEntry {
    std::string name;  // empty for a marker
    int32_t element;   // its position on the stack, -1 when closed
    bool removed = false;
  };
  // Positions on the stack, ascending: the elements of one name or one kind.
  using Positions = std::vector<uint32_t>;

  std::vector<Element> open_;  // open_[0] stands for the html element and is never closed
  std::unordered_map<std::string, Positions> htmlByName_, foreignByName_;
  Positions html_;         // HTML elements (may hold positions of taken-out ones; see Top)
  Positions special_;      // the special category
  Positions listBarrier_;  // special but address, div and p: where li/dd/dt look no further
  Positions scope_;        // what bounds "in scope"
  Positions tableScope_;   // html, table, template
  Positions headings_;     // h1-h6
  Positions modes_;        // table parts, template, html: the insertion mode they imply
  Positions cells_;        // td, th
  Positions sections_;     // tbody, thead, tfoot
  Positions templates_;
  std::vector<FormattingEntry> formatting_;
  std::vector<size_t> markers_;  // indices of the markers in formatting_
  // The entries of each name, ascending (may hold removed ones; see LastEntry).
  std::unordered_map<std::string, std::vector<int32_t>> entriesByName_;
  int64_t form_ = -1;  // the form element pointer: its position, or -2 when it is off the stack
  bool quirks_ = true;
  bool tagSeen_ = false;

  const Element& Current() const { return open_.back(); }
  bool CurrentIs(std::string_view name) const;
  bool CurrentIsForeign() const { return Current().space != Space::Html; }
  bool TakesHtmlStartTag(const HtmlToken& tag) const;

  uint32_t Top(Positions& positions);     // highest live position, 0 when none
  uint32_t TopOf(std::string_view name);  // the nearest live HTML element of that name, 0 if none
  bool InScope(std::string_view name);
  bool InButtonScope(std::string_view name);
  bool InListItemScope(std::string_view name);
  bool InTableScope(std::string_view name);
  Mode CurrentMode();

  void Push(std::string_view name, Space space, bool htmlPoint = false);
  void PushFormatting(std::string_view name);
  void PushMarker();
  void Pop();
  void PopTo(uint32_t position);  // pops the element there and everything after it
  void PopToName(std::string_view name);
  void PopToHtmlContent();
  void GenerateImpliedEndTags(std::string_view except = {});
  void ClosePIfInButtonScope();
  void CloseCell();
  void ClearBackTo(std::initializer_list<std::string_view> names);
  void ClearFormattingToMarker();
  void DropLastEntry();
  void Reconstruct();
  void RemoveEntry(int32_t entry);
  int32_t LastEntry(std::string_view name);  // the last entry of the name after the last marker
  void Adoption(std::string_view name);
  void TakeOut(uint32_t at);
  void AnyOtherEndTag(std::string_view name);

  HtmlContent HtmlStartTag(HtmlToken& tag);
  HtmlContent BodyStartTag(HtmlToken& tag);
  void HtmlEndTag(std::string_view name);
  void BodyEndTag(std::string_view name);
};

}  // namespace lorvex
