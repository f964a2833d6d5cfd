"""lorvex-host --trace: a failure that an export swallows is explained on stderr, and only
when asked; the export's answer and the host's output stay the same either way."""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from lorvexhost import HostTestCase, run_host, winpath  # noqa: E402


class Trace(HostTestCase):
    def test_swallowed_failure_is_traced_with_trace_only(self):
        missing = winpath(self.path("missing.htm"))
        # (extension, what the export answers): each fails inside initalize's catch-all,
        # because the file to import cannot be read.
        cases = [("2", "result=false ispage=false"), ("1", "result=false ispage=true")]
        for index, answer in cases:
            runs = {}
            for traced in (False, True):
                args = ["run", "--index", index, "--file", missing, "--work", winpath(self.dir),
                        "--doc", "4"] + (["--trace"] if traced else [])
                status, out, err = run_host(*args)
                self.assertEqual((status, out.strip()), (0, answer), (index, traced, err))
                runs[traced] = [line for line in err.splitlines() if line.startswith("lorvex: ")]
            self.assertEqual(runs[False], [], index)
            traced = [line for line in runs[True]
                      if line.startswith("lorvex: initalize: exception: ")]
            self.assertEqual(len(traced), 1, (index, runs[True]))
            self.assertGreater(len(traced[0]), len("lorvex: initalize: exception: "), index)


if __name__ == "__main__":
    unittest.main()
