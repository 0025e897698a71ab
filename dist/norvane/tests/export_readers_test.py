#!/usr/bin/python3
"""The exports read by the readers other programs use, not by ours: a generated 550,000-range
source with gaps is converted, exported in every format, and then

- Debian's python3-maxminddb and the npm package maxmind give, for the first and last address
  of every range and for 100,000 random addresses (also as ::ffff:a.b.c.d), exactly the record
  that norvane-query's own answer (`lookup --json`: the raw texts and the parsed fields) calls
  for, and nothing for addresses in no range; Debian's mmdblookup does the same for a
  sample of 300 of them (it starts one process per lookup); the metadata reads back;
- ip2region.js gives the same regions from the xdb file;
- the CSV with --cidr, loaded with COPY into a PostgreSQL server started here (unprivileged, on
  a Unix socket in the test's folder, stopped and removed afterwards), answers a join of 100,000
  addresses with >>= the same way;
- two MaxMind DB files written with the same SOURCE_DATE_EPOCH are byte-identical.

Run with Debian's /usr/bin/python3 (its maxminddb module). Environment: NORVANE_EXE, QUERY_EXE,
READERS_DIR (a folder of the build tree where the npm readers are installed with `npm ci` from
tests/readers).
"""
import glob
import json
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

import maxminddb

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tools"))
import qqwry_gen  # noqa: E402

NORVANE = os.environ.get("NORVANE_EXE", "")
QUERY = os.environ.get("QUERY_EXE", "")
READERS_DIR = os.environ.get("READERS_DIR", "")
RANGES = 550000
RANDOM_ADDRESSES = 100000
MMDBLOOKUP_SAMPLE = 300
EPOCH = "1700000000"
LANGUAGES = ["zh-CN", "en"]

# Texts shaped like the databases' own: both styles of Chinese places, foreign places, texts
# that name no place, and the areas (ISPs, places, the placeholder).
PROVINCES = [("广东省", ["深圳市", "广州市", "佛山市"], ["南山区", "天河区", "顺德区"]),
             ("广西", ["桂林市", "南宁市"], ["秀峰区", "青秀区"]),
             ("内蒙古", ["呼伦贝尔市", "包头市"], ["海拉尔区", "昆都仑区"]),
             ("辽宁省", ["铁岭市", "沈阳市"], ["昌图县", "和平区"]),
             ("北京市", [""], ["海淀区", "朝阳区"]), ("重庆市", [""], ["九龙坡区杨家坪", "渝中区"]),
             ("海南省", [""], ["琼中县"]), ("湖北省", ["荆州市"], ["沙市区"])]
FOREIGN = ["美国", "美国加利福尼亚州", "日本东京都", "英国", "印度尼西亚", "印度", "香港", "台湾省",
           "澳门", "法国普罗旺斯-阿尔卑斯-蓝色海岸", "韩国"]
NOWHERE = ["局域网", "本机地址", "IANA保留地址", "亚太地区", "欧洲", "四川大学", "重庆工学院"]
AREAS = ["电信", "联通", "移动", "联通/力天网吧", " CZ88.NET", "  CZ88.NET ", "", "教育网", "首尔",
         "鹏博士宽带", "阿里云/BGP数据中心", '"quoted", area']


def country_texts():
    texts = []
    for province, cities, districts in PROVINCES:
        for city in cities:
            texts.append(province + city)
            for district in districts:
                texts.append(province + city + district)
        short = province.rstrip("省市")
        texts.append("中国–%s–%s" % (short, cities[0].rstrip("市") or districts[0]))
    return texts + FOREIGN + NOWHERE


def generate_source(path, count, seed):
    """count ranges of whole /24s (mostly a few of them, some large, as in real databases),
    about a tenth of them followed by a gap; neighbours often share texts."""
    rng = random.Random(seed)
    countries = [t.encode("gbk") for t in country_texts()]
    areas = [t.encode("gbk") for t in AREAS]
    builder = qqwry_gen.Builder()
    positions = []
    country, area = countries[0], areas[0]
    budget = (1 << 24) - 2 * count  # /24s left to hand out beyond one for each range and gap
    start = 0
    for i in range(count):
        extra = min(budget, rng.choice((0, 0, 0, 1, 1, 3, 7, 15)) if rng.random() < 0.97
                    else rng.randrange(256))
        budget -= extra
        end = start + ((1 + extra) << 8) - 1
        if i == count - 1:
            end = 0xFFFFFFFF
        if rng.random() < 0.93:
            country, area = rng.choice(countries), rng.choice(areas)
        form = "mode2" if i % 4 else "block"
        positions.append((start, builder.record(end, country, area, form, i)))
        start = end + 1 + (rng.choice((1, 2, 16)) << 8 if rng.random() < 0.1 else 0)
    for start, pos in positions:
        builder.add_index(start, pos)
    with open(path, "wb") as f:
        f.write(builder.finish())


def ipv4_text(a):
    return "%d.%d.%d.%d" % (a >> 24, a >> 16 & 255, a >> 8 & 255, a & 255)


def names(text):
    return {language: text for language in LANGUAGES}


def expected_record(raw_country, raw_area, fields):
    """The GeoIP2 City-shaped record for a location, empty values left out."""
    code, country, province, city, district, isp = fields
    record = {}
    if city:
        record["city"] = {"names": names(city)}
    if code or country:
        record["country"] = {}
        if code:
            record["country"]["iso_code"] = code
        if country:
            record["country"]["names"] = names(country)
    if district:
        record["district"] = district
    if isp:
        record["isp"] = isp
    if raw_area or raw_country:
        record["raw"] = {}
        if raw_area:
            record["raw"]["area"] = raw_area
        if raw_country:
            record["raw"]["country"] = raw_country
    if province:
        record["subdivisions"] = [{"names": names(province)}]
    return record


def region_text(fields):
    code, country, province, city, district, isp = fields
    return "|".join(f or "0" for f in (country, "", province, city, isp))


def parse_mmdblookup(text):
    """mmdblookup's output as a Python value: one token a line ("key":, {, }, [, ], or a value
    followed by <type>); strings are printed as they are, without escapes."""
    lines = [line.strip() for line in text.splitlines() if line.strip()]
    at = 0

    def value():
        nonlocal at
        line = lines[at]
        at += 1
        if line in ("{", "["):
            closing = "}" if line == "{" else "]"
            out = {} if line == "{" else []
            while lines[at] != closing:
                if line == "{":
                    key = lines[at][1:lines[at].rindex('":')]
                    at += 1
                    out[key] = value()
                else:
                    out.append(value())
            at += 1
            return out
        literal, kind = line.rsplit(" <", 1)
        return literal[1:-1] if kind == "utf8_string>" else int(literal)

    return value()


class ExportReadersTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="norvane-export-readers-")
        os.chmod(cls.dir, 0o755)  # the database server's unprivileged user works in here
        try:
            cls.prepare()
        except BaseException:
            shutil.rmtree(cls.dir, ignore_errors=True)
            raise

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, ignore_errors=True)

    @classmethod
    def run_in_dir(cls, args, stdin=None, env=None):
        proc = subprocess.run(args, cwd=cls.dir, input=stdin, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, env=dict(os.environ, **(env or {})),
                              timeout=600)
        if proc.returncode not in (0, 1) or (proc.returncode == 1 and args[1:2] != ["lookup"]):
            raise AssertionError("%s failed: %s" % (args, proc.stderr.decode(errors="replace")))
        return proc.stdout

    @classmethod
    def prepare(cls):
        generate_source(os.path.join(cls.dir, "qqwry.dat"), RANGES, 18)
        cls.run_in_dir([NORVANE, "qqwry.dat", "gbwry.dat"])
        env = {"SOURCE_DATE_EPOCH": EPOCH}
        for fmt, name, extra in (("mmdb", "out.mmdb", []), ("mmdb", "again.mmdb", []),
                                 ("xdb", "out.xdb", []), ("csv", "out.csv", ["--cidr"])):
            cls.run_in_dir([QUERY, "export", "--format", fmt] + extra + ["gbwry.dat", name],
                           env=env)

        # The addresses: every range's first and last, then random ones.
        dump = cls.run_in_dir([QUERY, "dump", "gbwry.dat"]).decode("utf-8").splitlines()
        rng = random.Random(5)
        cls.edges = []
        for line in dump:
            start, end = line.split("\t")[:2]
            cls.edges += [start, end]
        cls.random = [ipv4_text(rng.getrandbits(32)) for _ in range(RANDOM_ADDRESSES)]
        cls.range_count = len(dump)

        # What norvane-query answers for each distinct address, raw texts and parsed fields.
        distinct = sorted(set(cls.edges + cls.random))
        answers = cls.run_in_dir([QUERY, "lookup", "--json", "gbwry.dat", "-"],
                                 stdin=("\n".join(distinct) + "\n").encode())
        cls.expected = {}
        cls.fields = {}
        for line in answers.decode("utf-8").split("\n")[:-1]:
            answer = json.loads(line)
            if not answer["found"]:
                cls.expected[answer["ip"]] = None
                continue
            pair = (answer["raw_country"], answer["raw_area"])
            cls.expected[answer["ip"]] = pair
            cls.fields[pair] = tuple(answer[k] for k in ("country_code", "country", "province",
                                                         "city", "district", "isp"))
        cls.gaps = sum(1 for a in cls.random if cls.expected[a] is None)

    def record_for(self, address):
        pair = self.expected[address]
        return None if pair is None else expected_record(pair[0], pair[1], self.fields[pair])

    def test_the_source_has_the_shape_asked_for(self):
        self.assertGreater(self.range_count, 450000)
        self.assertGreater(self.gaps, 1000)  # random addresses in gaps are asked about too
        self.assertGreater(len(self.fields), 100)
        # The texts are places the parser knows: most locations get a country.
        placed = sum(1 for f in self.fields.values() if f[0])
        self.assertGreater(placed, len(self.fields) // 2)

    def test_python_maxminddb_finds_what_norvane_query_finds(self):
        reader = maxminddb.open_database(os.path.join(self.dir, "out.mmdb"),
                                         maxminddb.MODE_MMAP_EXT)
        try:
            for address in self.edges + self.random:
                self.assertEqual(reader.get(address), self.record_for(address), address)
            for address in self.random:
                self.assertEqual(reader.get("::ffff:" + address), self.record_for(address),
                                 address)
            meta = reader.metadata()
            self.assertEqual(meta.database_type, "Norvane-City")
            self.assertEqual(meta.languages, LANGUAGES)
            self.assertEqual(meta.build_epoch, int(EPOCH))
            self.assertEqual(meta.ip_version, 6)
            self.assertEqual(meta.binary_format_major_version, 2)
            self.assertTrue(meta.description["en"] and meta.description["zh-CN"])
        finally:
            reader.close()

    def test_npm_maxmind_and_ip2region_find_what_norvane_query_finds(self):
        readers = os.path.join(READERS_DIR, "node_modules")
        script = os.path.join(READERS_DIR, "check_readers.mjs")
        shutil.copy(os.path.join(HERE, "readers", "check_readers.mjs"), script)
        addresses = self.edges + self.random + ["::ffff:" + a for a in self.random]
        with open(os.path.join(self.dir, "addresses"), "w") as f:
            f.write("\n".join(addresses) + "\n")
        subprocess.run(["node", script, "out.mmdb", "out.xdb", "addresses", "answers.json"],
                       cwd=self.dir, check=True, timeout=600,
                       env=dict(os.environ, NODE_PATH=readers))
        with open(os.path.join(self.dir, "answers.json")) as f:
            answers = json.load(f)
        for kind in ("mmdb", "xdb"):
            table = [json.loads(t) for t in answers[kind]["table"]]
            self.assertEqual(len(answers[kind]["ids"]), len(addresses))
            for address, i in zip(addresses, answers[kind]["ids"]):
                v4 = address.replace("::ffff:", "")
                if kind == "mmdb":
                    self.assertEqual(table[i], self.record_for(v4), address)
                elif ":" not in address:
                    pair = self.expected[v4]
                    want = None if pair is None else region_text(self.fields[pair])
                    self.assertEqual(table[i], want, address)
        meta = answers["metadata"]
        self.assertEqual((meta["databaseType"], meta["languages"], meta["buildEpoch"],
                          meta["ipVersion"]), ("Norvane-City", LANGUAGES, int(EPOCH), 6))
        self.assertEqual(set(meta["description"]), {"en", "zh-CN"})

    def test_mmdblookup_finds_what_norvane_query_finds(self):
        """A sample: mmdblookup starts one process per address."""
        rng = random.Random(9)
        sample = rng.sample(self.edges, MMDBLOOKUP_SAMPLE // 2) + self.random[:MMDBLOOKUP_SAMPLE // 2]
        for address in sample:
            form = address if rng.random() < 0.5 else "::ffff:" + address
            proc = subprocess.run(["mmdblookup", "--file", os.path.join(self.dir, "out.mmdb"),
                                   "--ip", form], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                  timeout=60)
            want = self.record_for(address)
            if want is None:
                self.assertNotEqual(proc.returncode, 0, form)
                self.assertIn(b"Could not find an entry", proc.stdout + proc.stderr)
            else:
                self.assertEqual(proc.returncode, 0, proc.stderr)
                self.assertEqual(parse_mmdblookup(proc.stdout.decode("utf-8")), want, form)
        proc = subprocess.run(["mmdblookup", "--file", os.path.join(self.dir, "out.mmdb"),
                               "--ip", "1.2.3.4", "--verbose"], stdout=subprocess.PIPE, timeout=60)
        self.assertRegex(proc.stdout.decode("utf-8"), r"Type:\s+Norvane-City\n")
        self.assertRegex(proc.stdout.decode("utf-8"), r"Build epoch:\s+%s " % EPOCH)

    def test_same_epoch_gives_the_same_bytes(self):
        with open(os.path.join(self.dir, "out.mmdb"), "rb") as a, \
                open(os.path.join(self.dir, "again.mmdb"), "rb") as b:
            self.assertEqual(a.read(), b.read())

    def test_postgresql_joins_the_cidr_csv_as_norvane_query_answers(self):
        bin_dir = sorted(glob.glob("/usr/lib/postgresql/*/bin"))[-1]
        pg = os.path.join(self.dir, "pg")
        os.mkdir(pg)
        as_user = []
        if os.geteuid() == 0:  # the server refuses to run as root
            os.chown(pg, 65534, 65534)
            as_user = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
        data = os.path.join(pg, "data")
        quiet = dict(stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=300)
        subprocess.run(as_user + [os.path.join(bin_dir, "initdb"), "-D", data, "-U", "postgres",
                                  "--auth=trust", "-E", "UTF8", "--locale=C"], check=True,
                       cwd=pg, **quiet)
        started = False
        try:
            subprocess.run(as_user + [os.path.join(bin_dir, "pg_ctl"), "-D", data, "-w", "-l",
                                      os.path.join(pg, "log"), "-o",
                                      "-k %s -c listen_addresses= -c fsync=off" % pg, "start"],
                           check=True, cwd=pg, **quiet)
            started = True
            psql = [os.path.join(bin_dir, "psql"), "-h", pg, "-U", "postgres", "-X", "-q",
                    "-v", "ON_ERROR_STOP=1", "-A", "-t", "-F", "\t", "postgres"]
            columns = ("network cidr, country_code text, country text, province text, city text,"
                       " district text, isp text, raw_country text, raw_area text")
            with open(os.path.join(self.dir, "out.csv"), "rb") as f:
                subprocess.run(psql + ["-c", "CREATE TABLE networks (%s)" % columns, "-c",
                                       "COPY networks FROM STDIN WITH (FORMAT csv, HEADER true)"],
                               stdin=f, check=True, **quiet)
            probes = "".join(a + "\n" for a in self.random)
            query = ("CREATE TABLE probes (address inet);"
                     "COPY probes FROM STDIN;"
                     "CREATE INDEX ON networks USING gist (network inet_ops);"
                     "ANALYZE;"
                     "SELECT host(p.address), n.raw_country, n.raw_area, n.country_code, n.country,"
                     " n.province, n.city, n.district, n.isp FROM probes p"
                     " LEFT JOIN networks n ON n.network >>= p.address;")
            script = os.path.join(self.dir, "join.sql")
            with open(script, "w") as f:
                f.write(query.replace("COPY probes FROM STDIN;", "\\copy probes from pstdin\n"))
            proc = subprocess.run(psql + ["-f", script], input=probes.encode(),
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=600)
            self.assertEqual(proc.returncode, 0, proc.stderr)
            rows = proc.stdout.decode("utf-8").split("\n")[:-1]
            self.assertEqual(len(rows), len(self.random))  # one network at most per address
            for row in rows:
                parts = row.split("\t")
                address = parts[0]
                pair = self.expected[address]
                if pair is None:
                    self.assertEqual(parts[1:], [""] * 8, address)
                else:
                    self.assertEqual((parts[1], parts[2]), pair, address)
                    self.assertEqual(tuple(parts[3:]), self.fields[pair], address)
        finally:
            if started:
                subprocess.run(as_user + [os.path.join(bin_dir, "pg_ctl"), "-D", data, "-m",
                                          "immediate", "stop"], cwd=pg, **quiet)


if __name__ == "__main__":
    for name, value in (("NORVANE_EXE", NORVANE), ("QUERY_EXE", QUERY),
                        ("READERS_DIR", READERS_DIR)):
        if not value:
            raise SystemExit("%s is not set" % name)
    # The npm readers, pinned by the lock file, installed into the build tree once.
    lock = os.path.join(HERE, "readers", "package-lock.json")
    installed = os.path.join(READERS_DIR, "package-lock.json")
    if not (os.path.exists(installed) and open(installed).read() == open(lock).read()
            and os.path.isdir(os.path.join(READERS_DIR, "node_modules"))):
        os.makedirs(READERS_DIR, exist_ok=True)
        for name in ("package.json", "package-lock.json"):
            shutil.copy(os.path.join(HERE, "readers", name), READERS_DIR)
        subprocess.run(["npm", "ci", "--ignore-scripts", "--no-audit", "--no-fund"],
                       cwd=READERS_DIR, check=True, timeout=600)
    unittest.main(verbosity=2)
