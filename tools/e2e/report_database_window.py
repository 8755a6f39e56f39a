#!/usr/bin/python3
"""The examiner's window on the central database, driven as an examiner drives it: tivora-report started
with --database on a PostgreSQL 15 server started here (two offices' tests from a table, their records'
bytes as the collector stores them), an office typed into the office field and chosen with Enter, the
chosen test's protocol shown; then the server stopped and the list asked for again with F5: a box says
the server cannot be reached, and once it is closed and the server back, F5 lists the tests again.
Screenshots (PNG) go to the output folder.

Usage: report_database_window.py --report tivora-report --fixture report_fixture --schema 0001.sql [--schema 0002.sql]...
           --pg-bindir DIR --work DIR
Exit status 77 (skipped) when the machine has no PostgreSQL server or no Xvfb."""

import argparse
import os
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(ROOT, "packaging", "windows", "libpq"))
from harness import Failures, Program, dbase_records, tivora_environment  # noqa: E402
from libpq_wine_test import PASSWORD, USER, Server, make_certificates  # noqa: E402
from xsession import XSession  # noqa: E402

OFFICES = ("Brno", "Plzen")


def fill(server, schemas, table):
    """The collection's schema (its migrations in order); the table's shown tests as two offices' (the first half Brno's), one
    version each."""
    rows = [record for record in dbase_records(table)[0] if record[0:1] != b"*"]
    half = len(rows) // 2
    values = []
    for number, record in enumerate(rows, start=1):
        office = 1 if number <= half else 2
        values.append(f"({number}, {office}, {number}, {record[0]}, '\\x{record.hex()}'::bytea)")
    sql = os.path.join(server.folder, "fill.sql")
    with open(sql, "w", encoding="utf-8") as out:
        out.write("CREATE SCHEMA tivora;\nCREATE TABLE tivora.migrations (version int);\n")
        for schema in schemas:
            with open(schema, encoding="utf-8") as text:
                out.write(text.read() + "\n")
        out.write(f"\nGRANT tivora_report TO {USER};\n")
        for office, name in enumerate(OFFICES, start=1):
            out.write(f"INSERT INTO tivora.offices (name, collector_role) VALUES ('{name}', 'postgres');\n"
                      f"INSERT INTO tivora.stations (office_id, name) VALUES ({office}, 'Stanice {office}');\n"
                      f"INSERT INTO tivora.lineages (office_id, first_path) VALUES ({office}, 'tivora4.DBF');\n")
        out.write("CREATE TEMP TABLE fill (t int, o int, r int, f int, b bytea);\n"
                  "INSERT INTO fill VALUES\n" + ",\n".join(values) + ";\n"
                  "INSERT INTO tivora.tests (test_id, office_id, content_key, ordinal, lineage_id, station_id)"
                  " SELECT t, o, sha256(t::text::bytea), 1, o, o FROM fill;\n"
                  "INSERT INTO tivora.versions (test_id, version_no, office_id, lineage_id, pass_no, record_no,"
                  " flag, deleted, content_hash, head_hash, lists_hash, raw)"
                  " SELECT t, 1, o, o, 1, r, f, false, '\\x00', '\\x00', '\\x00', b FROM fill;\n")
    server.own(sql, 0o644)
    server.command("psql", "-X", "-q", "-h", server.folder, "-p", str(server.port), "-U", "postgres", "-d",
                   "postgres", "-v", "ON_ERROR_STOP=1", "-f", sql)
    return half, len(rows) - half


def png(x, folder, name):
    """Saves the screen as folder/name.png; returns the path."""
    os.makedirs(folder, exist_ok=True)
    ppm = os.path.join(folder, name + ".ppm")
    x.screen().save_ppm(ppm)
    path = os.path.join(folder, name + ".png")
    subprocess.run(["convert", ppm, path], check=True)
    os.remove(ppm)
    return path


def shares(screen, left, top, right, bottom):
    """The shares of white and of dark pixels in a rectangle of the screen, every 2nd pixel sampled."""
    white = dark = total = 0
    for y in range(top, bottom, 2):
        for x in range(left, right, 2):
            total += 1
            level = sum(screen.pixel(x, y))
            white += level >= 750
            dark += level < 300
    return white / max(total, 1), dark / max(total, 1)


def wait_gone(x, name, timeout=20.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", name], env=x.env,
                               stdout=subprocess.PIPE, text=True).stdout.split()
        if not found:
            return True
        time.sleep(0.1)
    return False


def main():
    parser = argparse.ArgumentParser()
    for option in ("--report", "--fixture", "--pg-bindir", "--work"):
        parser.add_argument(option, required=True)
    parser.add_argument("--schema", dest="schemas", required=True, action="append")
    args = parser.parse_args()
    if not os.path.exists(os.path.join(args.pg_bindir, "initdb")) or not shutil.which("Xvfb"):
        print("SKIPPED: no PostgreSQL server or no Xvfb")
        return 77
    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    table = os.path.join(args.work, "tivora4.DBF")
    subprocess.run([args.fixture, "varied", table], check=True)
    failures = Failures()
    server = Server(args.pg_bindir)
    x = None
    try:
        server.start(*make_certificates(server.folder)[2:])
        brno, _ = fill(server, args.schemas, table)
        conninfo = f"host=127.0.0.1 port={server.port} dbname=postgres user={USER} sslmode=disable connect_timeout=5"
        x = XSession(1280, 900)
        env = tivora_environment(x, PGPASSWORD=PASSWORD, XDG_CONFIG_HOME=os.path.join(args.work, "config"))
        with Program([args.report, "--database", conninfo], args.work, env,
                     os.path.join(args.work, "report.log")) as report:
            window = x.find_window("database postgres on", timeout=60)
            x.xdotool("windowmove", window, 0, 0)
            x.xdotool("windowfocus", "--sync", window)
            time.sleep(0.5)
            # The office field has the focus once the tests are listed.
            x.type("Brno")
            x.key("Return")
            window = x.find_window("database postgres on .* – Brno", timeout=60)
            time.sleep(1.0)
            shot = png(x, args.work, "report-database-window")
            screen = x.screen()
            # The protocol's page is painted in the right half: a white sheet with text and plots on it.
            white, dark = shares(screen, 640, 60, 1040, 600)
            failures.check(white > 0.5 and dark > 0.002, f"no protocol painted in the preview ({white}, {dark})")
            print(f"window on the database, office Brno ({brno} tests): {shot}")

            server.command("pg_ctl", "-D", server.data, "-m", "fast", "-w", "stop")
            x.xdotool("windowfocus", "--sync", window)
            x.key("F5")
            box = x.find_window("Tivora-report", timeout=30)
            png(x, args.work, "report-database-server-away")
            failures.check(report.poll() is None, "tivora-report ended when the server went away")
            x.xdotool("windowfocus", "--sync", box)
            x.key("Return")
            failures.check(wait_gone(x, "Tivora-report"), "the message box did not close")
            server.command("pg_ctl", "-D", server.data, "-l", os.path.join(server.folder, "server.log"), "-w",
                           "start")
            window = x.find_window("Tivora – výsledky", timeout=10)
            x.xdotool("windowfocus", "--sync", window)
            x.key("F5")
            x.find_window("database postgres on .* – Brno", timeout=60)
            failures.check(report.poll() is None, "tivora-report did not go on after the server came back")
            png(x, args.work, "report-database-back")
    except Exception as error:  # noqa: BLE001 - any failure of the driver is the test's failure
        failures.check(False, f"{type(error).__name__}: {error}")
    finally:
        if x:
            x.close()
        server.stop()
    for failure in failures:
        print("FAILED:", failure)
    print(f"the window on the database: {'failed' if failures else 'passed'}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
