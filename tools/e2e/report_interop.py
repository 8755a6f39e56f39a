#!/usr/bin/python3
"""Checks what tivora-report writes with programs that read those formats on their own.

The tables come from report_fixture: people taking the sample test (with a timing record beside the
table for the last tests) and rows as hands and damage leave them. The oracle is the table itself, read
with dbfread; the reaction-time lists are decoded and the statistics computed here again, independently
of the program, with Python's statistics module. Then:

  - the CSV export, read back with Python's csv module (also with ';' and decimal commas),
  - the XLSX export, read back with openpyxl (real number cells, a header row) and with GDAL's XLSX
    driver, every part's checksum checked by Python's zipfile,
  - the per-trial export, against the lists and the timing record,
  - the protocol PDF, read with pdftotext: the identity and every statistic with its Czech value;
    one page is rendered with pdftoppm into ARTEFACTS as a PNG to look at,
  - text that a spreadsheet would run as a formula: after an apostrophe in CSV, a text cell in XLSX,
  - a protocol of absurd stored values: every word on the page and clear of its neighbours,
  - an export killed half-way: its temporary file is gone after the next export,
  - the command line's exit codes.

usage: report_interop.py TIVORA_REPORT REPORT_FIXTURE SAMPLE_PROGRAM ARTEFACTS [RUNNER...]

RUNNER is a command the programs run through (the Windows build's run them under Wine).
"""

import csv
import decimal
import io
import math
import os
import re
import statistics
import struct
import subprocess
import sys
import tempfile
import time
import zipfile

import dbfread
import openpyxl

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import Failures  # noqa: E402

LAPSE, ANTICIPATION = 500.0, 100.0
SERIES = range(1, 5)
STATISTICS = ["n", "mean", "median", "sd", "min", "max", "p10", "p90", "speed", "lapses", "anticipations",
              "premature"]
FAILURES = Failures()
check = FAILURES.check
RUNNER = []


def run(args, expect=0):
    result = subprocess.run(RUNNER + args, capture_output=True, text=True)
    check(result.returncode == expect,
          f"{' '.join(args)} exited {result.returncode}, expected {expect}: {result.stderr.strip()}")
    return result


# --- the oracle: the table as dbfread reads it ---------------------------------------------------------

def live_record_numbers(path):
    """Record numbers of the rows not marked deleted, from the file's own bytes."""
    with open(path, "rb") as table:
        data = table.read()
    header_length, record_length = struct.unpack("<HH", data[8:12])
    count = (len(data) - header_length) // record_length
    return [n + 1 for n in range(count) if data[header_length + n * record_length] == 0x20]


def read_table(path):
    rows = list(dbfread.DBF(path, encoding="cp852", char_decode_errors="strict"))
    numbers = live_record_numbers(path)
    check(len(rows) == len(numbers), f"{path}: dbfread sees {len(rows)} rows, the file {len(numbers)}")
    return list(zip(numbers, rows))


def decode_series(row, n):
    """The values of series n, whether the table cut list B, and whether the lists could be read."""
    a, b = (row[f"SER{n}A"] or "").strip(), (row[f"SER{n}B"] or "").strip()
    if not re.fullmatch(r"(\d+\|)*", a):
        return None, False
    cut = len(b) >= 254
    match = re.fullmatch(r"((?:\d+\|)*)(\d*)", b)
    if not match or (match.group(2) and not cut):
        return None, cut
    values = [int(v) for v in re.findall(r"(\d+)\|", a + match.group(1))]
    if any(v > 0xFFFFFFFF for v in values):
        return None, cut
    return values, cut


def read_timing(table_path):
    """The timing record's tests: {table_row: [trial lines of one store, ...]} in file order."""
    path = table_path[: table_path.rfind(".")] + "_timing.csv"
    tests = {}
    if not os.path.exists(path):
        return tests
    with open(path, newline="", encoding="utf-8") as record:
        previous = None
        for line in csv.DictReader(record):
            key = (line["test_time"], line["table_row"])
            if key != previous:
                tests.setdefault(int(line["table_row"]), []).append([])
                previous = key
            tests[int(line["table_row"])][-1].append(line)
    return tests


def fine_values(timing, record, decoded):
    """The timing record's measured trials per series for the row, when one of its tests matches and its
    microseconds are reaction times that round to the stored milliseconds."""
    for test in reversed(timing.get(record, [])):
        per_series = {n: [t for t in test if t["block"] == "measured" and t["series"] == str(n)] for n in SERIES}
        if all(decoded[n][0] is None or [int(t["rt_stored_ms"]) for t in per_series[n]] == decoded[n][0]
               for n in SERIES):
            trials = [t for n in SERIES if decoded[n][0] is not None for t in per_series[n]]
            plausible = all(int(t["rt_us"]) >= 0 and math.floor(int(t["rt_us"]) / 1000 + 0.5) == int(t["rt_stored_ms"])
                            for t in trials)
            return per_series if plausible else None
    return None


def describe(values, premature):
    """The statistics of a sample as the export gives them (None: an empty cell)."""
    result = dict.fromkeys(STATISTICS)
    result.update(n=len(values), lapses=sum(v >= LAPSE for v in values),
                  anticipations=sum(v < ANTICIPATION for v in values), premature=premature)
    if values:
        cuts = statistics.quantiles(values, n=10, method="inclusive") if len(values) > 1 else [values[0]] * 9
        positive = [1000.0 / v for v in values if v > 0]
        result.update(mean=statistics.fmean(values), median=statistics.median(values), min=min(values),
                      max=max(values), p10=cuts[0], p90=cuts[8],
                      sd=statistics.stdev(values) if len(values) > 1 else None,
                      speed=statistics.fmean(positive) if positive else None)
    return result


def mean_check(row, n, values):
    count, stored = row[f"POC_{n}SER"], row[f"PRUMER{n}"]
    if values is None or stored is None or not count or count <= 0:
        return ""
    if len(values) != count:
        return "not possible"

    def rounded(x):
        return math.floor(x + 0.5) if x >= 0 else -math.floor(-x + 0.5)
    if rounded(sum(values) / count) == stored:
        return "matches"
    return "16-bit total" if rounded((sum(values) % 65536) / count) == stored else "differs"


def expected_tests(path):
    """Every shown row: its record number, the fields, the statistics per block, checks and fine values."""
    timing = read_timing(path)
    expected = []
    for record, row in read_table(path):
        decoded = {n: decode_series(row, n) for n in SERIES}
        fine = fine_values(timing, record, decoded)
        blocks, block_values, all_valid, premature_sum = {}, [], True, 0
        for n in SERIES:
            values = decoded[n][0]
            if values is None:
                blocks[f"s{n}"] = dict.fromkeys(STATISTICS)
                all_valid = False
                continue
            used = [int(t["rt_us"]) / 1000.0 for t in fine[n]][: len(values)] if fine else values
            blocks[f"s{n}"] = describe(used, row[f"POC_PRED{n}"])
            block_values += used
            premature_sum += row[f"POC_PRED{n}"] or 0
        blocks["all"] = describe(block_values, premature_sum) if all_valid else dict.fromkeys(STATISTICS)
        expected.append({"record": record, "row": row, "decoded": decoded, "fine": fine, "blocks": blocks,
                         "checks": [mean_check(row, n, decoded[n][0]) for n in SERIES]})
    return expected


# --- the exports ----------------------------------------------------------------------------------------

def same_number(cell, value, where):
    if value is None:
        check(cell in ("", None), f"{where}: expected an empty cell, found {cell!r}")
        return
    try:
        number = float(cell)
    except (TypeError, ValueError):
        check(False, f"{where}: expected {value}, found {cell!r}")
        return
    check(math.isclose(number, value, rel_tol=1e-9, abs_tol=1e-9), f"{where}: expected {value}, found {cell!r}")


def check_test_rows(header, rows, expected, label, number=lambda cell: cell):
    check(len(rows) == len(expected), f"{label}: {len(rows)} rows, expected {len(expected)}")
    fields = [f.name for f in dbfread.DBF(TABLES[label.split()[0]], encoding="cp852").fields]
    check(header[: 1 + len(fields)] == ["row"] + fields, f"{label}: header starts {header[:5]}...")
    for cells, want in zip(rows, expected):
        cell = dict(zip(header, cells))
        where = f"{label} row {want['record']}"
        same_number(number(cell["row"]), want["record"], f"{where} row")
        for name in fields:
            value = want["row"][name]
            if isinstance(value, str):
                # Text as stored: blanks in front are kept, only the padding behind goes.
                check((cell[name] or "") == value.rstrip(), f"{where} {name}: {cell[name]!r} != {value.rstrip()!r}")
            else:
                same_number(number(cell[name]), value, f"{where} {name}")
        for block, stats in want["blocks"].items():
            for name in STATISTICS:
                same_number(number(cell[f"{block}_{name}"]), stats[name], f"{where} {block}_{name}")
        for n in SERIES:
            check((cell[f"s{n}_mean_check"] or "") == want["checks"][n - 1],
                  f"{where} s{n}_mean_check {cell[f's{n}_mean_check']!r}")
        same_number(number(cell["timing_record"]), 1 if want["fine"] else 0, f"{where} timing_record")


def check_csv(tool, table, expected, work, label):
    out = os.path.join(work, f"{label}.csv")
    run([tool, "export", table, "--format", "csv", "--output", out], expect=3 if label == "varied" else 0)
    raw = open(out, "rb").read()
    check(raw.startswith(b"\xef\xbb\xbf"), f"{label}.csv has no byte-order mark")
    check(b"\r\n" in raw and b"\n" not in raw.replace(b"\r\n", b""), f"{label}.csv line ends are not CR LF")
    rows = list(csv.reader(io.StringIO(raw.decode("utf-8-sig"), newline="")))
    check_test_rows(rows[0], rows[1:], expected, f"{label} csv")
    semicolon = os.path.join(work, f"{label}-semicolon.csv")
    run([tool, "export", table, "--format", "csv", "--output", semicolon, "--delimiter", ";", "--decimal-comma"],
        expect=3 if label == "varied" else 0)
    with open(semicolon, newline="", encoding="utf-8-sig") as source:
        rows = list(csv.reader(source, delimiter=";"))
    check_test_rows(rows[0], rows[1:], expected, f"{label} csv;", number=lambda cell: cell.replace(",", "."))


def check_xlsx(tool, table, expected, work, label):
    out = os.path.join(work, f"{label}.xlsx")
    run([tool, "export", table, "--format", "xlsx", "--output", out], expect=3 if label == "varied" else 0)
    sheet = openpyxl.load_workbook(out, read_only=True)["tests"]
    rows = [list(row) for row in sheet.iter_rows(values_only=True)]
    header = rows[0]
    check(all(isinstance(name, str) for name in header), f"{label}.xlsx: the header row is not text")
    for cells in rows[1:]:
        for name, cell in zip(header, cells):
            numeric = name == "row" or name.startswith(("POC_", "PRUMER")) or (
                "_" in name and name.split("_", 1)[1] in STATISTICS)
            if numeric and cell is not None:
                check(isinstance(cell, (int, float)), f"{label}.xlsx {name}: {cell!r} is not a number cell")
    check_test_rows(header, rows[1:], expected, f"{label} xlsx")
    with zipfile.ZipFile(out) as archive:
        damaged = archive.testzip()
        check(damaged is None, f"{label}.xlsx: the part {damaged} fails its checksum")
    # A second reader, with its own zip and XML code: GDAL, every cell as the text it holds.
    converted = subprocess.run(["ogr2ogr", "-f", "CSV", "/vsistdout/", out, "tests"], capture_output=True,
                               text=True, env=dict(os.environ, OGR_XLSX_HEADERS="FORCE",
                                                   OGR_XLSX_FIELD_TYPES="STRING"))
    check(converted.returncode == 0, f"{label}.xlsx: GDAL cannot read it: {converted.stderr.strip()}")
    rows = list(csv.reader(io.StringIO(converted.stdout, newline="")))
    check(rows and rows[0] == list(header), f"{label}.xlsx: GDAL reads another header")
    check_test_rows(rows[0], rows[1:], expected, f"{label} xlsx by GDAL")


def check_trials(tool, table, expected, work, label):
    out = os.path.join(work, f"{label}-trials.csv")
    run([tool, "export", table, "--format", "trials", "--output", out], expect=3 if label == "varied" else 0)
    with open(out, newline="", encoding="utf-8-sig") as source:
        lines = list(csv.DictReader(source))
    wanted = []
    for test in expected:
        for n in SERIES:
            values = test["decoded"][n][0] or []
            fine = test["fine"][n] if test["fine"] else []
            for i, value in enumerate(values):
                timing = fine[i] if i < len(fine) else None
                wanted.append([str(test["record"]), str(n), str(i + 1), str(value),
                               timing["rt_us"] if timing else "", timing["line"] if timing else "",
                               timing["input"] if timing else ""])
    found = [[line["row"], line["series"], line["trial"], line["rt_ms"], line["rt_us"], line["line"], line["input"]]
             for line in lines]
    check(found == wanted, f"{label} trials: {len(found)} lines differ from the {len(wanted)} expected")


# --- the protocol ---------------------------------------------------------------------------------------

def czech(value, decimals):
    """As the protocol writes a number: halves rounded away from zero, a decimal comma."""
    if value is None:
        return "–"
    rounded = decimal.Decimal(value).quantize(decimal.Decimal(1).scaleb(-decimals), rounding=decimal.ROUND_HALF_UP)
    return str(rounded).replace(".", ",")


def table_tokens(stats, whole_ms):
    minmax = 0 if whole_ms else 1
    return [str(stats["n"]), czech(stats["mean"], 1), czech(stats["median"], 1), czech(stats["sd"], 1),
            czech(stats["min"], minmax), czech(stats["max"], minmax), czech(stats["p10"], 1), czech(stats["p90"], 1),
            czech(stats["speed"], 2), "–" if stats["premature"] is None else str(stats["premature"]),
            str(stats["lapses"]), str(stats["anticipations"])]


def shown_on_protocol(test, n):
    """A series has its line when the row has it: trials, a count, premature responses, or a broken list."""
    values, row = test["decoded"][n][0], test["row"]
    return values is None or bool(values) or (row[f"POC_{n}SER"] or 0) > 0 or (row[f"POC_PRED{n}"] or 0) != 0


def check_protocol(tool, table, test, work, label, artefacts=None):
    pdf = os.path.join(work, f"{label}-{test['record']}.pdf")
    errors = any(test["decoded"][n][0] is None for n in SERIES)
    run([tool, "protocol", table, "--row", str(test["record"]), "--output", pdf], expect=3 if errors else 0)
    text = subprocess.run(["pdftotext", "-layout", pdf, "-"], capture_output=True, text=True).stdout
    where = f"{label} protocol of row {test['record']}"
    pages = subprocess.run(["pdfinfo", pdf], capture_output=True, text=True).stdout
    check(re.search(r"Pages:\s+1\b", pages) is not None, f"{where}: not one page")
    check("A4" in pages, f"{where}: not A4")
    row = test["row"]
    for value in (row["PRIJM"].strip(), row["JMENO"].strip(), row["DATE"].strip(),
                  row["RC_1"].strip() + "/" + row["RC_2"].strip()):
        check(value in text, f"{where}: {value!r} is missing")
    lines = text.splitlines()
    for block, stats in test["blocks"].items():
        if block != "all" and not shown_on_protocol(test, int(block[1])):
            continue
        name = "Celkem" if block == "all" else f"{block[1]}. série"
        found = [line.split() for line in lines if line.strip().startswith(name)]
        wanted = table_tokens(stats, test["fine"] is None) if stats["n"] is not None else ["–"] * 12
        check(any(tokens[len(name.split()):] == wanted for tokens in found),
              f"{where}: the line of {name} should read {wanted}, found {found}")
    if artefacts:
        os.makedirs(artefacts, exist_ok=True)
        subprocess.run(["pdftoppm", "-png", "-r", "100", "-singlefile", pdf,
                        os.path.join(artefacts, f"protocol-{label}-{test['record']}")], check=True)
    return text


# --- hostile cells, absurd values, killed exports -------------------------------------------------------

def patch_row(path, row, **fields):
    """Writes `fields` (name=text) into record `row` of the table at `path`, as a hand or damage would."""
    with open(path, "rb") as table:
        data = bytearray(table.read())
    header_length, record_length = struct.unpack("<HH", data[8:12])
    offsets, position = {}, 1
    for at in range(32, header_length - 1, 32):
        if data[at] == 0x0D:
            break
        name = data[at:at + 11].split(b"\0")[0].decode("ascii")
        offsets[name] = (position, data[at + 16])
        position += data[at + 16]
    base = header_length + (row - 1) * record_length
    for name, text in fields.items():
        offset, width = offsets[name]
        value = text.encode("cp852")
        value = value.rjust(width) if data[32 + 32 * list(offsets).index(name) + 11] in b"NF" else value.ljust(width)
        data[base + offset:base + offset + width] = value[:width]
    with open(path, "wb") as table:
        table.write(data)


def check_formulas(tool, work):
    """Text a spreadsheet would run as a formula is written after an apostrophe in CSV, never as a formula
    in XLSX, and numbers keep their sign."""
    table = os.path.join(work, "formulas", "tivora4.DBF")
    os.makedirs(os.path.dirname(table))
    with open(TABLES["sample"], "rb") as source, open(table, "wb") as target:
        target.write(source.read())
    patch_row(table, 1, PRIJM="=1+2", JMENO="@SUM(A1)")
    patch_row(table, 2, PRIJM="-Novák", JMENO="+420")
    patch_row(table, 3, PRUMER1="-5")
    cells = {1: ("=1+2", "@SUM(A1)"), 2: ("-Novák", "+420")}
    for raw in (False, True):
        out = os.path.join(work, f"formulas{'-raw' if raw else ''}.csv")
        run([tool, "export", table, "--format", "csv", "--output", out] + (["--raw-text"] if raw else []))
        with open(out, newline="", encoding="utf-8-sig") as source:
            rows = {int(row["row"]): row for row in csv.DictReader(source)}
        for record, texts in cells.items():
            for name, text in zip(("PRIJM", "JMENO"), texts):
                want = text if raw else "'" + text
                check(rows[record][name] == want, f"formulas csv raw={raw} row {record} {name}: {rows[record][name]!r}")
        check(float(rows[3]["PRUMER1"]) == -5.0, f"formulas csv: PRUMER1 {rows[3]['PRUMER1']!r} is not the number -5")
    out = os.path.join(work, "formulas.xlsx")
    run([tool, "export", table, "--format", "xlsx", "--output", out])
    sheet = openpyxl.load_workbook(out)["tests"]
    header = [cell.value for cell in sheet[1]]
    for record, texts in cells.items():
        for name, text in zip(("PRIJM", "JMENO"), texts):
            cell = sheet.cell(row=record + 1, column=header.index(name) + 1)
            check(cell.data_type == "s" and cell.value == text,
                  f"formulas xlsx row {record} {name}: {cell.data_type} {cell.value!r}")
    cell = sheet.cell(row=4, column=header.index("PRUMER1") + 1)
    check(cell.data_type == "n" and cell.value == -5, f"formulas xlsx PRUMER1: {cell.data_type} {cell.value!r}")


def check_absurd_protocol(tool, work, artefacts):
    """A protocol of a row with absurd stored values keeps every word on the page and in its own place."""
    table = os.path.join(work, "absurd", "tivora4.DBF")
    os.makedirs(os.path.dirname(table))
    with open(TABLES["sample"], "rb") as source, open(table, "wb") as target:
        target.write(source.read())
    patch_row(table, 1, PRUMER1="1e308", POC_1SER="2", SER1A="4294967295|4294967295|", SER1B="")
    pdf = os.path.join(work, "absurd.pdf")
    run([tool, "protocol", table, "--row", "1", "--output", pdf])
    layout = subprocess.run(["pdftotext", "-bbox", pdf, "-"], capture_output=True, text=True).stdout
    page = re.search(r'<page width="([\d.]+)" height="([\d.]+)"', layout)
    words = [(float(a), float(b), float(c), float(d), w) for a, b, c, d, w in re.findall(
        r'<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>', layout)]
    check(page is not None and words, "absurd protocol: pdftotext found no words")
    if not page:
        return
    margin = 15 / 25.4 * 72 - 2  # the protocol's 15 mm, less a little for the glyphs' own side bearings
    width = float(page.group(1))
    outside = [w for w in words if w[0] < margin or w[2] > width - margin]
    check(not outside, f"absurd protocol: words beyond the margins: {outside[:5]}")
    lines = {}
    for word in words:
        lines.setdefault(round(word[1]), []).append(word)
    for line in lines.values():
        line.sort()
        for left, right in zip(line, line[1:]):
            check(left[2] <= right[0] + 0.5, f"absurd protocol: {left[4]!r} runs into {right[4]!r}")
    if artefacts:
        subprocess.run(["pdftoppm", "-png", "-r", "100", "-singlefile", pdf, os.path.join(artefacts, "protocol-absurd")],
                       check=True)


def check_killed_export(tool, fixture, work):
    """An export killed before its end leaves a temporary file; the next export in that folder removes it."""
    table = os.path.join(work, "large", "tivora4.DBF")
    out = os.path.join(work, "killed")
    os.makedirs(os.path.dirname(table))
    os.makedirs(out)
    run([fixture, "large", table, "20000"])
    export = subprocess.Popen(RUNNER + [tool, "export", table, "--format", "xlsx", "--output",
                                        os.path.join(out, "big.xlsx")])
    for _ in range(2000):
        if any(name.startswith(".tivora-report-") for name in os.listdir(out)):
            break
        time.sleep(0.005)
    export.kill()
    export.wait()
    check(any(name.startswith(".tivora-report-") for name in os.listdir(out)), "killed export: no temporary file")
    run([tool, "export", TABLES["sample"], "--format", "csv", "--output", os.path.join(out, "next.csv")])
    check(sorted(os.listdir(out)) == ["next.csv"], f"killed export: left {sorted(os.listdir(out))}")


TABLES = {}


def main():
    tool, fixture, program, artefacts = sys.argv[1:5]
    RUNNER.extend(sys.argv[5:])
    work = tempfile.mkdtemp(prefix="tivora_report_")
    TABLES["sample"] = os.path.join(work, "sample", "tivora4.DBF")
    TABLES["varied"] = os.path.join(work, "varied", "tivora4.DBF")
    for table in TABLES.values():
        os.makedirs(os.path.dirname(table))
    run([fixture, "sample", program, TABLES["sample"]])
    run([fixture, "varied", TABLES["varied"]])

    for label, table in TABLES.items():
        expected = expected_tests(table)
        check_csv(tool, table, expected, work, label)
        check_xlsx(tool, table, expected, work, label)
        check_trials(tool, table, expected, work, label)
        if label == "sample":
            check(sum(1 for test in expected if test["fine"]) == 3, "the sample's timing record matches 3 tests")
            text = check_protocol(tool, table, expected[-1], work, label, artefacts)
            check("ze záznamu časování" in text, "the protocol says the timing record's values are used")
            check("Vývoj při opakovaných vyšetřeních" in text, "the protocol shows the earlier tests")
            check_protocol(tool, table, expected[0], work, label)
        else:
            for test in expected:
                text = check_protocol(tool, table, test, work, label, artefacts if test["record"] == 5 else None)
                if test["record"] == 5:
                    check("není číslice ani „|“" in text, "the damaged list is named on its protocol")

    check_formulas(tool, work)
    check_absurd_protocol(tool, work, artefacts)
    if not RUNNER:  # Wine's processes are not killed as one
        check_killed_export(tool, fixture, work)

    run([tool, "--help"])
    run([tool, "export", TABLES["sample"], "--format", "ods", "--output", os.path.join(work, "x")], expect=2)
    run([tool, "export", os.path.join(work, "none.DBF"), "--format", "csv", "--output", os.path.join(work, "x")],
        expect=1)
    run([tool, "protocol", TABLES["varied"], "--row", "2", "--output", os.path.join(work, "x.pdf")], expect=1)
    check(not os.path.exists(os.path.join(work, "x")) and not os.path.exists(os.path.join(work, "x.pdf")),
          "a failed command left a file behind")

    if FAILURES:
        print(f"{len(FAILURES)} checks failed; files in {work}")
        return 1
    print("all report checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
