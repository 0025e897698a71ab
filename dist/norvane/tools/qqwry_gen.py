"""Writes source databases in the qqwry.dat layout, for the bundled sample and the tests.

A source is a list of ranges (start, end, country, area) with texts as bytes. Each distinct text
is stored once; records reach it through the layout's redirect forms in turn, so that one file
exercises all of them.
"""
import struct

FORMS = ("plain", "block", "mode2", "mode1-mode2", "mode2-mode1")


class Builder:
    def __init__(self):
        self.data = bytearray(8)  # header, filled in by finish()
        self.index = bytearray()
        self.pool = {}

    def pos(self):
        return len(self.data)

    def put(self, raw):
        at = len(self.data)
        self.data += raw
        return at

    def text(self, t):
        return self.put(t + b"\0")

    def pooled(self, t):
        if t not in self.pool:
            self.pool[t] = self.text(t)
        return self.pool[t]

    def redirect(self, mode, target):
        return self.put(bytes([mode]) + struct.pack("<I", target)[:3])

    def area_field(self, area, variant):
        if variant % 3 == 0:
            self.text(area)
        elif variant % 3 == 1:
            self.redirect(2, self.pooled(area))
        else:  # mode 1 to a mode-2 redirect: two redirects
            inner = self.redirect(2, self.pooled(area))
            self.redirect(1, inner)

    def record(self, end, country, area, form, variant=0):
        """Appends a record in the given redirect form; returns its position."""
        if form == "plain":
            at = self.put(struct.pack("<I", end))
            self.text(country)
            self.area_field(area, variant)
        elif form == "block":  # mode 1 to a location block: country text, then its area
            block = self.text(country)
            self.area_field(area, variant + 1)
            at = self.put(struct.pack("<I", end))
            self.redirect(1, block)
        elif form == "mode2":  # country by redirect, area field at R+8
            c = self.pooled(country)
            at = self.put(struct.pack("<I", end))
            self.redirect(2, c)
            self.area_field(area, variant + 2)
        elif form == "mode1-mode2":  # country through two redirects, area field at X+4
            block = self.redirect(2, self.pooled(country))
            self.area_field(area, variant)
            at = self.put(struct.pack("<I", end))
            self.redirect(1, block)
        else:  # mode2-mode1: country through two redirects, area field at R+8
            block = self.redirect(1, self.pooled(country))
            at = self.put(struct.pack("<I", end))
            self.redirect(2, block)
            self.area_field(area, variant + 1)
        assert at < 1 << 24, "records must lie below 16 MiB"
        return at

    def add_index(self, start, record_pos):
        self.index += struct.pack("<I", start) + struct.pack("<I", record_pos)[:3]

    def finish(self):
        first = len(self.data)
        last = first + len(self.index) - 7
        out = bytearray(self.data) + self.index
        struct.pack_into("<II", out, 0, first, last)
        return bytes(out)


def build(ranges):
    """A source holding the ranges in the given order, cycling through the redirect forms."""
    b = Builder()
    positions = []
    for i, (start, end, country, area) in enumerate(ranges):
        form = FORMS[i % len(FORMS)]
        positions.append(b.record(end, country, area, form, i // len(FORMS)))
    for (start, _, _, _), pos in zip(ranges, positions):
        b.add_index(start, pos)
    return b.finish()


def ip(text):
    a, b, c, d = (int(x) for x in text.split("."))
    return a << 24 | b << 16 | c << 8 | d
