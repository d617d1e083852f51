#!/usr/bin/python3
"""Prints, for each code page named on the command line (cp1252, mac_roman, ...), one
line as Python's own codecs see the page: its name, then for each of U+0080..U+00FF
the byte it is encoded as (3F, '?', when the page lacks it), then for each of the
bytes 0x80..0xFF the code point it decodes to (- when the page leaves it undefined)."""
import sys

for name in sys.argv[1:]:
    enc = []
    for c in range(0x80, 0x100):
        try:
            enc.append("%02X" % chr(c).encode(name)[0])
        except UnicodeEncodeError:
            enc.append("3F")
    dec = []
    for b in range(0x80, 0x100):
        try:
            dec.append("%04X" % ord(bytes([b]).decode(name)))
        except UnicodeDecodeError:
            dec.append("-")
    print(name, " ".join(enc), " ".join(dec))
