#!/usr/bin/env python3
"""Runs `norvane-query annotate` on text, binary bytes, long lines and files, and compares its
output with a regular-expression model of the address rules.

QUERY_EXE: the program. QUERY_WRAPPER: a command to run it through (Wine for the .exe).
"""
import os
import random
import re
import select
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from query_cli_test import BEIJING, CHINA, EXE, WRAPPER, build_db, ip  # noqa: E402

SANITIZED = bool(os.environ.get("NORVANE_SANITIZED"))

OCTET = rb"(?:25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])"
ADDRESS = re.compile(rb"(?<![A-Za-z0-9.])(" + OCTET + rb"(?:\." + OCTET + rb"){3})"
                     rb"(?![A-Za-z0-9]|\.[0-9])")

RANGES = [
    ("1.0.0.0", "1.0.0.255", b"Australia", b"APNIC"),
    ("1.2.3.0", "1.2.3.255", CHINA, BEIJING),
    ("36.0.0.0", "36.255.255.255", CHINA, b""),
    ("8.8.8.0", "8.8.8.255", b"US", b"Google"),
]


def model(data, raw=False):
    """The expected output: every address in the model's ranges gets its note."""
    def note(match):
        address = ip(match.group(1).decode())
        for start, end, country, area in RANGES:
            if ip(start) <= address <= ip(end):
                if not raw:
                    country, area = country.decode("gbk").encode(), area.decode("gbk").encode()
                return match.group(1) + b" [" + country + (b" " + area if area else b"") + b"]"
        return match.group(1)
    return ADDRESS.sub(note, data)


class AnnotateCliTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory(
            prefix="norvane_annotate_cli_%s_" % self._testMethodName)
        self.addCleanup(self.tmp.cleanup)  # also when the rest of setUp fails
        self.dir = self.tmp.name
        self.db = self.write("gbwry.dat", build_db(RANGES))

    def write(self, name, data):
        with open(os.path.join(self.dir, name), "wb") as f:
            f.write(data)
        return name

    def annotate(self, *args, stdin=b""):
        proc = subprocess.run(WRAPPER + [EXE, "annotate"] + list(args), cwd=self.dir,
                              input=stdin, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              timeout=300)
        err = proc.stderr.replace(b"\r\n", b"\n") if WRAPPER else proc.stderr
        # Standard output is binary on every platform: compared byte for byte.
        return proc.returncode, proc.stdout, err

    def test_addresses_get_their_location_and_nothing_else_changes(self):
        text = (b"1.2.3.4 - - [07/Dec/2026] \"GET / HTTP/1.1\" 200 from 8.8.8.8:53\r\n"
                b"(36.1.2.3) ip=1.0.0.1, gone 9.9.9.9 v1.2.3.4 1.2.3.4.5 311.2.3.4 01.2.3.4\n"
                b"version 1.2.3 and a sentence ending in 1.2.3.4.")
        code, out, err = self.annotate(self.db, stdin=text)
        self.assertEqual((code, err), (0, b""))
        self.assertEqual(out.decode("utf-8"),
                         "1.2.3.4 [中国 北京市] - - [07/Dec/2026] \"GET / HTTP/1.1\" 200 from "
                         "8.8.8.8 [US Google]:53\r\n"
                         "(36.1.2.3 [中国]) ip=1.0.0.1 [Australia APNIC], gone 9.9.9.9 v1.2.3.4 "
                         "1.2.3.4.5 311.2.3.4 01.2.3.4\n"
                         "version 1.2.3 and a sentence ending in 1.2.3.4 [中国 北京市].")
        code, out, _ = self.annotate("--raw", self.db, stdin=b"at 1.2.3.4\n")
        self.assertEqual((code, out), (0, b"at 1.2.3.4 [" + CHINA + b" " + BEIJING + b"]\n"))

    def test_binary_bytes_and_line_ends_pass_through_as_the_model_says(self):
        rng = random.Random(8)
        pieces = [b"\0", b"\r\n", b"\n", b"\xff\xfe", b".", b"1.2.3.4", b"8.8.8.8", b"36.0.0.",
                  b"255", b"a", b" ", b"0", b"1.0.0.9"]
        data = b"".join(rng.choice(pieces) for _ in range(200000))
        code, out, _ = self.annotate(self.db, stdin=data)
        self.assertEqual(code, 0)
        self.assertEqual(out, model(data))

    def test_files_in_turn_each_scanned_on_its_own(self):
        self.write("a.log", b"first 1.2.")
        self.write("b.log", b"3.4 second 8.8.8.8\n")
        code, out, err = self.annotate(self.db, "a.log", "missing.log", "-", "b.log",
                                       stdin=b"stdin 36.0.0.1\n")
        self.assertEqual(code, 1)
        self.assertEqual(err, b"norvane-query: missing.log: can't open the file\n")
        self.assertEqual(out.decode("utf-8"),
                         "first 1.2.stdin 36.0.0.1 [中国]\n3.4 second 8.8.8.8 [US Google]\n")

    @unittest.skipIf(WRAPPER or SANITIZED, "peak memory of Wine or of a sanitizer build")
    def test_a_long_line_streams_in_bounded_memory(self):
        line = b"1.2.3.4 " + b"x1.2.3.4.5." * 6000000 + b" 8.8.8.8"  # 66 MB, no line end
        path = self.write("long.log", line)
        # A small spawner reports its child's peak: spawned from this process, the child's
        # peak would include everything this process holds when it forks.
        spawner = ("import resource, subprocess, sys\n"
                   "with open('out.txt', 'wb') as out:\n"
                   "    code = subprocess.run(sys.argv[1:], stdout=out).returncode\n"
                   "print(code, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)\n")
        proc = subprocess.run([sys.executable, "-c", spawner, EXE, "annotate", self.db, path],
                              cwd=self.dir, stdout=subprocess.PIPE, check=True, timeout=300)
        code, peak_kb = (int(x) for x in proc.stdout.split())
        self.assertEqual(code, 0)
        with open(os.path.join(self.dir, "out.txt"), "rb") as f:
            self.assertEqual(f.read(), model(line))
        # Holding the line would take more than 66 MB; a read buffer and its output take little.
        self.assertLess(peak_kb, 32 * 1024)

    @unittest.skipIf(WRAPPER, "a coprocess over pipes under Wine")
    def test_line_buffered_answers_each_line_before_the_next_arrives(self):
        proc = subprocess.Popen([EXE, "annotate", "--line-buffered", self.db], cwd=self.dir,
                                stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        try:
            for line, expected in ((b"a 8.8.8.8\n", b"a 8.8.8.8 [US Google]\n"),
                                   (b"1.2.3.4.\n", model(b"1.2.3.4.\n"))):
                proc.stdin.write(line)
                proc.stdin.flush()
                ready, _, _ = select.select([proc.stdout], [], [], 10)
                self.assertTrue(ready, "no answer within 10 s")
                self.assertEqual(os.read(proc.stdout.fileno(), 1000), expected)
        finally:
            proc.stdin.close()
            proc.wait(timeout=10)
            proc.stdout.close()
        self.assertEqual(proc.returncode, 0)

    def test_usage_errors(self):
        code, out, err = self.annotate()
        self.assertEqual((code, out), (2, b""))
        self.assertTrue(err.startswith(b"norvane-query: missing database path"), err)
        code, _, err = self.annotate(self.db, "--csv")
        self.assertEqual(code, 2)
        self.assertTrue(err.startswith(b"norvane-query: unknown option '--csv'"), err)


if __name__ == "__main__":
    if not EXE:
        raise SystemExit("QUERY_EXE is not set")
    unittest.main(verbosity=2)
