#!/usr/bin/env python3
"""Command-line tests: run the built program in fresh folders and compare its console bytes, exit
status and files with an independent model of the conversion.

Environment: NORVANE_EXE (the program), NORVANE_WRAPPER (optional command that runs it, such as
an emulator for the Windows build).
"""
import os
import random
import shlex
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "tools"))
import qqwry_gen  # noqa: E402
import reference  # noqa: E402

EXE = os.environ.get("NORVANE_EXE", "")
WRAPPER = shlex.split(os.environ.get("NORVANE_WRAPPER", ""))
SAMPLE = os.path.join(HERE, "..", "sample", "qqwry.dat")
IS_ROOT = hasattr(os, "geteuid") and os.geteuid() == 0
NOBODY = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]

USAGE = (b"norvane 2.0\n"
         b"Usage: norvane [/o] qqwry.dat gbwry.dat\n\n"
         b"      /o : force to generate old format database.\n")
DONE_LINES = (b"Finding duplicate ip addresses and combine continous networks.\n"
              b"Generating output database.\n")


def random_source(seed, count=300, texts=40):
    rng = random.Random(seed)
    pool = [("地区%d" % i).encode("gbk") for i in range(texts)] + [b""]
    ranges, start = [], 0
    for _ in range(count):
        end = start + rng.choice([0, 1, 255, 4095, 65535])
        ranges.append((start, end, rng.choice(pool[:-1]), rng.choice(pool)))
        if rng.random() < 0.1:  # a continuation with the same texts
            ranges.append((end + 1, end + 10, ranges[-1][2], ranges[-1][3]))
            end += 10
        if rng.random() < 0.05:  # an overlap, dropped by the merge
            ranges.append((end - 1 if end else 0, end + 5, pool[0], pool[1]))
        start = end + 1 + rng.choice([0, 0, 0, 100])
    ranges.append((0xFFFFFFFF, 0xFFFFFFFF, b"end", b"marker"))
    return qqwry_gen.build(ranges)


class Cli(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="norvane-cli-")
        os.chmod(self.dir, 0o777)  # reachable by the unprivileged user of some tests
        self.mounts = []

    def tearDown(self):
        for m in reversed(self.mounts):
            subprocess.run(["umount", m], check=False)
        for root, dirs, _ in os.walk(self.dir):
            for d in dirs:
                os.chmod(os.path.join(root, d), 0o777)
        shutil.rmtree(self.dir, ignore_errors=True)

    def run_norvane(self, *args, cwd=None, as_nobody=False):
        cmd = WRAPPER + [EXE] + list(args)
        if as_nobody:
            cmd = NOBODY + cmd
        p = subprocess.run(cmd, cwd=cwd or self.dir, stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, timeout=120)
        out = p.stdout
        if WRAPPER:
            out = out.replace(b"\r\n", b"\n")  # the console's text mode on Windows
        return out, p.returncode

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data)
        return self.path(name)

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def listing(self):
        return sorted(os.listdir(self.dir))

    def mount_tmpfs(self, name, size):
        if not IS_ROOT:
            self.skipTest("needs root to mount a small tmpfs")
        os.mkdir(self.path(name))
        r = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%d,mode=777" % size, "tmpfs",
                            self.path(name)], capture_output=True)
        if r.returncode != 0:
            self.skipTest("tmpfs cannot be mounted here")
        self.mounts.append(self.path(name))
        return self.path(name)

    def need_nobody(self):
        if not IS_ROOT or WRAPPER or shutil.which("setpriv") is None:
            self.skipTest("needs root and setpriv to run as an unprivileged user")

    def expect_done(self, out, rc, kept, discarded=None):
        limit = b"" if discarded is None else b"Old version database limit:discard %d records.\n" % discarded
        self.assertEqual(out, DONE_LINES + limit + b"Total record in output database: %d. Done.\n" % kept)
        self.assertEqual(rc, 0)

    # -- command line -----------------------------------------------------------------------

    def test_usage_for_fewer_than_two_arguments(self):
        for args in ([], ["qqwry.dat"], ["/o"]):
            out, rc = self.run_norvane(*args)
            self.assertEqual(out, USAGE, args)
            self.assertEqual(rc, 1)
        self.assertEqual(self.listing(), [])

    def test_parameter_errors(self):
        cases = [
            (["/o", "/x"], b"Parameter format not correct."),
            (["/o", "in.dat"], b"Parameter format not correct."),
            (["data/qqwry.dat", "out.dat"], b"Parameter format not correct."),
            (["a", "b", "c"], b"Parameter [c] format not correct."),
            (["a", "b", "c", "/o", "d"], b"Parameter [c] format not correct."),
            (["-o", "in.dat", "out.dat"], b"Parameter [out.dat] format not correct."),
        ]
        for args, want in cases:
            out, rc = self.run_norvane(*args)
            self.assertEqual(out, want, args)
            self.assertEqual(rc, 1, args)
        self.assertEqual(self.listing(), [])

    # -- conversions ------------------------------------------------------------------------

    def check_conversion(self, source, args, version):
        want, discarded, kept = reference.convert(source, version)
        out, rc = self.run_norvane(*args)
        self.expect_done(out, rc, kept, discarded)
        self.assertEqual(self.read("out.dat"), want, args)
        self.assertNotIn("vornip.tmp", self.listing())

    def test_new_and_old_layouts_match_the_model(self):
        for seed in range(4):
            source = random_source(seed)
            self.write("src.dat", source)
            self.check_conversion(source, ["src.dat", "out.dat"], 2)
            for args in (["/o", "src.dat", "out.dat"], ["src.dat", "/o", "out.dat"],
                         ["src.dat", "out.dat", "/x"]):
                self.check_conversion(source, args, 1)

    def test_bundled_sample(self):
        with open(SAMPLE, "rb") as f:
            source = f.read()
        self.write("qqwry.dat", source)
        self.check_conversion(source, ["qqwry.dat", "out.dat"], 2)
        self.check_conversion(source, ["qqwry.dat", "out.dat", "/o"], 1)

    def test_old_layout_text_limit(self):
        ranges = [(i * 2, i * 2, b"c%d" % i, b"a%d" % i) for i in range(32770)]
        source = qqwry_gen.build(ranges)
        self.write("src.dat", source)
        self.check_conversion(source, ["/o", "src.dat", "out.dat"], 1)
        want, discarded, _ = reference.convert(source, 1)
        # Texts 0..65535 come from the first 32,768 ranges; the last two ranges each add a country
        # before they are dropped: 65,538 texts, 3 beyond the limit.
        self.assertEqual(discarded, 3)
        self.check_conversion(source, ["src.dat", "out.dat"], 2)

    def test_every_range_skipped(self):
        source = qqwry_gen.build([(0xFFFFFFFF, 0xFFFFFFFF, b"a", b"b")] * 3)
        self.write("src.dat", source)
        out, rc = self.run_norvane("src.dat", "out.dat")
        self.expect_done(out, rc, 0)
        self.assertEqual(len(self.read("out.dat")), 44)

    def test_output_may_replace_the_source(self):
        source = random_source(7)
        self.write("db.dat", source)
        out, rc = self.run_norvane("db.dat", "db.dat")
        want, _, kept = reference.convert(source, 2)
        self.expect_done(out, rc, kept)
        self.assertEqual(self.read("db.dat"), want)

    # -- load failures ------------------------------------------------------------------------

    def expect_load_failure(self, name, **kw):
        self.write("out.dat", b"keep me")
        out, rc = self.run_norvane(name, "out.dat", **kw)
        self.assertEqual(out, b"Can't read input ip database %s.\n" % name.encode(), name)
        self.assertEqual(rc, 1)
        self.assertEqual(self.read("out.dat"), b"keep me")
        self.assertNotIn("vornip.tmp", self.listing())

    def test_missing_and_malformed_sources(self):
        self.expect_load_failure("missing.dat")
        os.mkdir(self.path("folder.dat"))
        self.expect_load_failure("folder.dat")
        good = bytearray(random_source(3, count=5))
        first = int.from_bytes(good[0:4], "little")
        bad = {
            "short.dat": bytes(good[:7]),
            "order.dat": good[4:8] + good[0:4] + good[8:],
            "past.dat": good[:4] + (len(good) - 6).to_bytes(4, "little") + good[8:],
        }
        # A record position past the end.
        rec = bytearray(good)
        rec[first + 4:first + 7] = (0xFFFFF0).to_bytes(3, "little")
        bad["record.dat"] = bytes(rec)
        # A redirect past the end: a record that is just an end address and a mode-2 redirect.
        b = qqwry_gen.Builder()
        r = b.put((5).to_bytes(4, "little"))
        b.redirect(2, 0xFFFFF0)
        b.text(b"area")
        b.add_index(0, r)
        b.add_index(9, r)
        bad["redirect.dat"] = b.finish()
        # A text with no zero byte before the end: the index first, the record last.
        t = bytearray(8) + bytearray(14) + (5).to_bytes(4, "little") + b"no zero"
        t[0:8] = (8).to_bytes(4, "little") + (15).to_bytes(4, "little")
        for i in range(2):
            t[8 + 7 * i + 4:8 + 7 * i + 7] = (22).to_bytes(3, "little")
        bad["text.dat"] = bytes(t)
        for name, data in bad.items():
            self.write(name, data)
            self.expect_load_failure(name)
        # 2 GiB (sparse, so nothing is really stored): too large for the layout's 32-bit sizes.
        with open(self.path("huge.dat"), "wb") as f:
            f.write(bytes(good[:8]))
            f.truncate(1 << 31)
        self.expect_load_failure("huge.dat")

    def test_unreadable_source(self):
        self.need_nobody()
        self.write("secret.dat", random_source(1))
        os.chmod(self.path("secret.dat"), 0o600)
        self.expect_load_failure("secret.dat", as_nobody=True)

    # -- write failures -----------------------------------------------------------------------

    def test_output_naming_the_temp_file_is_refused(self):
        self.write("src.dat", random_source(2))
        self.write("vornip.tmp", b"someone else's")
        out, rc = self.run_norvane("src.dat", "vornip.tmp")
        self.assertEqual(out, b"Output file vornip.tmp is the temporary file vornip.tmp; "
                              b"choose another name.\n")
        self.assertEqual(rc, 1)
        self.assertEqual(self.read("vornip.tmp"), b"someone else's")

    def test_no_write_permission(self):
        self.need_nobody()
        self.write("src.dat", random_source(4))
        os.chmod(self.path("src.dat"), 0o644)
        # The current folder, where the temporary file goes, is not writable.
        os.mkdir(self.path("ro"))
        shutil.copy(self.path("src.dat"), self.path("ro", "src.dat"))
        os.chmod(self.path("ro"), 0o555)
        out, rc = self.run_norvane("src.dat", "out.dat", cwd=self.path("ro"), as_nobody=True)
        self.assertEqual(out, DONE_LINES + b"Error opening temp file vornip.tmp.\n")
        self.assertEqual(rc, 1)
        self.assertEqual(os.listdir(self.path("ro")), ["src.dat"])
        # The output file exists and is not writable: the complete temporary file stays.
        self.write("out.dat", b"read-only")
        os.chmod(self.path("out.dat"), 0o444)
        out, rc = self.run_norvane("src.dat", "out.dat", as_nobody=True)
        self.assertEqual(out, DONE_LINES + b"Error opening output file out.dat.\n")
        self.assertEqual(rc, 1)
        self.assertEqual(self.read("out.dat"), b"read-only")
        want, _, _ = reference.convert(self.read("src.dat"), 2)
        self.assertEqual(self.read("vornip.tmp"), want[32:])

    def test_full_output_device(self):
        if not IS_ROOT or WRAPPER:
            self.skipTest("needs root to make a device node")
        subprocess.run(["mknod", self.path("full"), "c", "1", "7"], check=True)
        self.write("src.dat", random_source(5))
        out, rc = self.run_norvane("src.dat", "full")
        self.assertEqual(out, DONE_LINES + b"Error writing output file full.\n")
        self.assertEqual(rc, 1)
        self.assertTrue(os.path.exists(self.path("full")), "a device is never removed")

    def full_disk_run(self, size):
        """Converts through a symlinked source in a tmpfs of `size` bytes; (out, rc, folder)."""
        folder = self.mount_tmpfs("disk", size)
        os.symlink(self.path("src.dat"), os.path.join(folder, "src.dat"))
        out, rc = self.run_norvane("src.dat", "out.dat", cwd=folder)
        return out, rc, folder

    def test_disk_full_while_writing_the_temp_file(self):
        source = qqwry_gen.build([(i * 4, i * 4 + 1, b"c%d" % i, b"a%d" % i) for i in range(6000)])
        self.write("src.dat", source)
        out, rc, folder = self.full_disk_run(64 * 1024)
        self.assertEqual(out, DONE_LINES + b"Error writing temp file vornip.tmp.\n")
        self.assertEqual(rc, 1)
        self.assertEqual(os.listdir(folder), ["src.dat"])

    def test_disk_full_while_writing_the_output(self):
        source = qqwry_gen.build([(i * 4, i * 4 + 1, b"c%d" % i, b"a%d" % i) for i in range(6000)])
        self.write("src.dat", source)
        body = len(reference.convert(source, 2)[0]) - 32
        # Room for the temporary file but not for the output beside it.
        out, rc, folder = self.full_disk_run((body * 3 // 2) // 4096 * 4096)
        self.assertEqual(out, DONE_LINES + b"Error writing output file out.dat.\n")
        self.assertEqual(rc, 1)
        self.assertEqual(sorted(os.listdir(folder)), ["src.dat", "vornip.tmp"])


if __name__ == "__main__":
    if not EXE:
        sys.exit("NORVANE_EXE is not set")
    unittest.main(verbosity=2)
