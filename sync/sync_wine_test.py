#!/usr/bin/python3
"""tivora-sync.exe under wine64 against a PostgreSQL 15 server started here on Linux, over TLS with the
server's certificate checked (sslmode=verify-full), the password from libpq's password file in %APPDATA%.

The Windows station_feed.exe stores tests with their timing records into one folder, report_fixture.exe
writes a table of damaged, edited and deleted rows into another; both folders and the configuration's own
folder have Czech letters in their names. tivora-sync.exe sets up the database (migrate, add-office) and
collects them with --once; the Linux tivora-sync collects the same folders into a second database. Both
databases must then hold the same tests, versions, trials, events and passes (everything but the ids,
times and paths, which differ by nature); a second pass adds nothing; an edited row gives one new version
on both. Last, tivora-sync.exe collects until Ctrl+C (SIGINT, which Wine hands to the program's console
handler as CTRL_C_EVENT): a test stored meanwhile is collected, and the program says "stopped" and exits 0.

Usage: sync_wine_test.py --sync tivora-sync.exe --feed station_feed.exe --fixture report_fixture.exe
           --linux-sync tivora-sync --pg-bindir DIR --work DIR -- WINE_RUN [ARG]...
Exit status 77 (skipped) when the machine has no PostgreSQL server."""

import argparse
import glob
import os
import queue
import shutil
import signal
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "packaging", "windows", "libpq"))
sys.path.insert(0, os.path.join(HERE, "..", "tools", "e2e"))
from libpq_wine_test import PASSWORD, USER, Server, make_certificates, windows_path  # noqa: E402
from harness import dbase_records  # noqa: E402

OFFICE = "Kolín"

# The collected state without what differs between two databases filled alike: ids, times and paths.
VERSIONS = """SELECT s.name, encode(t.content_key, 'hex'), t.ordinal, v.version_no, v.pass_no, v.record_no, v.flag,
    v.deleted, encode(v.content_hash, 'hex'), encode(v.head_hash, 'hex'), encode(v.lists_hash, 'hex'),
    encode(v.raw, 'hex'), v.surname, v.first_name, v.rc_1, v.rc_2, v.date_text, v.birth_key, v.test_date,
    v.count_1, v.count_2, v.count_3, v.count_4, v.mean_1, v.mean_2, v.mean_3, v.mean_4, v.premature_1,
    v.premature_2, v.premature_3, v.premature_4, v.ser1a, v.ser1b, v.ser2a, v.ser2b, v.ser3a, v.ser3b, v.ser4a,
    v.ser4b, v.issues, v.has_error
FROM tivora.tests t JOIN tivora.versions v USING (test_id) LEFT JOIN tivora.stations s USING (station_id)
ORDER BY 1, 2, 3, 4"""
TRIALS = """SELECT s.name, encode(t.content_key, 'hex'), t.ordinal, r.line, r.test_time, r.block, r.series,
    r.foreperiod_programmed_ms, r.foreperiod_measured_us, r.onset_us, r.response_us, r.rt_us, r.rt_stored_ms,
    r.premature, r.input, r.response_stamp, r.onset_stamp
FROM tivora.trials r JOIN tivora.tests t USING (test_id) LEFT JOIN tivora.stations s USING (station_id)
ORDER BY 1, 2, 3, 4"""
PASSES = """SELECT s.name, p.pass_no, p.epoch, p.records, p.file_size, encode(p.header, 'hex'), p.timing_offset
FROM tivora.passes p LEFT JOIN tivora.stations s USING (station_id) ORDER BY 1, 2"""
EVENTS = """SELECT s.name, e.pass_no, e.seq, e.kind, e.record_no, encode(t.content_key, 'hex'), e.detail
FROM tivora.events e JOIN tivora.passes p USING (lineage_id, pass_no) LEFT JOIN tivora.stations s
    ON s.station_id = p.station_id LEFT JOIN tivora.tests t ON t.test_id = e.test_id ORDER BY 1, 2, 3"""


def windows(path):
    """The path as a Windows program names it on Wine's drive Z:, with Windows' separators."""
    return "Z:" + path.replace("/", "\\")


def edit_field(table, record, field, old, new):
    """Writes `new` over `old` inside field `field` of record `record` (1-based), as the browser edits a value."""
    rows, header, length, fields = dbase_records(table)
    offset, width = fields[field]
    value = rows[record - 1][offset:offset + width]
    assert old in value, (value, old)
    changed = value.replace(old, new, 1)
    with open(table, "r+b") as f:
        f.seek(header + (record - 1) * length + offset)
        f.write(changed)


class Check:
    def __init__(self):
        self.failed = []

    def __call__(self, good, what, detail=""):
        print(f"{'ok' if good else 'FAILED'}: {what}" + (f"\n  {detail}" if detail and not good else ""))
        if not good:
            self.failed.append(what)
        return good


def main():
    parser = argparse.ArgumentParser()
    for option in ("--sync", "--feed", "--fixture", "--linux-sync", "--pg-bindir", "--work"):
        parser.add_argument(option, required=True)
    parser.add_argument("wine_run", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    wine_run = [word for word in args.wine_run if word != "--"] + ["--"]
    if not os.path.exists(os.path.join(args.pg_bindir, "initdb")):
        print(f"SKIPPED: no PostgreSQL server in {args.pg_bindir} (Debian's postgresql-15)")
        return 77
    if not os.access(args.linux_sync, os.X_OK):
        print(f"FAILED: no Linux tivora-sync at {args.linux_sync} to compare with (TIVORA_LINUX_SYNC)")
        return 1
    shutil.rmtree(args.work, ignore_errors=True)
    office = os.path.join(args.work, "Zkouška Řehoř")
    feed_folder = os.path.join(office, "Stanice Č. 1")
    varied_folder = os.path.join(office, "Ordinace 2")
    settings_folder = os.path.join(args.work, "Nastavení Čeněk")
    for folder in (feed_folder, varied_folder, settings_folder):
        os.makedirs(folder)
    env = dict(os.environ)
    for name in ("PGPASSWORD", "PGPASSFILE", "PGSERVICE", "PGHOST", "PGUSER", "PGDATABASE"):
        env.pop(name, None)
    env.pop("DISPLAY", None)
    check = Check()

    def wine(program, *words, cwd=None, timeout=300):
        started = time.monotonic()
        result = subprocess.run([*wine_run, program, *words], env=env, cwd=cwd, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True, errors="replace", timeout=timeout)
        seconds = time.monotonic() - started
        return result.returncode, result.stdout.replace("\r\n", "\n"), result.stderr.replace("\r\n", "\n"), seconds

    code, _, err, _ = wine(args.feed, windows(feed_folder), "5", "1", "6")
    check(code == 0, "station_feed.exe stored 6 tests with their timing records", err)
    # The fixture's argv is in the code page, which lacks letters of the folder's name: a relative path.
    code, _, err, _ = wine(args.fixture, "varied", "tivora4.DBF", cwd=varied_folder)
    check(code == 0, "report_fixture.exe wrote the varied table", err)
    if check.failed:
        return 1

    # libpq's password file where Windows' libpq looks for it: %APPDATA%\postgresql\pgpass.conf.
    code, _, err, _ = wine(args.sync, "--version")
    prefix = wine_run[wine_run.index("--prefix") + 1]
    appdata = glob.glob(os.path.join(prefix, "drive_c", "users", "*", "AppData", "Roaming"))
    appdata = [path for path in appdata if os.path.basename(os.path.dirname(os.path.dirname(path))) != "Public"]
    if not check(code == 0 and len(appdata) == 1, "the Wine prefix has one user's %APPDATA%", f"{appdata} {err}"):
        return 1
    passfile = os.path.join(appdata[0], "postgresql", "pgpass.conf")

    server = Server(args.pg_bindir)
    try:
        ca, _, certificate, key = make_certificates(server.folder)
        server.start(certificate, key)
        os.makedirs(os.path.dirname(passfile), exist_ok=True)
        with open(passfile, "w", encoding="utf-8") as out:
            out.write(f"localhost:{server.port}:*:*:{PASSWORD}\n")
        linux_pass = os.path.join(server.folder, "pgpass")
        with open(linux_pass, "w", encoding="utf-8") as out:
            out.write(f"localhost:{server.port}:*:*:{PASSWORD}\n")
        os.chmod(linux_pass, 0o600)

        def psql(database, sql):
            return server.command("psql", "-X", "-q", "-A", "-t", "-h", server.folder, "-p", str(server.port),
                                  "-U", "postgres", "-d", database, "-v", "ON_ERROR_STOP=1", "-c", sql).stdout

        psql("postgres", f"ALTER ROLE postgres PASSWORD '{PASSWORD}'")
        psql("postgres", "CREATE DATABASE win")
        psql("postgres", "CREATE DATABASE lin")
        tls = "sslmode=verify-full sslrootcert="
        win_base = f"host=localhost port={server.port} dbname=win connect_timeout=20"
        lin_base = f"host=localhost port={server.port} dbname=lin connect_timeout=20"

        def linux(*words):
            result = subprocess.run([args.linux_sync, *words], env=dict(env, PGPASSFILE=linux_pass),
                                    stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=300)
            return result.returncode, result.stdout, result.stderr

        # The administrator sets the database up from Windows; the other one is set up from Linux.
        code, out, err, seconds = wine(args.sync, "--connection", f"{win_base} user=postgres {tls}{windows_path(ca)}",
                                       "migrate")
        check(code == 0 and "applied 0001_collection.sql" in out, f"migrate under Wine ({seconds:.1f} s)",
              out + err)
        code, out, err, _ = wine(args.sync, "--connection", f"{win_base} user=postgres {tls}{windows_path(ca)}",
                                 "add-office", OFFICE, USER)
        check(code == 0 and out == f"Office {OFFICE} is collected by role {USER}\n",
              "add-office under Wine with a Czech office name", out + err)
        for words in (["migrate"], ["add-office", OFFICE, USER]):
            code, out, err = linux("--connection", f"{lin_base} user=postgres {tls}{ca}", *words)
            check(code == 0, "the Linux tivora-sync " + words[0], out + err)

        def config(base, ca_path, folders):
            lines = [f"connection = {base} user={USER}", "sslmode = verify-full", f"sslrootcert = {ca_path}",
                     f"office = {OFFICE}", "poll_seconds = 0.2", ""]
            for station, folder in folders:
                lines += [f"[{station}]", f"folder = {folder}"]
            return "\n".join(lines) + "\n"

        windows_config = os.path.join(settings_folder, "sync.conf")
        with open(windows_config, "w", encoding="utf-8") as out:
            out.write(config(win_base, windows_path(ca), [
                ("Stanice Č. 1", windows(feed_folder)), ("Ordinace 2", windows(varied_folder))]).replace("\n", "\r\n"))
        linux_config = os.path.join(server.folder, "sync.conf")
        with open(linux_config, "w", encoding="utf-8") as out:
            out.write(config(lin_base, ca, [("Stanice Č. 1", feed_folder), ("Ordinace 2", varied_folder)]))
        windows_config = windows(windows_config)

        def collect_both(what, expected):
            code, out, err, seconds = wine(args.sync, "--config", windows_config, "--once")
            check(code == 0 and out == expected, f"{what} under Wine: {out.strip()} ({seconds:.1f} s)", out + err)
            code, out, err = linux("--config", linux_config, "--once")
            check(code == 0 and out == expected, f"{what} on Linux: {out.strip()}", out + err)

        def compare(when):
            for name, sql in (("versions", VERSIONS), ("trials", TRIALS), ("passes", PASSES), ("events", EVENTS)):
                on_windows, on_linux = psql("win", sql), psql("lin", sql)
                rows = on_windows.count("\n")
                # The first passes find nothing worth an event: no rows is right for them.
                check(on_windows == on_linux and (rows > 0 or name == "events"), f"{when}: the {name} collected "
                      f"under Wine equal the Linux collector's ({rows} rows)", first_difference(on_windows, on_linux))

        collect_both("the first pass", "16 new tests, 0 new versions, trials of 6 tests\n")
        compare("after the first pass")
        # Every record of both tables is in the database as its bytes, once.
        stored = set(psql("win", "SELECT encode(raw, 'hex') FROM tivora.versions").split())
        in_tables = {row.hex() for folder in (feed_folder, varied_folder)
                     for row in dbase_records(os.path.join(folder, "tivora4.DBF"))[0]}
        check(stored == in_tables, "the versions hold the tables' records byte for byte")
        collect_both("a second pass", "0 new tests, 0 new versions, trials of 0 tests\n")
        edit_field(os.path.join(feed_folder, "tivora4.DBF"), 2, "PRIJM", b"Dvo", b"Nov")
        collect_both("after an edit", "0 new tests, 1 new versions, trials of 0 tests\n")
        compare("after the edit")
        current = psql("win", "SELECT surname FROM tivora.current_tests WHERE surname LIKE 'No%'")
        check(current.strip() == "Nov\u0159ák 5", "the current view shows the edited surname", current)

        # An archive imported once: its station is named after its folder.
        archive = os.path.join(office, "Archiv Čechy 2019")
        os.makedirs(archive)
        code, _, err, _ = wine(args.feed, windows(archive), "7", "1", "3")
        check(code == 0, "station_feed.exe stored an archive of 3 tests", err)
        for expected in ("3 new tests, 0 new versions, trials of 3 tests\n", "0 new tests"):
            code, out, err, seconds = wine(args.sync, "--config", windows_config, "import", windows(archive))
            code_linux, out_linux, err_linux = linux("--config", linux_config, "import", archive)
            check(code == 0 and code_linux == 0 and out == out_linux and out.startswith(expected),
                  f"import under Wine and on Linux: {out.strip()} ({seconds:.1f} s)", out + err + out_linux + err_linux)
        stations = psql("win", "SELECT string_agg(name, '|' ORDER BY name) FROM tivora.stations")
        check(stations.strip() == "Archiv Čechy 2019|Ordinace 2|Stanice Č. 1", "the archive's station is its "
              "folder's name", stations)

        # Collecting until Ctrl+C.
        collector = subprocess.Popen([*wine_run, args.sync, "--config", windows_config], env=env,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, errors="replace")
        lines = queue.Queue()
        threading.Thread(target=lambda: [lines.put(line.rstrip("\r\n")) for line in collector.stderr],
                         daemon=True).start()

        def wait_for(text, seconds):
            deadline = time.monotonic() + seconds
            seen = []
            while time.monotonic() < deadline:
                try:
                    line = lines.get(timeout=0.2)
                except queue.Empty:
                    continue
                seen.append(line)
                if text in line:
                    return True, seen
            return False, seen

        running, seen = wait_for("collecting 2 folder(s) for office " + OFFICE, 60)
        check(running, "tivora-sync.exe runs until stopped", "\n".join(seen))
        code, _, err, _ = wine(args.feed, windows(feed_folder), "5", "7", "1")
        # The row is stored before its timing record: a pass between the two collects the test, the next one
        # its trials.
        collected, seen = wait_for("trials of 1 test", 60)
        check(code == 0 and collected, "a test stored meanwhile is collected", "\n".join(seen) + err)
        started = time.monotonic()
        collector.send_signal(signal.SIGINT)
        try:
            code = collector.wait(timeout=30)
        except subprocess.TimeoutExpired:
            collector.kill()
            code = collector.wait()
        stopped, seen = wait_for("tivora-sync: stopped", 2)
        check(code == 0 and stopped, f"Ctrl+C: it says stopped and exits 0 ({time.monotonic() - started:.1f} s)",
              f"exit {code}: " + "\n".join(seen))
        code, out, err = linux("--config", linux_config, "--once")
        check(code == 0 and out.startswith("1 new test"), "the Linux collector collects the same test", out + err)
        compare("after the run until Ctrl+C")
    finally:
        server.stop()
        shutil.rmtree(os.path.dirname(passfile), ignore_errors=True)
    print(f"tivora-sync.exe under Wine: {'failed: ' + ', '.join(check.failed) if check.failed else 'passed'}")
    return 1 if check.failed else 0


def first_difference(a, b):
    a_lines, b_lines = a.split("\n"), b.split("\n")
    for number, (left, right) in enumerate(zip(a_lines, b_lines), start=1):
        if left != right:
            return f"line {number}:\n  Wine:  {left[:400]}\n  Linux: {right[:400]}"
    return f"{len(a_lines)} lines under Wine, {len(b_lines)} on Linux"


if __name__ == "__main__":
    sys.exit(main())
