#!/usr/bin/python3
"""The program on Wayland, as a user of a Wayland desktop meets it: weston with its x11 backend
inside Xvfb (a real seat), Memwick with QT_QPA_PLATFORM=wayland and no DISPLAY, a real pointer
and keyboard through xdotool on that Xvfb, wl-paste for the clipboard, and what the compositor
itself shows through its debug streams: the scene graph (where each surface stands, and in which
role) and the protocol of every client (who holds the keyboard, which surface a press went to).
Every wait polls for what it waits for: the machine may be busy.

Chromium on its Wayland platform pastes what it is given, as the X11 paste test checks. Then a
second start and the commands (--hide, --toggle, --quit, and those that find no program).

Usage: wayland_test.py PROGRAM [--shots DIR]
  --shots DIR  also saves screenshots of the compositor's output into DIR."""
import os
import random
import re
import select
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [os.path.join(HERE, "..", "support"), os.path.join(HERE, "..", "paste")]
import chromium_paste_test as chromium  # noqa: E402
import paste_session  # noqa: E402
from scripted_checks import Checks, Failed, wait_for as poll  # noqa: E402

WAIT_SECONDS = 30
OUTPUT = (1200, 860)  # weston's output, at the top-left corner of the 1280 x 900 Xvfb screen
SOCKET = "memwick-test"
TITLE = "Memwickv1.3"
TIP_WINDOW_SIZE = (472, 415)

# Places in the main window (window coordinates): the tab control lies at 8, 48.
TAB = (8, 48)


def slot_rect(k):
    """图片框k (1..8) as x, y, width, height in the main window."""
    col, row = (k - 1) % 4, (k - 1) // 4
    return (TAB[0] + 8 + 160 * col, TAB[1] + 88 + 192 * row, 152, 184)


def centre(rect):
    x, y, w, h = rect
    return (x + w // 2, y + h // 2)


def inside(point, rect):
    x, y, w, h = rect
    return x <= point[0] < x + w and y <= point[1] < y + h


SEARCH_BOX = (TAB[0] + 208, TAB[1] + 24, 232, 32)
FAVOURITES_PAGE = (240, 8, 50, 40)   # the label over the painted 收藏 button
TIP_BUTTON = (TAB[0] + 96, TAB[1] + 368, 128, 56)  # 打赏_按钮 on that page


def wait_for(what, probe, seconds=WAIT_SECONDS):
    return poll(what, probe, seconds)


class View:
    def __init__(self, role, pid, surface, description, x1, y1, x2, y2):
        self.role, self.pid, self.surface, self.description = role, pid, surface, description
        self.x, self.y, self.w, self.h = x1, y1, x2 - x1, y2 - y1

    def __repr__(self):
        return "%s surface %d %r at %d,%d %dx%d" % (self.role, self.surface, self.description, self.x, self.y,
                                                    self.w, self.h)


VIEW_LINE = re.compile(r"View \d+ \(role ([^,]*), PID (\d+), surface ID (\d+), (.*), 0x[0-9a-f]+\):")
POSITION_LINE = re.compile(r"position: \((-?[\d.]+), (-?[\d.]+)\) -> \((-?[\d.]+), (-?[\d.]+)\)")


class Session:
    def __init__(self, program, work, shots):
        self.program, self.work, self.shots = program, work, shots
        self.procs = []
        self.runtime = os.path.join(work, "runtime")
        os.mkdir(self.runtime, 0o700)
        self.x_env = None
        self.memwick = None
        self.client = None  # memwick's client in the protocol log
        self.main = None    # memwick's main window as the compositor has it

    # ---- the seat: Xvfb, weston in it, weston's protocol log
    def start(self):
        display = self.start_xvfb()
        self.x_env = {k: v for k, v in os.environ.items() if k not in ("WAYLAND_DISPLAY", "WAYLAND_SOCKET")}
        self.x_env.update(DISPLAY=display, XDG_RUNTIME_DIR=self.runtime)
        self.wl_env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_SOCKET")}
        self.wl_env.update(WAYLAND_DISPLAY=SOCKET, XDG_RUNTIME_DIR=self.runtime)
        config = os.path.join(self.work, "weston.ini")
        with open(config, "w") as f:
            # No panel, lock screen or animations: windows stand where they are asked to, at once.
            f.write("[core]\nidle-time=0\n[shell]\npanel-position=none\nlocking=false\nanimation=none\n"
                    "close-animation=none\nstartup-animation=none\nfocus-animation=none\n"
                    "[input-method]\npath=\n")
        self.spawn(["weston", "--backend=x11-backend.so", "--use-pixman", "--width=%d" % OUTPUT[0],
                    "--height=%d" % OUTPUT[1], "--socket=" + SOCKET, "--config=" + config, "--debug",
                    "--log=" + os.path.join(self.work, "weston.log")], self.x_env, "weston.out")
        wait_for("weston's debug interface", lambda: subprocess.run(
            ["weston-debug", "-l"], env=self.wl_env, capture_output=True).returncode == 0)
        wait_for("weston's desktop shell", lambda: any(
            "background for output" in v.description for v in self.views()))
        self.proto = os.path.join(self.work, "proto.log")
        self.spawn(["weston-debug", "proto", "-o", self.proto], self.wl_env, "weston-debug.out")
        wait_for("the protocol log", lambda: os.path.exists(self.proto))
        # Keys go to weston's window whatever the pointer does; there is no X window manager.
        window = wait_for("weston's window on the X server", lambda: subprocess.run(
            ["xdotool", "search", "--class", "^Weston Compositor$"], env=self.x_env, capture_output=True,
            text=True).stdout.split())
        self.xdo("windowfocus", "--sync", window[0])

    def start_xvfb(self):
        # A display of its own: a random number, far from the :0 that desktops take.
        for _ in range(5):
            read_end, write_end = os.pipe()
            proc = subprocess.Popen(["Xvfb", ":%d" % (100 + random.randrange(800)), "-displayfd", str(write_end),
                                     "-screen", "0", "1280x900x24", "-nolisten", "tcp"],
                                    pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            os.close(write_end)
            number = b""
            deadline = time.monotonic() + 60
            while proc.poll() is None and time.monotonic() < deadline and not number.endswith(b"\n"):
                ready, _, _ = select.select([read_end], [], [], 0.1)
                if ready:
                    chunk = os.read(read_end, 16)
                    if not chunk:
                        break
                    number += chunk
            os.close(read_end)
            if number.strip():
                self.procs.append(proc)
                return ":" + number.decode().strip()
            proc.kill()
            proc.wait()
        raise Failed("Xvfb did not start")

    def spawn(self, argv, env, log, **kw):
        out = open(os.path.join(self.work, log), "wb")
        proc = subprocess.Popen(argv, env=env, stdout=out, stderr=subprocess.STDOUT, **kw)
        self.procs.append(proc)
        return proc

    def stop(self):
        # Memwick and the clients first, Xvfb last: none of them dies of a lost display.
        for proc in reversed(self.procs):
            if proc.poll() is None:
                proc.terminate()
                try:
                    proc.wait(10)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()

    # ---- what the compositor shows
    def views(self):
        out = subprocess.run(["weston-debug", "scene-graph"], env=self.wl_env, capture_output=True,
                             text=True, errors="replace").stdout
        views, pending = [], None
        for line in out.splitlines():
            m = VIEW_LINE.search(line)
            if m:
                pending = m.groups()
                continue
            m = POSITION_LINE.search(line)
            if m and pending:
                role, pid, surface, description = pending
                views.append(View(role, int(pid), int(surface), description,
                                  *(int(float(v)) for v in m.groups())))
                pending = None
        return views

    def memwick_views(self):
        return [v for v in self.views() if v.pid == self.memwick.pid and "cursor" not in v.role]

    def main_view(self):
        for v in self.memwick_views():
            if v.role == "xdg_toplevel" and "'%s'" % TITLE in v.description:
                return v
        return None

    def others(self):
        """Memwick's surfaces besides the main window."""
        return [v for v in self.memwick_views() if v.surface != self.main.surface]

    def balloon(self):
        found = [v for v in self.others() if 0 < v.h < 100]
        return found[0] if found else None

    def protocol(self, start=0, end=None):
        """The protocol log's lines, from byte `start` to byte `end`."""
        with open(self.proto, "rb") as f:
            f.seek(start)
            data = f.read() if end is None else f.read(max(0, end - start))
        return data.decode(errors="replace").splitlines()

    def memwick_client(self):
        for line in self.protocol():
            if 'set_title("%s")' % TITLE in line:
                m = re.search(r"client (0x[0-9a-f]+)", line)
                if m:
                    return m.group(1)
        return None

    def keyboard_focus(self, upto=None):
        """The surface of memwick's that holds the keyboard (by the log up to byte `upto`), or None."""
        focus = None
        pattern = re.compile(r"client %s ev wl_keyboard@\d+\.(enter|leave)\(\d+, wl_surface@(\d+)" % self.client)
        for line in self.protocol(end=upto):
            m = pattern.search(line)
            if m:
                focus = int(m.group(2)) if m.group(1) == "enter" else None
        return focus

    def pointer_events(self, since=0):
        """(surface entered, buttons pressed there) for memwick, in order, from byte `since` of the log."""
        pattern = re.compile(r"client %s ev wl_pointer@\d+\.(enter|button)\(\d+, (?:wl_surface@(\d+)|\d+, \d+, (\d))" %
                             self.client)
        events = []
        for line in self.protocol(since):
            m = pattern.search(line)
            if not m:
                continue
            if m.group(1) == "enter":
                events.append([int(m.group(2)), 0])
            elif m.group(3) == "1" and events:
                events[-1][1] += 1
        return events

    # ---- the seat's input
    def xdo(self, *args):
        subprocess.run(["xdotool"] + [str(a) for a in args], env=self.x_env, check=True)

    def move(self, x, y):
        # weston's x11 backend moves its pointer by the motions it sees and takes the absolute
        # place again when the pointer enters its window: out, then in.
        self.xdo("mousemove", OUTPUT[0] + 40, OUTPUT[1] + 20)
        self.xdo("mousemove", x, y)

    def click(self, x, y):
        self.move(x, y)
        self.xdo("click", 1)

    def in_main(self, point):
        return (self.main.x + point[0], self.main.y + point[1])

    def clipboard_types(self):
        out = subprocess.run(["wl-paste", "--list-types"], env=self.wl_env, capture_output=True, text=True)
        return out.stdout.split() if out.returncode == 0 else []

    def clipboard(self, mime):
        out = subprocess.run(["wl-paste", "--no-newline", "--type", mime], env=self.wl_env, capture_output=True)
        return out.stdout if out.returncode == 0 else b""

    def shot(self, name):
        if self.shots:
            subprocess.run(["import", "-window", "root", "-crop", "%dx%d+0+0" % OUTPUT,
                            os.path.join(self.shots, name + ".png")], env=self.x_env, check=False)


class Steps(Checks):
    def attempt(self, what, step):
        """Runs a step whose waits may time out; a time-out fails that check only."""
        try:
            step()
        except Failed as e:
            self.check(what, False, str(e))


def start_memwick(s):
    home = os.path.join(s.work, "home")
    os.mkdir(home)
    exe = os.path.join(home, "memwick")
    shutil.copy2(s.program, exe)
    # A settings file there already, or the first start would ask about it in a message box.
    with open(os.path.join(home, "MW_scdz.ini"), "w", encoding="gbk", newline="") as settings:
        settings.write("[收藏]\r\n地址=%s\r\n" % os.path.join(home, "我的收藏"))
    s.exe = exe
    s.env = dict(s.wl_env, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
                 XDG_CACHE_HOME=os.path.join(home, ".cache"), QT_QPA_PLATFORM="wayland")
    if "ASAN_OPTIONS" in s.env:
        # Qt 6.4's Wayland plugin leaves its protocol objects, and what they hold, to the end of a
        # program that quits (--quit below): the leak check would report them, not ours.
        s.env["ASAN_OPTIONS"] += ":detect_leaks=0"
    s.stderr = os.path.join(s.work, "memwick.stderr")
    s.memwick = subprocess.Popen([exe], cwd=home, env=s.env, stdout=subprocess.DEVNULL,
                                 stderr=open(s.stderr, "wb"))
    s.procs.append(s.memwick)

    def main_window():
        if s.memwick.poll() is not None:
            raise Failed("the program ended with status %d" % s.memwick.returncode)
        return s.main_view()
    s.main = wait_for("main window", main_window, 60)
    s.client = wait_for("the program in the protocol log", s.memwick_client)


def copies(s, checks):
    """A still and a GIF reach the clipboard; a click under the balloon of one picture copies the
    picture under it; the balloon opens at the pointer and leaves the keyboard with the main window."""
    five = s.in_main(centre(slot_rect(5)))
    s.click(*five)
    still = wait_for("still picture of 图片框5 on the clipboard", lambda: s.clipboard("image/png"), 60)
    checks.check("a still copy offers image/png and no GIF",
                 still.startswith(b"\x89PNG") and "image/gif" not in s.clipboard_types(), str(s.clipboard_types()))
    wait_for("the balloon to go", lambda: s.balloon() is None, 10)

    # Box 5's balloon opens at its centre and covers the left half of box 6; a click there goes to
    # the balloon's surface and must reach box 6. The balloon shows for 2 s: on a busy machine the
    # click may come after it went and land on box 6 itself; then again.
    slot6 = (s.main.x + slot_rect(6)[0], s.main.y + slot_rect(6)[1]) + slot_rect(6)[2:]
    for _ in range(3):
        s.click(*five)
        wait_for("copy of 图片框5", lambda: s.clipboard("image/png") == still, 10)
        balloon = wait_for("balloon tip after the copy", s.balloon, 10)
        six = (balloon.x + balloon.w - 8, balloon.y + balloon.h // 2)
        if not inside(six, slot6):
            break
        shown = os.path.getsize(s.proto)
        s.click(*six)
        pressed_on = wait_for("the click on 图片框6 in the protocol log",
                              lambda: [e for e in s.pointer_events(shown) if e[1]], 10)
        if pressed_on[-1][0] == balloon.surface:
            break
        wait_for("the balloon to go", lambda: s.balloon() is None, 10)
    checks.check("the balloon opens at the pointer", abs(balloon.x - five[0]) <= 4 and abs(balloon.y - five[1]) <= 4,
                 "pointer at %d,%d, balloon %r" % (five + (balloon,)))
    checks.check("the balloon is a popup of the main window, not a window of its own",
                 balloon.role == "xdg_popup", repr(balloon))
    if not inside(six, slot6):
        checks.check("the balloon of 图片框5 covers 图片框6", False, "%r, 图片框6 at %r" % (balloon, slot6))
        return
    focus = s.keyboard_focus(upto=shown)
    checks.check("the keyboard stays with the main window while the balloon shows", focus == s.main.surface,
                 "focus on surface %s, main window %d" % (focus, s.main.surface))
    checks.check("the click on 图片框6 lands on the balloon", pressed_on[-1][0] == balloon.surface,
                 "pressed on %r, balloon surface %d" % (pressed_on, balloon.surface))
    try:
        wait_for("copy of 图片框6", lambda: s.clipboard("image/png") not in (b"", still), 10)
        checks.check("a click on 图片框6 under the balloon of 图片框5 copies 图片框6", True)
    except Failed as e:
        checks.check("a click on 图片框6 under the balloon of 图片框5 copies 图片框6", False, str(e))
    s.shot("balloon-after-click")

    # A GIF: the top row from the right, so that no balloon covers the next box clicked.
    gif_types = None
    for k in (4, 3, 2, 1):
        before = s.clipboard_types()
        s.click(*s.in_main(centre(slot_rect(k))))
        try:
            wait_for("copy of 图片框%d" % k, lambda: s.clipboard_types() != before, 10)
        except Failed:
            continue
        if "image/gif" in s.clipboard_types():
            gif_types = s.clipboard_types()
            break
    checks.check("a GIF copy offers the GIF itself", gif_types is not None and
                 s.clipboard("image/gif")[:4] == b"GIF8" and "text/uri-list" in gif_types, str(gif_types))


def keyboard_press(s, checks):
    """After a keyboard press with the pointer outside the main window, the balloon opens at the
    pressed control."""
    # Into the search box by the pointer, then Tab, Tab: the magnifier, then 图片框1.
    s.click(*s.in_main(centre(SEARCH_BOX)))
    wait_for("the keyboard on the main window", lambda: s.keyboard_focus() == s.main.surface, 10)
    s.xdo("key", "Tab", "Tab")
    # The pointer well away from the window, on the desktop beside it.
    left_room = s.main.x
    away_x = left_room // 2 if left_room > OUTPUT[0] - (s.main.x + s.main.w) else (
        s.main.x + s.main.w + OUTPUT[0]) // 2
    s.move(away_x, s.main.y + s.main.h // 2)
    wait_for("the balloon of the last copy to go", lambda: s.balloon() is None, 10)
    s.xdo("key", "space")
    balloon = wait_for("balloon tip after the keyboard press", s.balloon, 10)
    slot1 = (s.main.x + slot_rect(1)[0], s.main.y + slot_rect(1)[1]) + slot_rect(1)[2:]
    checks.check("after a keyboard press the balloon opens at the pressed control",
                 inside((balloon.x, balloon.y), slot1), "%r, 图片框1 at %r" % (balloon, slot1))
    checks.check("the keyboard stays with the main window after a keyboard press",
                 s.keyboard_focus() == s.main.surface,
                 "focus on surface %s, main window %d" % (s.keyboard_focus(), s.main.surface))
    s.shot("balloon-after-keyboard-press")


def tip_window(s, checks):
    """The tip window opens centred over the main window, and a click closes it."""
    s.click(*s.in_main(centre(FAVOURITES_PAGE)))
    s.click(*s.in_main(centre(TIP_BUTTON)))
    tip = wait_for("the tip window", lambda: next(
        (v for v in s.others() if (v.w, v.h) == TIP_WINDOW_SIZE), None), 10)
    expected = (s.main.x + 95, s.main.y + 114)
    checks.check("the tip window stands centred over the main window", (tip.x, tip.y) == expected,
                 "at %d,%d, expected %d,%d" % ((tip.x, tip.y) + expected))
    s.shot("tip-window")
    s.click(tip.x + 200, tip.y + 200)
    try:
        wait_for("the tip window to close", lambda: not any((v.w, v.h) == TIP_WINDOW_SIZE for v in s.others()), 10)
        checks.check("a click closes the tip window", True)
    except Failed as e:
        checks.check("a click closes the tip window", False, str(e))


def settled(s):
    """The main window once two looks at it in a row find it at the same place."""
    last = [None]

    def same():
        v = s.main_view()
        place, last[0] = last[0], (v.x, v.y)
        return v if place == last[0] else None
    return wait_for("the window to settle", same, 10)


def title_drag(s, checks):
    """A press on the title strip and a move drag the window with the pointer."""
    start = (s.main.x, s.main.y)
    px, py = s.in_main((300, 20))
    s.move(px, py)
    s.xdo("mousedown", 1)

    def taken_over():
        s.xdo("mousemove_relative", 2, 1)
        v = s.main_view()
        return v if (v.x, v.y) != start else None
    try:
        wait_for("move of the window after a press and move on the title strip", taken_over, 20)
        moved = settled(s)
        for _ in range(10):
            s.xdo("mousemove_relative", 10, 6)
        target = (moved.x + 100, moved.y + 60)
        try:
            wait_for("window following the pointer by 100,60",
                     lambda: (s.main_view().x, s.main_view().y) == target, 20)
        except Failed as e:
            v = s.main_view()
            raise Failed("%s: from %d,%d it went to %d,%d" % (e, moved.x, moved.y, v.x, v.y))
        checks.check("the title strip drags the window", True)
    except Failed as e:
        checks.check("the title strip drags the window", False, str(e))
    finally:
        s.xdo("mouseup", 1)
    s.main = s.main_view()


class ChromiumSeat(paste_session.Session):
    """The X11 paste tests' session on weston, where a click raises a window and gives it the keys.
    The browser is wider than the program and less tall: neither hides the other whole."""

    def __init__(self, s, browser):  # nothing of the X11 session's own is started
        self.s, self.work, self.env = s, os.path.dirname(s.exe), dict(s.env, DISPLAY=s.x_env["DISPLAY"])
        self.clipboard, self.targets = s.clipboard, s.clipboard_types

        def free(view, cover):
            for point in [(x, y) for x in (view.x + 10, view.x + view.w - 10)
                          for y in (view.y + 10, view.y + view.h - 10)]:
                if not inside(point, (cover.x, cover.y, cover.w, cover.h)):
                    return point
            raise Failed("the windows cover each other: %r, %r" % (view, cover))
        self.points = {"memwick": free(s.main, browser), "browser": free(browser, s.main)}

    def activate(self, window):
        self.s.click(*self.points[window])

    def click_box(self, k):
        self.activate("memwick")
        self.s.click(*self.s.in_main(centre(slot_rect(k))))


def chromium_pastes(s, checks):
    def window():
        found = [v for v in s.views() if v.role == "xdg_toplevel" and v.pid != s.memwick.pid and v.w >= 200]
        return found[0] if found else None

    def start(_, url):
        devtools = chromium.launch_browser(
            lambda argv, fds: s.spawn(argv, dict(s.wl_env, HOME=s.work), "chromium.log", pass_fds=fds),
            os.path.join(s.work, "chromium"), url, ["--ozone-platform=wayland", "--window-size=760,240"])
        return devtools, ChromiumSeat(s, wait_for("the browser's window", window, 60)), "browser"
    started = len(s.procs)
    try:
        chromium.run(s, os.path.join(HERE, "..", "..", "demo", "content", "pictures"), checks, start, drags=False)
    finally:
        for proc in s.procs[started:]:  # gone before the next steps look at the windows
            proc.terminate()
            proc.wait(10)


def commands(s, checks):
    """A second start and the commands hand over to the running program and end with their
    status; a window shown again holds the keyboard, through the activation token of the command
    that asked where the compositor has xdg-activation; --quit ends the program."""
    def says(*args, token=None):
        env = dict(s.env, XDG_ACTIVATION_TOKEN=token) if token else s.env
        return subprocess.run([s.exe] + list(args), env=env, capture_output=True, text=True, timeout=60)

    def ends_with(what, result, status):
        checks.check("%s ends with %d" % (what, status), result.returncode == status,
                     "status %d: %s" % (result.returncode, result.stderr.strip()))

    def shown_with_keyboard(what):
        s.main = wait_for("the main window after " + what, s.main_view, 10)
        wait_for("the keyboard on the main window after " + what, lambda: s.keyboard_focus() == s.main.surface, 10)

    gone = lambda: s.main_view() is None  # noqa: E731
    ends_with("--hide", says("--hide"), 0)
    wait_for("the main window to go on --hide", gone, 10)
    asked = os.path.getsize(s.proto)
    ends_with("a second start", says(token="memwick-test-token"), 0)
    shown_with_keyboard("a second start")
    globals_offered = [line for line in s.protocol() if "client %s ev wl_registry" % s.client in line]
    checks.check("the protocol log shows the globals offered", any('"xdg_wm_base"' in line for line in globals_offered))
    if any('"xdg_activation_v1"' in line for line in globals_offered):
        checks.check("the window shown asks with the token of the command that asked",
                     any('activate("memwick-test-token"' in line for line in s.protocol(asked)))
    else:
        print("note: this weston offers no xdg_activation_v1: no token can be used", flush=True)
    ends_with("--toggle on the active window", says("--toggle"), 0)
    wait_for("the main window to go on --toggle", gone, 10)
    ends_with("--toggle on the hidden window", says("--toggle"), 0)
    shown_with_keyboard("--toggle")
    ends_with("--quit", says("--quit"), 0)
    wait_for("the program to end on --quit", lambda: s.memwick.poll() is not None, 30)
    checks.check("the program ends with 0 on --quit", s.memwick.returncode == 0, str(s.memwick.returncode))
    for command in ("--show", "--hide", "--quit"):
        result = says(command)
        ends_with(command + " with no program", result, 1)
        checks.check(command + " with no program says so", "not running" in result.stderr, result.stderr)


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    program = os.path.abspath(sys.argv[1])
    shots = None
    if "--shots" in sys.argv[2:]:
        shots = os.path.abspath(sys.argv[sys.argv.index("--shots") + 1])
        os.makedirs(shots, exist_ok=True)
    checks = Steps()
    with tempfile.TemporaryDirectory() as work:
        s = Session(program, work, shots)
        try:
            s.start()
            print("weston: " + subprocess.run(["weston", "--version"], capture_output=True,
                                               text=True).stdout.strip(), flush=True)
            start_memwick(s)
            for what, step in (("copies", copies), ("Chromium's pastes", chromium_pastes),
                               ("keyboard press", keyboard_press), ("tip window", tip_window),
                               ("title drag", title_drag)):
                checks.attempt(what, lambda: step(s, checks))
            if s.memwick.poll() is not None:
                raise Failed("the program ended with status %d" % s.memwick.returncode)
            checks.attempt("commands", lambda: commands(s, checks))
            with open(s.stderr, errors="replace") as f:
                lines = [line for line in f.read().splitlines() if line.strip()]
            counted = ["%dx %s" % (lines.count(line), line) for line in sorted(set(lines))]
            checks.check("no warnings on the program's stderr", not lines, "\n" + "\n".join(counted))
        except Failed as e:
            checks.check("the run", False, str(e))
        finally:
            s.stop()
            if checks.failed:
                with open(os.path.join(work, "weston.log"), errors="replace") as f:
                    print("---- weston log (end)\n" + "".join(f.readlines()[-20:]))
    sys.exit(checks.finish())


if __name__ == "__main__":
    main()
