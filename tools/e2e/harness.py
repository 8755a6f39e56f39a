"""What the test drivers share: checks that fail at once or are collected, screenshots, and one way to
start a program with its output kept and shown when the driver fails."""

import os
import subprocess
import sys
import tempfile

TOOLS = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def check(condition, message):
    """Fails the driver at once with `message` unless `condition` holds."""
    if not condition:
        raise AssertionError(message)


class Failures:
    """Checks that go on after a failure: each failed one is printed and kept, and the driver fails at the
    end when any did."""

    def __init__(self):
        self.messages = []

    def check(self, condition, message):
        if not condition:
            self.messages.append(message)
            print("FAIL:", message)

    def __bool__(self):
        return bool(self.messages)

    def __len__(self):
        return len(self.messages)

    def __iter__(self):
        return iter(self.messages)


def shot(x, folder, name):
    """Saves XSession `x`'s screen as folder/name.ppm when a folder for screenshots was given."""
    if folder:
        os.makedirs(folder, exist_ok=True)
        x.screen().save_ppm(os.path.join(folder, name + ".ppm"))


def dbase_records(table):
    """The records of a dBase table as bytes, flag first, in file order; with the header's length, the
    record length and the fields' (offset, width) by name."""
    with open(table, "rb") as f:
        data = f.read()
    count = int.from_bytes(data[4:8], "little")
    header = int.from_bytes(data[8:10], "little")
    length = int.from_bytes(data[10:12], "little")
    fields, offset = {}, 1
    for at in range(32, header - 1, 32):
        name = data[at:at + 11].split(b"\0")[0].decode("ascii")
        fields[name] = (offset, data[at + 16])
        offset += data[at + 16]
    return [data[header + i * length: header + (i + 1) * length] for i in range(count)], header, length, fields


def tivora_environment(x, **extra):
    """The environment for the test program on XSession `x`, with `extra` variables. In a sanitizer build:
    libxkbcommon-x11 hands strndup() X atom names that are not NUL-terminated within the length ASan's
    interceptor reads; that check is turned off (the library, not ours), and Qt's own allocations kept until
    exit are not leaks of ours."""
    env = dict(x.env, QT_QPA_PLATFORM="xcb", LANG="C.UTF-8", LC_ALL="C.UTF-8")
    env["ASAN_OPTIONS"] = ":".join(filter(None, [os.environ.get("ASAN_OPTIONS"), "intercept_strndup=0"]))
    env.setdefault("LSAN_OPTIONS", f"suppressions={os.path.join(TOOLS, 'lsan.supp')}")
    env.update(extra)
    return env


class Program:
    """A started program whose output (standard output and error) goes to `log_path`, or to a temporary
    file. Ended when it is closed or its `with` block ends; its output is printed when the driver failed."""

    def __init__(self, command, cwd, env, log_path=None):
        # Read back as UTF-8, with what is not (a Windows program's output under Wine) replaced.
        text = {"mode": "w+", "encoding": "utf-8", "errors": "replace"}
        self.log = open(log_path, **text) if log_path else tempfile.TemporaryFile(**text)
        self.process = subprocess.Popen(command, cwd=cwd, env=env, stdout=self.log, stderr=subprocess.STDOUT)

    @property
    def returncode(self):
        return self.process.returncode

    def poll(self):
        return self.process.poll()

    def wait(self, timeout=None):
        return self.process.wait(timeout=timeout)

    def stop(self):
        """Ends the program if it is still running: asked first, killed when it does not end in 10 s."""
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()

    def output(self):
        self.log.flush()
        self.log.seek(0)
        return self.log.read()

    def close(self, passed):
        self.stop()
        if not passed:
            sys.stderr.write(self.output())
        self.log.close()

    def __enter__(self):
        return self

    def __exit__(self, kind, value, traceback):
        self.close(passed=kind is None)
        return False


def start_tivora(x, tivora, work, arguments=(), **extra_env):
    """The test program `tivora` started in folder `work` on XSession `x` (see tivora_environment()), its
    output in work/tivora.log."""
    return Program([tivora, *arguments], work, tivora_environment(x, **extra_env), os.path.join(work, "tivora.log"))
