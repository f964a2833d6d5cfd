"""Builds MIME web archives for the web archive import's tests and benchmark: saved pages
(multipart/related, a quoted-printable page and base64 resources) and mail messages."""
import base64
import os

CRLF = b"\r\n"


def qp_encode(data):
    """Quoted-printable with CR LF line breaks, upper-case hex and soft breaks at 76."""
    out = []
    for line in data.split(CRLF):
        encoded = bytearray()
        width = 0
        for i, byte in enumerate(line):
            last = i == len(line) - 1
            if (33 <= byte <= 126 and byte != ord("=")) or (byte in (9, 32) and not last):
                piece = bytes([byte])
            else:
                piece = b"=%02X" % byte
            if width + len(piece) > 75:
                encoded += b"=" + CRLF
                width = 0
            encoded += piece
            width += len(piece)
        out.append(bytes(encoded))
    return CRLF.join(out)


def b64_lines(data, width=76):
    text = base64.b64encode(data)
    return CRLF.join(text[i:i + width] for i in range(0, len(text), width))


def header(name, value, case=None):
    return (case(name) if case else name).encode() + b": " + value.encode("latin-1")


def part(content_type, encoding, location, body, case=None):
    lines = [header("Content-Type", content_type, case),
             header("Content-Transfer-Encoding", encoding, case)]
    if location is not None:
        lines.append(header("Content-Location", location, case))
    return CRLF.join(lines) + CRLF + CRLF + body + CRLF


def saved_page(page_html, resources, boundary="----=_NextPart_000_0000_01D8", quote='"',
               page_location="http://site/dir/index.htm", case=None):
    """page_html: bytes; resources: [(location, content type, bytes)], base64-encoded."""
    out = [b"From: <Saved by the test>", b"Subject: saved page", b"MIME-Version: 1.0",
           header("Content-Type", "multipart/related;", case),
           b"\tboundary=" + (quote + boundary + quote).encode() + b";",
           b'\ttype="text/html"', b"", b"This is a multi-part message in MIME format.", b""]
    delimiter = b"--" + boundary.encode() + CRLF
    pieces = [CRLF.join(out) + CRLF,
              delimiter + part('text/html; charset="us-ascii"', "quoted-printable", page_location,
                               qp_encode(page_html), case)]
    for location, content_type, data in resources:
        pieces.append(CRLF + delimiter + part(content_type, "base64", location, b64_lines(data), case))
    pieces.append(CRLF + b"--" + boundary.encode() + b"--" + CRLF)
    return b"".join(pieces)


def mail_message(plain, html, attachment_name, attachment):
    """A mail: outer mixed list, nested alternative list (text/plain, text/html), then an
    attached image whose Content-Location names it."""
    return CRLF.join([
        b"From: a@example.com", b"To: b@example.com", b"Subject: hello", b"MIME-Version: 1.0",
        b'Content-Type: multipart/mixed; boundary="outer-b"', b"",
        b"--outer-b", b'Content-Type: multipart/alternative; boundary="inner-b"', b"",
        b"--inner-b", b"Content-Type: text/plain; charset=us-ascii",
        b"Content-Transfer-Encoding: quoted-printable", b"", qp_encode(plain), b"",
        b"--inner-b", b"Content-Type: text/html; charset=us-ascii",
        b"Content-Transfer-Encoding: quoted-printable", b"", qp_encode(html), b"",
        b"--inner-b--", b"",
        b"--outer-b", b"Content-Type: image/gif",
        b"Content-Transfer-Encoding: base64",
        b"Content-Location: " + attachment_name.encode(), b"", b64_lines(attachment), b"",
        b"--outer-b--", b""])


def random_bytes(size, seed):
    import random
    return random.Random(seed).randbytes(size) if size else b""


def email_parts(archive):
    """The independent decoder: {Content-Location: decoded payload} from Python's email
    package, for the parts that have a location."""
    import email
    import email.policy
    message = email.message_from_bytes(archive, policy=email.policy.compat32)
    parts = {}
    for item in message.walk():
        if item.is_multipart():
            continue
        location = item.get("Content-Location")
        if location:
            parts[location.strip()] = item.get_payload(decode=True)
    return parts


# The layouts that other programs write. Each builder returns (archive, expected page body):
# the body of the part that becomes the page, as the part carries it once decoded.

def browser_save(page_html, resources, page_location="https://example.com/a/"):
    """A browser's single-file save: root parameters on continuation lines with type= before
    the boundary, a Content-ID between the headers, every part `binary`.
    resources: [(location, content type, bytes)]."""
    boundary = b"----MultipartBoundary--Vq3pXr5Lk----"
    out = [b"From: <Saved by the test browser>", b"Snapshot-Content-Location: " + page_location.encode(),
           b"Subject: saved", b"MIME-Version: 1.0", b"Content-Type: multipart/related;",
           b'\ttype="text/html";', b'\tboundary="' + boundary + b'"', b"", b""]
    pieces = [CRLF.join(out)]
    entries = [("text/html", page_location, page_html)] + [(t, loc, data) for loc, t, data in resources]
    for n, (content_type, location, data) in enumerate(entries):
        pieces.append(b"--" + boundary + CRLF + CRLF.join([
            header("Content-Type", content_type), b"Content-ID: <frame-%d@test>" % n,
            b"Content-Transfer-Encoding: binary", header("Content-Location", location), b"", data]))
    pieces.append(b"--" + boundary + b"--" + CRLF)
    return CRLF.join(pieces), page_html


def office_page(page_html, resources, folder="file:///C:/Docs/report"):
    """An office program's single-file web page: no type= parameter, and every part's
    headers in the order Content-Location, Content-Transfer-Encoding, Content-Type."""
    boundary = b"----=_NextPart_01DA2B3C.4D5E6F70"
    pieces = [CRLF.join([b"MIME-Version: 1.0", b"X-Document-Type: Document",
                         b'Content-Type: multipart/related; boundary="' + boundary + b'"', b"",
                         b"This document is a Single File Web Page, also known as a Web Archive file.",
                         b""])]
    entries = [(folder + ".htm", "quoted-printable", 'text/html; charset="us-ascii"', qp_encode(page_html))]
    entries += [(folder + "_files/" + loc, "base64", t, b64_lines(data)) for loc, t, data in resources]
    for location, encoding, content_type, body in entries:
        pieces.append(b"--" + boundary + CRLF + CRLF.join([
            header("Content-Location", location), header("Content-Transfer-Encoding", encoding),
            header("Content-Type", content_type), b"", body, b""]))
    pieces.append(b"--" + boundary + b"--" + CRLF)
    return CRLF.join(pieces), page_html


def mail_with_attachments(plain, html, attachments):
    """A mail: plain and HTML alternatives in a nested list, then attachments, each with its
    name in a Content-Location line among other headers. attachments: [(name, type, bytes)]."""
    lines = [b"From: a@example.com", b"To: b@example.com", b"Subject: two attachments",
             b"MIME-Version: 1.0", b"Content-Type: multipart/mixed;", b'\tboundary="=_outer_7d1"', b"",
             b"This is a multi-part message in MIME format.", b"",
             b"--=_outer_7d1", b"Content-Type: multipart/alternative;", b'\tboundary="=_alt_9e2"', b"",
             b"--=_alt_9e2", b"Content-Type: text/plain; charset=utf-8",
             b"Content-Transfer-Encoding: quoted-printable", b"", qp_encode(plain),
             b"--=_alt_9e2", b"Content-Type: text/html; charset=utf-8",
             b"Content-Transfer-Encoding: quoted-printable", b"", qp_encode(html),
             b"--=_alt_9e2--", b""]
    for name, content_type, data in attachments:
        lines += [b"--=_outer_7d1", header("Content-Type", content_type + '; name="%s"' % name),
                  header("Content-Disposition", 'attachment; filename="%s"' % name),
                  b"Content-Transfer-Encoding: base64", header("Content-Location", name), b"",
                  b64_lines(data), b""]
    lines += [b"--=_outer_7d1--", b""]
    return CRLF.join(lines), plain


def mail_7bit_8bit(text7, html8, location="note.htm"):
    """A mail with a 7bit text part, then an 8bit HTML part that carries a location."""
    return CRLF.join([
        b"From: a@example.com", b"Subject: plain", b"MIME-Version: 1.0",
        b'Content-Type: multipart/mixed; boundary="b7-8"', b"",
        b"--b7-8", b"Content-Type: text/plain; charset=us-ascii", b"Content-Transfer-Encoding: 7bit", b"",
        text7, b"--b7-8", b"Content-Type: text/html; charset=iso-8859-1",
        b"Content-Transfer-Encoding: 8bit", header("Content-Location", location), b"", html8,
        b"--b7-8--", b""]), text7


def plain_message(body):
    """A message without any MIME header."""
    return CRLF.join([b"From: a@example.com", b"To: b@example.com", b"Subject: no MIME",
                      b"Date: Mon, 1 Jan 2024 00:00:00 +0000", b"", body]) + CRLF, body


# Random bytes with lone CR and LF among them, and a page with no reference to rewrite.
IMAGE = random_bytes(3000, 9) + b"\r\rA\n\nB\r\n\r"
PAGE = b"<html><body><p>Caf\xe9 = =3D tab\there</p>\r\n<p>line two </p></body></html>"


def producer_samples():
    """name: (archive, expected page body, {written part file: its Content-Location})."""
    site = "https://example.com/a/"
    return {
        "browser": browser_save(PAGE, [(site + "i.png", "image/png", IMAGE),
                                       (site + "s.css", "text/css", b"p{}\r\n"),
                                       (site + "e.gif", "image/gif", b"")])
        + ({"i.png": site + "i.png", "s.css": site + "s.css", "e.gif": site + "e.gif"},),
        "office": office_page(PAGE, [("image001.png", "image/png", IMAGE),
                                     ("filelist.xml", "text/xml", b"<xml/>")])
        + ({"image001.png": "file:///C:/Docs/report_files/image001.png"},),
        "mail": mail_with_attachments(b"Hello =\r\nthere", b"<b>Hello</b>",
                                      [("a.gif", "image/gif", IMAGE[:700]),
                                       ("b.jpg", "image/jpeg", IMAGE)])
        + ({"a.gif": "a.gif", "b.jpg": "b.jpg"},),
        "7bit-8bit": mail_7bit_8bit(b"Plain 7bit text\r\n\r\nwith = sign", b"<p>caf\xe9 8bit</p>")
        + ({"note.htm": "note.htm"},),
        "no-mime": plain_message(b"Hello,\r\n\r\nfirst line kept\r\nbye") + ({},),
    }


def page_lines(data):
    """Text as the import writes it: its lines, empty ones at either end dropped."""
    lines = data.replace(b"\r\n", b"\n").replace(b"\r", b"\n").split(b"\n")
    while lines and not lines[0]:
        lines.pop(0)
    while lines and not lines[-1]:
        lines.pop()
    return lines


# Archives whose pages name parts by cid: addresses, and mail whose page the old reading got
# wrong. Each builder returns (archive, page, refs): page is the page's HTML or text as the
# part carries it once decoded; refs maps each reference that the page or a written part
# holds to the part that it names, as (Content-ID or Content-Location, file name, file name
# where the system's ANSI code page lacks a character of the name).



def png(width):
    """A valid PNG of width x 1 pixels (one row of red pixels), so that a browser shows it."""
    import struct
    import zlib

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    row = b"\x00" + b"\xff\x00\x00\xff" * width
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, 1, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(row)) + chunk(b"IEND", b""))


def cid_mail():
    """A mail as mail programs write one with inline pictures: alternative{plain,
    related{html, pictures}}; one picture named by an encoded word, one without any name."""
    pictures = [("note.1@example.com", '; name="=?UTF-8?Q?caf=C3=A9?= =?UTF-8?Q?.png?="', png(7)),
                ("Pic-2.ABC@example.com", "", png(11))]
    html = (b'<html><body><p>Hello, here are the pictures:</p>\r\n'
            b'<img src="cid:note.1@example.com" alt="one">\r\n'
            b'<img src="cid:Pic-2.ABC@example.com" alt="two">\r\n'
            b'<p>That is all for today.</p></body></html>')
    lines = [b"From: Anne <a@example.com>", b"To: b@example.com", b"Subject: pictures",
             b"MIME-Version: 1.0", b'Content-Type: multipart/alternative; boundary="=_alt_c1d"', b"",
             b"--=_alt_c1d", b"Content-Type: text/plain; charset=utf-8", b"", b"Hello, [one] [two]", b"",
             b"--=_alt_c1d", b'Content-Type: multipart/related; boundary="=_rel_c1d"', b"",
             b"--=_rel_c1d", b"Content-Type: text/html; charset=utf-8",
             b"Content-Transfer-Encoding: quoted-printable", b"", qp_encode(html)]
    for cid, name, data in pictures:
        lines += [b"--=_rel_c1d", header("Content-Type", "image/png" + name),
                  b"Content-Transfer-Encoding: base64", header("Content-ID", "<%s>" % cid),
                  b"Content-Disposition: inline", b"", b64_lines(data)]
    lines += [b"--=_rel_c1d--", b"", b"--=_alt_c1d--", b""]
    refs = {"cid:note.1@example.com": ("note.1@example.com", "caf\u00e9.png", "part4.png"),
            "cid:Pic-2.ABC@example.com": ("Pic-2.ABC@example.com", "part5.png", "part5.png")}
    return CRLF.join(lines), html, refs


def cid_browser_save():
    """A browser's single-file save: the style sheet known by a cid: location, two inline
    frames by their Content-IDs, a picture by its location. The sheet names a background
    picture (known by a cid: location) and a font (by its Content-ID) by url(cid:...); a sheet
    names them by their bare file names, since it lies beside them."""
    boundary = b"----MultipartBoundary--cidQ7x----"
    page = (b'<html><head><link rel="stylesheet" type="text/css" href="cid:css-5d1@mhtml.blink" />'
            b'</head><body>\r\n<p class="t">Top page</p>\r\n'
            b'<iframe src="cid:frame-B2@mhtml.blink" width="300"></iframe>\r\n'
            b'<iframe src="cid:frame-C3@mhtml.blink" width="300"></iframe>\r\n'
            b'<img src="https://example.com/a/i.png">\r\n</body></html>')
    frame_one = b'<html><body><p id="f">Frame one</p><img src="https://example.com/a/i.png"> </body></html>'
    frame_two = b'<html><body><p id="f">Frame two</p></body></html>'
    sheet = (b'@charset "utf-8";\r\n'
             b'p.t { color: red; background: url(cid:bg-7e@mhtml.blink) no-repeat; }\r\n'
             b'@font-face { font-family: "T"; src: url("cid:font-8f@mhtml.blink") format("woff2"); }')
    parts = [("text/html", "Content-ID: <frame-A1@mhtml.blink>", "https://example.com/a/", page),
             ("text/css", None, "cid:css-5d1@mhtml.blink", sheet),
             ("text/html", "Content-ID: <frame-B2@mhtml.blink>", "https://example.com/frames/one", frame_one),
             ("text/html", "Content-ID: <frame-C3@mhtml.blink>", "about:blank", frame_two)]
    pieces = [CRLF.join([b"From: <Saved by the test browser>",
                         b"Snapshot-Content-Location: https://example.com/a/", b"Subject: saved",
                         b"MIME-Version: 1.0", b"Content-Type: multipart/related;",
                         b'\ttype="text/html";', b'\tboundary="' + boundary + b'"', b"", b""])]
    for content_type, cid, location, data in parts:
        head = [header("Content-Type", content_type)] + ([cid.encode()] if cid else [])
        head += [b"Content-Transfer-Encoding: quoted-printable", header("Content-Location", location)]
        pieces.append(b"--" + boundary + CRLF + CRLF.join(head + [b"", qp_encode(data)]))
    pieces.append(b"--" + boundary + CRLF + CRLF.join([
        b"Content-Type: image/png", b"Content-Transfer-Encoding: base64",
        b"Content-Location: https://example.com/a/i.png", b"", b64_lines(png(5))]))
    pieces.append(b"--" + boundary + CRLF + CRLF.join([
        b"Content-Type: image/png", b"Content-Transfer-Encoding: base64",
        b"Content-Location: cid:bg-7e@mhtml.blink", b"", b64_lines(png(13))]))
    pieces.append(b"--" + boundary + CRLF + CRLF.join([
        b"Content-Type: font/woff2", b"Content-ID: <font-8f@mhtml.blink>",
        b"Content-Transfer-Encoding: base64", b"", b64_lines(b"wOF2" + random_bytes(60, 8))]))
    pieces.append(b"--" + boundary + b"--" + CRLF)
    refs = {"cid:css-5d1@mhtml.blink": ("cid:css-5d1@mhtml.blink", "part2.css", "part2.css"),
            "cid:frame-B2@mhtml.blink": ("frame-B2@mhtml.blink", "part3.htm", "part3.htm"),
            "cid:frame-C3@mhtml.blink": ("frame-C3@mhtml.blink", "part4.htm", "part4.htm"),
            "https://example.com/a/i.png": ("https://example.com/a/i.png", "i.png", "i.png"),
            "cid:bg-7e@mhtml.blink": ("cid:bg-7e@mhtml.blink", "part6.png", "part6.png"),
            "cid:font-8f@mhtml.blink": ("font-8f@mhtml.blink", "part7.bin", "part7.bin")}
    return CRLF.join(pieces), page, refs


def dkim_signed_mail():
    """A signed mail: the signature's field list names content-type before the message's own
    Content-Type field. The page is the plain alternative."""
    return CRLF.join([
        b"DKIM-Signature: v=1; a=rsa-sha256; c=relaxed/relaxed; d=example.com; s=s2024;",
        b"\th=from:to:subject:date:message-id:mime-version:content-type;",
        b"\tbh=47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU=;",
        b"\tb=dGhpcyBpcyBub3QgYSByZWFsIHNpZ25hdHVyZQ==",
        b"Received: from mx.example.com by mail.example.org; Mon, 1 Jan 2024 00:00:00 +0000",
        b"From: Anne <a@example.com>", b"To: b@example.org", b"Subject: signed",
        b"Date: Mon, 1 Jan 2024 00:00:00 +0000", b"Message-ID: <s1@example.com>",
        b"MIME-Version: 1.0", b'Content-Type: multipart/alternative; boundary="000000000000ab12cd"',
        b"", b"--000000000000ab12cd", b'Content-Type: text/plain; charset="UTF-8"', b"",
        b"The signed message.", b"", b"--000000000000ab12cd",
        b'Content-Type: text/html; charset="UTF-8"', b"",
        b'<div dir="ltr">The signed message.</div>', b"", b"--000000000000ab12cd--", b""]), \
        b"The signed message.", {}


def footer_and_forward_mail():
    """A mail whose message is followed by a footer in its own plain/HTML alternative and by
    a forwarded message with a list of its own. The page is the message's plain text."""
    return CRLF.join([
        b"From: a@example.com", b"To: b@example.com", b"Subject: with footer", b"MIME-Version: 1.0",
        b'Content-Type: multipart/mixed; boundary="mix-9f"', b"",
        b"--mix-9f", b'Content-Type: multipart/alternative; boundary="alt-body-9f"', b"",
        b"--alt-body-9f", b"Content-Type: text/plain; charset=us-ascii", b"", b"The message.",
        b"--alt-body-9f", b"Content-Type: text/html; charset=us-ascii", b"", b"<p>The message.</p>",
        b"--alt-body-9f--", b"",
        b"--mix-9f", b'Content-Type: multipart/alternative; boundary="alt-foot-9f"', b"",
        b"--alt-foot-9f", b"Content-Type: text/plain; charset=us-ascii", b"", b"The footer",
        b"--alt-foot-9f", b"Content-Type: text/html; charset=us-ascii", b"", b"<p>The footer</p>",
        b"--alt-foot-9f--", b"",
        b"--mix-9f", b'Content-Type: message/rfc822; name="fwd.eml"',
        b'Content-Disposition: attachment; filename="fwd.eml"', b"",
        b"From: c@example.com", b"Subject: forwarded", b"MIME-Version: 1.0",
        b'Content-Type: multipart/alternative; boundary="alt-fwd-9f"', b"",
        b"--alt-fwd-9f", b"Content-Type: text/plain; charset=us-ascii", b"", b"The forwarded message",
        b"--alt-fwd-9f--", b"", b"--mix-9f--", b""]), b"The message.", {}


def rfc2231_mail():
    """A mail whose page (in gb2312) shows pictures named in RFC 2231's extended form: a
    Chinese name split inside a character across two sections on continuation lines, a
    Latin-1 name whose plain form (after it) is a stand-in, and a name in two quoted
    sections."""
    pictures = [("sea@example.com", "Content-Disposition: inline;\r\n\tfilename*0*=UTF-8''%E6%B5;"
                 "\r\n\tfilename*1*=%B7.png", png(9)),
                ("naive@example.com", "Content-Disposition: inline;"
                 " filename*=iso-8859-1'fr'na%EFve.png; filename=\"naive.png\"", png(6)),
                ("two@example.com", 'Content-Disposition: inline; filename*0="two words ";'
                 ' filename*1="joined.png"', png(4))]
    html = (b'<html><head><meta http-equiv="Content-Type" content="text/html; charset=gb2312">'
            b'</head><body><p>\xba\xa3</p>\r\n'
            b'<img src="cid:sea@example.com">\r\n<img src="cid:naive@example.com">\r\n'
            b'<img src="cid:two@example.com">\r\n<p>end of the message</p></body></html>')
    lines = [b"From: Anne <a@example.com>", b"To: b@example.com", b"Subject: sea",
             b"MIME-Version: 1.0", b'Content-Type: multipart/related; boundary="=_rel_2231"', b"",
             b"--=_rel_2231", b"Content-Type: text/html; charset=gb2312",
             b"Content-Transfer-Encoding: quoted-printable", b"", qp_encode(html)]
    for cid, disposition, data in pictures:
        lines += [b"--=_rel_2231", b"Content-Type: image/png", b"Content-Transfer-Encoding: base64",
                  header("Content-ID", "<%s>" % cid), disposition.encode(), b"", b64_lines(data)]
    lines += [b"--=_rel_2231--", b""]
    refs = {"cid:sea@example.com": ("sea@example.com", "\u6d77.png", "part2.png"),
            "cid:naive@example.com": ("naive@example.com", "na\u00efve.png", "part3.png"),
            "cid:two@example.com": ("two@example.com", "two words joined.png",
                                    "two words joined.png")}
    return CRLF.join(lines), html, refs


def forwarded_root():
    """A message forwarded as the whole of a mail: the root is message/rfc822."""
    inner, html, refs = rfc2231_mail()
    return CRLF.join([b"From: b@example.com", b"To: c@example.com", b"Subject: Fwd: sea",
                      b"MIME-Version: 1.0", b"Content-Type: message/rfc822", b"", inner]), html, refs


def forwarded_as_attachment():
    """A mail program's "forward as attachment": an empty note, then the message as a
    message/rfc822 part (the enclosed mail's own picture names and positions count)."""
    inner, html, refs = cid_mail()
    return CRLF.join([
        b"From: b@example.com", b"To: c@example.com", b"Subject: Fwd: pictures",
        b"MIME-Version: 1.0", b'Content-Type: multipart/mixed; boundary="=_fwd_0a1"', b"",
        b"--=_fwd_0a1", b"Content-Type: text/plain; charset=us-ascii", b"", b"",
        b"--=_fwd_0a1", b'Content-Type: message/rfc822; name="pictures.eml"',
        b'Content-Disposition: attachment; filename="pictures.eml"', b"", inner,
        b"--=_fwd_0a1--", b""]), html, refs


def short_boundary_mail():
    """A mail whose boundary is a short common word: body lines that hold it (also at their
    start, followed by more text) are text; only lines of their own delimit parts. The
    pictures' names hold marks that a URL reads otherwise ("#", "%25")."""
    html = (b'<html><body><p>inner text</p>\r\n<p>a line that says --IN and --in</p>\r\n'
            b'--INNER and ---IN\r\n<img src="cid:hash@x">\r\n<img src="cid:pct@x">\r\n'
            b'<p>end</p></body></html>')
    lines = [b"From: a@example.com", b"MIME-Version: 1.0",
             b'Content-Type: multipart/related; boundary="IN"', b"", b"--IN",
             b"Content-Type: text/html; charset=us-ascii",
             b"Content-Transfer-Encoding: quoted-printable", b"", qp_encode(html),
             b"--IN", b'Content-Type: image/png; name="a#1.png"', b"Content-ID: <hash@x>",
             b"Content-Transfer-Encoding: base64", b"", b64_lines(png(3)),
             b"--IN  ", b'Content-Type: image/png; name="100%25 off.png"', b"Content-ID: <pct@x>",
             b"Content-Transfer-Encoding: base64", b"", b64_lines(png(5)), b"--IN--", b""]
    refs = {"cid:hash@x": ("hash@x", "a#1.png", "a#1.png"),
            "cid:pct@x": ("pct@x", "100%25 off.png", "100%25 off.png")}
    return CRLF.join(lines), html, refs


def unencoded_mail():
    """A mail whose page part names no transfer encoding, as mail programs write plain parts:
    its "=" signs are text."""
    html = (b'<html><body><table width="100"><tr><td class="c">x=41 y=3D z=\r\n'
            b'</td></tr></table>\r\n<img src="cid:plain@x"></body></html>')
    lines = [b"From: a@example.com", b"MIME-Version: 1.0",
             b'Content-Type: multipart/related; boundary="=_u1"', b"", b"--=_u1",
             b"Content-Type: text/html; charset=us-ascii", b"", html,
             b"--=_u1", b"Content-Type: image/png; name=\"it's (1).png\"",
             b"Content-ID: <plain@x>", b"Content-Transfer-Encoding: base64", b"",
             b64_lines(png(6)), b"--=_u1--", b""]
    refs = {"cid:plain@x": ("plain@x", "it's (1).png", "it's (1).png")}
    return CRLF.join(lines), html, refs


def loose_quoted_printable_mail():
    """Quoted-printable as mail programs loosely write it: lower-case digits, "=" before a byte
    that is no digit, soft breaks."""
    encoded = (b'<html><body><p class=3D"a">=4a=4A caf=e9 =3d ="quoted" x=zz 100=\r\n'
               b'% done</p>\r\n<img src=3D"cid:q@x"></body></html>')
    html = (b'<html><body><p class="a">JJ caf\xe9 = ="quoted" x=zz 100% done</p>\r\n'
            b'<img src="cid:q@x"></body></html>')
    lines = [b"From: a@example.com", b"MIME-Version: 1.0",
             b'Content-Type: multipart/related; boundary="=_q1"', b"", b"--=_q1",
             b"Content-Type: text/html; charset=iso-8859-1",
             b"Content-Transfer-Encoding: Quoted-Printable", b"", encoded,
             b"--=_q1", b'Content-Type: image/png; name="q.png"', b"Content-ID: <q@x>",
             b"Content-Transfer-Encoding: base64", b"", b64_lines(png(8)), b"--=_q1--", b""]
    refs = {"cid:q@x": ("q@x", "q.png", "q.png")}
    return CRLF.join(lines), html, refs


def cid_samples():
    """name: (archive, page, refs) for the layouts above."""
    return {"cid-mail": cid_mail(), "cid-browser": cid_browser_save(), "dkim": dkim_signed_mail(),
            "footer-forward": footer_and_forward_mail(), "rfc2231": rfc2231_mail(),
            "forwarded-root": forwarded_root(), "forwarded-attachment": forwarded_as_attachment(),
            "short-boundary": short_boundary_mail(), "unencoded": unencoded_mail(),
            "loose-quoted-printable": loose_quoted_printable_mail()}


def forwarded(message):
    """The message that Python's email reading of a mail shows when the mail forwards one:
    the enclosed message of a mail that has no HTML part but a message/rfc822 part."""
    if message.get_content_type() == "message/rfc822":
        return message.get_payload(0)

    def own_parts(item):  # the parts of the mail's own lists, not of a message it encloses
        yield item
        if item.is_multipart() and item.get_content_type() != "message/rfc822":
            for sub in item.get_payload():
                yield from own_parts(sub)
    parts = list(own_parts(message))
    if any(part.get_content_type() == "text/html" for part in parts):
        return message
    for part in parts:
        if part.get_content_type() == "message/rfc822":
            return part.get_payload(0)
    return message


def email_names(archive):
    """{Content-ID without its angle brackets: the file name Python's email package reads
    from the part's headers (get_filename, else the name parameter)}."""
    import email
    import email.policy
    message = email.message_from_bytes(archive, policy=email.policy.default)
    names = {}
    for item in message.walk():
        if item.is_multipart() or not item.get("Content-ID"):
            continue
        name = item.get_filename() or item.get_param("name")
        if name:
            names[item.get("Content-ID").strip().strip("<>")] = name
    return names


def page_reference(name):
    """A part's name as a written page names it, as a URL: UTF-8, with every byte outside
    printable ASCII and each of the marks that end or change a URL's path (blank, quotes, "%",
    "#", "?", brackets, backslash) percent-encoded."""
    return "".join(chr(b) if 32 < b < 127 and chr(b) not in " \"'%#?()\\" else "%%%02X" % b
                   for b in name.encode("utf-8"))


def email_body(archive, prefer=("related", "html", "plain")):
    """The independent reading of the page: the body that Python's email package picks,
    decoded (for a related list, its start part); None when it picks none."""
    import email
    import email.policy
    message = forwarded(email.message_from_bytes(archive, policy=email.policy.default))
    body = message.get_body(preferencelist=prefer)
    if body is None:
        return None
    if body.get_content_type() == "multipart/related":
        body = body.get_body(preferencelist=("html",))
    return body.get_payload(decode=True)


def email_parts_by_id(archive):
    """{Content-ID without its angle brackets, and Content-Location: decoded payload}."""
    import email
    import email.policy
    message = email.message_from_bytes(archive, policy=email.policy.compat32)
    parts = {}
    for item in message.walk():
        if item.is_multipart():
            continue
        for key in (item.get("Content-ID"), item.get("Content-Location")):
            if key:
                parts[key.strip().strip("<>")] = item.get_payload(decode=True)
    return parts


def expected_page(page, refs, folder, names):
    """The page with each reference replaced by folder + the name names() gives its part
    (the name that the system can hold), percent-encoded as UTF-8 when it is not ASCII."""
    for ref, entry in refs.items():
        name = entry[2] if names(entry) == entry[2].encode() else entry[1]
        page = page.replace(ref.encode(), folder.encode() + page_reference(name).encode())
    return page


def expected_part(data, file, refs, folder, names):
    """A written HTML part or style sheet: as expected_page, but a style sheet names the
    parts beside it by their bare names."""
    return expected_page(data, refs, "" if file.endswith(".css") else folder, names)
