"""Self-check of the complete-page benchmark's measuring: a page compared with itself agrees
fully, a copy on disk of the whole served folder agrees fully and misses nothing, and the same
copy with its images deleted scores lower and shows the missing pictures. Also: the sites are
the same bytes on every build, and the servers leave their ports closed.

  python3 -m unittest discover -s bench/complete -p 'test_*.py'

Needs chromium, ImageMagick and the sites' generators (scripts/setup --bench); the counts of
failed requests and broken images also need node and the ws package, which run.py installs
under build/bench-complete/npm (skipped without them).
"""
import pathlib
import shutil
import subprocess
import tempfile
import unittest
import urllib.request

import run

PORT, CDN_PORT = 18611, 18612
SITE_PAGE = "bootstrap/index.html"
# The Bootstrap page's pictures: three card images, the brand mark and the banner behind the header.
PICTURES = ["sunrise.jpg", "lighthouse.jpg", "lessons.png", "brand.svg", "harbour-banner.jpg"]


def tools_missing():
    missing = [name for name in ("chromium", "sphinx-build", "doxygen", "mkdocs", "hugo", "jekyll") if not shutil.which(name)]
    if not run.program("compare", "/usr/bin/compare"):
        missing.append("compare")
    if not pathlib.Path("/usr/share/javascript/bootstrap5").is_dir():
        missing.append("libjs-bootstrap5")
    return missing


@unittest.skipIf(tools_missing(), f"missing: {', '.join(tools_missing())} (scripts/setup --bench)")
class HarnessTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = pathlib.Path(tempfile.mkdtemp(prefix="lorvex-complete-check-"))
        cls.sites = cls.scratch / "sites"
        subprocess.run(["bash", str(run.HERE / "make_sites.sh"), str(cls.sites)], check=True, timeout=run.SITES_TIMEOUT,
                       env={**run.os.environ, "CDN_PORT": str(CDN_PORT)}, stderr=subprocess.DEVNULL)
        modules = run.NPM_CACHE / "node_modules"
        cls.browser = run.Browser(run.program("chromium"), cls.scratch, modules)
        cls.compare = run.program("compare", "/usr/bin/compare")
        url = f"http://127.0.0.1:{PORT}/{SITE_PAGE}"
        with run.serve(cls.sites, PORT):
            cls.assert_shot(cls.browser.screenshot(url, cls.scratch / "online.png"))
            cls.assert_shot(cls.browser.screenshot(url, cls.scratch / "online-again.png"))
            cls.online_probe = cls.browser.probe(url, offline=False)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch, ignore_errors=True)

    @staticmethod
    def assert_shot(problem):
        if problem is not None:
            raise AssertionError(problem)

    def copy_of_site(self, name):
        copy = self.scratch / name
        shutil.rmtree(copy, ignore_errors=True)
        shutil.copytree(self.sites / "bootstrap", copy)
        return copy

    def test_sites_are_the_same_bytes_on_every_build(self):
        again = self.scratch / "sites-again"
        subprocess.run(["bash", str(run.HERE / "make_sites.sh"), str(again)], check=True, timeout=run.SITES_TIMEOUT,
                       env={**run.os.environ, "CDN_PORT": str(CDN_PORT)}, stderr=subprocess.DEVNULL)
        diff = subprocess.run(["diff", "-rq", str(self.sites), str(again)], capture_output=True, text=True, timeout=60)
        self.assertEqual(diff.stdout, "")

    def test_online_page_agrees_with_itself(self):
        online = self.scratch / "online.png"
        self.assertEqual(run.equal_pixels(online, online, self.compare), 100.0)
        # A second screenshot of the same served page: the screenshots themselves are stable.
        self.assertEqual(run.equal_pixels(online, self.scratch / "online-again.png", self.compare), 100.0)
        if self.online_probe is not None:
            self.assertEqual(self.online_probe["failed"], [])
            self.assertEqual(self.online_probe["broken"], [])

    def test_whole_copy_agrees_and_broken_copy_scores_lower(self):
        whole = self.copy_of_site("whole")
        broken = self.copy_of_site("broken")
        for name in PICTURES:
            (broken / "img" / name).unlink()
        scores, probes = {}, {}
        for name, copy in (("whole", whole), ("broken", broken)):
            png = self.scratch / f"{name}.png"
            self.assert_shot(self.browser.screenshot((copy / "index.html").as_uri(), png))
            scores[name] = run.equal_pixels(self.scratch / "online.png", png, self.compare)
            probes[name] = self.browser.probe((copy / "index.html").as_uri(), offline=True)
        self.assertEqual(scores["whole"], 100.0)
        self.assertLess(scores["broken"], 95.0)
        if probes["whole"] is None:
            self.skipTest("no node or ws package: failed requests and broken images not counted")
        self.assertEqual(probes["whole"]["failed"], [])
        self.assertEqual(probes["whole"]["broken"], [])
        failed = sorted(pathlib.PurePosixPath(f["url"]).name for f in probes["broken"]["failed"])
        self.assertEqual(failed, sorted(PICTURES))
        broken_images = sorted(pathlib.PurePosixPath(u).name for u in probes["broken"]["broken"])
        self.assertEqual(broken_images, sorted(set(PICTURES) - {"harbour-banner.jpg"}))

    def test_page_leaving_the_disk_counts_as_failed(self):
        # A copy whose image still points at the (now stopped) server.
        copy = self.copy_of_site("online-link")
        page = copy / "index.html"
        page.write_text(page.read_text().replace('src="img/sunrise.jpg"', f'src="http://127.0.0.1:{PORT}/bootstrap/img/sunrise.jpg"'))
        probe = self.browser.probe(page.as_uri(), offline=True)
        if probe is None:
            self.skipTest("no node or ws package: failed requests not counted")
        self.assertEqual([f["url"] for f in probe["failed"]], [f"http://127.0.0.1:{PORT}/bootstrap/img/sunrise.jpg"])

    def test_server_closes_its_port(self):
        with run.serve(self.sites, PORT):
            with urllib.request.urlopen(f"http://127.0.0.1:{PORT}/{SITE_PAGE}", timeout=10) as answer:
                self.assertEqual(answer.status, 200)
                self.assertEqual(answer.headers["Access-Control-Allow-Origin"], "*")
        self.assertTrue(run.port_closed(PORT))


if __name__ == "__main__":
    unittest.main()
