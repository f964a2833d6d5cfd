"""Opens an imported page in headless Chromium (Debian's `chromium`) and reports, from the
browser itself, what loaded: every image's natural width, every background picture's natural
width (0 when it did not load), every style sheet's rule count, every frame's document and its
images, and every request the page made that did not come from the disk.

The check runs from a probe page beside the page, which shows it in a frame, so the page
itself stays as the import wrote it. The browser runs without network (a proxy that refuses everything)
and may read local files."""
import json
import os
import re
import shutil
import subprocess

CHROMIUM = shutil.which("chromium") or "chromium"
TIMEOUT = 120

# The probe page shows the page in a frame of its own (a frameset page would ignore a script
# added to it) and reads the frame's document once everything has loaded.
_PROBE = """<html><body>
<iframe id="page" src="%s" width="1000" height="700"></iframe>
<script>
window.addEventListener('load', function () {
  function images(doc) {
    var out = [];
    for (var i = 0; i < doc.images.length; i++)
      out.push([doc.images[i].getAttribute('src'), doc.images[i].naturalWidth]);
    return out;
  }
  var win = document.getElementById('page').contentWindow, doc = win.document;
  var r = {url: doc.URL, images: images(doc), sheets: [], frames: [], requests: []};
  for (var i = 0; i < doc.styleSheets.length; i++) {
    var s = doc.styleSheets[i], n = -1;
    try { n = s.cssRules.length; } catch (e) { n = -1; }
    r.sheets.push([s.href, n]);
  }
  var frames = doc.querySelectorAll('iframe, frame');
  for (var i = 0; i < frames.length; i++) {
    var d = null;
    try { d = frames[i].contentDocument; } catch (e) { d = null; }
    r.frames.push({src: frames[i].getAttribute('src'), url: d ? d.URL : null,
                   images: d ? images(d) : []});
    if (d) d.defaultView.performance.getEntriesByType('resource').forEach(function (e) {
      if (e.name.indexOf('file:') !== 0) r.requests.push(e.name);
    });
  }
  win.performance.getEntriesByType('resource').forEach(function (e) {
    if (e.name.indexOf('file:') !== 0) r.requests.push(e.name);
  });
  // Background pictures: the url() of each element's computed style, loaded once more to
  // see whether it is there (the browser does not say whether a background loaded).
  var backgrounds = [], all = doc.querySelectorAll('*');
  for (var i = 0; i < all.length; i++) {
    var m = /url\("([^"]*)"\)/.exec(win.getComputedStyle(all[i]).backgroundImage);
    if (m) backgrounds.push(m[1]);
  }
  Promise.all(backgrounds.map(function (u) {
    return new Promise(function (done) {
      var img = new Image();
      img.onload = function () { done([u, img.naturalWidth]); };
      img.onerror = function () { done([u, 0]); };
      img.src = u;
    });
  })).then(function (list) {
    r.backgrounds = list;
    var pre = document.createElement('pre');
    pre.id = 'lorvex-check';
    pre.textContent = JSON.stringify(r);
    document.body.appendChild(pre);
  });
});
</script>
</body></html>
"""

_FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--allow-file-access-from-files",
          "--proxy-server=127.0.0.1:9", "--no-first-run", "--disable-extensions"]


def _chromium(*args):
    return subprocess.run([CHROMIUM, *_FLAGS, *args], capture_output=True,
                          stdin=subprocess.DEVNULL, timeout=TIMEOUT)


def inspect(page):
    """Loads page in the probe (written beside it) and returns what the browser saw."""
    probe = page + ".check.htm"
    with open(probe, "w") as f:
        f.write(_PROBE % os.path.basename(page))
    try:
        done = _chromium("--virtual-time-budget=5000", "--dump-dom",
                         "file://" + os.path.abspath(probe))
    finally:
        os.remove(probe)
    found = re.search(rb'<pre id="lorvex-check">(.*?)</pre>', done.stdout, re.S)
    if not found:
        raise AssertionError("the browser reported nothing:\n" + done.stderr.decode("latin-1"))
    return json.loads(found.group(1).decode("utf-8").replace("&quot;", '"')
                      .replace("&lt;", "<").replace("&gt;", ">").replace("&amp;", "&"))


def screenshot(page, png, width=1000, height=700):
    """Saves a picture of the page as the browser draws it."""
    os.makedirs(os.path.dirname(png), exist_ok=True)
    _chromium("--screenshot=" + os.path.abspath(png), "--window-size=%d,%d" % (width, height),
              "file://" + os.path.abspath(page))
    return os.path.exists(png)
