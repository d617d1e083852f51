#!/usr/bin/python3
"""Reads a DBF table with python3-dbfread, an independent reader, and prints every
record as one line of Python reprs. Usage: dbfread_check.py TABLE.dbf ENCODING"""
import sys

from dbfread import DBF


def shown(value):
    if isinstance(value, str) and len(value) > 200:
        return 'text of %d characters %r' % (len(value), ''.join(sorted(set(value))))
    return repr(value)


def main():
    table = DBF(sys.argv[1], encoding=sys.argv[2], char_decode_errors='strict',
                ignore_missing_memofile=True)
    out = ['%d records' % len(table)]
    for record in table:
        out.append(' '.join('%s=%s' % (k, shown(v)) for k, v in record.items()))
    sys.stdout.buffer.write(('\n'.join(out) + '\n').encode('utf-8'))


main()
