#!/usr/bin/python3
"""End to end: no finished test is lost. Each scenario starts the real tivora on a virtual X display and
goes through a short test with real X input, as a person and an examiner would:

  retry-store     the table is made unwritable before Enter on the closing screen: the error box comes,
                  the table is made writable again, Enter stores exactly one row of what was measured;
  size-limit      the program may not make files larger (a file size limit, as a quota sets it) when Enter
                  on the closing screen stores: the error box comes and the program keeps running, the
                  limit is lifted, Enter stores exactly one row;
  refused-program a malformed series-count line is refused at "Data  OK": a box names the line, no
                  screen or stimulus ever appears, the table is unchanged and the data window is back
                  with the identity typed (which "pokus" then stores);
  missing-screen  the closing screen's file is removed after the first measured trial: the error box,
                  then a plain screen naming the file, and Enter stores the row and ends the program;
  tab             Tab and Shift+Tab on instruction screens and during a foreperiod leave Enter working:
                  every response counts, with the right times.

Exits 77 (skipped) when the table cannot be made unwritable here (chattr +i needs root on a file system
that has the flag)."""

import argparse
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import check  # noqa: E402
from session import BLACK, VIEWER, Session, check_identity, check_series  # noqa: E402

SKIPPED = 77
TITLE = "Tivora"  # the title of the program's error boxes: its executable's name


def lines(*items):
    return "".join(f"{item}\r\n" for item in items)


def practice(s):
    """From the first screen through the three practice trials to the start marker's screen."""
    s.wait_screen("the first instruction screen")
    s.x.key("Return")
    for _ in range(3):
        s.trial()
    s.wait_screen("the screen before the measured trials")


def to_measured_trials(s):
    """From the data window to the first measured foreperiod."""
    s.enter_identity()
    s.press_data_ok()
    practice(s)
    s.x.key("Return")


def to_closing_screen(s, delays):
    """Through a whole test, answering the measured trials of each series after `delays` seconds."""
    to_measured_trials(s)
    for series in delays:
        for delay in series:
            s.trial(delay)
    s.wait_screen("the closing screen")


def retry_stores_once(s, delays):
    """Enter on the closing screen again, after a failed store: exactly one row is stored, with the
    identity and the measured series; returns it."""
    s.x.key("Return")
    s.wait_for_end()
    rows = s.rows()
    check(len(rows) == 1, f"expected one stored row, found {len(rows)}")
    check_identity(rows[0])
    for n, series in enumerate(delays, start=1):
        check_series(rows[0], n, series)
    return rows[0]


def can_make_unwritable(folder):
    probe = os.path.join(folder, "probe")
    open(probe, "w").close()
    made = subprocess.run(["chattr", "+i", probe], stderr=subprocess.DEVNULL).returncode == 0
    if made:
        subprocess.run(["chattr", "-i", probe], check=True)
    os.remove(probe)
    return made


def retry_store(s):
    if not can_make_unwritable(s.work):
        print("skipped: chattr +i is not possible here")
        return SKIPPED
    delays = [[0.1, 0.8], [0.5, 0.1]]
    to_closing_screen(s, delays)
    table = s.path("tivora4.DBF")
    before = open(table, "rb").read()
    subprocess.run(["chattr", "+i", table], check=True)
    try:
        s.x.key("Return")
        s.wait_for_box(TITLE)
        s.shot("store_failed_box")
        check(s.app.poll() is None, "the program ended after a failed store")
    finally:
        subprocess.run(["chattr", "-i", table], check=True)
    check(open(table, "rb").read() == before, "the failed store changed the table")
    s.dismiss_box(TITLE)
    screen = s.x.screen()
    check(screen.pixel(*VIEWER) != BLACK, "the closing screen is gone after the failed store")
    row = retry_stores_once(s, delays)
    for n in range(1, len(delays) + 1):
        check(row[f"POC_PRED{n}"] == 0, f"POC_PRED{n} is {row[f'POC_PRED{n}']}")
    return 0


def size_limit(s):
    delays = [[0.3], [0.2]]
    to_closing_screen(s, delays)
    table = s.path("tivora4.DBF")
    before = open(table, "rb").read()
    # The soft limit only: the program could not lift it, an administrator (here prlimit) can.
    subprocess.run(["prlimit", f"--pid={s.app.pid}", f"--fsize={len(before)}:unlimited"], check=True)
    s.x.key("Return")
    s.wait_for_box(TITLE)
    check(s.app.poll() is None, "the program ended when the table could not grow")
    check(open(table, "rb").read()[:len(before)] == before, "the failed store changed the stored rows")
    subprocess.run(["prlimit", f"--pid={s.app.pid}", "--fsize=unlimited:unlimited"], check=True)
    s.dismiss_box(TITLE)
    retry_stores_once(s, delays)
    return 0


def refused_program(s):
    s.enter_identity()
    table = s.path("tivora4.DBF")
    before = open(table, "rb").read()
    s.press_data_ok()
    s.wait_for_box("???")
    s.shot("refused_program_box")
    # The data window covers the stimulus; no trial can start without the first screen, and the row of
    # "pokus" below shows that nothing was measured.
    deadline = time.monotonic() + 1.5
    while time.monotonic() < deadline:
        check(s.x.screen().pixel(*VIEWER) == BLACK, "an instruction screen appeared for a refused program")
    check(open(table, "rb").read() == before, "the refused program changed the table")
    s.dismiss_box("???")
    s.x.find_window("Zadání dat")
    check(s.x.screen().pixel(*VIEWER) == BLACK, "an instruction screen appeared after the box")
    # What the boxes hold now is what "pokus" stores: the identity typed, and nothing measured.
    s.pokus()
    deadline = time.monotonic() + 10
    while len(s.rows()) == 0:
        check(time.monotonic() < deadline, "pokus stored no row")
        time.sleep(0.1)
    rows = s.rows()
    check(len(rows) == 1, f"expected the one row of pokus, found {len(rows)}")
    check_identity(rows[0])
    check(rows[0]["POC_1SER"] == 0 and rows[0]["SER1A"] == "", "a trial was measured for a refused program")
    s.app.terminate()
    s.app.wait(timeout=30)
    return 0


def missing_screen(s):
    to_measured_trials(s)
    s.trial(0.3)
    os.remove(s.path("konec.rtf"))
    s.trial(0.0)
    s.trial(0.6, wait_gone=False)  # the error box comes over the stimulus's place
    s.wait_for_box(TITLE)
    s.shot("missing_screen_box")
    s.dismiss_box(TITLE)
    s.wait_screen("the screen standing in for the missing one")
    s.shot("missing_screen")
    s.x.key("Return")
    s.wait_for_end()
    rows = s.rows()
    check(len(rows) == 1, f"expected one stored row, found {len(rows)}")
    check_identity(rows[0])
    check_series(rows[0], 1, [0.3, 0.0])
    check_series(rows[0], 2, [0.6])
    return 0


# An odd number of presses: one Tab that moved the focus would not be undone by the next.
TABS = ("Tab", "shift+Tab", "Tab")


def tab(s):
    s.enter_identity()
    s.press_data_ok()
    s.wait_screen("the first instruction screen")
    for key in TABS:
        s.x.key(key)
    s.x.key("Return")
    for _ in range(3):
        s.trial()
    s.wait_screen("the screen before the measured trials")
    for key in TABS:
        s.x.key(key)
    s.x.key("Return")
    s.wait_screen_gone("the measured trials to start")
    s.trial(0.4)
    # During the next foreperiod (2 s): Tab, Shift+Tab, and an Enter that comes too early.
    for key in TABS + ("Return",):
        s.x.key(key)
    s.trial(0.0)
    s.trial(0.7)
    s.wait_screen("the closing screen")
    for key in TABS:
        s.x.key(key)
    s.x.key("Return")
    s.wait_for_end()
    rows = s.rows()
    check(len(rows) == 1, f"expected one stored row, found {len(rows)}")
    check_identity(rows[0])
    check_series(rows[0], 1, [0.4, 0.0, 0.7])
    check(rows[0]["POC_PRED1"] == 1, f"POC_PRED1 is {rows[0]['POC_PRED1']}, expected the one early Enter")
    return 0


KONEC = "{\\rtf1\\ansi\\ansicpg1250 Konec testu. Stiskn\\'ecte Enter.\\par}"
SCENARIOS = {
    "retry-store": (retry_store, lines(1, 1, 1, "77 tivora2.rtf", 1, 1, 1, 1, "88 tivora3.rtf", 2, 2), {}),
    "refused-program": (refused_program, lines(1, 1, 1, "77 tivora2.rtf", 1, 1, 1, 1, "88 tivora3.rtf", "2 ", 2),
                        {}),
    "missing-screen": (missing_screen, lines(1, 1, 1, "77 tivora2.rtf", 1, 1, 1, "88 konec.rtf", 2, 1),
                       {"konec.rtf": KONEC}),
    "size-limit": (size_limit, lines(1, 1, 1, "77 tivora2.rtf", 1, 1, "88 tivora3.rtf", 1, 1), {}),
    "tab": (tab, lines(1, 1, 1, "77 tivora2.rtf", 1, 2, 1, "88 tivora3.rtf", 3), {}),
}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tivora")
    parser.add_argument("sample")
    parser.add_argument("scenario", choices=sorted(SCENARIOS))
    parser.add_argument("--screenshots", help="folder for screenshots (PPM)")
    args = parser.parse_args()
    run, program, screens = SCENARIOS[args.scenario]
    with Session(args.tivora, args.sample, program, screens, args.screenshots) as s:
        code = run(s)
    print(f"end-to-end scenario {args.scenario}: {'skipped' if code == SKIPPED else 'passed'}")
    sys.exit(code)


if __name__ == "__main__":
    main()
