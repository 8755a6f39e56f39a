#!/usr/bin/python3
"""Local norms from a lab's tests, and results ranked by them, checked from outside the program.

report_fixture writes a table of a few thousand tests of people with Czech birth numbers: slower with age,
some tested twice (the retest faster), some with a wrong check digit, and a boy of 15 as the last row. The
oracle is the table read with dbfread: birth numbers, ages and the statistics of the whole block computed
here again, and the percentile points by R's type 7 (written here, not taken from the program). Then:

  - `norms build`: people, retests and invalid birth numbers counted as computed here; every group's n,
    mean, SD and points P1..P99 of mean_rt, median_rt, sd_rt, speed and lapses equal the oracle's;
  - `protocol --norms`, read with pdftotext: the norm, the group, PR and T of the mean reaction time as
    computed here from the norm file, the threshold's verdict, and "Bez normy" for the boy and for a wrong
    birth number; with a journal and a stations' log beside the table, the station's self-test; one page
    is rendered with pdftoppm into ARTEFACTS;
  - `export --norms` as CSV (Python's csv) and XLSX (openpyxl): the norm columns after all the others,
    PR and T of every test as computed here; without --norms the header has none of them.

usage: norms_e2e.py TIVORA_REPORT REPORT_FIXTURE ARTEFACTS [RUNNER...]
"""

import csv
import datetime
import hashlib
import math
import os
import re
import subprocess
import sys
import tempfile

import dbfread
import openpyxl

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import Failures  # noqa: E402

FAILURES = Failures()
check = FAILURES.check
RUNNER = []
BANDS = [(18, 24), (25, 34), (35, 44), (45, 54), (55, 64), (65, 74), (75, None)]
MEASURES = ["mean_rt", "median_rt", "sd_rt", "speed", "lapses"]


def run(args, expect=0):
    result = subprocess.run(RUNNER + args, capture_output=True, text=True)
    check(result.returncode == expect,
          f"{' '.join(args)} exited {result.returncode}, expected {expect}: {result.stderr.strip()}")
    return result


def type7(values, p):
    """R's quantile type 7: linear between order statistics, h = (n - 1) p."""
    x = sorted(values)
    h = (len(x) - 1) * p
    lo = math.floor(h)
    return x[lo] if lo + 1 >= len(x) else x[lo] + (h - lo) * (x[lo + 1] - x[lo])


def birth(rc1, rc2):
    """(birth date, female) of a ten-digit birth number, None when it breaks a rule."""
    digits = (rc1 + rc2).replace(" ", "")
    if not re.fullmatch(r"\d{10}", digits) or int(digits) % 11 != 0:
        return None
    yy, mm, dd = int(digits[0:2]), int(digits[2:4]), int(digits[4:6])
    female = mm > 50
    month = mm - 50 if female else mm
    try:
        return datetime.date(1900 + yy if yy >= 54 else 2000 + yy, month, dd), female
    except ValueError:
        return None


def age_on(born, day):
    return day.year - born.year - ((day.month, day.day) < (born.month, born.day))


def block_values(row):
    values = []
    for n in range(1, 5):
        values += [int(v) for v in re.findall(r"(\d+)\|", (row[f"SER{n}A"] or "") + (row[f"SER{n}B"] or ""))]
    return values


def measures(values):
    mean = sum(values) / len(values)
    return {"mean_rt": mean, "median_rt": type7(values, 0.5),
            "sd_rt": math.sqrt(sum((v - mean) ** 2 for v in values) / (len(values) - 1)),
            "speed": sum(1000.0 / v for v in values if v > 0) / len([v for v in values if v > 0]),
            "lapses": float(len([v for v in values if v >= 500]))}


def read_tests(table):
    tests = []
    for record, row in enumerate(dbfread.DBF(table, encoding="cp852"), start=1):
        d, m, y = (int(part) for part in re.findall(r"\d+", row["DATE"]))
        person = birth(row["RC_1"], row["RC_2"])
        day = datetime.date(y, m, d)
        tests.append({"record": record, "day": day, "key": (row["RC_1"] + row["RC_2"]).replace(" ", ""),
                      "person": person, "age": age_on(person[0], day) if person else None,
                      "measures": measures(block_values(row))})
    return tests


def band_of(age):
    for i, (lo, hi) in enumerate(BANDS):
        if age >= lo and (hi is None or age <= hi):
            return i
    return None


def oracle_groups(tests):
    first = {}
    for test in tests:
        if test["person"] and (test["key"] not in first or (test["day"], test["record"]) <
                               (first[test["key"]]["day"], first[test["key"]]["record"])):
            first[test["key"]] = test
    groups = {}
    for test in first.values():
        band = band_of(test["age"])
        if band is not None:
            groups.setdefault((BANDS[band][0], "F" if test["person"][1] else "M"), []).append(test)
    return first, groups


def read_norm(path):
    with open(path, newline="", encoding="utf-8") as f:
        lines = list(csv.reader(f))
    header = next(i for i, line in enumerate(lines) if line and line[0] == "age_from")
    columns = lines[header]
    norm = {"about": {line[0]: line[1] for line in lines[1:header] if line}, "rows": {}}
    for line in lines[header + 1:]:
        if line and line[0]:
            row = dict(zip(columns, line))
            norm["rows"][(int(row["age_from"]), row["sex"], row["measure"])] = row
    norm["ranks"] = [int(c[1:]) for c in columns if re.fullmatch(r"P\d+", c)]
    return norm


def check_norm_file(norm, groups):
    for (age_from, sex), people in sorted(groups.items()):
        for measure in MEASURES:
            row = norm["rows"].get((age_from, sex, measure))
            check(row is not None, f"no {measure} for {age_from} {sex}")
            if row is None:
                continue
            values = [p["measures"][measure] for p in people]
            check(int(row["n"]) == len(people), f"{age_from} {sex} {measure}: n {row['n']}, counted {len(people)}")
            check((row["flag"] == "small") == (len(people) < 30), f"{age_from} {sex}: flag {row['flag']!r}")
            for k in norm["ranks"]:
                expected = type7(values, k / 100)
                got = float(row[f"P{k}"])
                check(math.isclose(got, expected, rel_tol=1e-9, abs_tol=1e-9),
                      f"{age_from} {sex} {measure} P{k}: {got}, type 7 gives {expected}")
            if row["mean"]:
                mean = sum(values) / len(values)
                sd = math.sqrt(sum((v - mean) ** 2 for v in values) / (len(values) - 1))
                check(math.isclose(float(row["mean"]), mean, rel_tol=1e-9) and
                      math.isclose(float(row["sd"]), sd, rel_tol=1e-9), f"{age_from} {sex} {measure}: mean/sd")


def rank_lower_better(norm, row, x):
    """(whole PR, T) of value x of a measure where lower is better, by the norm's row."""
    ks, vs = norm["ranks"], [float(row[f"P{k}"]) for k in norm["ranks"]]
    if x > vs[-1]:
        k = ks[-1]
    else:
        i = next(i for i, v in enumerate(vs) if v >= x)
        k = ks[0] if i == 0 else ks[i - 1] + (x - vs[i - 1]) / (vs[i] - vs[i - 1]) * (ks[i] - ks[i - 1])
    pr = math.floor(100 - k + 0.5)
    t = 50 - 10 * (x - float(row["mean"])) / float(row["sd"])
    return pr, round(t, 1)


def expected_rank(norm, test):
    if not test["person"] or band_of(test["age"]) is None:
        return None
    row = norm["rows"].get((BANDS[band_of(test["age"])][0], "F" if test["person"][1] else "M", "mean_rt"))
    return rank_lower_better(norm, row, test["measures"]["mean_rt"]) if row and int(row["n"]) >= 30 else None


def write_station_files(table, test):
    """A journal naming lab-2 as the station that stored `test`, and self-tests of lab-2 the day before (the
    one to name), of lab-1 the same morning and of lab-2 the day after."""
    base, day = table[: table.rfind(".")], test["day"]
    before, after = day - datetime.timedelta(days=1), day + datetime.timedelta(days=1)
    header = ("seq,time,station,user,action,row,field,old_value,new_value,row_sha256,rows_at_start,"
              "previous_sha256\r\n")
    entry = (f"1,{day}T09:30:00+01:00,lab-2,novakova,test_stored,{test['record']},,,,{'ab' * 32},"
             f"{test['record'] - 1},{hashlib.sha256(header.encode()).hexdigest()}\r\n")
    with open(base + "_audit.csv", "w", newline="") as journal:
        journal.write(header + entry)
    with open(base + "_stations.csv", "w", newline="") as log:
        log.write("time,station,verdict,refresh_hz,foreperiod_error_median_us,foreperiod_error_p95_us,"
                  "frame_latency_median_us,frame_latency_p95_us,onset_source\r\n"
                  f"{before}T08:00:00+01:00,lab-2,fit,60,120,800,2100,4100,server\r\n"
                  f"{day}T08:00:00+01:00,lab-1,unfit,30,9000,15000,40000,50000,flush\r\n"
                  f"{after}T08:00:00+01:00,lab-2,unfit,60,5000,9000,2100,4100,server\r\n")
    return f"{before.day}. {before.month}. {before.year} 8:00"


def pdf_text(path):
    return subprocess.run(["pdftotext", "-layout", path, "-"], capture_output=True, text=True).stdout


def check_protocols(report, table, norms, norm, tests, work, artefacts):
    ranked = next(t for t in tests if expected_rank(norm, t) and band_of(t["age"]) == 1 and not t["person"][1])
    pr, t_score = expected_rank(norm, ranked)
    self_test = write_station_files(table, ranked)
    pdf = os.path.join(work, "ranked.pdf")
    run([report, "protocol", table, "--row", str(ranked["record"]), "--norms", norms, "--threshold", "50",
         "--output", pdf])
    text = pdf_text(pdf)
    verdict = "pod hranicí" if pr < 50 else ("na hranici" if pr == 50 else "nad hranicí")
    line = next((line for line in text.splitlines() if "průměr RT" in line), "")
    expected = rf"průměr RT\s+[\d,]+ ms\s+{pr}\s+{str(t_score).replace('.', ',')}\s+{verdict} PR 50"
    check(re.search(expected, line), f"protocol's mean line {line!r}, expected {expected}")
    for words in ["Srovnání s normou", "Norma: Lab norms, verze 7", "Skupina: 25–34 let, muži", "Hranice PR 50",
                  f"Měření stanice lab-2 (zkouška stanice {self_test}: způsobilá)", "95 % do 0,8 ms"]:
        check(words in " ".join(text.split()), f"the ranked protocol lacks {words!r}")
    if artefacts:
        os.makedirs(artefacts, exist_ok=True)
        subprocess.run(["pdftoppm", "-png", "-r", "110", "-singlefile", pdf,
                        os.path.join(artefacts, "protocol-norms")], check=True)
    os.remove(table[: table.rfind(".")] + "_audit.csv")
    boy, wrong = tests[-1], next(t for t in tests if not t["person"])
    for test, words in [(boy, "Bez normy: norma nemá skupinu pro věk 15 let, muž"),
                        (wrong, "Bez normy: rodné číslo není platné")]:
        run([report, "protocol", table, "--row", str(test["record"]), "--norms", norms, "--output", pdf])
        text = " ".join(pdf_text(pdf).split())
        check(words in text, f"row {test['record']}: the protocol lacks {words!r}")
        check("Měření stanice není k dispozici" in text, f"row {test['record']}: no line about the station")


def check_exports(report, table, norms, norm, tests, work):
    plain, ranked, workbook = (os.path.join(work, name) for name in ("plain.csv", "ranked.csv", "ranked.xlsx"))
    run([report, "export", table, "--format", "csv", "--output", plain])
    run([report, "export", table, "--format", "csv", "--norms", norms, "--output", ranked])
    run([report, "export", table, "--format", "xlsx", "--norms", norms, "--output", workbook])
    with open(plain, newline="", encoding="utf-8-sig") as f:
        plain_rows = list(csv.reader(f))
    with open(ranked, newline="", encoding="utf-8-sig") as f:
        ranked_rows = list(csv.reader(f))
    sheet = [list(row) for row in openpyxl.load_workbook(workbook, read_only=True).active.iter_rows(values_only=True)]
    extra = ["norm_group"] + [f"{kind}_{m}" for m in ["mean_rt", "median_rt", "sd_rt", "speed", "lapses",
                                                      "anticipations", "premature"] for kind in ("pr", "t")]
    check(plain_rows[0][-1] == "last_change", f"the plain export ends with {plain_rows[0][-1]!r}")
    check(ranked_rows[0] == plain_rows[0] + extra + ["norm_notes"], f"ranked header {ranked_rows[0][-17:]}")
    check([row[:len(plain_rows[0])] for row in ranked_rows] == plain_rows, "the ranked export changed a column")
    by_record = {int(row[0]): dict(zip(ranked_rows[0], row)) for row in ranked_rows[1:]}
    by_record_xlsx = {int(row[0]): dict(zip(sheet[0], row)) for row in sheet[1:]}
    wrong = 0
    for test in tests:
        expected = expected_rank(norm, test)
        row, cells = by_record[test["record"]], by_record_xlsx[test["record"]]
        got = (int(row["pr_mean_rt"]), float(row["t_mean_rt"])) if row["pr_mean_rt"] else None
        got_xlsx = (cells["pr_mean_rt"], cells["t_mean_rt"]) if cells["pr_mean_rt"] is not None else None
        if got != expected or got_xlsx != expected:
            wrong += 1
            if wrong <= 5:
                check(False, f"row {test['record']}: PR/T csv {got}, xlsx {got_xlsx}, expected {expected}")
        if expected is None:
            check(row["norm_notes"].startswith("no norm"), f"row {test['record']}: notes {row['norm_notes']!r}")
    check(wrong == 0, f"{wrong} tests ranked otherwise than computed here")


def main():
    global RUNNER
    report, fixture, artefacts = sys.argv[1:4]
    RUNNER = sys.argv[4:]
    with tempfile.TemporaryDirectory() as work:
        table = os.path.join(work, "tivora4.DBF")
        run([fixture, "norms", table, "2500"])
        tests = read_tests(table)
        first, groups = oracle_groups(tests)
        norms = os.path.join(work, "normy.csv")
        summary = run([report, "norms", "build", table, "--output", norms, "--name", "Lab norms",
                       "--norm-version", "7", "--source", "own tests"]).stdout
        people = sum(len(g) for g in groups.values())
        retests = len([t for t in tests if t["person"]]) - len(first)
        invalid = len([t for t in tests if not t["person"]])
        for line in [f"{len(tests)} tests, {people} people in the norm",
                     f"{retests} tests that are retests", f"{invalid} tests with an invalid birth number left out"]:
            check(line in summary, f"the summary lacks {line!r}:\n{summary}")
        check(retests > 100 and invalid > 20, f"the fixture has {retests} retests and {invalid} invalid numbers")
        norm = read_norm(norms)
        check(norm["ranks"] == list(range(1, 100)), "the norm's points are not P1..P99")
        check_norm_file(norm, groups)
        check_protocols(report, table, norms, norm, tests, work, artefacts)
        check_exports(report, table, norms, norm, tests, work)
    print(f"{len(FAILURES)} failures" if FAILURES else "norms: all checks passed")
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
