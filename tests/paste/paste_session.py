"""The program on a display of its own, under a window manager, with a real pointer: what the paste
tests share. The program starts its embedded demo site, whose new-pictures list fills 图片框1..8
newest first (see BOXES). Every wait polls for what it waits for: the machine may be busy."""
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import scripted_checks  # noqa: E402
from scripted_checks import Checks, Failed  # noqa: E402

WAIT_SECONDS = 60

# Box -> the demo picture its start-up shows there (p60 is the newest).
BOXES = {1: "p60.gif", 2: "p59.png", 4: "p57.gif"}


# Box centres in the main window: 选择夹1 lies at 8,48; the boxes are 152 x 184 at 8/168/328/488 and
# 88/280 in it.
def box_offset(k):
    column, row = (k - 1) % 4, (k - 1) // 4
    return 8 + 8 + 160 * column + 76, 48 + 88 + 192 * row + 92


def wait_for(what, probe, seconds=WAIT_SECONDS, interval=0.1):
    return scripted_checks.wait_for(what, probe, seconds, interval)


# The search that brings an animated WebP of the demo site into 图片框1, and that picture.
WEBP_SEARCH = ("企鹅点赞", "p36.webp")


def gif_timing(data):
    """The delay of each image in GIF bytes, in ms; None when they are no well-formed GIF."""
    if data[:6] not in (b"GIF87a", b"GIF89a") or len(data) < 13:
        return None
    def table(flags):
        return 3 * (2 << (flags & 7)) if flags & 0x80 else 0
    def skip_blocks(pos):
        while pos < len(data) and data[pos]:
            pos += data[pos] + 1
        return pos + 1
    pos, delays, delay = 13 + table(data[10]), [], 0
    while pos < len(data):
        kind = data[pos]
        if kind == 0x3B:
            return delays
        if kind == 0x21:
            if data[pos + 1:pos + 3] == b"\xf9\x04":
                delay = 10 * int.from_bytes(data[pos + 4:pos + 6], "little")
            pos = skip_blocks(pos + 2)
        elif kind == 0x2C and pos + 10 <= len(data):
            delays.append(delay)
            delay = 0
            pos = skip_blocks(pos + 10 + table(data[pos + 9]) + 1)
        else:
            return None
    return None


def gif_frames(data):
    """The number of images in GIF bytes; -1 when they are no well-formed GIF."""
    timing = gif_timing(data)
    return -1 if timing is None else len(timing)


def webp_timing(data):
    """The duration of each frame of an animated WebP, in ms (its ANMF chunks)."""
    pos, durations = 12, []
    while pos + 8 <= len(data):
        size = int.from_bytes(data[pos + 4:pos + 8], "little")
        if data[pos:pos + 4] == b"ANMF":
            durations.append(int.from_bytes(data[pos + 20:pos + 23], "little"))
        pos += 8 + size + (size & 1)
    return durations


def read(path):
    """A file's bytes; None when it cannot be read."""
    try:
        with open(path, "rb") as f:
            return f.read()
    except (OSError, TypeError):
        return None


def picture_size(data):
    """Width and height of PNG or GIF bytes."""
    if data[:8] == b"\x89PNG\r\n\x1a\n":
        return int.from_bytes(data[16:20], "big"), int.from_bytes(data[20:24], "big")
    return int.from_bytes(data[6:8], "little"), int.from_bytes(data[8:10], "little")


def run(*command, **kwargs):
    return subprocess.run(command, capture_output=True, timeout=30, **kwargs)


class Session:
    """Xvfb, openbox and the program in a folder of its own. Use it as a context manager."""

    def __init__(self, program, screen="1400x900x24"):
        self.program = os.path.abspath(program)
        self.screen = screen
        self.processes = []
        self.work = tempfile.mkdtemp(prefix="memwick-paste-")
        self.runtime = os.path.join(self.work, "run")
        os.mkdir(self.runtime, 0o700)

    def __enter__(self):
        try:
            self._start_display()
            self._start_window_manager()
            self._start_program()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *exc):
        self.close()

    def spawn(self, command, log_name, **kwargs):
        log = open(os.path.join(self.work, log_name), "wb")
        proc = subprocess.Popen(command, stdout=log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                                start_new_session=True, **kwargs)
        self.processes.append(proc)
        return proc

    def log(self, name):
        try:
            with open(os.path.join(self.work, name), errors="replace") as f:
                return f.read()
        except OSError:
            return ""

    def close(self):
        # The clients first, so that none of them dies of a broken X connection; the display last.
        for proc in reversed(self.processes):
            if proc.poll() is None:
                try:
                    os.killpg(proc.pid, signal.SIGTERM)
                except ProcessLookupError:
                    pass
                try:
                    proc.wait(10)
                except subprocess.TimeoutExpired:
                    os.killpg(proc.pid, signal.SIGKILL)
                    proc.wait()
        self.processes = []
        shutil.rmtree(self.work, ignore_errors=True)

    def _start_display(self):
        # A random number far from the :0 of desktops (the abstract socket is shared beyond this
        # machine's /tmp); another when it is taken.
        for _ in range(5):
            read_end, write_end = os.pipe()
            number = 100 + random.randrange(800)
            xvfb = self.spawn(["Xvfb", ":%d" % number, "-displayfd", str(write_end), "-screen", "0", self.screen,
                               "-nolisten", "tcp"], "xvfb.log", pass_fds=(write_end,))
            os.close(write_end)
            with os.fdopen(read_end) as pipe:
                shown = pipe.readline().strip()  # empty when the server gave up
            if shown:
                self.display = ":" + shown
                self.env = dict(os.environ, DISPLAY=self.display, HOME=self.work,
                                XDG_CONFIG_HOME=os.path.join(self.work, ".config"),
                                XDG_CACHE_HOME=os.path.join(self.work, ".cache"),
                                XDG_RUNTIME_DIR=self.runtime, QT_QPA_PLATFORM="xcb")
                self.env.pop("DBUS_SESSION_BUS_ADDRESS", None)
                return
            xvfb.wait()
            self.processes.remove(xvfb)
        raise Failed("Xvfb did not start: " + self.log("xvfb.log"))

    def x(self, *command):
        return run(*command, env=self.env)

    def _start_window_manager(self):
        self.spawn(["openbox", "--sm-disable"], "openbox.log", env=self.env)
        wait_for("window manager", lambda: b"window id" in self.x("xprop", "-root", "_NET_SUPPORTING_WM_CHECK").stdout)

    def _start_program(self):
        # A copy of its own with its settings beside it, so that no first-run message box shows.
        exe = os.path.join(self.work, "memwick")
        shutil.copy2(self.program, exe)
        with open(os.path.join(self.work, "MW_scdz.ini"), "w", encoding="gbk", newline="") as settings:
            settings.write("[收藏]\r\n地址=%s\r\n" % os.path.join(self.work, "我的收藏"))
        self.proc = self.spawn([exe], "program.log", cwd=self.work, env=self.env)

        def main_window():
            if self.proc.poll() is not None:
                raise Failed("the program ended with status %d:\n%s" % (self.proc.returncode, self.log("program.log")))
            found = self.x("xdotool", "search", "--pid", str(self.proc.pid), "--onlyvisible", "--name", ".")
            for window in found.stdout.split():
                # By its whole title: the balloon tip's window bears the application's name.
                if self.x("xdotool", "getwindowname", window).stdout.strip() == b"Memwickv1.3":
                    return window.decode()
            return None
        self.window = wait_for("main window", main_window)
        self.place_window(self.window, 0, 0)

    def search(self, keyword):
        """Hands a search to the running program, as `memwick --search` does."""
        if run(os.path.join(self.work, "memwick"), "--search", keyword, cwd=self.work, env=self.env).returncode:
            raise Failed("the running program refused --search " + keyword)

    def window_position(self, window):
        out = self.x("xdotool", "getwindowgeometry", window).stdout.decode()
        for line in out.splitlines():
            if "Position:" in line:
                x, y = line.split()[1].split(",")
                return int(x), int(y)
        return None

    def place_window(self, window, x, y):
        """Moves the window until it stands at x,y (the window manager may place it after mapping)."""
        def placed():
            if self.window_position(window) == (x, y):
                return True
            self.x("xdotool", "windowmove", window, str(x), str(y))
            return False
        wait_for("window %s at %d,%d" % (window, x, y), placed, interval=0.2)

    def activate(self, window):
        def active():
            if self.x("xdotool", "getactivewindow").stdout.strip() == window.encode():
                return True
            self.x("xdotool", "windowactivate", window)
            return False
        wait_for("window %s active" % window, active, interval=0.2)

    def box_centre(self, k):
        wx, wy = self.window_position(self.window)
        dx, dy = box_offset(k)
        return wx + dx, wy + dy

    def click_box(self, k):
        x, y = self.box_centre(k)
        self.x("xdotool", "mousemove", str(x), str(y), "click", "1")

    def copy_box(self, k, copied, seconds=WAIT_SECONDS):
        """Clicks box k until `copied`() holds: start-up may not have filled the box yet."""
        def attempt():
            self.click_box(k)
            try:
                return wait_for("copy of 图片框%d" % k, copied, seconds=5)
            except Failed:
                return None
        return wait_for("copy of 图片框%d" % k, attempt, seconds=seconds, interval=0)

    def clipboard(self, target):
        """What the clipboard's owner gives for `target`; None when it refuses or there is none."""
        out = self.x("xclip", "-selection", "clipboard", "-t", target, "-o")
        return out.stdout if out.returncode == 0 else None

    def targets(self):
        out = self.clipboard("TARGETS")
        return out.decode().split() if out else []

    def private_folder(self):
        return os.path.join(self.runtime, "memwick")


def main(run, doc, logs=("program.log",), session_type=Session):
    """A test script's main: run(session, pictures, checks) in a session (of `session_type`) of the
    program named on the command line; the logs named are shown when a check failed."""
    if len(sys.argv) != 3:
        sys.exit(doc)
    checks = Checks()
    try:
        with session_type(sys.argv[1]) as session:
            try:
                run(session, sys.argv[2], checks)
            except Failed as e:
                checks.check("the run", False, e)
            if checks.failed:
                for name in logs:
                    # Browsers complain at length about the session bus, which there is none of here.
                    lines = [line for line in session.log(name).splitlines() if "dbus" not in line]
                    print("---- %s (last lines)\n%s" % (name, "\n".join(lines[-40:])))
    except Failed as e:
        checks.check("the session", False, e)
    sys.exit(checks.finish())
