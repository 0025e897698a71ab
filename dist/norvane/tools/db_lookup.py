#!/usr/bin/env python3
"""Shows what a converted database holds for some addresses (texts decoded from GBK).

    db_lookup.py gbwry.dat 1.2.3.4 ...
"""
import hashlib
import struct
import sys

MAGIC = b"NorvaneDatabase2"


def main(path, addresses):
    data = open(path, "rb").read()
    body = data[32:] if data.startswith(MAGIC) else data[16:]
    digest = data[16:32] if data.startswith(MAGIC) else data[:16]
    print(f"{path}: digest {'OK' if hashlib.md5(body).digest() == digest else 'WRONG'}")
    version, n = struct.unpack_from("<II", body, 0)
    wide = version == 2
    s = struct.unpack_from("<I" if wide else "<H", body, 8)[0]
    ranges_at = 12 if wide else 10
    entry = 16 if wide else 12
    offsets_at = ranges_at + entry * n
    texts_at = offsets_at + 4 * s

    def text(i):
        off = struct.unpack_from("<I", body, offsets_at + 4 * i)[0]
        raw = body[texts_at + off:body.index(b"\0", texts_at + off)]
        return raw.decode("gbk", "replace")

    for a in addresses:
        x = struct.unpack(">I", bytes(int(p) for p in a.split(".")))[0]
        for k in range(n):
            st, en, ci, ai = struct.unpack_from("<IIII" if wide else "<IIHH", body,
                                                ranges_at + entry * k)
            if st <= x <= en:
                print(f"  {a:16} {text(ci)} {text(ai)}")
                break
        else:
            print(f"  {a:16} (not covered)")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2:])
