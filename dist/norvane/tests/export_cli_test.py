#!/usr/bin/env python3
"""norvane-query export on the command line: each format replaces its output whole (or streams
to standard output), damaged databases are refused with one message and nothing written, file
names up to the file system's 255 bytes work, and the files are reproducible.

QUERY_EXE: the program. QUERY_WRAPPER: a command to run it through (Wine for the .exe).
"""
import glob
import os
import shlex
import shutil
import stat
import subprocess
import tempfile
import unittest

from query_cli_test import SAMPLE, build_db

HERE = os.path.dirname(os.path.abspath(__file__))
EXE = os.environ.get("QUERY_EXE", "")
WRAPPER = shlex.split(os.environ.get("QUERY_WRAPPER", ""))
IS_ROOT = hasattr(os, "geteuid") and os.geteuid() == 0
FORMATS = ("mmdb", "xdb", "csv")
LONG_NAMES = ("n" * 251 + ".out", "地" * 84 + "xyz")  # 255 bytes each (UTF-8)
if WRAPPER:  # the Windows build names files through the ANSI code page: ASCII names only
    LONG_NAMES = LONG_NAMES[:1]


class ExportCliTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="norvane-export-cli-")
        self.mounts = []

    def tearDown(self):
        for m in reversed(self.mounts):
            subprocess.run(["umount", m], check=False)
        shutil.rmtree(self.dir, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.dir, name)

    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data)
        return name

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def export(self, *args, env=None):
        full_env = dict(os.environ, **(env or {}))
        proc = subprocess.run(WRAPPER + [EXE, "export"] + list(args), cwd=self.dir,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120,
                              env=full_env)
        err = proc.stderr.replace(b"\r\n", b"\n") if WRAPPER else proc.stderr
        return proc.returncode, proc.stdout, err

    def test_each_format_replaces_its_output_whole(self):
        db = self.write("gbwry.dat", build_db(SAMPLE))
        for fmt in FORMATS:
            out = self.write("out." + fmt, b"previous contents")
            if not WRAPPER:
                os.chmod(self.path(out), 0o640)
            code, stdout, err = self.export("--format", fmt, db, out)
            self.assertEqual((code, stdout, err), (0, b"", b""), fmt)
            data = self.read(out)
            self.assertNotEqual(data, b"previous contents")
            if not WRAPPER:
                self.assertEqual(stat.S_IMODE(os.stat(self.path(out)).st_mode), 0o640)
            if fmt == "csv":
                lines = data.split(b"\r\n")
                self.assertEqual(lines[0], b"start_ip,end_ip,country_code,country,province,"
                                           b"city,district,isp,raw_country,raw_area")
                self.assertEqual(len(lines), len(SAMPLE) + 2)  # and the empty piece after the last
                self.assertTrue(lines[1].startswith(b"1.0.0.0,1.0.0.255,"), lines[1])
                self.assertTrue(lines[4].endswith(b',\xe4\xb8\xad\xe5\x9b\xbd,"say ""hi"", all"'),
                                lines[4])
        self.assertEqual(sorted(os.listdir(self.dir)), ["gbwry.dat", "out.csv", "out.mmdb",
                                                        "out.xdb"])
        # A link as the output stays a link; the file it leads to is replaced.
        if not WRAPPER:
            os.symlink("target.mmdb", self.path("link.mmdb"))
            code, _, err = self.export("--format", "mmdb", db, "link.mmdb")
            self.assertEqual(code, 0, err)
            self.assertTrue(os.path.islink(self.path("link.mmdb")))
            self.assertEqual(self.read("target.mmdb"), self.read("out.mmdb"))

    def test_standard_output_gets_the_same_bytes(self):
        db = self.write("gbwry.dat", build_db(SAMPLE))
        for fmt, extra in (("csv", []), ("csv", ["--cidr"]), ("mmdb", []), ("xdb", [])):
            env = {"SOURCE_DATE_EPOCH": "1700000000"}
            code, _, _ = self.export("--format", fmt, *extra, db, "file", env=env)
            self.assertEqual(code, 0)
            code, stdout, _ = self.export("--format", fmt, *extra, db, "-", env=env)
            self.assertEqual(code, 0)
            expected = self.read("file")
            if WRAPPER and fmt == "csv":
                stdout = stdout.replace(b"\r\r\n", b"\r\n")
            self.assertEqual(stdout, expected, (fmt, extra))

    def test_damaged_databases_are_refused_and_nothing_is_written(self):
        """Every damaged database, made here or among the fuzz seeds, is refused by every export
        with the message verify gives, and the output stays as it was."""
        good = build_db(SAMPLE)
        flipped = bytearray(good)
        flipped[-2] ^= 0x20
        cases = {"flipped.dat": bytes(flipped), "short.dat": good[:40], "cut.dat": good[:60]}
        for seed in sorted(glob.glob(os.path.join(HERE, "..", "fuzz", "db_seeds", "*"))):
            with open(seed, "rb") as f:
                cases["seed-" + os.path.basename(seed)] = f.read()
        self.write("out", b"previous contents")
        refused = 0
        for name, data in cases.items():
            self.write(name, data)
            verify = subprocess.run(WRAPPER + [EXE, "verify", name], cwd=self.dir,
                                    stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
            for fmt in FORMATS:
                code, stdout, err = self.export("--format", fmt, name, "out")
                if verify.returncode == 0:
                    self.assertEqual(code, 0, (name, fmt, err))
                    continue
                refused += 1
                self.assertEqual((code, stdout), (1, b""), (name, fmt))
                self.assertEqual(err, verify.stderr.replace(b"\r\n", b"\n"), (name, fmt))
                self.assertEqual(err.count(b"\n"), 1)
                self.assertEqual(self.read("out"), b"previous contents", (name, fmt))
            self.write("out", b"previous contents")
            os.remove(self.path(name))
        self.assertGreater(refused, 3 * 3)
        self.assertEqual(os.listdir(self.dir), ["out"])

    def test_names_up_to_255_bytes_work(self):
        db = self.write("gbwry.dat", build_db(SAMPLE))
        for name in LONG_NAMES:
            self.assertEqual(len(name.encode()), 255)
            for fmt in FORMATS:
                code, _, err = self.export("--format", fmt, db, name)
                self.assertEqual(code, 0, (fmt, err))
                self.assertTrue(os.path.getsize(self.path(name)) > 0)
                code, _, err = self.export("--format", fmt, db, name)  # replacing it
                self.assertEqual(code, 0, (fmt, err))
            os.remove(self.path(name))
        self.assertEqual(os.listdir(self.dir), ["gbwry.dat"])

    def test_same_epoch_same_bytes(self):
        db = self.write("gbwry.dat", build_db(SAMPLE))
        for fmt in ("mmdb", "xdb"):
            files = []
            for i, epoch in enumerate(("1700000000", "1700000000", "1800000000")):
                code, _, err = self.export("--format", fmt, db, "%s%d" % (fmt, i),
                                           env={"SOURCE_DATE_EPOCH": epoch})
                self.assertEqual(code, 0, err)
                files.append(self.read("%s%d" % (fmt, i)))
            self.assertEqual(files[0], files[1], fmt)
            self.assertNotEqual(files[0], files[2], fmt)
        code, _, err = self.export("--format", "mmdb", db, "x", env={"SOURCE_DATE_EPOCH": "12x"})
        self.assertEqual((code, err), (1, b"norvane-query: SOURCE_DATE_EPOCH is not a number of "
                                          b"seconds\n"))
        self.assertFalse(os.path.exists(self.path("x")))

    def test_outputs_that_cannot_be_written(self):
        db = self.write("gbwry.dat", build_db(SAMPLE))
        os.mkdir(self.path("folder"))
        for out in ("folder", os.path.join("missing", "out.mmdb")):
            code, _, err = self.export("--format", "mmdb", db, out)
            self.assertEqual(code, 1, out)
            self.assertEqual(err.count(b"\n"), 1, err)
            self.assertIn(b"can't create the file", err)
        if not IS_ROOT or WRAPPER:
            return
        # A disk too small for the file: the previous output stays whole, nothing is left.
        small = self.path("small")
        os.mkdir(small)
        r = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", small],
                           capture_output=True)
        if r.returncode != 0:
            return
        self.mounts.append(small)
        with open(os.path.join(small, "out.mmdb"), "wb") as f:
            f.write(b"previous")
        many = [("%d.%d.0.0" % (i >> 8, i & 255), "%d.%d.0.9" % (i >> 8, i & 255),
                 b"c%d" % i, b"a%d" % i) for i in range(256, 3256)]
        big = self.write("big.dat", build_db(many))
        code, _, err = self.export("--format", "mmdb", big, os.path.join("small", "out.mmdb"))
        self.assertEqual(code, 1)
        self.assertIn(b"error writing the file", err)
        self.assertEqual(os.listdir(small), ["out.mmdb"])
        with open(os.path.join(small, "out.mmdb"), "rb") as f:
            self.assertEqual(f.read(), b"previous")

    def test_usage_errors(self):
        db = self.write("gbwry.dat", build_db(SAMPLE))
        for args, message in (
                ([db, "out"], "export needs --format mmdb, xdb or csv"),
                (["--format", "json", db, "out"], "unknown export format 'json'"),
                (["--format"], "--format needs a value"),
                (["--format=mmdb", db], "export needs the output path"),
                (["--format=mmdb", db, "out", "more"], "unexpected argument 'more'"),
                (["--format", "mmdb", "--cidr", db, "out"], "--cidr is for --format csv"),
                (["--format", "mmdb", "--languages", "en,,de", db, "out"], "--languages needs"),
                (["--format", "csv", "--raw", db, "out"], "unknown option '--raw' for export")):
            code, out, err = self.export(*args)
            self.assertEqual((code, out), (2, b""), args)
            self.assertTrue(err.startswith(b"norvane-query: " + message.encode()), err)
        self.assertEqual(os.listdir(self.dir), ["gbwry.dat"])


if __name__ == "__main__":
    if not EXE:
        raise SystemExit("QUERY_EXE is not set")
    unittest.main(verbosity=2)
