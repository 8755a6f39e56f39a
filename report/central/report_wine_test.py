#!/usr/bin/python3
"""tivora-report.exe under wine64 reading the central database from a PostgreSQL 15 server started here on
Linux: the tests of a table (Czech names, edits, a deleted row, damaged rows) are put into the collection's
schema with their records' bytes as the collector stores them, and tivora-report.exe's CSV export from the
database must equal its export of the table cell for cell, with the office and station behind. A password
in the connection string is refused; the password comes from PGPASSWORD.

Usage: report_wine_test.py --report tivora-report.exe --fixture report_fixture.exe --schema 0001.sql
           [--schema 0002.sql]... --pg-bindir DIR --work DIR -- WINE_RUN [ARG]...
Exit status 77 (skipped) when the machine has no PostgreSQL server."""

import argparse
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "packaging", "windows", "libpq"))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools", "e2e"))
from libpq_wine_test import PASSWORD, USER, Server, make_certificates  # noqa: E402
from harness import dbase_records  # noqa: E402


def fill(server, schemas, table, work):
    """The collection's schema (its migrations in order), and the table's tests as one office's, one version each."""
    rows = []
    for number, record in enumerate(dbase_records(table)[0], start=1):
        deleted = "true" if record[0:1] == b"*" else "false"
        rows.append(f"({number}, 1, {number}, {record[0]}, {deleted}, '\\x{record.hex()}'::bytea)")
    sql = os.path.join(server.folder, "fill.sql")
    with open(sql, "w", encoding="utf-8") as out:
        out.write("CREATE SCHEMA tivora;\nCREATE TABLE tivora.migrations (version int);\n")
        for schema in schemas:
            with open(schema, encoding="utf-8") as text:
                out.write(text.read() + "\n")
        out.write(f"\nGRANT tivora_report TO {USER};\n"
                  f"INSERT INTO tivora.offices (name, collector_role) VALUES ('České Budějovice', 'postgres');\n"
                  "INSERT INTO tivora.stations (office_id, name) VALUES (1, 'Stanice 1');\n"
                  "INSERT INTO tivora.lineages (office_id, first_path) VALUES (1, 'tivora4.DBF');\n"
                  "INSERT INTO tivora.tests (test_id, office_id, content_key, ordinal, lineage_id, station_id)"
                  " SELECT n, 1, sha256(n::text::bytea), 1, 1, 1 FROM generate_series(1, "
                  f"{len(rows)}) n;\n"
                  "INSERT INTO tivora.versions (test_id, version_no, office_id, lineage_id, pass_no, record_no,"
                  " flag, deleted, content_hash, head_hash, lists_hash, raw)"
                  " SELECT t, v, 1, 1, 1, r, f, d, '\\x00', '\\x00', '\\x00', b FROM (VALUES\n"
                  + ",\n".join(rows) + "\n) AS x(t, v, r, f, d, b);\n")
    server.own(sql, 0o644)
    server.command("psql", "-X", "-q", "-h", server.folder, "-p", str(server.port), "-U", "postgres", "-d",
                   "postgres", "-v", "ON_ERROR_STOP=1", "-f", sql)


def main():
    parser = argparse.ArgumentParser()
    for option in ("--report", "--fixture", "--pg-bindir", "--work"):
        parser.add_argument(option, required=True)
    parser.add_argument("--schema", required=True, action="append")
    parser.add_argument("wine_run", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    wine_run = [word for word in args.wine_run if word != "--"] + ["--"]
    if not os.path.exists(os.path.join(args.pg_bindir, "initdb")):
        print(f"SKIPPED: no PostgreSQL server in {args.pg_bindir} (Debian's postgresql-15)")
        return 77
    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    table = os.path.join(args.work, "tivora4.DBF")
    env = dict(os.environ, PGPASSWORD=PASSWORD)
    subprocess.run([*wine_run, args.fixture, "varied", table], check=True, env=env)
    server = Server(args.pg_bindir)
    failed = []
    try:
        certificate, key = make_certificates(server.folder)[2:]
        server.start(certificate, key)
        fill(server, args.schema, table, args.work)
        conninfo = f"host=127.0.0.1 port={server.port} dbname=postgres user={USER} sslmode=disable"

        def report(*words):
            result = subprocess.run([*wine_run, args.report, *words], env=env, stdout=subprocess.PIPE,
                                    stderr=subprocess.STDOUT, text=True, errors="replace", timeout=300)
            return result.returncode, result.stdout.replace("\r\n", "\n")

        from_table = os.path.join(args.work, "table.csv")
        from_database = os.path.join(args.work, "database.csv")
        table_status, table_output = report("export", table, "--format", "csv", "--output", from_table)
        status, output = report("export", "--database", conninfo, "--format", "csv", "--output", from_database)
        if status != table_status or not os.path.exists(from_database):
            failed.append(f"the export from the database exited {status} (the table's {table_status}):\n{output}")
        else:
            compared = subprocess.run([sys.executable, os.path.join(HERE, "compare_exports.py"), "csv", from_table,
                                       from_database, "České Budějovice", "Stanice 1"],
                                      stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
            print("export from the database:", compared.stdout.strip())
            if compared.returncode != 0:
                failed.append("the exports differ: " + compared.stdout)
        status, output = report("export", "--database", conninfo + " password=" + PASSWORD, "--format", "csv",
                                "--output", os.path.join(args.work, "refused.csv"))
        if status != 2 or "holds a password" not in output or PASSWORD in output:
            failed.append(f"a password on the command line was not refused (exit {status}):\n{output}")
    finally:
        server.stop()
    for failure in failed:
        print("FAILED:", failure)
    print(f"tivora-report.exe and the database under Wine: {'failed' if failed else 'passed'}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
