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
import signal
import struct
import subprocess
import sys
import tempfile
import time
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
        self.dir = tempfile.mkdtemp(prefix="norvane_cli_%s_" % self._testMethodName)
        os.chmod(self.dir, 0o777)  # reachable by the unprivileged user of some tests
        self.mounts = []

    def tearDown(self):
        for m in reversed(self.mounts):
            subprocess.run(["umount", m], check=False)
        for root, dirs, _ in os.walk(self.dir):
            for d in dirs:
                os.chmod(os.path.join(root, d), 0o777)
        shutil.rmtree(self.dir, ignore_errors=True)

    def run_norvane(self, *args, cwd=None, as_nobody=False, timeout=120, preexec_fn=None):
        cmd = WRAPPER + [EXE] + list(args)
        if as_nobody:
            cmd = NOBODY + cmd
        p = subprocess.run(cmd, cwd=cwd or self.dir, stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, timeout=timeout, preexec_fn=preexec_fn)
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

    def test_sources_that_are_not_files_are_refused_at_once(self):
        """A pipe with no writer or a device: refused without blocking or reading."""
        names = []
        if not WRAPPER:
            os.mkfifo(self.path("pipe.dat"))
            names.append("pipe.dat")
        if IS_ROOT and not WRAPPER:
            subprocess.run(["mknod", self.path("zero.dat"), "c", "1", "5"], check=True)
            names.append("zero.dat")
        if not names:
            self.skipTest("needs pipes (POSIX)")
        for name in names:
            self.write("out.dat", b"keep me")
            out, rc = self.run_norvane(name, "out.dat", timeout=20)
            self.assertEqual(out, b"Can't read input ip database %s.\n" % name.encode())
            self.assertEqual(rc, 1)
            self.assertEqual(self.read("out.dat"), b"keep me")

    def test_outputs_that_cannot_be_represented_are_refused(self):
        """A 1.5 MB source whose distinct texts are the suffixes of one long run (mode-2
        redirects into it) needs a text area past 4 GiB, beyond the layout's 32-bit offsets."""
        run = 92700
        b = qqwry_gen.Builder()
        at = b.text(b"x" * run)
        for i in range(run):
            r = b.put(struct.pack("<I", i))
            b.redirect(2, at + i)
            b.put(b"\0")  # empty area
            b.add_index(i, r)
        source = b.finish()
        self.assertLess(len(source), 2 << 20)
        self.write("src.dat", source)
        out, rc = self.run_norvane("src.dat", "out.dat", timeout=600)
        self.assertEqual(out, b"Finding duplicate ip addresses and combine continous networks.\n"
                              b"Output database too large: 4 GiB or more can't be written.\n")
        self.assertEqual(rc, 1)
        self.assertEqual(self.listing(), ["src.dat"])

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

    def test_stale_temp_files_are_never_written_through(self):
        source = random_source(11)
        self.write("src.dat", source)
        want = reference.convert(source, 2)[0]
        # A leftover file, and a planted link to someone's file: removed (on Windows, where
        # such a link can't be told from a file, refused), the link's target untouched.
        self.write("victim.dat", b"precious")
        for plant in ("file", "link"):
            if plant == "file":
                self.write("vornip.tmp", b"left over")
            else:
                os.symlink("victim.dat", self.path("vornip.tmp"))
            out, rc = self.run_norvane("src.dat", "out.dat")
            if WRAPPER:
                self.assertEqual(out, DONE_LINES + b"Error opening temp file vornip.tmp.\n")
                self.assertEqual(rc, 1)
                os.remove(self.path("vornip.tmp"))
            else:
                self.expect_done(out, rc, reference.convert(source, 2)[2])
                self.assertEqual(self.read("out.dat"), want)
                self.assertNotIn("vornip.tmp", self.listing())
            self.assertEqual(self.read("victim.dat"), b"precious")
        # A folder or a pipe of that name: refused and left alone.
        kinds = ["folder"] + ([] if WRAPPER else ["pipe"])
        for kind in kinds:
            if kind == "folder":
                os.mkdir(self.path("vornip.tmp"))
            else:
                os.mkfifo(self.path("vornip.tmp"))
            out, rc = self.run_norvane("src.dat", "new.dat", timeout=20)
            self.assertEqual(out, DONE_LINES + b"Error opening temp file vornip.tmp.\n")
            self.assertEqual(rc, 1)
            self.assertNotIn("new.dat", self.listing())
            (os.rmdir if kind == "folder" else os.remove)(self.path("vornip.tmp"))

    def test_a_source_that_is_the_temp_file_is_refused(self):
        source = random_source(12)
        self.write("vornip.tmp", source)
        os.symlink("vornip.tmp", self.path("link.dat"))
        names = ["vornip.tmp", "link.dat"]
        if not WRAPPER:
            os.link(self.path("vornip.tmp"), self.path("hard.dat"))
            names.append("hard.dat")
        for name in names:
            out, rc = self.run_norvane(name, "out.dat")
            self.assertEqual(out, b"Input file %s is the temporary file vornip.tmp; choose another "
                                  b"name.\n" % name.encode())
            self.assertEqual(rc, 1)
            self.assertEqual(self.read("vornip.tmp"), source)
            self.assertNotIn("out.dat", self.listing())

    def test_an_output_link_to_the_temp_file_is_refused(self):
        if WRAPPER:
            self.skipTest("Windows programs see Unix links as plain files")
        self.write("src.dat", random_source(13))
        os.symlink("vornip.tmp", self.path("out.dat"))  # points nowhere yet
        out, rc = self.run_norvane("src.dat", "out.dat")
        self.assertEqual(out, b"Output file out.dat is the temporary file vornip.tmp; choose another "
                              b"name.\n")
        self.assertEqual(rc, 1)
        self.assertEqual(sorted(self.listing()), ["out.dat", "src.dat"])

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

    def test_outputs_that_are_not_files_are_refused(self):
        """A folder, a pipe or a device as the output: refused at once, nothing is written there
        or beside it, and the device or pipe stays."""
        self.write("src.dat", random_source(5))
        os.mkdir(self.path("folder"))
        names = ["folder"]
        if not WRAPPER:
            os.mkfifo(self.path("pipe"))
            names.append("pipe")
        if IS_ROOT and not WRAPPER:
            subprocess.run(["mknod", self.path("null"), "c", "1", "3"], check=True)
            subprocess.run(["mknod", self.path("full"), "c", "1", "7"], check=True)
            names += ["null", "full"]
        for name in names:
            out, rc = self.run_norvane("src.dat", name, timeout=20)
            self.assertEqual(out, DONE_LINES + b"Error opening output file %s.\n" % name.encode())
            self.assertEqual(rc, 1)
        self.assertEqual(sorted(self.listing()), sorted(names + ["src.dat", "vornip.tmp"]))
        self.assertEqual(os.listdir(self.path("folder")), [])

    def test_a_link_as_output_stays_a_link(self):
        if WRAPPER:
            self.skipTest("Windows programs see Unix links as plain files")
        source = random_source(6)
        self.write("src.dat", source)
        want = reference.convert(source, 2)[0]
        os.mkdir(self.path("data"))
        self.write(os.path.join("data", "db.dat"), b"previous")
        os.chmod(self.path("data", "db.dat"), 0o640)
        os.symlink(os.path.join("data", "db.dat"), self.path("out.dat"))
        os.symlink(os.path.join("data", "new.dat"), self.path("new.dat"))  # points nowhere yet
        for name in ("out.dat", "new.dat"):
            out, rc = self.run_norvane("src.dat", name)
            self.assertEqual(rc, 0, out)
            self.assertTrue(os.path.islink(self.path(name)))
            self.assertEqual(self.read(name), want)
        self.assertEqual(os.stat(self.path("data", "db.dat")).st_mode & 0o777, 0o640)
        self.assertEqual(sorted(os.listdir(self.path("data"))), ["db.dat", "new.dat"])
        self.assertEqual(sorted(self.listing()), ["data", "new.dat", "out.dat", "src.dat"])

    def test_runs_writing_the_same_output_at_once(self):
        """Each run in its own folder, all writing one file through links: every run finishes
        and the file is the complete database of one of them."""
        if WRAPPER:
            self.skipTest("Windows programs see Unix links as plain files")
        os.mkdir(self.path("shared"))
        wants = []
        for k in range(4):
            source = random_source(100 + k, count=40000 - 9000 * k)
            wants.append(reference.convert(source, 2)[0])
            os.mkdir(self.path("run%d" % k))
            self.write(os.path.join("run%d" % k, "src.dat"), source)
            os.symlink(os.path.join("..", "shared", "db.dat"), self.path("run%d" % k, "db.dat"))
        for _ in range(8):
            procs = [subprocess.Popen(WRAPPER + [EXE, "src.dat", "db.dat"], cwd=self.path("run%d" % k),
                                      stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                     for k in range(4)]
            for p in procs:
                out, _ = p.communicate(timeout=120)
                self.assertEqual(p.returncode, 0, out)
            self.assertTrue(self.read(os.path.join("shared", "db.dat")) in wants, "not one run's")
            self.assertEqual(os.listdir(self.path("shared")), ["db.dat"])

    def test_runs_sharing_a_folder_at_once(self):
        """They share the temporary file too: whoever printed "Done." wrote a complete database,
        the output is one of those, and the others leave no staged output behind."""
        wants = []
        for k in range(4):
            source = random_source(100 + k, count=20000 - 4000 * k)
            wants.append(reference.convert(source, 2)[0])
            self.write("src%d.dat" % k, source)
        for _ in range(3):
            procs = [subprocess.Popen(WRAPPER + [EXE, "src%d.dat" % k, "db.dat"], cwd=self.dir,
                                      stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                     for k in range(4)]
            done = []
            for k, p in enumerate(procs):
                out, _ = p.communicate(timeout=120)
                if b"Done." in out:
                    self.assertEqual(p.returncode, 0)
                    done.append(wants[k])
                else:
                    self.assertEqual(p.returncode, 1, out)
            if done:
                self.assertTrue(self.read("db.dat") in done, "not the database of a finished run")
            # A run that failed after writing its output's body (the temporary file changed under
            # it) leaves nothing of that body behind.
            self.assertEqual([n for n in self.listing() if n.startswith(".db.dat")], [])

    def test_a_reader_keeps_answering_while_the_file_is_replaced(self):
        query = os.environ.get("QUERY_EXE")
        if not query or WRAPPER or not os.path.exists("/proc/self/syscall"):
            self.skipTest("needs norvane-query run natively, and /proc")
        self.write("src.dat", random_source(8, count=3000))
        self.run_norvane("src.dat", "db.dat")
        addresses = b"".join(b"0.0.%d.%d\n" % (i, i * 7 % 256) for i in range(0, 200, 9))
        before = subprocess.run([query, "lookup", "db.dat", "-"], cwd=self.dir, input=addresses,
                                stdout=subprocess.PIPE).stdout
        reader = subprocess.Popen([query, "lookup", "db.dat", "-"], cwd=self.dir,
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        try:
            reader.stdin.write(addresses)
            reader.stdin.flush()
            # Once it waits for more input, it has opened the database and answered.
            for _ in range(1000):
                with open("/proc/%d/syscall" % reader.pid) as f:
                    call = f.read().split()
                if call[:2] == ["0", "0x0"]:
                    break
                time.sleep(0.01)
            # Replaced by a much smaller database, several times.
            for seed in range(3):
                self.write("small.dat", random_source(seed, count=5))
                out, rc = self.run_norvane("small.dat", "db.dat")
                self.assertEqual(rc, 0, out)
                reader.stdin.write(addresses)
                reader.stdin.flush()
            out, _ = reader.communicate(timeout=30)
            self.assertEqual(out, before * 4)
            self.assertIn(reader.returncode, (0, 1))
        finally:
            if reader.poll() is None:
                reader.kill()

    def test_killed_runs_leave_the_previous_output_whole(self):
        """Runs killed at many moments (SIGKILL, Ctrl+C, SIGTERM): the output is the previous
        database or the complete new one, and nothing of the final stage is left over."""
        if WRAPPER:
            self.skipTest("signals reach Wine, not the program")
        sources = [random_source(20 + k, count=20000 + 5000 * k) for k in range(2)]
        wants = [reference.convert(src, 2)[0] for src in sources]
        for k, src in enumerate(sources):
            self.write("src%d.dat" % k, src)
        self.write("out.dat", b"the previous database")
        start = time.monotonic()
        self.run_norvane("src0.dat", "probe.dat")
        span = time.monotonic() - start
        os.remove(self.path("probe.dat"))
        previous = self.read("out.dat")
        kills = 80
        for i in range(kills):
            k = i % 2
            sig = [signal.SIGKILL, signal.SIGINT, signal.SIGTERM][i % 3]
            p = subprocess.Popen([EXE, "src%d.dat" % k, "out.dat"], cwd=self.dir,
                                 stdout=subprocess.DEVNULL)
            # Denser towards the end of the run, where the files are written.
            time.sleep(span * (0.3 + 0.9 * i / kills))
            p.send_signal(sig)
            p.wait(timeout=60)
            now = self.read("out.dat")
            self.assertTrue(now in (previous, wants[k]), "kill %d with %s: damaged" % (i, sig))
            leftovers = set(self.listing()) - {"src0.dat", "src1.dat", "out.dat", "vornip.tmp"}
            if sig == signal.SIGKILL:
                # Nothing can be undone after SIGKILL: the run may have named its finished file
                # and not yet renamed it. Such a leftover is whole, and the next run removes it.
                for name in leftovers:
                    self.assertTrue(name.startswith(".out.dat.norvane-"), name)
                    self.assertEqual(self.read(name), wants[k], "kill %d: %s" % (i, name))
            else:
                self.assertEqual(leftovers, set(), "kill %d with %s" % (i, sig))
            previous = now
        out, rc = self.run_norvane("src0.dat", "out.dat")
        self.assertEqual(rc, 0)
        self.assertEqual(self.read("out.dat"), wants[0])
        self.assertEqual(sorted(self.listing()), ["out.dat", "src0.dat", "src1.dat"])

    def test_leftovers_of_dead_runs_are_removed(self):
        """A finished file named by a run killed before its rename goes with the next run; a
        live run's file, and a look-alike that is not a regular file, stay."""
        if WRAPPER:
            self.skipTest("POSIX process ids")
        source = random_source(31, count=500)
        self.write("src.dat", source)
        dead = subprocess.Popen(["true"])
        dead.wait()
        self.write(".out.dat.norvane-%d-1-5" % dead.pid, b"whole database of a killed run")
        self.write(".out.dat.norvane-%d-1-5" % os.getpid(), b"a live run's file")
        os.mkdir(self.path(".out.dat.norvane-%d-2-5" % dead.pid))
        out, rc = self.run_norvane("src.dat", "out.dat")
        self.assertEqual(rc, 0)
        self.assertEqual(self.read("out.dat"), reference.convert(source, 2)[0])
        self.assertEqual(sorted(self.listing()),
                         [".out.dat.norvane-%d-1-5" % os.getpid(),
                          ".out.dat.norvane-%d-2-5" % dead.pid, "out.dat", "src.dat"])

    def test_output_names_up_to_255_bytes_work(self):
        """The finished file's stage name stays within one file name's 255 bytes however long
        the output's name is; a long name's leftover of a dead run is still recognised and
        removed, and a live run's file stays."""
        source = random_source(37, count=200)
        self.write("src.dat", source)
        expected = reference.convert(source, 2)[0]
        kept = len(reference.merge(reference.read_source(source), 2)[0])
        names = ["n" * 251 + ".dat", "m" * 200]
        if not WRAPPER:  # the Windows build names files through the ANSI code page
            names.append("地" * 84 + "xyz")
        for name in names:
            self.assertLessEqual(len(name.encode()), 255)
            for _ in range(2):  # created, then replaced
                out, rc = self.run_norvane("src.dat", name)
                self.expect_done(out, rc, kept)
                self.assertEqual(self.read(name), expected)
            self.assertEqual(self.listing(), sorted(["src.dat", name]))
            if WRAPPER:
                os.remove(self.path(name))
                continue
            # The leftovers carry the name's start and a hash of all of it (FNV-1a, 64 bits).
            raw = name.encode()
            digest = 14695981039346656037
            for c in raw:
                digest = ((digest ^ c) * 1099511628211) & (2**64 - 1)
            keep = 215 - 1 - 17 - 9
            while keep > 0 and raw[keep] & 0xC0 == 0x80:
                keep -= 1
            stage = (b"." + raw[:keep] + b"~%016x" % digest if 1 + len(raw) + 9 > 215
                     else b"." + raw) + b".norvane-"
            dead = subprocess.Popen(["true"])
            dead.wait()
            left = stage + b"%d-1-123456789" % dead.pid
            live = stage + b"%d-1-123456789" % os.getpid()
            for leftover in (left, live):
                self.assertLessEqual(len(leftover), 255)
                with open(os.path.join(self.dir.encode(), leftover), "wb") as f:
                    f.write(b"a run's finished file")
            out, rc = self.run_norvane("src.dat", name)
            self.assertEqual(rc, 0)
            self.assertEqual(sorted(os.listdir(self.dir.encode())),
                             sorted([b"src.dat", raw, live]))
            os.remove(os.path.join(self.dir.encode(), live))
            os.remove(self.path(name))

    def test_file_size_limit_keeps_the_previous_output(self):
        """Also when the output is the source itself."""
        if WRAPPER:
            self.skipTest("needs a POSIX file-size limit")
        import resource
        source = random_source(9, count=2000)
        body = len(reference.convert(source, 2)[0]) - 32

        def limit():
            resource.setrlimit(resource.RLIMIT_FSIZE, (body + 16, body + 16))
        self.write("src.dat", source)
        for out_name, previous in (("out.dat", b"previous"), ("src.dat", source)):
            if out_name == "out.dat":
                self.write("out.dat", previous)
            out, rc = self.run_norvane("src.dat", out_name, preexec_fn=limit)
            self.assertEqual(out, DONE_LINES + b"Error writing output file %s.\n" % out_name.encode())
            self.assertEqual(rc, 1)
            self.assertTrue(self.read(out_name) == previous, out_name)
            self.assertEqual(sorted(self.listing()), ["out.dat", "src.dat", "vornip.tmp"])

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
        # Room for the temporary file and the previous output, not for the new output beside them.
        folder = self.mount_tmpfs("disk", (body * 3 // 2) // 4096 * 4096)
        os.symlink(self.path("src.dat"), os.path.join(folder, "src.dat"))
        with open(os.path.join(folder, "out.dat"), "wb") as f:
            f.write(b"previous database")
        out, rc = self.run_norvane("src.dat", "out.dat", cwd=folder)
        self.assertEqual(out, DONE_LINES + b"Error writing output file out.dat.\n")
        self.assertEqual(rc, 1)
        self.assertEqual(sorted(os.listdir(folder)), ["out.dat", "src.dat", "vornip.tmp"])
        with open(os.path.join(folder, "out.dat"), "rb") as f:
            self.assertEqual(f.read(), b"previous database")



if __name__ == "__main__":
    if not EXE:
        sys.exit("NORVANE_EXE is not set")
    unittest.main(verbosity=2)
