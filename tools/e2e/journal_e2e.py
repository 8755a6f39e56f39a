#!/usr/bin/python3
"""End to end: the audit journal beside the table. The real tivora on a virtual X display stores a test;
started again, it stores a row through "pokus", and in the results browser a field is edited and a row
deleted, all by real X input. The journal must hold the four entries with the right old and new values,
`tivora-report verify` must find everything consistent (exit 0), the protocol and the export must show the
change. Then a value is changed in the table by another program and an entry removed from the journal:
verify must name the row and the break and end with a non-zero status."""

import argparse
import csv
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import check, start_tivora  # noqa: E402
from session import Session  # noqa: E402

PROGRAM = "".join(f"{item}\r\n" for item in (1, 1, 1, "77 tivora2.rtf", 1, 1, "88 tivora3.rtf", 1, 1))
EXIT_INCONSISTENT = 4
MENU_DBF = (20, 9)  # "DBF " in the menu bar: from the window's left, above the client area
# The grid of the data window's browser, in its client area: the first data row's surname cell.
GRID_ROW1_SURNAME = (60, 193)
GRID_ROW_HEIGHT = 19
FREE_AREA = (500, 340)       # beside the browser and the navigator


def journal_entries(path):
    with open(path, newline="", encoding="utf-8") as source:
        return list(csv.DictReader(source))


def run_test(s):
    """A whole test through to its stored row; the program ends after the closing screen."""
    s.enter_identity()
    s.press_data_ok()
    s.wait_screen("the first instruction screen")
    s.x.key("Return")
    for _ in range(3):
        s.trial()
    s.wait_screen("the screen before the measured trials")
    s.x.key("Return")
    s.trial(0.2)
    s.trial(0.2)
    s.wait_screen("the closing screen")
    s.x.key("Return")
    s.wait_for_end()


def wait_rows(s, count):
    deadline = time.monotonic() + 10
    while len(s.rows()) != count:
        check(time.monotonic() < deadline, f"expected {count} rows, found {len(s.rows())}")
        time.sleep(0.1)


def change_in_browser(s):
    """Started again: in the browser a row is inserted, the surname of row 1 edited and the inserted row
    deleted; then "pokus" stores a row."""
    program = start_tivora(s.x, s.tivora, s.work)
    try:
        window = s.x.find_window("Zadání dat")
        time.sleep(0.8)
        left, top, width, height = s.x.window_geometry(window)
        s.x.click(left + MENU_DBF[0], top + height - 353 - MENU_DBF[1])  # shows the browser
        time.sleep(0.5)
        s.shot("browser")
        cx, cy = s.data_window_client()
        s.x.click(cx + GRID_ROW1_SURNAME[0], cy + GRID_ROW1_SURNAME[1])
        time.sleep(0.3)
        s.x.key("Insert")                     # a new row, shown before row 1
        s.x.type("Vlozeny")                   # typing opens the cell's editor
        s.x.key("Return")                     # stores the text in the row
        s.x.key("ctrl+Home")                  # row 1 current: the new row is written behind the last
        time.sleep(0.3)
        s.x.key("F2")                         # row 1's surname edited
        s.x.key("End")
        s.x.type("ova")
        s.x.key("Return")
        s.x.key("Down")                       # row 2 current: row 1 is written
        time.sleep(0.5)
        s.shot("edited")
        s.x.key("ctrl+Delete")                # row 2, the inserted one, deleted
        s.wait_for_box("Confirm")
        s.x.key("Return")
        time.sleep(0.5)
        s.shot("deleted")
        s.x.click(cx + FREE_AREA[0], cy + FREE_AREA[1], button=3)  # the data window's pop-up menu
        time.sleep(0.3)
        s.x.key("Down")                       # "test" is disabled: the first item taken is "pokus"
        s.x.key("Return")
        wait_rows(s, 2)                       # row 2 is deleted: dbfread leaves it out
        s.exit()
        code = program.wait(timeout=30)
        check(code == 0, f"tivora ended with exit code {code}")
    except BaseException:
        s.shot("failed")
        program.close(False)
        raise
    program.close(True)


def check_journal(s):
    entries = journal_entries(s.path("tivora4_audit.csv"))
    found = [(e["seq"], e["action"], e["row"], e["field"], e["old_value"], e["new_value"]) for e in entries]
    expected = [("1", "test_stored", "1", "", "", ""), ("2", "row_inserted", "2", "", "", ""),
                ("3", "field_edited", "1", "PRIJM", "Novak", "Novakova"), ("4", "row_deleted", "2", "", "", ""),
                ("5", "row_stored", "3", "", "", "")]
    check(found == expected, f"the journal holds {found}, expected {expected}")
    check(entries[0]["rows_at_start"] == "0", "entry 1 does not say the table was empty")
    for entry in entries:
        check(entry["station"] and entry["user"], f"entry {entry['seq']} names no station or user")


def verify(report, table):
    result = subprocess.run([report, "verify", table], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    print(result.stdout, result.stderr, sep="")
    return result


def check_protocol_and_export(report, table, work):
    pdf = os.path.join(work, "protocol.pdf")
    subprocess.run([report, "protocol", table, "--row", "1", "--output", pdf], check=True)
    text = subprocess.run(["pdftotext", pdf, "-"], stdout=subprocess.PIPE, text=True, check=True).stdout
    check("změněno pole PRIJM" in text and "„Novak“" in text and "„Novakova“" in text,
          f"the protocol does not show the change:\n{text}")
    exported = os.path.join(work, "export.csv")
    subprocess.run([report, "export", table, "--format", "csv", "--output", exported], check=True)
    with open(exported, newline="", encoding="utf-8-sig") as source:
        rows = list(csv.DictReader(source))
    check(len(rows) == 2 and rows[0]["changes"] == "1" and rows[0]["last_change"] and rows[1]["changes"] == "0",
          f"the export's change columns: {[(r['changes'], r['last_change']) for r in rows]}")


def tamper(table, journal):
    """Another program changes row 1's first name in the table (in place, as any dBase writer would), and
    entry 2 is removed from the journal."""
    with open(table, "r+b") as f:
        header = f.read(32)
        header_length = int.from_bytes(header[8:10], "little")
        f.seek(header_length + 1 + 15)  # row 1, field JMENO (after the flag and PRIJM C 15)
        f.write(b"Petr")
    with open(journal, "rb") as f:
        lines = f.read().split(b"\r\n")
    del lines[2]
    with open(journal, "wb") as f:
        f.write(b"\r\n".join(lines))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tivora")
    parser.add_argument("report")
    parser.add_argument("sample")
    parser.add_argument("--screenshots", help="folder for screenshots (PPM)")
    args = parser.parse_args()
    with Session(args.tivora, args.sample, PROGRAM, screenshots=args.screenshots) as s:
        run_test(s)
        change_in_browser(s)
        check_journal(s)
        table = s.path("tivora4.DBF")
        result = verify(args.report, table)
        check(result.returncode == 0, f"verify ended with {result.returncode} on an untouched table")
        check_protocol_and_export(args.report, table, s.work)
        tamper(table, s.path("tivora4_audit.csv"))
        result = verify(args.report, table)
        check(result.returncode == EXIT_INCONSISTENT, f"verify ended with {result.returncode} after tampering")
        check("row 1: changed outside Tivora" in result.stdout, "verify does not name the changed row")
        check("journal broken at line 3: entry 2 is missing before entry 3" in result.stdout,
              "verify does not name the break")
    print("end-to-end journal test passed")


if __name__ == "__main__":
    main()
