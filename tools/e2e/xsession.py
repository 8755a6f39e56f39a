"""A virtual X display for end-to-end tests: Xvfb, real input events through xdotool (XTEST), and
pixels read back from the screen with ImageMagick."""

import os
import subprocess
import time


class XSession:
    def __init__(self, width=1024, height=768):
        read_fd, write_fd = os.pipe()
        self.server = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", f"{width}x{height}x24", "-nolisten", "tcp",
             "-noreset"],
            pass_fds=(write_fd,), stderr=subprocess.DEVNULL)
        os.close(write_fd)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read_fd, 16)
            if not chunk:
                raise RuntimeError("Xvfb did not start")
            number += chunk
        os.close(read_fd)
        self.display = ":" + number.decode().strip()
        self.width, self.height = width, height
        self.env = dict(os.environ, DISPLAY=self.display)
        self.bound_letters = set()

    def close(self):
        self.server.terminate()
        try:
            self.server.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.server.kill()

    def xdotool(self, *args):
        return subprocess.run(["xdotool", *map(str, args)], env=self.env, check=True,
                              stdout=subprocess.PIPE, text=True).stdout

    def find_window(self, name, timeout=20.0):
        """The id of the first visible window whose title contains `name`."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            result = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", name], env=self.env,
                                    stdout=subprocess.PIPE, text=True)
            ids = result.stdout.split()
            if ids:
                return ids[0]
            time.sleep(0.1)
        raise TimeoutError(f"no window named {name!r}")

    def window_geometry(self, window):
        """(x, y, width, height) of a window on the screen."""
        values = {}
        for line in self.xdotool("getwindowgeometry", "--shell", window).splitlines():
            key, _, value = line.partition("=")
            values[key] = int(value) if value.lstrip("-").isdigit() else value
        return values["X"], values["Y"], values["WIDTH"], values["HEIGHT"]

    # One xdotool call moves and clicks: the X server handles the two events in order. (Its "--sync"
    # would stall for seconds when the pointer already stands at the target.)
    def click(self, x, y, button=1):
        self.xdotool("mousemove", x, y, "click", button)

    def press(self, x, y, button):
        self.xdotool("mousemove", x, y, "mousedown", button)

    def release(self, x, y, button):
        self.xdotool("mousemove", x, y, "mouseup", button)

    def key(self, name):
        self.xdotool("key", "--clearmodifiers", name)

    def type(self, text):
        self.bind_letters(text)
        self.xdotool("type", "--delay", "40", text)

    def bind_letters(self, text):
        """Gives every letter of `text` beyond ASCII a key of its own (lower case, and upper case with
        Shift) on spare keycodes. Otherwise xdotool binds a scratch key for each such letter just before
        pressing it, and a client still reading the old keyboard map then loses the letter."""
        from Xlib import display as xdisplay
        letters = sorted({c.lower() for c in text if ord(c) > 127} - self.bound_letters)
        if not letters:
            return
        dpy = xdisplay.Display(self.env["DISPLAY"])
        try:
            first = dpy.display.info.min_keycode
            mapping = dpy.get_keyboard_mapping(first, dpy.display.info.max_keycode - first + 1)
            spare = [first + i for i, symbols in enumerate(mapping) if not any(symbols)]
            if len(spare) < len(letters):
                return  # xdotool's own way then
            for letter, keycode in zip(letters, spare):
                # Latin-1 letters are their own keysyms; others are Unicode keysyms.
                keysyms = [ord(c) if ord(c) <= 0xFF else 0x1000000 | ord(c) for c in (letter, letter.upper())]
                dpy.change_keyboard_mapping(keycode, [tuple(keysyms)])
            dpy.sync()
            self.bound_letters.update(letters)
        finally:
            dpy.close()
        time.sleep(0.2)  # the clients take in the new map

    def clipboard(self, timeout=10.0):
        """The text on the clipboard (the CLIPBOARD selection, as UTF-8), None when nobody holds it."""
        from Xlib import X, display as xdisplay
        dpy = xdisplay.Display(self.env["DISPLAY"])
        try:
            screen = dpy.screen()
            window = screen.root.create_window(0, 0, 1, 1, 0, screen.root_depth)
            target = dpy.intern_atom("TIVORA_E2E_CLIPBOARD")
            window.convert_selection(dpy.intern_atom("CLIPBOARD"), dpy.intern_atom("UTF8_STRING"), target,
                                     X.CurrentTime)
            dpy.flush()
            deadline = time.monotonic() + timeout
            while True:
                if dpy.pending_events():
                    event = dpy.next_event()
                    if event.type == X.SelectionNotify:
                        break
                elif time.monotonic() > deadline:
                    raise TimeoutError("the clipboard's owner did not answer")
                else:
                    time.sleep(0.02)
            if event.property == X.NONE:
                return None
            value = window.get_full_property(target, X.AnyPropertyType)
            return value.value.decode("utf-8") if value else None
        finally:
            dpy.close()

    def screen(self):
        """The whole screen as a Screen of RGB pixels (read with ImageMagick's import)."""
        data = subprocess.run(["import", "-window", "root", "-depth", "8", "rgb:-"], env=self.env, check=True,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout
        return Screen(data, self.width, self.height)

    def wait_for(self, predicate, timeout=20.0, what="the screen"):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            screen = self.screen()
            if predicate(screen):
                return screen
            time.sleep(0.01)
        raise TimeoutError(f"timed out waiting for {what}")


class Screen:
    """A screenful of 8-bit RGB pixels, row by row."""

    def __init__(self, data, width, height):
        if len(data) != width * height * 3:
            raise ValueError(f"expected {width}x{height} RGB pixels, got {len(data)} bytes")
        self.width, self.height, self.data = width, height, data

    def pixel(self, x, y):
        offset = (y * self.width + x) * 3
        return tuple(self.data[offset:offset + 3])

    def save_ppm(self, path):
        with open(path, "wb") as out:
            out.write(f"P6 {self.width} {self.height} 255\n".encode())
            out.write(self.data)
