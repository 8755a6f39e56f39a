"""Running the real tivora on an XSession: its environment, and the examiner's part of a test (fill the
data window and press "Data  OK")."""

import contextlib
import os
import subprocess
import sys
import time


def tivora_environment(x):
    """The environment for tivora on XSession `x`. In a sanitizer build: libxkbcommon-x11 hands strndup()
    X atom names that are not NUL-terminated within the length ASan's interceptor reads; that check is
    turned off (the library, not ours), and Qt's own allocations kept until exit are not leaks of ours."""
    env = dict(x.env, QT_QPA_PLATFORM="xcb", LANG="C.UTF-8", LC_ALL="C.UTF-8")
    tools = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    env["ASAN_OPTIONS"] = ":".join(filter(None, [os.environ.get("ASAN_OPTIONS"), "intercept_strndup=0"]))
    env.setdefault("LSAN_OPTIONS", f"suppressions={os.path.join(tools, 'lsan.supp')}")
    return env


@contextlib.contextmanager
def started_tivora(x, tivora, work):
    """Runs `tivora` in folder `work` on XSession `x` for the body of the with-statement, yielding its
    process; its output goes to work/tivora.log, which is printed when the body fails (the process is
    then killed)."""
    log_path = os.path.join(work, "tivora.log")
    with open(log_path, "w") as log:
        app = subprocess.Popen([tivora], cwd=work, env=tivora_environment(x), stdout=log, stderr=subprocess.STDOUT)
        try:
            yield app
        except BaseException:
            if app.poll() is None:
                app.kill()
            log.flush()
            with open(log_path) as written:
                sys.stderr.write(written.read())
            raise


def enter_identity(x, screenshots=None, shot=None):
    """Types an identity into the data window of a tivora just started on XSession `x` and confirms it.
    `shot(x, folder, name)` takes a screenshot of the filled window when given."""
    data = x.find_window("Zadání dat")
    time.sleep(0.6)  # the start-up step runs 200 ms after start
    left, top, width, height = x.window_geometry(data)
    # The client area (536 x 353) lies below the menu bar, inside the frame where the windows have one
    # (Wine draws its own when no window manager runs).
    cx, cy = left + (width - 536) // 2, top + height - 353 - (width - 536) // 2

    x.click(cx + 100, cy + 50)          # Edit1, first name
    x.type("Jan")
    x.click(cx + 280, cy + 50)          # Edit2, surname
    x.type("Novák")
    x.click(cx + 51, cy + 98)           # MaskEdit2, at its first position
    x.key("Home")
    x.type("850101")
    x.click(cx + 123, cy + 98)          # MaskEdit3
    x.key("Home")
    x.type("1234")
    if shot:
        shot(x, screenshots, "data_window")
    x.click(cx + 452, cy + 110)         # "Data  OK"
