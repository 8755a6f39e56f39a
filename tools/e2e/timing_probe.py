#!/usr/bin/python3
"""Timing probe: an outside observer of the real tivora on its own Xvfb.

It goes through a whole short test as a person would, answering with Enter, the left and the right
button at known delays (and pressing early now and then), and takes both ends of every reaction from
the X server's own clock: the stimulus onset from the DAMAGE notification for the square's region, the
response from the timestamp of the key or button event as the server processed it (RECORD). Its own
scheduling therefore does not count. It then compares every stored reaction time (tivora4.DBF, read
with dbfread, and the timing record) and every foreperiod of the timing record with what the server
saw: once with the machine as it is, once with both cores kept busy by processes it starts and ends.

Exit status 0 when every pass criterion holds."""

import argparse
import csv
import json
import math
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

import dbfread
import Xlib.error
from Xlib import X, XK
from Xlib import display as xdisplay
from Xlib.ext import damage, record
from Xlib.protocol import rq

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import start_tivora  # noqa: E402
from session import enter_identity, press_data_ok  # noqa: E402
from xsession import XSession  # noqa: E402

SQUARE = (376, 288, 33, 33)  # the stimulus square in the test window
CENTRE = (392, 304)
VIEWER = (20, 20)
BESIDE_SHAPES = (900, 700)   # a press here is a response
RESPONSES = ("key", "left", "right")
DELAYS_MS = (180, 260, 340, 220, 300, 420, 200, 380)
PASS_RT_MEAN, PASS_RT_SD, PASS_RT_MAX, PASS_FP_P99 = 1.0, 1.0, 2.0, 2.0
# At most this share of an idle run's foreperiods may be set aside as late beyond the bound while the
# machine stood still; beyond it the run does not count.
MAX_SET_ASIDE = 0.05
# A process that asks to be woken every millisecond and writes down each wake-up late by more than 1.5 ms
# (start and end of that sleep, in ms of CLOCK_MONOTONIC, the clock the X server stamps with).
STOP_WATCHER = """
import sys, time
while True:
    before = time.monotonic_ns()
    time.sleep(0.001)
    after = time.monotonic_ns()
    if after - before > 2_500_000:
        sys.stdout.write(f"{before / 1e6:.3f} {after / 1e6:.3f}\\n")
        sys.stdout.flush()
"""


def program_text(measured):
    half = measured // 2
    lines = ["1", "1", "1", "77 tivora2.rtf"] + ["1"] * measured + ["88 tivora3.rtf", str(half), str(measured - half)]
    return "\r\n".join(lines) + "\r\n"


class DamageWatch:
    """Stimulus transitions of the test window, stamped by the server: DAMAGE notifications that touch
    the square, classified by reading the square's centre right after."""

    def __init__(self, name, window):
        self.dpy = xdisplay.Display(name)
        self.dpy.damage_query_version()
        self.window = self.dpy.create_resource_object("window", window)
        self.window.damage_create(damage.DamageReportRawRectangles)
        self.dpy.sync()
        self.visible = self.centre_is_white()
        self.transitions = []  # (server ms, True for onset / False for offset, the drawing before it)
        self.drawings = []  # server ms of every drawing into the window
        self.cond = threading.Condition()
        threading.Thread(target=self.run, daemon=True).start()

    def centre_is_white(self):
        image = self.window.get_image(CENTRE[0], CENTRE[1], 1, 1, X.ZPixmap, 0xFFFFFFFF)
        return image.data[:3] == b"\xff\xff\xff"

    def run(self):
        notify = self.dpy.extension_event.DamageNotify
        while True:
            try:
                event = self.dpy.next_event()
            except Xlib.error.ConnectionClosedError:
                return  # the X server has ended
            if event.type != notify:
                continue
            a = event.area
            with self.cond:
                self.drawings.append(event.timestamp)
            if a.x >= SQUARE[0] + SQUARE[2] or a.x + a.width <= SQUARE[0] or a.y >= SQUARE[1] + SQUARE[3] \
                    or a.y + a.height <= SQUARE[1]:
                continue
            white = self.centre_is_white()
            with self.cond:
                if white != self.visible:
                    self.visible = white
                    self.transitions.append((event.timestamp, white))
                    self.cond.notify_all()

    def wait(self, count, timeout=30.0):
        """Waits until `count` transitions have been seen; returns the last one: its time and whether the
        stimulus came (or went)."""
        with self.cond:
            if not self.cond.wait_for(lambda: len(self.transitions) >= count, timeout):
                raise TimeoutError(f"stimulus transition {count} did not come")
            return self.transitions[count - 1]

    def first_drawing_since(self, time):
        """The first drawing at or after server time `time`."""
        with self.cond:
            return next(t for t in self.drawings if t >= time)


class InputRecord:
    """Key and button events as the X server processed them (RECORD device events), with its stamps."""

    def __init__(self, name):
        self.control = xdisplay.Display(name)
        self.data = xdisplay.Display(name)
        self.presses = []  # (server ms, "key" | "left" | "middle" | "right")
        self.lock = threading.Lock()
        self.context = self.control.record_create_context(0, [record.AllClients], [{
            "core_requests": (0, 0), "core_replies": (0, 0), "ext_requests": (0, 0, 0, 0),
            "ext_replies": (0, 0, 0, 0), "delivered_events": (0, 0), "device_events": (X.KeyPress, X.ButtonPress),
            "errors": (0, 0), "client_started": False, "client_died": False}])
        self.control.sync()
        threading.Thread(target=self.run, daemon=True).start()

    def run(self):
        try:
            self.data.record_enable_context(self.context, self.received)
        except Xlib.error.ConnectionClosedError:
            pass  # the X server has ended

    def received(self, reply):
        if reply.category != record.FromServer or reply.client_swapped or not reply.data:
            return
        data = reply.data
        while data:
            event, data = rq.EventField(None).parse_binary_value(data, self.data.display, None, None)
            if event.type == X.KeyPress:
                kind = "key"
            elif event.type == X.ButtonPress:
                kind = {1: "left", 2: "middle", 3: "right"}.get(event.detail, "other")
            else:
                continue
            with self.lock:
                self.presses.append((event.time, kind))

    def count(self):
        with self.lock:
            return len(self.presses)

    def wait(self, count, timeout=10.0):
        deadline = time.monotonic() + timeout
        while self.count() < count:
            if time.monotonic() > deadline:
                raise TimeoutError(f"press {count} was not recorded")
            time.sleep(0.002)
        with self.lock:
            return self.presses[count - 1]

    def close(self):
        self.control.record_disable_context(self.context)
        self.control.sync()


class Person:
    """Real input through XTEST."""

    def __init__(self, name):
        self.dpy = xdisplay.Display(name)
        self.enter = self.dpy.keysym_to_keycode(XK.string_to_keysym("Return"))
        self.dpy.xtest_fake_input(X.MotionNotify, x=BESIDE_SHAPES[0], y=BESIDE_SHAPES[1])
        self.dpy.sync()

    def press(self, kind):
        if kind == "key":
            self.dpy.xtest_fake_input(X.KeyPress, self.enter)
            self.dpy.xtest_fake_input(X.KeyRelease, self.enter)
        else:
            button = 1 if kind == "left" else 3
            self.dpy.xtest_fake_input(X.ButtonPress, button)
            self.dpy.xtest_fake_input(X.ButtonRelease, button)
        self.dpy.sync()


class MachineStops:
    """Times when this machine stood still: a watcher that should wake every millisecond woke late. On a
    virtual machine the host now and then stops the processors (or wakes an idle one late) for a few
    milliseconds; an onset due then is late by as much, which no program inside can help."""

    def __init__(self):
        self.output = tempfile.TemporaryFile(mode="w+")
        self.process = subprocess.Popen([sys.executable, "-c", STOP_WATCHER], stdout=self.output)

    def end(self):
        """Ends the watcher; returns the stops seen as (from, to) in server ms."""
        self.process.kill()
        self.process.wait()
        self.output.seek(0)
        stops = [tuple(float(v) for v in line.split()) for line in self.output if line.strip()]
        self.output.close()
        return stops


def stood_still(stops, onset, late_ms):
    """Whether the machine stood still while an onset `late_ms` late was due (1 ms for the stamps'
    resolution on either side)."""
    return any(begin <= onset + 1 and end >= onset - late_ms - 1 for begin, end in stops)


def busy_processes(count):
    return [subprocess.Popen([sys.executable, "-c", "while True: pass"]) for _ in range(count)]


def run_test(tivora, sample, measured, loaded):
    """One whole test; returns (trials seen by the server, rows of the timing record, the table row)."""
    work = tempfile.mkdtemp(prefix="tivora_timing_")
    for name in ("tivora1.rtf", "tivora2.rtf", "tivora3.rtf"):
        shutil.copy(os.path.join(sample, name), work)
    with open(os.path.join(work, "program.txt"), "w", newline="") as out:
        out.write(program_text(measured))
    x = XSession()
    busy = busy_processes(2) if loaded else []
    stops = MachineStops()
    try:
        with start_tivora(x, tivora, work) as app:
            seen = drive(x, measured)
            code = app.wait(timeout=60)
            if code != 0:
                raise RuntimeError(f"tivora ended with exit code {code}")
            record = os.path.join(work, "tivora4_timing.csv")
            rows = None
            if os.path.exists(record):
                with open(record, newline="") as f:
                    rows = list(csv.DictReader(f))
            table = list(dbfread.DBF(os.path.join(work, "tivora4.DBF"), encoding="cp852"))
    finally:
        stopped = stops.end()
        for process in busy:
            process.kill()
            process.wait()
        x.close()
    if os.environ.get("PROBE_KEEP"):
        print("kept", work)
    else:
        shutil.rmtree(work)
    if len(table) != 1:
        raise AssertionError(f"expected one stored row, found {len(table)}")
    return seen, rows, table[0], stopped


def drive(x, measured):
    """Goes through the test; returns one dict per trial with the server's onset, response and the
    reference the foreperiod ran from: the first drawing after the press that started it, the screen
    turning black as the program armed the foreperiod (the previous stimulus going, or the instruction
    screen at the start of a block)."""
    enter_identity(x)
    press_data_ok(x)
    x.wait_for(lambda s: s.pixel(*VIEWER) != (0, 0, 0), what="the first instruction screen")
    window = int(x.find_window("Měření Tivora"))
    stimulus = DamageWatch(x.display, window)
    inputs = InputRecord(x.display)
    person = Person(x.display)
    presses = 0
    transitions = 0
    trials = []

    def confirm():
        nonlocal presses
        time.sleep(0.3)
        person.press("key")
        presses += 1
        return inputs.wait(presses)[0]

    start = confirm()  # the press the next foreperiod follows
    total = 3 + measured
    for n in range(total):
        premature = 1 if n % 5 == 2 else 0
        if premature:
            time.sleep(0.4)
            person.press("left")
            presses += 1
        transitions += 1
        onset, shown = stimulus.wait(transitions)
        reference = stimulus.first_drawing_since(start)
        assert shown
        delay = DELAYS_MS[n % len(DELAYS_MS)]
        kind = RESPONSES[n % len(RESPONSES)]
        time.sleep(delay / 1000)
        person.press(kind)
        presses += 1
        response = inputs.wait(presses)[0]
        if os.environ.get("PROBE_KEEP"):
            print("onset", onset, "response", response)
        transitions += 1
        offset, shown = stimulus.wait(transitions)
        assert not shown
        trials.append({"onset": onset, "response": response, "reference": reference, "offset": offset,
                       "input": kind, "premature": premature, "block_start": n in (0, 3)})
        start = response
        if n == 2:
            x.wait_for(lambda s: s.pixel(*VIEWER) != (0, 0, 0), what="the second instruction screen")
            start = confirm()
    x.wait_for(lambda s: s.pixel(*VIEWER) != (0, 0, 0), what="the closing screen")
    confirm()
    inputs.close()
    return trials


def compare(seen, rows, table, measured, stops):
    """Errors in ms of every stored value against the server; raises AssertionError for a value that
    does not belong where it is (a wrong count, input or premature number). A foreperiod late beyond the
    bound whose onset was due while the machine stood still is set aside from the foreperiod's real error
    ("fp_stopped")."""
    stored = [int(v) for n in (1, 2) for v in (table[f"SER{n}A"] + table[f"SER{n}B"]).split("|")[:-1]]
    if len(stored) != measured:
        raise AssertionError(f"the table holds {len(stored)} reaction times for {measured} trials")
    if rows is None:  # a program without a timing record: the table's values only
        errors = [rt - (t["response"] - t["onset"]) for rt, t in zip(stored, seen[3:])]
        return {"rt": errors, "fp_record": [], "fp_programmed": [], "fp_stopped": [], "stops": len(stops),
                "stamps": "no timing record"}
    if len(rows) != len(seen):
        raise AssertionError(f"the timing record has {len(rows)} lines for {len(seen)} trials")
    rt_errors, fp_record_errors, fp_programmed_errors, fp_stopped = [], [], [], []
    for n, (trial, row) in enumerate(zip(seen, rows)):
        rt_server = trial["response"] - trial["onset"]
        rt = int(row["rt_stored_ms"])
        if n >= 3 and stored[n - 3] != rt:
            raise AssertionError(f"trial {n}: the table holds {stored[n - 3]}, the record {rt}")
        if row["input"] != trial["input"] or int(row["premature"]) != trial["premature"]:
            raise AssertionError(f"trial {n}: the record says {row['input']}/{row['premature']}, "
                                 f"the probe gave {trial['input']}/{trial['premature']}")
        rt_errors.append(rt - rt_server)
        foreperiod = int(row["foreperiod_measured_us"]) / 1000
        fp_record_errors.append(foreperiod - (trial["onset"] - trial["reference"]))
        late = foreperiod - int(row["foreperiod_programmed_ms"])
        if late > PASS_FP_P99 and stood_still(stops, trial["onset"], late):
            fp_stopped.append(late)
        else:
            fp_programmed_errors.append(late)
    return {"rt": rt_errors, "fp_record": fp_record_errors, "fp_programmed": fp_programmed_errors,
            "fp_stopped": fp_stopped, "stops": len(stops),
            "stamps": sorted({(r["onset_stamp"], r["response_stamp"]) for r in rows})}


def summary(errors):
    ordered = sorted(abs(e) for e in errors)
    p99 = ordered[max(0, math.ceil(0.99 * len(ordered)) - 1)]
    return {"n": len(errors), "mean": statistics.fmean(errors), "sd": statistics.stdev(errors), "p99": p99,
            "max": ordered[-1]}


def report(name, result):
    print(f"--- {name}: stamps (onset, response) {result['stamps']}")
    for key, title in (("rt", "reaction time, stored - server"), ("fp_record", "foreperiod, record - server"),
                       ("fp_programmed", "foreperiod, real - programmed")):
        if not result[key]:
            continue
        s = summary(result[key])
        print(f"{title:34s} n={s['n']:3d} mean={s['mean']:+7.3f} sd={s['sd']:6.3f} p99|e|={s['p99']:7.3f} "
              f"max|e|={s['max']:7.3f} ms")
    print(f"the machine stood still {result['stops']} times; foreperiods late then, set aside: "
          f"{sorted(result['fp_stopped'])}")


def verdict(name, result, idle):
    failures = []
    rt = summary(result["rt"])
    if abs(rt["mean"]) > PASS_RT_MEAN or rt["sd"] > PASS_RT_SD or rt["max"] > PASS_RT_MAX:
        failures.append(f"{name}: reaction-time error mean {rt['mean']:+.3f}, sd {rt['sd']:.3f}, max {rt['max']:.3f}")
    if idle:
        trials = len(result["fp_programmed"]) + len(result["fp_stopped"])
        if len(result["fp_stopped"]) > MAX_SET_ASIDE * trials:
            failures.append(f"{name}: {len(result['fp_stopped'])} of {trials} foreperiods late while the machine "
                            "stood still, too many to judge the rest")
        for key in ("fp_record", "fp_programmed"):
            if not result[key]:
                failures.append(f"{name}: no foreperiods to compare")
                continue
            # The 99th percentile: at most one in a hundred beyond the bound (one in 95 to 149, so that
            # trials set aside do not turn it into the maximum).
            beyond = sum(1 for e in result[key] if abs(e) > PASS_FP_P99)
            if beyond > round(0.01 * len(result[key])):
                failures.append(f"{name}: foreperiod error ({key}) p99 {summary(result[key])['p99']:.3f} ms, "
                                f"{beyond} of {len(result[key])} beyond {PASS_FP_P99:g} ms")
    return failures


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tivora")
    parser.add_argument("sample")
    # The idle pass criterion is a 99th percentile, which needs some hundred trials to be one rather than
    # the maximum; the loaded run's criteria hold for every single trial, so fewer do.
    parser.add_argument("--measured", type=int, default=30,
                        help="measured trials of the loaded test (3 practice besides)")
    parser.add_argument("--measured-idle", type=int, default=97,
                        help="measured trials of the idle test (3 practice besides)")
    parser.add_argument("--runs", default="idle,loaded", help="comma-separated: idle, loaded")
    parser.add_argument("--json", help="write the raw errors here")
    args = parser.parse_args()
    failures, results = [], {}
    for name in args.runs.split(","):
        measured = args.measured_idle if name == "idle" else args.measured
        # This machine is a virtual one that now and then stops its processors for a few milliseconds;
        # one such stop at an onset puts a foreperiod beyond 2 ms. Foreperiods late while a watcher saw
        # the machine stand still are set aside (MachineStops), a few at most; one a watcher missed
        # may still fail a run, so a failed idle run is run once more, and both are reported. A fault
        # of the program fails both.
        for attempt in (1, 2) if name == "idle" else (1,):
            seen, rows, table, stops = run_test(args.tivora, args.sample, measured, name == "loaded")
            results[name] = compare(seen, rows, table, measured, stops)
            report(name if attempt == 1 else f"{name}, run again", results[name])
            run_failures = verdict(name, results[name], name == "idle")
            if not run_failures:
                break
            print("\n".join("failed in this run: " + failure for failure in run_failures))
        failures += run_failures
    if args.json:
        with open(args.json, "w") as out:
            json.dump(results, out)
    for failure in failures:
        print("FAILED " + failure)
    if failures:
        sys.exit(1)
    print("timing probe passed")


if __name__ == "__main__":
    main()
