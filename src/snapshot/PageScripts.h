// The scripts the rendering runs in the page, in a world of its own (the page's scripts can
// neither see nor change what these use; both see the same document).
#pragma once

namespace lorvex::snapshot {

// Called with a time limit in milliseconds: scrolls the window down a screen at a time, with
// a pause after each step for lazy loaders and scroll effects, until the end of the page, the
// limit or kMaxScrollSteps, then back to the top. Resolves to the steps taken.
inline constexpr char kScrollThroughScript[] = R"JS(
(async (limitMs, maxSteps, pauseMs) => {
  const end = Date.now() + limitMs;
  const pause = () => new Promise((resolve) => setTimeout(resolve, pauseMs));
  const height = () => Math.max(
      document.documentElement ? document.documentElement.scrollHeight : 0,
      document.body ? document.body.scrollHeight : 0);
  let steps = 0;
  for (let y = 0; y + innerHeight < height() && steps < maxSteps && Date.now() < end; ++steps) {
    y += Math.max(1, innerHeight);
    scrollTo(0, y);
    await pause();
  }
  scrollTo(0, 0);
  return steps;
})
)JS";

// Resolves to {url, html}: the document's address and the document as HTML text, written as the
// HTML serialization algorithm writes it, with what the page's scripts made that the markup
// alone would lose:
// - an open shadow root as a declarative one (<template shadowrootmode="open">, with its
//   delegatesfocus, clonable and serializable flags) before the element's own children;
// - style sheets a script built (adoptedStyleSheets) as <style> elements: a shadow root's at
//   the end of its template, the document's at the end of its body;
// - a <style> whose sheet a script changed through the CSS object model (its text is empty, or
//   reads to other rules than the sheet holds) with the sheet's rules as its text;
// - form state where it differs from the markup: an input's value (not of a password or file
//   field), checked boxes and buttons, selected options, a textarea's text;
// - the text is UTF-8 and says so: every charset declaration names utf-8, and a document
//   without one gets <meta charset="utf-8"> first in its head.
// The doctype keeps its public and system identifiers, so the document keeps its mode.
inline constexpr char kSerializeDocumentScript[] = R"JS(
(() => {
  const HTML = "http://www.w3.org/1999/xhtml";
  const VOID = new Set(["area", "base", "basefont", "bgsound", "br", "col", "embed", "frame",
      "hr", "img", "input", "keygen", "link", "meta", "param", "source", "track", "wbr"]);
  const RAW = new Set(["style", "script", "xmp", "iframe", "noembed", "noframes", "plaintext",
      "noscript"]);
  const TEXT_ESCAPES = {"&": "&amp;", "<": "&lt;", ">": "&gt;", "\u00a0": "&nbsp;"};
  const ATTR_ESCAPES = {"&": "&amp;", "\"": "&quot;", "<": "&lt;", ">": "&gt;",
      "\u00a0": "&nbsp;"};
  const escapeText = (s) => s.replace(/[&<>\u00a0]/g, (c) => TEXT_ESCAPES[c]);
  const escapeAttr = (s) => s.replace(/[&"<>\u00a0]/g, (c) => ATTR_ESCAPES[c]);
  // Raw text must not end its element early.
  const rawText = (s, name) => s.replace(new RegExp("</(" + name + ")", "gi"), "<\\/$1");
  const out = [];

  const rulesOf = (sheet) => {
    try {
      return Array.from(sheet.cssRules, (rule) => rule.cssText);
    } catch (e) {
      return null;
    }
  };
  const styleElements = (sheets) => {
    for (const sheet of sheets || []) {
      const rules = rulesOf(sheet);
      if (rules && rules.length) out.push("<style>" + rawText(rules.join("\n"), "style") + "</style>");
    }
  };
  // The rules of a <style> when a script changed its sheet; null when its text says it all.
  const changedRules = (style) => {
    const rules = style.sheet ? rulesOf(style.sheet) : null;
    if (!rules) return null;
    const text = style.textContent;
    if (!text.trim()) return rules.length ? rules : null;
    const read = new CSSStyleSheet();
    try {
      read.replaceSync(text);
    } catch (e) {
      return null;
    }
    // replaceSync leaves out @import rules; the sheet's own are compared without them too.
    const imported = (rule) => rule.startsWith("@import");
    const fromText = rulesOf(read) || [];
    const held = rules.filter((rule) => !imported(rule));
    const same = held.length === fromText.length && held.every((rule, i) => rule === fromText[i]);
    return same ? null : rules;
  };

  const charsetDeclared = (() => {
    for (const meta of document.querySelectorAll("meta")) {
      if (meta.hasAttribute("charset")) return true;
      if ((meta.getAttribute("http-equiv") || "").toLowerCase() === "content-type" &&
          /charset/i.test(meta.getAttribute("content") || "")) return true;
    }
    return false;
  })();

  const attributes = (el, name) => {
    const list = Array.from(el.attributes, (a) => [a.name, a.value]);
    const set = (attr, value) => {
      const i = list.findIndex((pair) => pair[0] === attr);
      if (value === null) {
        if (i >= 0) list.splice(i, 1);
      } else if (i >= 0) {
        list[i][1] = value;
      } else {
        list.push([attr, value]);
      }
    };
    if (el.namespaceURI === HTML) {
      if (name === "input") {
        const type = el.type;
        if (type === "checkbox" || type === "radio") {
          if (el.checked !== el.hasAttribute("checked")) set("checked", el.checked ? "" : null);
        } else if (type !== "file" && type !== "password" &&
                   el.value !== (el.getAttribute("value") || "")) {
          set("value", el.value);
        }
      } else if (name === "option") {
        if (el.selected !== el.hasAttribute("selected")) set("selected", el.selected ? "" : null);
      } else if (name === "meta") {
        if (el.hasAttribute("charset")) set("charset", "utf-8");
        else if ((el.getAttribute("http-equiv") || "").toLowerCase() === "content-type")
          set("content", (el.getAttribute("content") || "").replace(/charset\s*=\s*[^;\s]*/gi,
              "charset=utf-8"));
      }
    }
    return list.map(([attr, value]) => " " + attr + "=\"" + escapeAttr(value) + "\"").join("");
  };

  const shadow = (root) => {
    let flags = " shadowrootmode=\"" + root.mode + "\"";
    if (root.delegatesFocus) flags += " shadowrootdelegatesfocus=\"\"";
    if (root.clonable) flags += " shadowrootclonable=\"\"";
    if (root.serializable) flags += " shadowrootserializable=\"\"";
    out.push("<template" + flags + ">");
    children(root, null);
    styleElements(root.adoptedStyleSheets);
    out.push("</template>");
  };

  const element = (el) => {
    const html = el.namespaceURI === HTML;
    const name = html ? el.localName : el.tagName;
    out.push("<" + name + attributes(el, name) + ">");
    if (html && name === "head" && !charsetDeclared) out.push("<meta charset=\"utf-8\">");
    if (el.shadowRoot) shadow(el.shadowRoot);
    if (html && VOID.has(name)) return;
    if (html && name === "template") {
      children(el.content, null);
    } else if (html && name === "textarea") {
      const value = el.value;
      out.push((value.startsWith("\n") ? "\n" : "") + escapeText(value));
    } else {
      const rules = html && name === "style" ? changedRules(el) : null;
      if (rules) {
        out.push(rawText(rules.join("\n"), "style"));
      } else {
        const first = el.firstChild;
        // The parser drops a line break right after these start tags.
        if (html && (name === "pre" || name === "listing") && first && first.nodeType === 3 &&
            first.data.startsWith("\n")) out.push("\n");
        children(el, html && RAW.has(name) ? name : null);
      }
    }
    if (html && name === "body") styleElements(document.adoptedStyleSheets);
    out.push("</" + name + ">");
  };

  const doctype = (d) => {
    let text = "<!DOCTYPE " + d.name;
    if (d.publicId) text += " PUBLIC \"" + d.publicId + "\"" + (d.systemId ? " \"" + d.systemId + "\"" : "");
    else if (d.systemId) text += " SYSTEM \"" + d.systemId + "\"";
    out.push(text + ">");
  };

  // raw: the name of the raw-text element whose children these are, else null.
  const children = (parent, raw) => {
    for (let node = parent.firstChild; node; node = node.nextSibling) {
      switch (node.nodeType) {
        case Node.ELEMENT_NODE: element(node); break;
        case Node.TEXT_NODE: out.push(raw ? rawText(node.data, raw) : escapeText(node.data)); break;
        case Node.COMMENT_NODE: out.push("<!--" + node.data + "-->"); break;
        case Node.PROCESSING_INSTRUCTION_NODE: out.push("<?" + node.target + " " + node.data + ">"); break;
        case Node.DOCUMENT_TYPE_NODE: doctype(node); break;
      }
    }
  };

  children(document, null);
  return {url: document.URL, html: out.join("")};
})()
)JS";

}  // namespace lorvex::snapshot
