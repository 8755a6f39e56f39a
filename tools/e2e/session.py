"""One run of the real tivora for an end-to-end test: a fresh folder with a test program and the sample's
instruction screens, a virtual X display, and what a person does there (typing the identity, pressing
"Data  OK", answering the trials), with the stored rows read back by dbfread."""

import os
import shutil
import subprocess
import sys
import tempfile
import time

import dbfread

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import check, shot, start_tivora  # noqa: E402
from xsession import XSession  # noqa: E402

STIMULUS = (392, 304)           # centre of the stimulus square
VIEWER = (20, 20)               # inside the instruction viewer
WHITE, BLACK = (255, 255, 255), (0, 0, 0)
MENU_EXIT = (128, 9)            # "exit" in the menu bar: from the window's left, above the client area
# Plain ASCII: xdotool types other letters by remapping a key for a moment, which two displays at once
# can race (the whole-test scenario covers Czech letters).
IDENTITY = {"PRIJM": "Novak", "JMENO": "Jan", "RC_1": "850101", "RC_2": "1234"}


def data_window_client(x):
    """The top-left corner of the data window's client area (536 x 353), which lies below the menu bar,
    inside the frame where the windows have one (Wine draws its own when no window manager runs)."""
    left, top, width, height = x.window_geometry(x.find_window("Zadání dat"))
    border = (width - 536) // 2
    return left + border, top + height - 353 - border


def enter_identity(x, identity=None):
    """Types `identity` (IDENTITY when None) into the data window of a tivora just started on XSession `x`,
    box by box as an examiner clicks them."""
    identity = identity or IDENTITY
    x.find_window("Zadání dat")
    time.sleep(0.6)  # the start-up step runs 200 ms after start
    cx, cy = data_window_client(x)
    x.click(cx + 100, cy + 50)          # Edit1, first name
    x.type(identity["JMENO"])
    x.click(cx + 280, cy + 50)          # Edit2, surname
    x.type(identity["PRIJM"])
    x.click(cx + 51, cy + 98)           # MaskEdit2, at its first position
    x.key("Home")
    x.type(identity["RC_1"])
    x.click(cx + 123, cy + 98)          # MaskEdit3
    x.key("Home")
    x.type(identity["RC_2"])


def press_data_ok(x):
    cx, cy = data_window_client(x)
    x.click(cx + 452, cy + 110)


class Session:
    """The program started in a fresh folder on `program` (text, lines ended with CR LF), with the sample's
    tivora1/2/3.rtf and `screens` (name -> RTF text) beside it. `prepare(session)`, when given, changes the
    folder before the program starts, and may return another path of the executable to start. Used in a
    `with` block, which ends the program; the folder is removed when the block passed, and the program's
    output printed when it failed."""

    def __init__(self, tivora, sample, program, screens=None, screenshots=None, prepare=None):
        self.tivora, self.sample = tivora, sample
        self.work = tempfile.mkdtemp(prefix="tivora_e2e_")
        self.screenshots = screenshots
        for name in ("tivora1.rtf", "tivora2.rtf", "tivora3.rtf"):
            shutil.copy(os.path.join(sample, name), self.work)
        for name, text in (screens or {}).items():
            with open(self.path(name), "w", encoding="cp1250", newline="") as out:
                out.write(text)
        with open(self.path("program.txt"), "w", encoding="cp1250", newline="") as out:
            out.write(program)
        if prepare:
            tivora = prepare(self) or tivora
        self.x = XSession()
        self.program = start_tivora(self.x, tivora, self.work)
        self.app = self.program.process

    def path(self, name):
        return os.path.join(self.work, name)

    def close(self, passed):
        self.program.close(passed)
        self.x.close()
        if passed:
            shutil.rmtree(self.work)

    def __enter__(self):
        return self

    def __exit__(self, kind, value, traceback):
        self.close(passed=kind is None)
        return False

    def shot(self, name):
        shot(self.x, self.screenshots, name)

    # The data window ------------------------------------------------------------------------------------

    def data_window_client(self):
        return data_window_client(self.x)

    def enter_identity(self):
        enter_identity(self.x)

    def press_data_ok(self):
        press_data_ok(self.x)

    def exit(self):
        """Chooses "exit" in the data window's menu bar (its third item, beyond "DBF " and "Edit.prog.")."""
        window = self.x.find_window("Zadání dat")
        left, top, width, height = self.x.window_geometry(window)
        self.x.click(left + MENU_EXIT[0], top + height - 353 - MENU_EXIT[1])

    def pokus(self):
        """Stores a row at once through the data window's pop-up menu item "pokus"."""
        cx, cy = self.data_window_client()
        self.x.click(cx + 500, cy + 300, button=3)
        time.sleep(0.3)
        self.x.key("Down")                         # "test" is disabled: the first item taken is "pokus"
        self.x.key("Return")

    # Boxes ----------------------------------------------------------------------------------------------

    def wait_for_box(self, title, timeout=20.0):
        """Waits for a message box titled exactly `title` and returns its window id."""
        return self.x.find_window("^" + title.replace("?", "\\?") + "$", timeout=timeout)

    def box_is_open(self, title):
        result = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^" + title.replace("?", "\\?") + "$"],
                                env=self.x.env, stdout=subprocess.PIPE, text=True)
        return bool(result.stdout.split())

    def dismiss_box(self, title):
        """Presses Enter on the box (its OK button) and waits until it is gone."""
        self.x.key("Return")
        deadline = time.monotonic() + 10
        while self.box_is_open(title):
            check(time.monotonic() < deadline, f"the box {title!r} did not close")
            time.sleep(0.05)

    # The test -------------------------------------------------------------------------------------------

    def wait_screen(self, what):
        return self.x.wait_for(lambda s: s.pixel(*VIEWER) != BLACK, what=what)

    def wait_screen_gone(self, what):
        return self.x.wait_for(lambda s: s.pixel(*VIEWER) == BLACK, what=what)

    def trial(self, delay=0.0, wait_gone=True):
        """Waits for the stimulus, answers with Enter `delay` seconds after seeing it, and waits until it
        is gone (unless a box is expected to cover it)."""
        self.x.wait_for(lambda s: s.pixel(*STIMULUS) == WHITE, what="the stimulus")
        if delay:
            time.sleep(delay)
        self.x.key("Return")
        if wait_gone:
            self.x.wait_for(lambda s: s.pixel(*STIMULUS) == BLACK, what="the stimulus to go")

    def wait_for_end(self):
        code = self.app.wait(timeout=30)
        check(code == 0, f"tivora ended with exit code {code}")

    def rows(self):
        return list(dbfread.DBF(self.path("tivora4.DBF"), encoding="cp852", char_decode_errors="strict"))


def check_identity(row):
    for field, value in IDENTITY.items():
        check(row[field] == value, f"{field} is {row[field]!r}, expected {value!r}")


def check_series(row, n, delays, slack=1.5):
    """Series n holds one time per delay, in order, each at least the delay and at most `slack` s more,
    and its mean is theirs."""
    text = row[f"SER{n}A"]
    times = [int(t) for t in text.split("|")[:-1]]
    check(text.endswith("|") and len(times) == len(delays), f"SER{n}A is {text!r}, expected {len(delays)} times")
    for time_ms, delay in zip(times, delays):
        check(delay * 1000 <= time_ms <= (delay + slack) * 1000,
              f"series {n}: {time_ms} ms for an answer {delay} s after the stimulus was seen ({times})")
    check(row[f"POC_{n}SER"] == len(delays), f"POC_{n}SER is {row[f'POC_{n}SER']}")
    check(abs(row[f"PRUMER{n}"] - sum(times) / len(times)) <= 0.5, f"PRUMER{n} is not the mean of {times}")
