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
