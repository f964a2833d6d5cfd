"""The tool's command lines: --help and --version, and how each command words a mistake in
its arguments (the words are each command's own and stay as they are)."""
import os
import re
import subprocess
import unittest

TOOL = os.environ.get("LORVEX_TOOL", "lorvex")
CMAKE_LISTS = os.path.join(os.path.dirname(__file__), "..", "..", "CMakeLists.txt")

USAGE = {
    "text": "text FILE [--show-links] [--keep-title]",
    "refs": "refs FILE --base URL [--all]",
    "rewrite": "rewrite FILE --local-folder DIR --page-url URL",
    "mht": "mht ARCHIVE --work DIR --doc ID",
    "import": "import FILE|URL --work DIR --doc ID [--complete] [--proxy HOST:PORT] "
              "[--read-timeout MS] [--connections N] [--snapshot] [--browser PATH]",
    "get": "get URL [--out FILE] [--proxy HOST:PORT] [--read-timeout MS] [--no-redirects] "
           "[--no-cookies]",
}
ALL_USAGE = "usage:\n" + "".join("  lorvex %s\n" % line for line in USAGE.values())


def usage(command):
    return "usage: lorvex " + USAGE[command]


def run(*args):
    done = subprocess.run([TOOL, *args], capture_output=True, stdin=subprocess.DEVNULL,
                          timeout=60, cwd=os.path.dirname(__file__))
    return done.returncode, done.stdout.decode(), done.stderr.decode()


class CommandLine(unittest.TestCase):
    def test_help(self):
        self.assertEqual(run("--help"), (0, ALL_USAGE, ""))
        self.assertEqual(run(), (2, "", ALL_USAGE))
        self.assertEqual(run("colour"), (2, "", ALL_USAGE))
        for command in USAGE:
            with self.subTest(command=command):
                self.assertEqual(run(command, "--help"), (0, usage(command) + "\n", ""))
                # --help wins over a mistake before it ...
                self.assertEqual(run(command, "--colour", "--help"),
                                 (0, usage(command) + "\n", ""))
        # ... but not when it is an option's value.
        self.assertEqual(run("get", "--out", "--help"),
                         (1, "", "lorvex get: " + usage("get") + "\n"))

    def test_version(self):
        with open(CMAKE_LISTS) as f:
            version = re.search(r"project\(lorvex VERSION ([0-9.]+)", f.read()).group(1)
        self.assertEqual(run("--version"), (0, "lorvex %s\n" % version, ""))

    def test_mistakes(self):
        cases = [  # arguments, exit status, standard error
            (["text"], 1, "lorvex text: %s\n" % usage("text")),
            (["text", "a.htm", "b.htm"], 1, "lorvex text: unexpected argument b.htm\n"),
            (["refs", "a.htm", "--base"], 1,
             "lorvex refs: unexpected argument --base\n%s\n" % usage("refs")),
            (["refs", "a.htm", "--all"], 1, "lorvex refs: %s\n" % usage("refs")),
            (["rewrite", "a.htm", "--local-folder", "d", "--colour"], 1,
             "lorvex rewrite: unexpected argument --colour\n%s\n" % usage("rewrite")),
            (["mht", "a.mht", "--work", "w", "--doc", ""], 1, "lorvex mht: %s\n" % usage("mht")),
            (["get", "--out"], 1, "lorvex get: --out needs a value\n"),
            (["get", "u", "v"], 1, "lorvex get: unexpected argument v\n%s\n" % usage("get")),
            # A mistake is reported where it stands.
            (["get", "u", "--proxy", "h", "--colour"], 1, "lorvex get: --proxy wants HOST:PORT\n"),
            (["get", "u", "--colour", "--proxy", "h"], 1,
             "lorvex get: unexpected argument --colour\n%s\n" % usage("get")),
            (["import", "a.htm", "--work"], 2,
             "lorvex import: --work needs a value\n%s\n" % usage("import")),
            (["import", "a.htm", "--work", "w", "--doc", "1", "b.htm"], 2,
             "lorvex import: unexpected argument b.htm\n%s\n" % usage("import")),
            (["import", "a.htm", "--doc", "1"], 2,
             "lorvex import: FILE|URL, --work and --doc are needed\n%s\n" % usage("import")),
        ]
        for args, status, err in cases:
            with self.subTest(args=args):
                self.assertEqual(run(*args), (status, "", err))

    def test_number_bounds(self):
        """Every numeric option takes both ends of its range and refuses one past each."""
        page = ["import", "none.htm", "--work", "w", "--doc", "1"]  # parsed, then not found
        get = ["get", "http://127.0.0.1:1/", "--read-timeout", "1000"]
        cases = [  # arguments, what a refusal names (None: accepted)
            (page + ["--connections", "1"], None),
            (page + ["--connections", "64"], None),
            (page + ["--connections", "0"], "--connections 0"),
            (page + ["--connections", "65"], "--connections 65"),
            (page + ["--proxy", "h:1"], None),
            (page + ["--proxy", "h:65535"], None),
            (page + ["--proxy", "h:0"], "proxy port 0"),
            (page + ["--proxy", "h:65536"], "proxy port 65536"),
            (page + ["--read-timeout", "0"], None),
            (page + ["--read-timeout", "2147483647"], None),
            (page + ["--read-timeout", "-1"], "read time-out -1"),
            (page + ["--read-timeout", "2147483648"], "read time-out 2147483648"),
            (page + ["--doc", "-2147483648"], None),
            (page + ["--doc", "2147483647"], None),
            (page + ["--doc", "-2147483649"], "--doc -2147483649"),
            (page + ["--doc", "2147483648"], "--doc 2147483648"),
            (get + ["--proxy", "127.0.0.1:65535"], None),
            (get + ["--proxy", "127.0.0.1:65536"], "proxy port 65536"),
            (get + ["--read-timeout", "2147483647"], None),
            (get + ["--read-timeout", "2147483648"], "read time-out 2147483648"),
        ]
        for args, refused in cases:
            with self.subTest(args=args):
                status, out, err = run(*args)
                self.assertEqual(out, "")
                # A refused import is a usage mistake (2); get words every mistake as 1, and
                # an accepted line ends with the page not found or the proxy not answering.
                self.assertEqual(status, 2 if refused and args[0] == "import" else 1, err)
                if refused:
                    self.assertTrue(err.startswith("lorvex %s: invalid %s\n" % (args[0], refused)),
                                    err)
                else:
                    self.assertNotIn("invalid", err)


if __name__ == "__main__":
    unittest.main()
