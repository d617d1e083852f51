#!/usr/bin/python3
"""Writes the fuzz target's starting inputs into tests/dbf/fuzz-seeds/: small tables of
every layout the reader knows, with memo files and a database container. Each input is
a 16-bit length and the table, a 16-bit length and the memo file, then the container."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, '..', 'fuzz-seeds')


def dbf(version, fields, records, flags=0, mark=0, tail=b''):
    rec_len = 1 + sum(f[2] + (256 * f[3] if f[1] == 'C' else 0) for f in fields)
    hdr_len = 32 + 32 * len(fields) + 1 + len(tail)
    out = struct.pack('<BBBBIHH16xBBxx', version, 24, 1, 15, len(records), hdr_len, rec_len,
                      flags, mark)
    for name, letter, length, dec in fields:
        out += struct.pack('<11sc4xBB14x', name.encode(), letter.encode(), length, dec)
    out += b'\r' + tail
    for r in records:
        assert len(r) == rec_len, (r, rec_len)
        out += r
    return out


def dbf7(fields, records):
    rec_len = 1 + sum(f[2] for f in fields)
    hdr_len = 68 + 48 * len(fields) + 1
    out = struct.pack('<BBBBIHH', 0x04, 124, 1, 15, len(records), hdr_len, rec_len)
    out += bytes(68 - len(out))
    for name, letter, length, dec in fields:
        out += struct.pack('<32scBB13x', name.encode(), letter.encode(), length, dec)
    out += b'\r'
    return out + b''.join(records)


def foxbase(fields, records):
    rec_len = 1 + sum(f[2] for f in fields)
    out = bytes([0x02]) + struct.pack('<H', len(records)) + bytes(3) + struct.pack('<H', rec_len)
    for name, letter, length, dec in fields:
        out += struct.pack('<11scB3x', name.encode(), letter.encode(), length)
    out += b'\r' + bytes(32)
    return out + b''.join(records)


def fpt(memos, block=64):
    data = bytearray(512)
    blk = 512 // block
    pointers = []
    for m in memos:
        data += bytes(blk * block - len(data))
        pointers.append(blk)
        data += struct.pack('>II', 1, len(m)) + m
        blk += (len(m) + 8 + block - 1) // block
    data[0:4] = struct.pack('>I', blk)
    data[6:8] = struct.pack('>H', block)
    return bytes(data), pointers


def seed(name, table, memo=b'', container=b''):
    with open(os.path.join(OUT, name), 'wb') as f:
        f.write(struct.pack('<H', len(table)) + table + struct.pack('<H', len(memo)) + memo +
                container)


def main():
    os.makedirs(OUT, exist_ok=True)
    memo, ptr = fpt([b'first memo', b'x' * 57])
    fields = [('N', 'N', 11, 0), ('P', 'N', 12, 2), ('C', 'C', 10, 0), ('M', 'M', 10, 0),
              ('D', 'D', 8, 0), ('L', 'L', 1, 0), ('B', 'B', 8, 0), ('T', 'T', 8, 0)]
    recs = [b' ' + b'42'.rjust(11) + b'12.50'.rjust(12) + b'text'.ljust(10) +
            str(ptr[0]).encode().rjust(10) + b'20240115' + b'T' + struct.pack('<d', 1.5) +
            struct.pack('<ii', 2451545, 1000),
            b'*' + b' ' * 11 + b' ' * 12 + b' ' * 10 + str(ptr[1]).encode().rjust(10) +
            b' ' * 8 + b' ' + bytes(8) + bytes(8)]
    seed('fpt-table', dbf(0xF5, fields, recs), memo)

    vmemo, vptr = fpt([b'vfp memo'])
    vfields = [('NAME_SHORT', 'C', 5, 0), ('M', 'M', 4, 0), ('I', 'I', 4, 0), ('Y', 'Y', 8, 4),
               ('_NullFlags', '0', 1, 0)]
    vrec = b' abcde' + struct.pack('<IiqB', vptr[0], -7, 125000, 0)
    link = b'c.dbc'.ljust(263, b'\0')
    cfields = [('OBJECTID', 'I', 4, 0), ('PARENTID', 'I', 4, 0), ('OBJECTTYPE', 'C', 10, 0),
               ('OBJECTNAME', 'C', 128, 0)]
    crecs = [b' ' + struct.pack('<ii', 5, 1) + b'Table'.ljust(10) + b't'.ljust(128),
             b' ' + struct.pack('<ii', 6, 5) + b'Field'.ljust(10) + b'name_short_long'.ljust(128),
             b'*' + struct.pack('<ii', 7, 5) + b'Field'.ljust(10) + b'gone'.ljust(128)]
    seed('vfp-with-container', dbf(0x30, vfields, [vrec], 0x02, 0x03, link), vmemo,
         dbf(0x30, cfields, crecs, 0x07, 0, bytes(263)))

    old = bytearray(512)
    old[0:4] = struct.pack('<I', 2)
    old += b'old memo\x1a\x1a'
    seed('dbase3-dbt', dbf(0x83, [('M', 'M', 10, 0)], [b' ' + b'1'.rjust(10)]), bytes(old))

    dbt = bytearray(512)
    dbt[20:22] = struct.pack('<H', 512)
    dbt += b'\xff\xff\x08\x00' + struct.pack('<I', 8 + 9) + b'dbt4 memo'
    seed('dbase4-dbt', dbf(0x8B, [('M', 'M', 10, 0)], [b' ' + b'1'.rjust(10)]), bytes(dbt))

    smt = bytearray(512)
    smt[4:8] = struct.pack('<I', 32)
    smt += b'smt memo\0'
    seed('smt', dbf(0xE5, [('M', 'M', 10, 0)], [b' ' + b'      ' + struct.pack('<I', 16)]),
         bytes(smt))

    seed('foxbase', foxbase([('A', 'C', 3, 0), ('N', 'N', 4, 0)], [b' abc  12']))
    seed('dbase7', dbf7([('LONG_FIELD_NAME', 'C', 4, 0), ('S', '@', 8, 0), ('A', '+', 4, 0),
                         ('O', 'O', 8, 0)],
                        [b' abcd' + struct.pack('>d', 63510912000000.0) + struct.pack('<i', 1) +
                         bytes(8)]))


main()
