#!/usr/bin/env python3
"""Runs the built norvane-query on databases written here byte by byte, and checks its output,
messages and exit status.

QUERY_EXE: the program. QUERY_WRAPPER: a command to run it through (Wine for the .exe), in which
case CRLF line ends are accepted. NORVANE_EXE (optional): the converter, for a conversion round
trip through both programs.
"""
import hashlib
import json
import os
import shlex
import struct
import subprocess
import sys
import tempfile
import unittest

EXE = os.environ.get("QUERY_EXE", "")
WRAPPER = shlex.split(os.environ.get("QUERY_WRAPPER", ""))
NORVANE = os.environ.get("NORVANE_EXE", "")
MAGIC = b"NorvaneDatabase2"

CHINA = "中国".encode("gbk")
BEIJING = "北京市".encode("gbk")


def ip(text):
    a, b, c, d = (int(x) for x in text.split("."))
    return a << 24 | b << 16 | c << 8 | d


def build_db(ranges, version=2):
    """ranges: (start, end, country bytes, area bytes); texts stored once, in order of use."""
    texts, index = [], {}
    entries = []
    for start, end, country, area in ranges:
        ids = []
        for t in (country, area):
            if t not in index:
                index[t] = len(texts)
                texts.append(t)
            ids.append(index[t])
        entries.append((ip(start), ip(end), ids[0], ids[1]))
    wide = version == 2
    body = struct.pack("<II", version, len(entries))
    body += struct.pack("<I" if wide else "<H", len(texts))
    for start, end, c, a in entries:
        body += struct.pack("<IIII" if wide else "<IIHH", start, end, c, a)
    offset = 0
    for t in texts:
        body += struct.pack("<I", offset)
        offset += len(t) + 1
    body += b"".join(t + b"\0" for t in texts)
    digest = hashlib.md5(body).digest()
    return (MAGIC if wide else b"") + digest + body


def build_source(ranges):
    """A qqwry-layout source with plain texts: records, then the 7-byte index."""
    data = bytearray(8)
    index = bytearray()
    for start, end, country, area in ranges:
        index += struct.pack("<I", ip(start)) + struct.pack("<I", len(data))[:3]
        data += struct.pack("<I", ip(end)) + country + b"\0" + area + b"\0"
    first = len(data)
    data += index
    struct.pack_into("<II", data, 0, first, len(data) - 7)
    return bytes(data)


SAMPLE = [
    ("1.0.0.0", "1.0.0.255", b"Australia", b"APNIC, Research"),
    ("1.0.1.0", "1.0.3.255", CHINA, BEIJING),
    ("36.0.0.0", "36.255.255.255", CHINA, b""),
    ("202.96.0.0", "202.96.63.255", CHINA, b'say "hi", all'),
]


SANITIZED = bool(os.environ.get("NORVANE_SANITIZED"))


def limit_memory():
    """Keeps a program that reads without end from taking the machine's memory (POSIX)."""
    try:
        import resource
        resource.setrlimit(resource.RLIMIT_AS, (1 << 30, 1 << 30))
    except (ImportError, ValueError):
        pass


class QueryCliTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory(
            prefix="norvane_query_cli_%s_" % self._testMethodName)
        self.addCleanup(self.tmp.cleanup)  # also when the rest of setUp fails
        self.dir = self.tmp.name

    def write(self, name, data):
        path = os.path.join(self.dir, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        return name

    def run_query(self, *args, stdin=b"", timeout=120, preexec_fn=None):
        proc = subprocess.run(WRAPPER + [EXE] + list(args), cwd=self.dir, input=stdin,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout,
                              preexec_fn=preexec_fn)
        out, err = proc.stdout, proc.stderr
        if WRAPPER:
            out, err = out.replace(b"\r\n", b"\n"), err.replace(b"\r\n", b"\n")
        return proc.returncode, out, err

    # -- lookup

    def test_lookup_prints_utf8_or_raw_texts_and_exits_by_what_it_found(self):
        db = self.write("gbwry.dat", build_db(SAMPLE))
        code, out, err = self.run_query("lookup", db, "1.0.2.3", "1.0.0.0", "36.1.2.3")
        self.assertEqual(code, 0, err)
        self.assertEqual(out.decode("utf-8"),
                         "1.0.2.3\t中国\t北京市\n"
                         "1.0.0.0\tAustralia\tAPNIC, Research\n"
                         "36.1.2.3\t中国\t\n")
        code, out, _ = self.run_query("lookup", "--raw", db, "1.0.2.3")
        self.assertEqual((code, out), (0, b"1.0.2.3\t" + CHINA + b"\t" + BEIJING + b"\n"))
        code, out, _ = self.run_query("lookup", db, "1.0.4.0", "202.96.63.255",
                                      "255.255.255.255")
        self.assertEqual(code, 1)
        self.assertEqual(out, b"1.0.4.0\tnot found\n"
                              b"202.96.63.255\t\xe4\xb8\xad\xe5\x9b\xbd\tsay \"hi\", all\n"
                              b"255.255.255.255\tnot found\n")

    def test_lookup_reads_addresses_from_standard_input(self):
        db = self.write("gbwry.dat", build_db(SAMPLE, version=1))
        lines = b"1.0.0.7\r\n\n  36.0.0.0  \nnot-an-address\n9.9.9.9\n1.0.3.255"
        code, out, _ = self.run_query("lookup", db, "-", stdin=lines)
        self.assertEqual(code, 1)
        self.assertEqual(out.decode("utf-8"),
                         "1.0.0.7\tAustralia\tAPNIC, Research\n"
                         "\tnot an IPv4 address\n"
                         "36.0.0.0\t中国\t\n"
                         "not-an-address\tnot an IPv4 address\n"
                         "9.9.9.9\tnot found\n"
                         "1.0.3.255\t中国\t北京市\n")
        code, out, _ = self.run_query("lookup", db, "-", stdin=b"1.0.0.1\n36.9.9.9\n")
        self.assertEqual(code, 0)
        self.assertEqual(len(out.splitlines()), 2)

    def test_every_input_line_gets_exactly_one_answer(self):
        """NUL bytes belong to their line, a line of 4 KiB or more is refused without being
        kept whole, and dotted quads with leading zeros are refused."""
        db = self.write("gbwry.dat", build_db(SAMPLE))
        long_line = b"1" * 10000
        lines = [b"1.0.0.7\0junk", b"36.0.0.0", b"\0", long_line, b"010.0.0.1", b"1.0.0.01",
                 b"0.0.0.0", b"1.0.3.255"]
        code, out, _ = self.run_query("lookup", "--raw", db, "-", stdin=b"\n".join(lines) + b"\n")
        self.assertEqual(code, 1)
        self.assertEqual(out.split(b"\n")[:-1], [
            b"1.0.0.7\0junk\tnot an IPv4 address",
            b"36.0.0.0\t" + CHINA + b"\t",
            b"\0\tnot an IPv4 address",
            long_line[:4096] + b"\tnot an IPv4 address",
            b"010.0.0.1\tnot an IPv4 address",
            b"1.0.0.01\tnot an IPv4 address",
            b"0.0.0.0\tnot found",
            b"1.0.3.255\t" + CHINA + b"\t" + BEIJING,
        ])
        code, _, err = self.run_query("lookup", db, "010.0.0.1")
        self.assertEqual(code, 2, err)

    def test_line_buffered_lookup_serves_as_a_coprocess(self):
        if WRAPPER:
            self.skipTest("Wine's output reaches the test only when the program ends")
        import select
        db = self.write("gbwry.dat", build_db(SAMPLE))
        styles = (
            ("--raw", ((b"1.0.0.1", b"1.0.0.1\tAustralia\tAPNIC, Research\n"),
                       (b"bad", b"bad\tnot an IPv4 address\n"),
                       (b"36.9.9.9", b"36.9.9.9\t" + CHINA + b"\t\n"))),
            ("--json", ((b"bad", b'{"ip": "bad", "error": "not an IPv4 address"}\n'),
                        (b"9.9.9.9", b'{"ip": "9.9.9.9", "found": false}\n'))),
        )
        for style, exchanges in styles:
            proc = subprocess.Popen([EXE, "lookup", "--line-buffered", style, db, "-"],
                                    cwd=self.dir, stdin=subprocess.PIPE, stdout=subprocess.PIPE)
            try:
                for question, answer in exchanges:
                    proc.stdin.write(question + b"\n")
                    proc.stdin.flush()
                    ready, _, _ = select.select([proc.stdout], [], [], 10)
                    self.assertTrue(ready, "no answer to %r while the input stays open" % question)
                    self.assertEqual(proc.stdout.readline(), answer)
                proc.stdin.close()
                self.assertEqual(proc.wait(timeout=10), 1)
            finally:
                if proc.poll() is None:
                    proc.kill()
                proc.stdout.close()

    def test_lookup_json_gives_the_structured_location_beside_the_raw_texts(self):
        """Every key present and in order, valid JSON for any bytes, from arguments and from
        standard input alike."""
        keys = ["ip", "found", "country_code", "country", "province", "city", "district", "isp",
                "raw_country", "raw_area"]
        texts = [
            ("1.0.0.0", "1.0.0.255", "辽宁省铁岭市昌图县", "联通/力天网吧",
             ["CN", "中国", "辽宁省", "铁岭市", "昌图县", "联通"]),
            ("1.0.1.0", "1.0.1.255", "美国 加利福尼亚州 洛杉矶", " CZ88.NET",
             ["US", "美国", "加利福尼亚州", "洛杉矶", "", ""]),
            ("1.0.2.0", "1.0.2.255", "中国–广东–深圳", "电信",
             ["CN", "中国", "广东省", "深圳", "", "电信"]),
            ("1.0.3.0", "1.0.3.255", "局域网", "", ["", "", "", "", "", ""]),
            ("1.0.4.0", "1.0.4.255", "四川大学", 'say "hi"\\\t\x01',
             ["", "", "", "", "", 'say "hi"\\\t\x01']),
        ]
        db = self.write("gbwry.dat", build_db(
            [(s, e, c.encode("gbk"), a.encode("gbk")) for s, e, c, a, _ in texts]))
        expected = {}
        for start, _, country, area, fields in texts:
            expected[start] = dict(zip(keys, [start, True] + fields + [country, area]))
        lines = [b"1.0.0.0", b" 1.0.1.0\t", b"1.0.2.0", b"1.0.3.0", b"1.0.4.0", b"9.9.9.9",
                 b"  \xff1.2\"x\x02 ", b"", b"1" * 5000]
        answers = [expected["1.0.0.0"], expected["1.0.1.0"], expected["1.0.2.0"],
                   expected["1.0.3.0"], expected["1.0.4.0"], {"ip": "9.9.9.9", "found": False},
                   {"ip": "\ufffd1.2\"x\x02", "error": "not an IPv4 address"},
                   {"ip": "", "error": "not an IPv4 address"},
                   {"ip": "1" * 4096, "error": "not an IPv4 address"}]
        code, out, err = self.run_query("lookup", "--json", db, "-", stdin=b"\n".join(lines))
        self.assertEqual(code, 1, err)
        got = [json.loads(line) for line in out.decode("utf-8").splitlines()]
        self.assertEqual(got, answers)
        for obj, answer in zip(got, answers):
            self.assertEqual(list(obj), list(answer))  # every key, in order
        code, out, _ = self.run_query("lookup", db, "--json", "1.0.2.0", "1.0.0.9")
        self.assertEqual(code, 0)
        self.assertEqual([json.loads(line) for line in out.decode("utf-8").splitlines()],
                         [expected["1.0.2.0"], dict(expected["1.0.0.0"], ip="1.0.0.9")])
        code, out, err = self.run_query("lookup", "--json", "--raw", db, "1.0.2.0")
        self.assertEqual((code, out), (2, b""))
        self.assertIn(b"can't be combined with --raw", err)

    def test_out_of_memory_is_one_message(self):
        if WRAPPER or os.environ.get("NORVANE_SANITIZED") or not hasattr(os, "fork"):
            self.skipTest("needs a native build without AddressSanitizer and a memory limit")
        import array
        # 4 million one-letter texts: a 20 MB file whose decoded texts need far more.
        count = 4 << 20
        offsets = array.array("I", range(0, 2 * count, 2))
        if sys.byteorder != "little":
            offsets.byteswap()
        body = (struct.pack("<III", 2, 1, count) + struct.pack("<IIII", 0, 10, 0, 0) +
                offsets.tobytes() + b"a\0" * count)
        db = self.write("many.dat", b"NorvaneDatabase2" + hashlib.md5(body).digest() + body)

        def limit():
            import resource
            resource.setrlimit(resource.RLIMIT_AS, (120 << 20, 120 << 20))
        code, out, err = self.run_query("lookup", db, "0.0.0.5", preexec_fn=limit)
        self.assertEqual((code, err), (1, b"norvane-query: out of memory\n"), out)

    def test_paths_are_plain_paths(self):
        db = self.write("data/v2/gbwry.dat", build_db(SAMPLE))
        code, out, _ = self.run_query("lookup", "data/v2/gbwry.dat", "36.0.0.1")
        self.assertEqual((code, out.decode("utf-8")), (0, "36.0.0.1\t中国\t\n"))
        code, out, _ = self.run_query("verify", "./" + db)
        self.assertEqual(code, 0)
        self.write("-odd.dat", build_db(SAMPLE))
        code, out, _ = self.run_query("verify", "--", "-odd.dat")
        self.assertEqual((code, out[:13]), (0, b"-odd.dat: OK:"))

    # -- verify

    def test_verify_summarises_both_layouts(self):
        for version, layout in ((2, "new layout"), (1, "old layout")):
            db = self.write("v%d.dat" % version, build_db(SAMPLE, version))
            code, out, err = self.run_query("verify", db)
            self.assertEqual(code, 0, err)
            self.assertEqual(out.decode(), "%s: OK: %s (format_version %d), 4 ranges, 6 texts, "
                                           "sorted, digest OK\n" % (db, layout, version))
        unsorted = self.write("u.dat", build_db(list(reversed(SAMPLE))))
        code, out, _ = self.run_query("verify", unsorted)
        self.assertEqual(code, 0)
        self.assertIn(b", not sorted, digest OK", out)

    def test_damaged_or_missing_databases_exit_1_with_one_message(self):
        good = build_db(SAMPLE)
        flipped = bytearray(good)
        flipped[-2] ^= 0x20
        cases = [
            ("flipped.dat", bytes(flipped), "MD5 digest mismatch: the body is not what was written"),
            ("short.dat", good[:40], "file of 40 bytes is too short for a database (at least 44 needed)"),
            ("cut.dat", good[:60], "truncated: range_count and text_count need"),
        ]
        for name, data, message in cases:
            self.write(name, data)
            for command in (["verify", name], ["lookup", name, "1.0.0.1"], ["dump", name],
                            ["stats", name]):
                code, out, err = self.run_query(*command)
                self.assertEqual(code, 1, command)
                self.assertEqual(out, b"", command)
                self.assertTrue(err.decode().startswith("norvane-query: %s: %s" % (name, message)),
                                err)
                self.assertEqual(err.count(b"\n"), 1, err)
        code, _, err = self.run_query("verify", "missing.dat")
        self.assertEqual((code, err), (1, b"norvane-query: missing.dat: can't open the file\n"))

    def test_databases_that_are_not_files_are_refused_at_once(self):
        """A pipe with no writer, a device that never ends, a folder: refused before anything is
        read (no waiting, no reading until memory runs out)."""
        names = ["folder"]
        os.mkdir(os.path.join(self.dir, "folder"))
        if not WRAPPER:
            os.mkfifo(os.path.join(self.dir, "pipe"))
            names += ["pipe", "/dev/zero"]
        # Wine needs more address space than the limit leaves.
        limit = None if SANITIZED or WRAPPER else limit_memory
        for name in names:
            for command in (["verify", name], ["lookup", name, "1.0.0.1"]):
                code, out, err = self.run_query(*command, timeout=20, preexec_fn=limit)
                self.assertEqual((code, out), (1, b""), command)
                self.assertEqual(err, b"norvane-query: %s: not a regular file\n" % name.encode())

    # -- dump and stats

    def test_dump_as_tab_separated_lines_and_as_csv(self):
        db = self.write("gbwry.dat", build_db(SAMPLE[:2] + SAMPLE[3:]))
        code, out, _ = self.run_query("dump", db)
        self.assertEqual(code, 0)
        self.assertEqual(out.decode("utf-8"),
                         "1.0.0.0\t1.0.0.255\tAustralia\tAPNIC, Research\n"
                         "1.0.1.0\t1.0.3.255\t中国\t北京市\n"
                         "202.96.0.0\t202.96.63.255\t中国\tsay \"hi\", all\n")
        code, out, _ = self.run_query("dump", "--csv", db)
        self.assertEqual(code, 0)
        self.assertEqual(out.decode("utf-8"),
                         "start,end,country,area\n"
                         "1.0.0.0,1.0.0.255,Australia,\"APNIC, Research\"\n"
                         "1.0.1.0,1.0.3.255,中国,北京市\n"
                         "202.96.0.0,202.96.63.255,中国,\"say \"\"hi\"\", all\"\n")
        code, out, _ = self.run_query("dump", "--raw", db)
        self.assertIn(b"\t" + CHINA + b"\t" + BEIJING + b"\n", out)

    def test_stats_reports_counts_coverage_and_longest_texts(self):
        db = self.write("gbwry.dat", build_db(SAMPLE))
        code, out, _ = self.run_query("stats", db)
        self.assertEqual(code, 0)
        text = out.decode("utf-8")
        covered = 256 + 768 + (1 << 24) + (1 << 14)
        self.assertIn("ranges:       4 (sorted, no overlaps)\n", text)
        self.assertIn("texts:        6 (6 used: 2 as country, 4 as area)\n", text)
        self.assertIn("coverage:     %d of 4294967296 addresses (0.39%%)\n" % covered, text)
        self.assertIn("layout:       new layout (format_version 2)\n", text)
        longest = text.split("longest texts:\n")[1].splitlines()
        self.assertEqual(len(longest), 5)
        self.assertTrue(longest[0].endswith("APNIC, Research"), longest[0])
        self.assertTrue(longest[1].endswith('say "hi", all'), longest[1])
        # Australia is no country name these databases write; 中国 is one.
        self.assertIn("fields filled: country_code 75.0%, country 75.0%, province 0.0%, "
                      "city 0.0%, district 0.0%, isp 75.0% of the ranges\n", text)
        code, out, _ = self.run_query("stats", "--raw", db)
        self.assertNotIn(b"fields filled", out)

    # -- command line

    def test_help_and_usage_errors(self):
        code, out, _ = self.run_query("--help")
        self.assertEqual(code, 0)
        self.assertTrue(out.startswith(b"Usage: norvane-query COMMAND"))
        code, out2, _ = self.run_query("dump", "--help")
        self.assertEqual((code, out2), (0, out))
        db = self.write("gbwry.dat", build_db(SAMPLE))
        for args, message in (
                ([], "missing command"),
                (["frobnicate", db], "unknown command 'frobnicate'"),
                (["lookup", db], "lookup needs addresses"),
                (["lookup", db, "1.2.3"], "not an IPv4 address: '1.2.3'"),
                (["dump", db, "--json"], "unknown option '--json' for dump"),
                (["verify"], "missing database path")):
            code, out, err = self.run_query(*args)
            self.assertEqual(code, 2, args)
            self.assertEqual(out, b"")
            self.assertTrue(err.startswith(b"norvane-query: " + message.encode()), err)
            self.assertIn(b"Try 'norvane-query --help'.", err)

    # -- both programs

    @unittest.skipUnless(NORVANE, "NORVANE_EXE not given")
    def test_what_norvane_converts_is_what_lookup_finds(self):
        source = [
            ("1.0.0.0", "1.0.0.255", b"A", b"x"),
            ("1.0.1.0", "1.0.1.255", b"A", b"x"),   # joined to the range before
            ("1.0.1.9", "1.0.9.9", b"B", b"y"),     # starts inside it: dropped
            ("1.0.2.0", "1.0.2.255", CHINA, BEIJING),
            ("255.255.255.0", "255.255.255.255", b"sentinel", b""),
        ]
        self.write("qqwry.dat", build_source(source))
        for switch, layout in (([], "new"), (["/o"], "old")):
            proc = subprocess.run(WRAPPER + [NORVANE] + switch + ["qqwry.dat", "gbwry.dat"],
                                  cwd=self.dir, stdout=subprocess.PIPE, timeout=120)
            self.assertEqual(proc.returncode, 0, proc.stdout)
            code, out, _ = self.run_query("verify", "gbwry.dat")
            self.assertEqual(code, 0)
            self.assertIn(b": OK: " + layout.encode() + b" layout", out)
            self.assertIn(b", 2 ranges, 4 texts, sorted", out)
            code, out, _ = self.run_query("lookup", "gbwry.dat", "1.0.1.200", "1.0.2.0",
                                          "1.0.3.0", "255.255.255.1")
            self.assertEqual(code, 1)
            self.assertEqual(out.decode("utf-8"),
                             "1.0.1.200\tA\tx\n1.0.2.0\t中国\t北京市\n"
                             "1.0.3.0\tnot found\n255.255.255.1\tnot found\n")


if __name__ == "__main__":
    if not EXE:
        raise SystemExit("QUERY_EXE is not set")
    unittest.main(verbosity=2)
