"""An independent, plain-Python model of the conversion, used by the command-line tests to check
the program's output files byte for byte. It follows the layout rules directly and favours
clarity over speed."""
import hashlib
import struct

MAGIC = b"NorvaneDatabase2"


def _u24(d, p):
    if p + 3 > len(d):
        raise ValueError("u24 past end")
    return d[p] | d[p + 1] << 8 | d[p + 2] << 16


def _byte(d, p):
    if p >= len(d):
        raise ValueError("byte past end")
    return d[p]


def _text(d, p):
    if p >= len(d):
        raise ValueError("text past end")
    z = d.find(b"\0", p)
    if z < 0:
        raise ValueError("text without zero byte")
    return d[p:z], z + 1


def _area(d, p):
    m3 = _byte(d, p)
    if m3 in (1, 2):
        z = _u24(d, p + 1)
        if _byte(d, z) in (1, 2):
            return _text(d, _u24(d, z + 1))[0]
        return _text(d, z)[0]
    return _text(d, p)[0]


def read_source(d):
    """[(start, end, country, area)] in index order; raises ValueError for a bad source."""
    if len(d) < 8:
        raise ValueError("short header")
    first, last = struct.unpack_from("<II", d, 0)
    if first >= last or len(d) < 7 or last > len(d) - 7:
        raise ValueError("bad header")
    out = []
    for k in range((last - first) // 7 + 1):
        e = first + 7 * k
        start = struct.unpack_from("<I", d, e)[0]
        r = _u24(d, e + 4)
        if r + 4 > len(d):
            raise ValueError("record past end")
        end = struct.unpack_from("<I", d, r)[0]
        m1 = _byte(d, r + 4)
        if m1 not in (1, 2):
            country, after = _text(d, r + 4)
            area = _area(d, after)
        else:
            x = _u24(d, r + 5)
            m2 = _byte(d, x)
            if m2 == 2:
                country = _text(d, _u24(d, x + 1))[0]
                area = _area(d, x + 4)
            elif m2 == 1:
                country = _text(d, _u24(d, x + 1))[0]
                area = b"" if m1 == 1 else _area(d, r + 8)
            else:
                country, after = _text(d, x)
                area = _area(d, after if m1 == 1 else r + 8)
        out.append((start, end, country, area))
    return out


def merge(records, version):
    """(kept ranges with text indexes, texts in index order)."""
    texts, index = [], {}

    def intern(t):
        if t not in index:
            index[t] = len(texts)
            texts.append(t)
        return index[t]

    kept = []
    for start, end, country, area in records:
        if start == 0xFFFFFFFF or end == 0xFFFFFFFF:
            continue
        if kept:
            ls, le, lc, la, _, _ = kept[-1]
            if start == (le + 1) & 0xFFFFFFFF and area == la and country == lc:
                kept[-1] = (ls, end, lc, la, kept[-1][4], kept[-1][5])
                continue
            if not start > le and start >= ls:
                continue
        ci = intern(country)
        if version == 1 and ci >= 0xFFFF:
            continue
        ai = intern(area)
        if version == 1 and ai >= 0xFFFF:
            continue
        kept.append((start, end, country, area, ci, ai))
    return kept, texts


def convert(source_bytes, version):
    """(final file bytes, number of discarded texts or None)."""
    kept, texts = merge(read_source(source_bytes), version)
    discarded = None
    if version == 1 and len(texts) >= 0xFFFF:
        discarded = len(texts) - 0xFFFF
        texts = texts[:0xFFFF]
    wide = version == 2
    body = struct.pack("<II", version, len(kept))
    body += struct.pack("<I" if wide else "<H", len(texts))
    for start, end, _, _, ci, ai in kept:
        body += struct.pack("<IIII" if wide else "<IIHH", start, end, ci, ai)
    offset = 0
    for t in texts:
        body += struct.pack("<I", offset)
        offset += len(t) + 1
    body += b"".join(t + b"\0" for t in texts)
    digest = hashlib.md5(body).digest()
    return (MAGIC if wide else b"") + digest + body, discarded, len(kept)
