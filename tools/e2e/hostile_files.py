#!/usr/bin/python3
"""End to end: what stands where the examiner's files should be. Each scenario starts the real tivora on a
virtual X display in a folder where a file is no file the program can use, and works it with real X input:

  fifo-program   program.txt is a pipe nobody writes to;
  huge-program   program.txt is 50 MB of short lines (17.5 million);
                 for both: a box naming program.txt and the reason comes at once, then the data window,
                 which takes the identity typed; "Data  OK" refuses the empty program (no screen, no
                 stimulus), and "pokus" stores the identity typed with nothing measured (in the table
                 beside the executable, as for a missing program.txt: the program runs from a link in
                 the folder);
  fifo-screens   the first screen (tivora1.rtf) and the start marker's (tivora2.rtf) are pipes: "Data  OK"
                 refuses the program with a box naming tivora2.rtf; with that file back, the test's start
                 fails with a box naming tivora1.rtf and the data window is back with the identity; with
                 that file back too, the test starts.

The texts of the boxes are read by Ctrl+C (which copies a box's text) from the clipboard."""

import argparse
import os
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import check  # noqa: E402
from session import BLACK, VIEWER, Session, check_identity  # noqa: E402

TITLE = "Tivora"  # the title of the program's error boxes: its executable's name
# A whole test program would take at most a few seconds to come up in a sanitizer build on a busy
# machine; before the refusal, the pipe kept the program waiting for ever and the 50 MB file for minutes.
PROMPTLY = 45.0
PROGRAM = "".join(f"{line}\r\n" for line in (1, 1, 1, "77 tivora2.rtf", 1, 1, "88 tivora3.rtf", 1, 1))


def box_text(s, title, timeout=20.0):
    """Waits for the box titled `title`, copies its text with Ctrl+C and returns the text."""
    s.wait_for_box(title, timeout=timeout)
    deadline = time.monotonic() + 10
    while True:
        s.x.key("ctrl+c")
        text = s.x.clipboard() or ""
        if title.lower() in text.lower():  # xdotool finds titles regardless of case
            return text
        check(time.monotonic() < deadline, f"the box {title!r} put no text on the clipboard ({text!r})")
        time.sleep(0.2)


def check_no_screen(s, seconds=1.5):
    """No instruction screen (and so no stimulus, which comes only after one) for `seconds`."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        check(s.x.screen().pixel(*VIEWER) == BLACK, "an instruction screen appeared")


def pokus_stores_nothing_measured(s):
    """"pokus" stores the identity typed, with nothing measured."""
    s.pokus()
    deadline = time.monotonic() + 20
    while len(s.rows()) == 0:
        check(time.monotonic() < deadline, "pokus stored no row")
        time.sleep(0.1)
    rows = s.rows()
    check(len(rows) == 1, f"expected the one row of pokus, found {len(rows)}")
    check_identity(rows[0])
    check(rows[0]["POC_1SER"] == 0 and rows[0]["SER1A"] == "", "a trial was measured")


def refused_program_file(s, reason):
    started = time.monotonic()
    text = box_text(s, TITLE, timeout=PROMPTLY)
    print(f"the box came {time.monotonic() - started:.1f} s after the start")
    s.shot("program_file_box")
    check(f"Cannot open file program.txt: {reason}." in text, f"the box says {text!r}")
    s.dismiss_box(TITLE)
    # The program check runs only for a complete identity: its box shows that what was typed arrived.
    s.enter_identity()
    s.press_data_ok()
    text = box_text(s, "???")
    check("Chybný program  !!  řádek 1:" in text, f"the refusal of the empty program says {text!r}")
    check_no_screen(s)
    s.dismiss_box("???")
    s.x.find_window("Zadání dat")
    check_no_screen(s)
    pokus_stores_nothing_measured(s)
    s.app.terminate()
    s.app.wait(timeout=30)
    return 0


def fifo_program(s):
    return refused_program_file(s, "it is a pipe, not a file")


def huge_program(s):
    return refused_program_file(s, "it is larger than 64 KB, more than any test program")


def fifo_screens(s):
    s.enter_identity()
    s.press_data_ok()
    text = box_text(s, "???")
    check("soubor „tivora2.rtf“ nelze načíst (Cannot open file tivora2.rtf: it is a pipe, not a file)" in text,
          f"the refusal says {text!r}")
    check_no_screen(s)
    s.dismiss_box("???")

    os.remove(s.path("tivora2.rtf"))
    shutil.copy(os.path.join(s.sample, "tivora2.rtf"), s.work)
    s.press_data_ok()
    text = box_text(s, TITLE)
    check("Cannot open file tivora1.rtf: it is a pipe, not a file." in text, f"the box says {text!r}")
    s.dismiss_box(TITLE)
    s.x.find_window("Zadání dat")
    check_no_screen(s)

    os.remove(s.path("tivora1.rtf"))
    shutil.copy(os.path.join(s.sample, "tivora1.rtf"), s.work)
    s.press_data_ok()  # the identity typed is still there
    s.wait_screen("the first instruction screen")
    s.app.kill()
    s.app.wait(timeout=30)
    return 0


def pipe_instead_of(*names):
    def prepare(s):
        for name in names:
            os.remove(s.path(name))
            os.mkfifo(s.path(name))
    return prepare


def executable_in_folder(s):
    """Without its program file the program stores into the table beside its executable: a link to the
    executable in the folder keeps that table there, and the build's folder clean."""
    linked = s.path("tivora")
    try:
        os.link(s.tivora, linked)
    except OSError:
        shutil.copy2(s.tivora, linked)
    return linked


def pipe_as_program(s):
    pipe_instead_of("program.txt")(s)
    return executable_in_folder(s)


def fifty_megabytes(s):
    with open(s.path("program.txt"), "wb") as out:
        for _ in range(35):
            out.write(b"1\r\n" * 500_000)
    return executable_in_folder(s)


SCENARIOS = {
    "fifo-program": (fifo_program, pipe_as_program),
    "huge-program": (huge_program, fifty_megabytes),
    "fifo-screens": (fifo_screens, pipe_instead_of("tivora1.rtf", "tivora2.rtf")),
}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tivora")
    parser.add_argument("sample")
    parser.add_argument("scenario", choices=sorted(SCENARIOS))
    parser.add_argument("--screenshots", help="folder for screenshots (PPM)")
    args = parser.parse_args()
    run, prepare = SCENARIOS[args.scenario]
    with Session(args.tivora, args.sample, PROGRAM, {}, args.screenshots, prepare=prepare) as s:
        code = run(s)
    print(f"end-to-end scenario {args.scenario}: passed")
    sys.exit(code)


if __name__ == "__main__":
    main()
