#!/usr/bin/python3
"""End to end: starts the real tivora on a virtual X display in a fresh folder, enters the identity and
clicks "Data  OK" with real X input events, goes through practice and two measured series (answering by
Enter, by a click beside the shapes and by a right click on the frame, with premature presses in
between), confirms the closing screen and checks the stored row of tivora4.DBF field by field."""

import argparse
import datetime
import os
import shutil
import sys
import tempfile
import time

import dbfread

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import check, shot, start_tivora  # noqa: E402
from session import enter_identity, press_data_ok  # noqa: E402
from xsession import XSession  # noqa: E402

PROGRAM = "1\r\n3\r\n1\r\n77 tivora2.rtf\r\n1\r\n3\r\n1\r\n4\r\n88 tivora3.rtf\r\n2\r\n2\r\n"
# Premature presses go into the foreperiods of 3 and 4 s (lines 1, 5 and 7), well before they end.
STIMULUS = (392, 304)           # centre of the stimulus square
FRAME_EDGE = (336, 300)         # left edge of the fixation frame
INSIDE_FRAME = (345, 300)
VIEWER = (20, 20)               # inside the instruction viewer
BESIDE_SHAPES = (900, 700)      # a press here is a response
ON_FRAME_BOUNDS = (340, 250)    # inside the frame's bounds: a right release here is a response
WHITE, BLACK, YELLOW = (255, 255, 255), (0, 0, 0), (255, 255, 0)
IDENTITY = {"PRIJM": "Novák", "JMENO": "Jan", "RC_1": "850101", "RC_2": "1234"}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tivora")
    parser.add_argument("sample")
    parser.add_argument("--screenshots", help="folder for screenshots (PPM)")
    args = parser.parse_args()

    work = tempfile.mkdtemp(prefix="tivora_e2e_")
    for name in ("tivora1.rtf", "tivora2.rtf", "tivora3.rtf"):
        shutil.copy(os.path.join(args.sample, name), work)
    with open(os.path.join(work, "program.txt"), "w", newline="") as out:
        out.write(PROGRAM)

    x = XSession()
    try:
        with start_tivora(x, args.tivora, work) as app:
            run(x, app, args.screenshots)
            code = app.wait(timeout=30)
            check(code == 0, f"tivora ended with exit code {code}")
            check_row(os.path.join(work, "tivora4.DBF"))
    finally:
        x.close()
    shutil.rmtree(work)
    print("end-to-end test passed")


def run(x, app, screenshots):
    enter_identity(x, IDENTITY)
    shot(x, screenshots, "data_window")
    press_data_ok(x)

    screen = x.wait_for(lambda s: s.pixel(*VIEWER) != BLACK, what="the first instruction screen")
    check(screen.pixel(*FRAME_EDGE) == YELLOW, "the fixation frame is not a yellow line")
    check(screen.pixel(*INSIDE_FRAME) == BLACK, "the frame's inside is not black")
    check(screen.pixel(*STIMULUS) == BLACK, "the stimulus shows before the test")
    shot(x, screenshots, "instruction")
    x.key("Return")

    def trial(answer, premature_after=0):
        x.wait_for(lambda s: s.pixel(*STIMULUS) == WHITE, what="the stimulus")
        answer()
        x.wait_for(lambda s: s.pixel(*STIMULUS) == BLACK, what="the stimulus to go")
        for _ in range(premature_after):
            x.click(*BESIDE_SHAPES)
            time.sleep(0.05)

    enter = lambda: x.key("Return")  # noqa: E731
    click_beside = lambda: x.click(*BESIDE_SHAPES)  # noqa: E731

    def right_click_on_frame():
        x.press(*ON_FRAME_BOUNDS, 3)
        x.release(*ON_FRAME_BOUNDS, 3)

    # Practice: lines 0 to 2; one premature press in the foreperiod of line 1.
    trial(enter, premature_after=1)
    trial(click_beside)
    trial(enter)
    x.wait_for(lambda s: s.pixel(*VIEWER) != BLACK, what="the second instruction screen")
    x.key("Return")
    # Series 1: lines 4 and 5 (one premature press before line 5); series 2: lines 6 and 7 (two).
    shot_taken = []

    def enter_with_shot():
        if not shot_taken:
            shot(x, screenshots, "stimulus")
            shot_taken.append(True)
        enter()

    trial(enter_with_shot, premature_after=1)
    trial(right_click_on_frame, premature_after=0)
    trial(enter, premature_after=2)
    trial(click_beside)
    x.wait_for(lambda s: s.pixel(*VIEWER) != BLACK, what="the closing screen")
    x.key("Return")


def check_row(path):
    table = dbfread.DBF(path, encoding="cp852", char_decode_errors="strict")
    rows = list(table)
    check(len(rows) == 1, f"expected one stored row, found {len(rows)}")
    row = rows[0]
    expected = {"PRIJM": "Novák", "JMENO": "Jan", "RC_1": "850101", "RC_2": "1234",
                "POC_1SER": 2, "POC_2SER": 2, "POC_3SER": 0, "POC_4SER": 0,
                "POC_PRED1": 1, "POC_PRED2": 2, "POC_PRED3": 0, "POC_PRED4": 0,
                "PRUMER3": 0, "PRUMER4": 0, "SER1B": "", "SER2B": "", "SER3A": "", "SER3B": "",
                "SER4A": "", "SER4B": ""}
    for field, value in expected.items():
        check(row[field] == value, f"{field} is {row[field]!r}, expected {value!r}")
    today = datetime.date.today()
    date = row["DATE"]
    check(str(today.day) in date and str(today.month) in date and str(today.year % 100) in date,
          f"DATE {date!r} is not today")
    for n in (1, 2):
        times = [int(t) for t in row[f"SER{n}A"].split("|")[:-1]]
        check(len(times) == 2 and row[f"SER{n}A"].endswith("|"), f"SER{n}A is {row[f'SER{n}A']!r}")
        check(all(0 < t < 5000 for t in times), f"implausible reaction times in series {n}: {times}")
        mean = sum(times) / 2
        check(abs(row[f"PRUMER{n}"] - mean) <= 0.5, f"PRUMER{n} {row[f'PRUMER{n}']} is not the mean of {times}")


if __name__ == "__main__":
    main()
