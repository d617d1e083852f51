#!/usr/bin/python3
"""Reads a DBF table with python3-dbf, an independent reader that follows the version
byte (dBASE III, FoxPro, Visual FoxPro), and prints it as `scripts/dbf-read dump` does:
the version and record count, the fields, then one line per record, values separated
by '|', NULL for an empty value. Usage: dbf_dump.py TABLE.dbf [ENCODING]"""
import struct
import sys

import dbf


def number_text(data):
    # Numbers as the text the file holds, so that no rounding hides a fault.
    return data.decode("ascii")


def char_text(text):
    return text.rstrip(" ")


def show(value):
    if value is None:
        return "NULL"
    if isinstance(value, bool):
        return "T" if value else "F"
    if isinstance(value, bytes):
        return "0x" + value.hex()
    if isinstance(value, float):
        return repr(value)
    if hasattr(value, "isoformat"):
        return value.isoformat()
    text = str(value)
    return text.replace("\\", "\\\\").replace("|", "\\|").replace("\n", "\\n").replace("\r", "\\r")


def main(argv):
    if len(argv) not in (2, 3):
        sys.stderr.write(__doc__ + "\n")
        return 2
    path, encoding = argv[1], argv[2] if len(argv) == 3 else "cp1252"
    with open(path, "rb") as f:
        head = f.read(8)
    try:
        # A memo field without a memo reads as no value, as a blank number or date does.
        table = dbf.Table(path, codepage=encoding, default_data_types={
            "C": (char_text, str), "M": (str, dbf.NoneType),
            "N": (number_text, dbf.NoneType), "F": (number_text, dbf.NoneType)})
        table.open(dbf.READ_ONLY)
        lines = ["version=0x%02x records=%d" % (head[0], struct.unpack("<I", head[4:8])[0])]
        fields = []
        for name in table.field_names:
            info = table.field_info(name)
            fields.append("%s:%s:%d:%d" % (name, chr(info[0]), info[1], info[2]))
        lines.append("fields=" + " ".join(fields))
        for record in table:
            lines.append("|".join(show(v) for v in record))
        table.close()
    except Exception as e:  # what the reader refuses, said in one line
        sys.stderr.write("dbf_dump: %s: %s\n" % (type(e).__name__, e))
        return 1
    sys.stdout.buffer.write(("\n".join(lines) + "\n").encode("utf-8"))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
