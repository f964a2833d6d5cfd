"""The reference host's pictures of the library's dialogs (--screenshot-dir): a dialog is
pictured once it is painted, also when it is hidden again before the host's next look at it,
with its title bar as the prefix draws it (scripts/wine-prefix)."""
import os
import struct
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "support"))
from lorvexhost import HostTestCase, run_host, winpath  # noqa: E402


def read_bmp(path):
    """The rows of a bottom-up 24-bit BMP file, top row first, each a list of (b, g, r)."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:2] == b"BM", path
    offset, = struct.unpack_from("<I", data, 10)
    width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
    assert bits == 24 and height > 0, (bits, height)
    stride = (width * 3 + 3) & ~3
    return [[tuple(data[offset + row * stride + 3 * x:offset + row * stride + 3 * x + 3])
             for x in range(width)] for row in reversed(range(height))]


def close_box_is_a_cross(rows, corner=40):
    """Whether the black pixels of the title bar's right corner (the close box's glyph) form
    a figure that mirrors left to right and top to bottom, as a cross does and the letter "r"
    (the glyph's stand-in when the symbol font is missing) does not."""
    black = {(x, y) for y, row in enumerate(rows[:corner])
             for x, pixel in enumerate(row[-corner:]) if max(pixel) < 40}
    if len(black) < 4:
        return False
    left, right = min(x for x, _ in black), max(x for x, _ in black)
    top, bottom = min(y for _, y in black), max(y for _, y in black)
    return all((left + right - x, y) in black and (x, top + bottom - y) in black
               for x, y in black)


class DialogPictures(HostTestCase):
    def test_a_short_import_has_its_progress_dialog_pictured(self):
        # Nothing to fetch: the progress dialog is shown and hidden again within moments,
        # usually before the host's timer looks at it.
        html = self.write("page.htm", "<html><body><p>Nothing to fetch here.</p></body></html>")
        shots = self.path("shots")
        os.mkdir(self.path("work"))
        status, stdout, stderr = run_host(
            "loadhtml", "--html-file", winpath(html), "--location", "http://127.0.0.1:9/page.htm",
            "--work", winpath(self.path("work")), "--doc", "1", "--screenshot-dir",
            winpath(shots), "--out", winpath(self.path("page.zip")))
        self.assertEqual((status, stdout), (0, "result=true\n"), stderr)
        pictures = os.listdir(shots) if os.path.isdir(shots) else []
        self.assertEqual(pictures, ["progress-1.bmp"])
        rows = read_bmp(os.path.join(shots, "progress-1.bmp"))
        self.assertGreater(min(len(rows), len(rows[0])), 50)
        # Painted: a caption, text and buttons, not one flat face.
        self.assertGreater(len({pixel for row in rows for pixel in row}), 8)
        self.assertTrue(close_box_is_a_cross(rows))


if __name__ == "__main__":
    unittest.main()
