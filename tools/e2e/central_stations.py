#!/usr/bin/python3
"""End to end with the central database: three stations store into one folder at the same time (the real
tivora doing a whole test by X input on a virtual display, and two station tools storing finished tests
as the program does) while tivora-sync collects the folder. Then every row of the table is in the
database exactly once, equal field by field to the table as dbfread reads it (and byte for byte), and
every line of the timing record equal value by value to the trials collected with it.

central_stations.py TIVORA TIVORA_SYNC STATION_FEED SAMPLE COLLECTOR_CONNINFO ADMIN_CONNINFO OFFICE"""

import csv
import io
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import dbfread

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from tivora_run import started_tivora  # noqa: E402
from whole_test import PROGRAM, check, run as whole_test  # noqa: E402
from xsession import XSession  # noqa: E402

FEED_TESTS = 12
HEADER, RECORD = 833, 2138
FIELDS = ["PRIJM", "JMENO", "RC_1", "RC_2", "DATE", "POC_1SER", "POC_2SER", "POC_3SER", "POC_4SER", "PRUMER1",
          "PRUMER2", "PRUMER3", "PRUMER4", "POC_PRED1", "POC_PRED2", "POC_PRED3", "POC_PRED4", "SER1A", "SER1B",
          "SER2A", "SER2B", "SER3A", "SER3B", "SER4A", "SER4B"]
COLUMNS = ["surname", "first_name", "rc_1", "rc_2", "date_text", "count_1", "count_2", "count_3", "count_4",
           "mean_1", "mean_2", "mean_3", "mean_4", "premature_1", "premature_2", "premature_3", "premature_4",
           "ser1a", "ser1b", "ser2a", "ser2b", "ser3a", "ser3b", "ser4a", "ser4b"]
TRIAL_COLUMNS = ["test_time", "line", "block", "series", "foreperiod_programmed_ms", "foreperiod_measured_us",
                 "onset_us", "response_us", "rt_us", "rt_stored_ms", "premature", "input", "response_stamp",
                 "onset_stamp"]


def query(conninfo, sql):
    """Rows of `sql` as dictionaries, through psql's CSV output."""
    out = subprocess.run(["psql", "-X", "-q", "--csv", "-d", conninfo, "-c", sql], check=True,
                         stdout=subprocess.PIPE, text=True).stdout
    return list(csv.DictReader(io.StringIO(out)))


def same(table_value, db_value):
    """A dbfread value against psql's text of the column (empty for NULL)."""
    if table_value is None or table_value == "":
        return db_value == ""
    if isinstance(table_value, (int, float)):
        return db_value != "" and float(db_value) == float(table_value)
    # Text as the table engine reads it: without leading and trailing blanks and control bytes.
    return table_value.strip("".join(map(chr, range(33)))) == db_value


def main():
    tivora, sync, feed, sample, collector, admin, office = sys.argv[1:8]
    work = tempfile.mkdtemp(prefix="tivora_central_e2e_")
    for name in ("tivora1.rtf", "tivora2.rtf", "tivora3.rtf"):
        shutil.copy(os.path.join(sample, name), work)
    with open(os.path.join(work, "program.txt"), "w", newline="") as out:
        out.write(PROGRAM)
    config = os.path.join(work, "sync.conf")
    with open(config, "w") as out:
        out.write(f"connection = {collector}\noffice = {office}\npoll_seconds = 0.2\n\n[Sdílená složka]\nfolder = {work}\n")
    sync_log = open(os.path.join(work, "sync.log"), "w")
    collecting = subprocess.Popen([sync, "--config", config], stdout=sync_log, stderr=subprocess.STDOUT)
    x = XSession()
    passed = False
    try:
        with started_tivora(x, tivora, work) as app:
            # The other stations begin once tivora has opened the table, as stations do at different times.
            x.find_window("Zadání dat")
            time.sleep(0.5)
            stations = [subprocess.Popen([feed, work, str(n), "1", str(FEED_TESTS), "150"],
                                         stdout=subprocess.DEVNULL) for n in (2, 3)]
            whole_test(x, app, None)
            check(app.wait(timeout=30) == 0, "tivora did not end well")
        for station in stations:
            check(station.wait(timeout=120) == 0, "a station tool failed")
        compare(os.path.join(work, "tivora4.DBF"), admin)
        passed = True
    finally:
        collecting.send_signal(signal.SIGTERM)
        collecting.wait(timeout=30)
        sync_log.close()
        x.close()
        if not passed:
            sys.stderr.write(open(os.path.join(work, "sync.log")).read())
    shutil.rmtree(work)
    print("central end-to-end test passed")


def compare(path, admin):
    table = list(dbfread.DBF(path, encoding="cp852", char_decode_errors="strict", load=True))
    check(len(table) == 1 + 2 * FEED_TESTS, f"the table has {len(table)} rows")
    with open(os.path.join(os.path.dirname(path), "tivora4_timing.csv"), newline="") as timing:
        lines = len(list(csv.DictReader(timing)))
    deadline = time.time() + 60
    while time.time() < deadline and int(query(admin, "SELECT count(*) AS n FROM tivora.trials")[0]["n"]) < lines:
        time.sleep(0.2)
    rows = query(admin, "SELECT c.*, encode(v.raw, 'hex') AS raw FROM tivora.current_tests c JOIN tivora.versions v "
                        "USING (test_id, version_no) ORDER BY record_no")
    check(len(rows) == len(table), f"{len(rows)} tests in the database for {len(table)} rows")
    check(int(query(admin, "SELECT count(*) AS n FROM tivora.versions")[0]["n"]) == len(table), "versions twice")
    data = open(path, "rb").read()
    for n, (record, row) in enumerate(zip(table, rows), start=1):
        check(int(row["record_no"]) == n, f"record {n} is missing")
        for field, column in zip(FIELDS, COLUMNS):
            check(same(record[field], row[column]), f"row {n}: {field} is {record[field]!r}, the database has "
                                                     f"{row[column]!r}")
        raw = data[HEADER + (n - 1) * RECORD:HEADER + n * RECORD]
        check(bytes.fromhex(row["raw"]) == raw, f"row {n}: the record's bytes differ")
    names = {record["PRIJM"] for record in table}
    check("Novák" in names, "the whole test's row is not in the table")
    compare_timing(os.path.join(os.path.dirname(path), "tivora4_timing.csv"), admin)


def compare_timing(path, admin):
    with open(path, newline="") as timing:
        lines = list(csv.DictReader(timing))
    trials = query(admin, "SELECT c.record_no, t.* FROM tivora.trials t JOIN tivora.current_tests c USING (test_id) "
                          "ORDER BY c.record_no, t.line")
    check(len(trials) == len(lines), f"{len(trials)} trials in the database, {len(lines)} lines in the record")
    by_key = {(t["record_no"], t["line"]): t for t in trials}
    for line in lines:
        trial = by_key.get((line["table_row"], line["line"]))
        check(trial is not None, f"row {line['table_row']} line {line['line']} is not in the database")
        for column in TRIAL_COLUMNS:
            check(trial[column] == line[column],
                  f"row {line['table_row']} line {line['line']}: {column} {line[column]!r} vs {trial[column]!r}")


if __name__ == "__main__":
    main()
