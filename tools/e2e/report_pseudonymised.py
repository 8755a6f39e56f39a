#!/usr/bin/python3
"""Checks tivora-report's exports without the identity with programs that read those formats on their own.

A table of people whose birth numbers cover every rule (nine digits before 1954, ten with the check
digit, the remainder of 10 with 0 until 1985, women's months, the + 20 and + 70 months from 2004) and
numbers that break one. The ages and sexes expected are worked out by hand below, not by the program.
Then, with keys made by `tivora-report keygen`:

  - the CSV export read with Python's csv module, the XLSX export with openpyxl, the trials export with csv,
  - no name and no birth number's digits anywhere in the files' bytes, the XLSX's zip members included,
  - the same pseudonym for one person in every export under one key, and other pseudonyms under another,
    each of them HMAC-SHA-256 of the digits under the key (Python's hmac module),
  - age and sex as expected, empty for a broken number, which is a row's error (exit status 3),
  - keygen: a key readable by its owner only, never replaced.

usage: report_pseudonymised.py TIVORA_REPORT REPORT_FIXTURE [RUNNER...]
"""

import csv
import hashlib
import hmac
import os
import re
import stat
import subprocess
import sys
import tempfile
import zipfile

import openpyxl

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import Failures  # noqa: E402

FAILURES = Failures()
check = FAILURES.check
RUNNER = []

# RC_1, RC_2, the date box's text, the age on that date and the sex ("" where none may be given).
PEOPLE = [
    ("000101", "001", " 7.12.2026", 126, "M"),   # nine digits, 1900
    ("531231", "123", " 7.12.2026", 72, "M"),    # nine digits, the last year of them, before his birthday
    ("536231", "123", "31.12.2026", 73, "F"),    # a woman, on her birthday
    ("540101", "0010", " 7.12.2026", 72, "M"),   # ten digits, the first year of them
    ("995101", "0003", " 7.12.2026", 27, "F"),
    ("800131", "0009", " 7.12.2026", 46, "M"),
    ("851231", "0060", " 7.12.2026", 40, "M"),   # a remainder of 10 with the check digit 0, in 1985
    ("042101", "0007", " 7.12.2026", 22, "M"),   # + 20 from 2004
    ("048231", "0004", " 7.12.2026", 21, "F"),   # + 70 from 2004
    ("885229", "0007", "28.02.2026", 38, "F"),   # born on 29 February: her birthday is 28 February
    ("885229", "0007", "27.02.2026", 37, "F"),   # the same woman a day earlier
    ("540101", "001", " 7.12.2026", "", ""),     # nine digits after 1953
    ("905512", "1241", " 7.12.2026", "", ""),    # not divisible by 11
    ("861231", "0070", " 7.12.2026", "", ""),    # the remainder of 10 with 0 after 1985
    ("862231", "0004", " 7.12.2026", "", ""),    # + 20 before 2004
    ("905532", "1242", " 7.12.2026", "", ""),    # 32 May
    ("010229", "0001", " 7.12.2026", "", ""),    # 29 February 2001, no leap year
    ("", "", " 7.12.2026", "", ""),              # no birth number
    ("9055a2", "1240", " 7.12.2026", "", ""),    # a letter
]
SURNAME, FIRST_NAME = "Zkoušková", "Bohumila"


def run(args, expect=0):
    result = subprocess.run(RUNNER + args, capture_output=True, text=True)
    check(result.returncode == expect,
          f"{' '.join(args)} exited {result.returncode}, expected {expect}: {result.stderr.strip()}")
    return result


def expected_pseudonym(key, rc1, rc2):
    digits = (rc1 + rc2).replace(" ", "")
    if not digits.isdigit() or len(digits) not in (9, 10):
        return ""
    return "P" + hmac.new(key, digits.encode(), hashlib.sha256).hexdigest()[:32]


def file_bytes(path):
    """The file's bytes, and for a zip those of every member too."""
    with open(path, "rb") as f:
        data = f.read()
    if data.startswith(b"PK"):
        with zipfile.ZipFile(path) as archive:
            for name in archive.namelist():
                data += name.encode() + archive.read(name)
    return data


def check_no_identity(path, errors):
    # A pseudonym's hexadecimal digits may hold any four digits by chance (a birth number's second part):
    # they are taken out before the bytes are searched.
    data = re.sub(rb"P[0-9a-f]{32}", b"P", file_bytes(path))
    texts = [SURNAME, FIRST_NAME, "Zkou", "PRIJM", "JMENO", "RC_1", "RC_2"]
    texts += [rc1 for rc1, *_ in PEOPLE if rc1] + [rc2 for _, rc2, *_ in PEOPLE if len(rc2) == 4]
    for text in texts:
        check(text.encode() not in data, f"{os.path.basename(path)} holds '{text}'")
        check(text not in errors, f"the error output of {os.path.basename(path)} holds '{text}'")


def check_people(name, header, rows, key):
    """`rows` are the cells of the people's tests in table order, as strings."""
    check(header[:5] == ["row", "pseudonym", "age", "sex", "test_date"], f"{name}: header {header[:6]}")
    check(len(rows) == len(PEOPLE), f"{name}: {len(rows)} rows")
    for (rc1, rc2, date, age, sex), row in zip(PEOPLE, rows):
        who = f"{name}: '{rc1}' '{rc2}' on '{date}'"
        check(row[1] == expected_pseudonym(key, rc1, rc2), f"{who}: pseudonym {row[1]}")
        check(row[2] == str(age), f"{who}: age {row[2]!r}, expected {age!r}")
        check(row[3] == sex, f"{who}: sex {row[3]!r}, expected {sex!r}")


def cell(value):
    return "" if value is None else str(value)


def main():
    global RUNNER
    report, fixture = sys.argv[1:3]
    RUNNER = sys.argv[3:]
    with tempfile.TemporaryDirectory() as folder:
        table = os.path.join(folder, "tivora4.DBF")
        people = os.path.join(folder, "people.txt")
        with open(people, "w", encoding="utf-8") as f:
            for rc1, rc2, date, *_ in PEOPLE:
                f.write(f"{SURNAME};{FIRST_NAME};{rc1};{rc2};{date}\n")
        subprocess.run(RUNNER + [fixture, "people", table, people], check=True)

        keys = {}
        for name in ("lab.key", "other.key"):
            path = os.path.join(folder, name)
            out = run([report, "keygen", path]).stdout
            check(path in out and "secret" in out, f"keygen says: {out}")
            if os.name == "posix" and not RUNNER:
                check(stat.S_IMODE(os.stat(path).st_mode) == 0o600, f"{name}: mode {os.stat(path).st_mode:o}")
            with open(path, encoding="ascii") as f:
                keys[name] = bytes.fromhex(f.read().strip())
        with open(os.path.join(folder, "lab.key"), "rb") as f:
            before = f.read()
        run([report, "keygen", os.path.join(folder, "lab.key")], expect=1)
        with open(os.path.join(folder, "lab.key"), "rb") as f:
            check(f.read() == before, "keygen replaced an existing key")

        lab, other = os.path.join(folder, "lab.key"), os.path.join(folder, "other.key")
        outputs = {}
        for name, form, key in (("a.csv", "csv", lab), ("b.xlsx", "xlsx", lab), ("t.csv", "trials", lab),
                                ("o.csv", "csv", other)):
            path = os.path.join(folder, name)
            result = run([report, "export", table, "--format", form, "--output", path, "--pseudonymise", key],
                         expect=3)
            broken = sum(1 for *_, age, _ in PEOPLE if age == "")
            check(result.stderr.count(": error: no ") == broken, f"{name}: errors\n{result.stderr}")
            check_no_identity(path, result.stderr)
            outputs[name] = path

        with open(outputs["a.csv"], encoding="utf-8-sig", newline="") as f:
            rows = list(csv.reader(f))
        check_people("a.csv", rows[0], rows[1:], keys["lab.key"])
        issues = rows[0].index("issues")
        for (_, _, _, age, _), row in zip(PEOPLE, rows[1:]):
            check((age == "") == ("no " in row[issues]), f"a.csv: issues '{row[issues]}' for age {age!r}")

        sheet = openpyxl.load_workbook(outputs["b.xlsx"], read_only=True).active
        cells = [[cell(value) for value in row] for row in sheet.iter_rows(values_only=True)]
        check_people("b.xlsx", cells[0], cells[1:], keys["lab.key"])
        check([row[:5] for row in cells] == [row[:5] for row in rows], "the workbook's person columns differ from the CSV's")

        with open(outputs["t.csv"], encoding="utf-8-sig", newline="") as f:
            trials = list(csv.reader(f))
        check_people("t.csv", trials[0], trials[1::3], keys["lab.key"])

        with open(outputs["o.csv"], encoding="utf-8-sig", newline="") as f:
            others = list(csv.reader(f))
        check_people("o.csv", others[0], others[1:], keys["other.key"])
        for mine, theirs in zip(rows[1:], others[1:]):
            check(mine[1] == theirs[1] == "" or mine[1] != theirs[1], "two keys gave one pseudonym")
        check(rows[10][1] == rows[11][1] != "", "one woman's two tests have two pseudonyms")

    if FAILURES:
        for failure in FAILURES:
            print("FAIL:", failure)
        return 1
    print(f"pseudonymised exports: {len(PEOPLE)} people, csv, xlsx and trials under two keys: all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
