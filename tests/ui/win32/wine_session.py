"""A virtual X display with a Wine prefix of its own, and a Windows program's
window on it: started, clicked, typed into, photographed and probed.

The X side (Xvfb, xdotool, ImageMagick's import) moves the mouse, types and
takes screenshots; window_probe.exe, run under the same Wine server, reads what X
cannot see: texts, places, focus and tab order of the Windows controls.
"""
import json
import os
import re
import subprocess
import tempfile
import time

FIRST_START_SECONDS = 240  # Wine's first start in a new prefix takes tens of seconds
STEP_SECONDS = 60
SCREEN = (1700, 1000)


class Failed(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failed(what)


def poll(what, seconds, probe):
    """probe() until it gives something other than None; Failed after `seconds`."""
    deadline = time.monotonic() + seconds
    while True:
        found = probe()
        if found is not None:
            return found
        if time.monotonic() > deadline:
            raise Failed(f"gave up waiting for {what} after {seconds} s")
        time.sleep(0.2)


class Session:
    def __init__(self, editor, probe, prefix, caption, colours):
        self.editor, self.probe_exe, self.prefix = editor, probe, prefix
        self.caption, self.colours = caption, colours
        self.env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
        self.xvfb = None
        self.main_xid = None  # the editor's window on X

    def __enter__(self):
        read, write = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-nolisten", "tcp", "-screen", "0", f"{SCREEN[0]}x{SCREEN[1]}x24"],
            pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as display:
            number = display.readline().strip()
        check(number, "Xvfb did not start")
        self.env["DISPLAY"] = ":" + number
        # One Wine server for the whole session: two programs that start together
        # (the editor and the probe) must not both start one.
        new = not os.path.exists(os.path.join(self.prefix, "system.reg"))
        os.makedirs(self.prefix, exist_ok=True)
        self.quietly("wineserver", "-p")
        if new:  # the long wait: Wine fills the new prefix
            self.quietly("wine", "wineboot", "--init")
        self.settle_registry(96)
        return self

    def __exit__(self, *_):
        subprocess.run(["wineserver", "-k"], env=self.env, stderr=subprocess.DEVNULL)
        if self.xvfb:
            self.xvfb.kill()
            self.xvfb.wait()

    def quietly(self, *command):
        self.run(*command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                 timeout=FIRST_START_SECONDS, check=True)

    def run(self, *command, **options):
        return subprocess.run(list(command), env=self.env, **options)

    def settle_registry(self, dpi):
        """Wine draws the window frames itself (no window manager here), Windows 10's colours, this DPI."""
        lines = ["REGEDIT4", "", r"[HKEY_CURRENT_USER\Software\Wine\X11 Driver]", '"Decorated"="N"', "",
                 r"[HKEY_CURRENT_USER\Control Panel\Colors]"]
        lines += [f'"{name}"="{r} {g} {b}"' for name, (r, g, b) in self.colours.items()]
        lines += ["", r"[HKEY_CURRENT_USER\Control Panel\Desktop]", f'"LogPixels"=dword:{dpi:08x}', ""]
        with tempfile.NamedTemporaryFile("w", suffix=".reg", delete=False, dir=os.path.dirname(self.prefix)) as f:
            f.write("\r\n".join(lines))
        try:
            self.quietly("wine", "regedit", "/S", self.wine_path(f.name))
        finally:
            os.remove(f.name)
        # A new session reads the colours afresh. Its first program starts the
        # desktop and Wine's services, which inherit that program's output and
        # keep it open: started here with no pipe, so that reading the probe's
        # output through one ends when the probe does.
        self.run("wineserver", "-k")
        self.quietly("wineserver", "-p")
        self.quietly("wine", self.probe_exe, self.caption)

    def set_dpi(self, dpi):
        self.settle_registry(dpi)

    @staticmethod
    def wine_path(folder, name=None):
        path = os.path.abspath(os.path.join(folder, name) if name else folder)
        return "Z:" + path.replace("/", "\\")

    def start_editor(self, arguments):
        process = subprocess.Popen(["wine", self.editor] + arguments, env=self.env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        window = Window(self, process)
        poll("the window", FIRST_START_SECONDS, lambda: window.probe(wait=False) and True or None)
        window.xid = poll("the window on X", STEP_SECONDS, lambda: self.find_x_windows(self.caption)[:1] or None)[0]
        self.main_xid = window.xid
        return window

    def probe_windows(self, caption=None):
        """The probe's description of every window of this caption (the editor's by default)."""
        try:
            out = self.run("wine", self.probe_exe, caption or self.caption, stdin=subprocess.DEVNULL, capture_output=True,
                           timeout=STEP_SECONDS).stdout
            return json.loads(out.decode("utf-8"))
        except (subprocess.TimeoutExpired, ValueError):
            return []  # the windows are changing: the caller asks again

    def find_x_windows(self, name):
        found = self.run("xdotool", "search", "--name", "^" + re.escape(name) + "$", capture_output=True, text=True)
        return [int(x) for x in found.stdout.split()]

    def key(self, *keys, window=None):
        """Keys to this X window (the pointer moves onto it), or to the one under the pointer."""
        if window:
            self.run("xdotool", "mousemove", "--window", str(window), "5", "5", check=True)
        self.run("xdotool", "key", "--delay", "50", *keys, check=True)
        time.sleep(0.3)

    def answer_dialog(self, title, path):
        """Types the path into the file dialog of this title and presses Enter."""
        dialog = poll(f'the dialog "{title}"', STEP_SECONDS, lambda: self.find_x_windows(title)[:1] or None)[0]
        time.sleep(0.5)  # the file name box takes the keys once the dialog has filled its list
        self.run("xdotool", "mousemove", "--window", str(dialog), "5", "5", check=True)
        self.run("xdotool", "type", "--delay", "15", path, check=True)
        self.key("Return")
        poll(f'the dialog "{title}" to close', STEP_SECONDS, lambda: None if dialog in self.find_x_windows(title)
             else True)

    def cancel_dialog(self, title):
        """Escape in the dialog of this title; it closes without an answer."""
        dialog = poll(f'the dialog "{title}"', STEP_SECONDS, lambda: self.find_x_windows(title)[:1] or None)[0]
        time.sleep(0.5)
        self.key("Escape", window=dialog)
        poll(f'the dialog "{title}" to close', STEP_SECONDS, lambda: None if dialog in self.find_x_windows(title)
             else True)

    def clipboard(self):
        """The Windows clipboard's text, as the probe reads it."""
        out = self.run("wine", self.probe_exe, "--clipboard", stdin=subprocess.DEVNULL, capture_output=True,
                       timeout=STEP_SECONDS).stdout
        return json.loads(out.decode("utf-8"))

    def wait_message_box(self, caption):
        """The message box's description from the probe, and its X window."""
        box = poll("a message box", STEP_SECONDS,
                   lambda: next((w for w in self.probe_windows() if w["class"] == "#32770"), None))
        box["xid"] = poll("the message box on X", STEP_SECONDS,
                          lambda: next((x for x in self.find_x_windows(caption) if x != self.main_xid), None))
        return box

    def grab(self):
        """The screen as rows of RGB bytes."""
        raw = self.run("import", "-silent", "-window", "root", "-depth", "8", "rgb:-", capture_output=True,
                       check=True).stdout
        check(len(raw) == SCREEN[0] * SCREEN[1] * 3, "the screenshot has the wrong size")
        return Screen(raw)

    def screenshot(self, path):
        self.run("import", "-silent", "-window", "root", path)

    def screenshot_window(self, window, path):
        """A picture of one window, with the frame and caption Wine draws."""
        xid = window.xid if isinstance(window, Window) else window["xid"]
        self.run("import", "-silent", "-window", str(xid), path, check=True)


class Screen:
    def __init__(self, raw):
        self.raw = raw

    def __call__(self, x, y):
        at = (y * SCREEN[0] + x) * 3
        return tuple(self.raw[at:at + 3])


class Window:
    def __init__(self, session, process):
        self.session, self.process, self.xid = session, process, None

    def probe(self, wait=True):
        for window in self.session.probe_windows():
            if window["class"] == "TolvaneEditorWindow":
                return window
        if wait:
            raise Failed("the editor's window is gone")
        return None

    def probe_control(self, cid):
        return next(c for c in self.probe()["controls"] if c["id"] == cid)

    def alive(self):
        return self.process.poll() is None

    def place(self, control, dpi=96):
        """The control's rectangle on the screen."""
        _, _, left, top, width, height = control
        client = self.probe()["client"]
        scale = lambda v: (v * dpi + 48) // 96  # noqa: E731
        return client[0] + scale(left), client[1] + scale(top), scale(width), scale(height)

    def click(self, control, dpi=96):
        x, y, width, height = self.place(control, dpi)
        # Then onto the window's bare background, so that no tooltip covers what
        # the screenshots check and the keys still reach the window (with no
        # window manager, X gives them to the window under the pointer).
        rest_x, rest_y = self.place((0, "", 10, 20, 0, 0), dpi)[:2]
        self.session.run("xdotool", "mousemove", "--sync", str(x + width // 2), str(y + height // 2), "click", "1",
                         "mousemove", str(rest_x), str(rest_y), check=True)

    def right_click(self, control, dpi=96):
        x, y, width, height = self.place(control, dpi)
        self.session.run("xdotool", "mousemove", "--sync", str(x + width // 2), str(y + height // 2), "click", "3",
                         check=True)

    def wait_status(self, text):
        return poll(f'the status "{text}"', STEP_SECONDS,
                    lambda: True if text in self.probe_control(110)["text"] else None)

    def wait_focus(self, cid):
        poll(f"the focus on control {cid}", STEP_SECONDS, lambda: True if self.probe()["focus"] == cid else None)

    def wait_exit(self):
        try:
            return self.process.wait(timeout=STEP_SECONDS)
        except subprocess.TimeoutExpired:
            raise Failed("the editor is still running")

    def check_logo(self, logo, scale, at):
        """Each logo byte as a scale x scale block of that grey, pixel-exact, from `at` in the picture area."""
        time.sleep(0.5)
        client = self.probe()["client"]
        view = next(c for c in self.probe()["controls"] if c["id"] == 103)["rect"]
        left, top = client[0] + view[0] + at[0], client[1] + view[1] + at[1]
        screen = self.session.grab()
        for y in range(64 * scale):
            for x in range(384 * scale):
                grey = logo[(y // scale) * 384 + x // scale]
                if screen(left + x, top + y) != (grey, grey, grey):
                    raise Failed(f"logo pixel ({x}, {y}) is {screen(left + x, top + y)}, not grey {grey}")

    def check_picture_rect(self, rect, background):
        """A picture drawn at `rect` in the picture area, the area's background around it."""
        time.sleep(0.5)
        client = self.probe()["client"]
        view = next(c for c in self.probe()["controls"] if c["id"] == 103)["rect"]
        screen = self.session.grab()
        at = lambda x, y: screen(client[0] + view[0] + x, client[1] + view[1] + y)  # noqa: E731
        left, top, width, height = rect
        outside = [(left - 1, top), (left + width, top), (left, top - 1), (left, top + height),
                   (left + width - 1, top + height)]
        check(all(at(x, y) == background for x, y in outside), "the picture spills over its rectangle")
        inside = {at(x, y) for y in range(top, top + height) for x in range(left, left + width, 7)}
        check(len(inside) > 8, f"the picture in {rect} is nearly flat: {sorted(inside)[:8]}")

    def check_focus_mark(self, shown, colour, dpi=96):
        """The bars above and below the picture area (rows 45-46 and 178-179 at 96 DPI) in the
        highlight colour, or not at all."""
        time.sleep(0.5)
        client = self.probe()["client"]
        scale = lambda v: (v * dpi + 48) // 96  # noqa: E731
        screen = self.session.grab()
        lit = [screen(client[0] + x, client[1] + scale(y)) == colour
               for y in (45, 178) for x in range(0, scale(769), 23)]
        check(all(lit) if shown else not any(lit), f"the picture area's focus mark is {'not ' if shown else ''}drawn"
              f" ({sum(lit)} of {len(lit)} points)")

    def check_status_lines(self, count):
        """Ink in each of the status area's first `count` lines and in none below them."""
        client = self.probe()["client"]
        area = self.probe_control(110)
        line = area["rect"][3] // 3
        left, top, width = client[0] + area["rect"][0], client[1] + area["rect"][1], area["rect"][2]
        screen = self.session.grab()
        for k in range(3):
            ink = any(max(screen(left + x, top + k * line + y)) < 100 for y in range(line) for x in range(0, width, 2))
            check(ink == (k < count), f"status line {k + 1} {'is empty' if k < count else 'has ink'}")

    def check_background_colours(self, colours):
        client = self.probe()["client"]
        screen = self.session.grab()
        at = lambda x, y: screen(client[0] + x, client[1] + y)  # noqa: E731
        check(at(10, 20) == colours["ActiveBorder"], f"the window background is {at(10, 20)}")
        check(at(400, 100) == colours["Window"], f"the empty picture area is {at(400, 100)}")
        check(at(185, 9) == colours["ButtonFace"], f"the title's background is {at(185, 9)}")

    def check_fonts(self):
        """Font B (18 pt bold) stands far taller than font A (9.75 pt) in the screenshot."""
        client = self.probe()["client"]
        screen = self.session.grab()

        def ink_rows(left, top, width, height):
            rows = [y for y in range(height)
                    if any(max(screen(client[0] + left + x, client[1] + top + y)) < 100 for x in range(width))]
            return (rows[-1] - rows[0] + 1) if rows else 0

        title = ink_rows(186, 8, 360, 25)
        button = ink_rows(692, 187, 73, 19)  # Quit: no focus rectangle around its text
        check(15 <= title <= 25 and 8 <= button <= 13, f"text heights: title {title} px, buttons {button} px")
