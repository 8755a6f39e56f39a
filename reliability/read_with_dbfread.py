#!/usr/bin/python3
"""Reads a results table with python3-dbfread, a reader independent of the program's table engine.

read_with_dbfread.py TABLE

Prints "records <count in the header>", then one line per live record: PRIJM, JMENO, POC_1SER and
SER4B separated by TAB (numbers as dbfread gives them). Exits non-zero when dbfread cannot read the file.
"""
import sys

import dbfread


def main():
    table = dbfread.DBF(sys.argv[1], encoding="cp852", char_decode_errors="strict")
    print(f"records {table.header.numrecords}")
    for record in table:
        print("\t".join(str(record[name]) for name in ("PRIJM", "JMENO", "POC_1SER", "SER4B")))
    return 0


if __name__ == "__main__":
    sys.exit(main())
