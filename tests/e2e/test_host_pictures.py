"""The reference host's pictures of the library's dialogs (--screenshot-dir): a dialog is
pictured once it is painted, also when it is hidden again before the host's next look at it."""
import os
import struct
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "support"))
from lorvexhost import HostTestCase, run_host, winpath  # noqa: E402


def bmp_colours(path):
    """(width, height, number of distinct colours) of a 24-bit BMP file."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:2] == b"BM", path
    offset, = struct.unpack_from("<I", data, 10)
    width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
    assert bits == 24, bits
    stride = (width * 3 + 3) & ~3
    colours = {data[offset + row * stride + 3 * x:offset + row * stride + 3 * x + 3]
               for row in range(height) for x in range(width)}
    return width, height, len(colours)


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
        width, height, colours = bmp_colours(os.path.join(shots, "progress-1.bmp"))
        self.assertGreater(min(width, height), 50)
        # Painted: a caption, text and buttons, not one flat face.
        self.assertGreater(colours, 8)


if __name__ == "__main__":
    unittest.main()
