#!/usr/bin/python3
"""Chromium on Wayland (its own Wayland platform, under weston in Xvfb) pastes what the program
copies there, as web and Electron chats on a Wayland desktop do:
the X11 test's pastes (a still, two GIFs, the browser's own paste into a rich text box, a plain
text box) and the animated WebP's GIF, on the same page. The keys and the pointer are real.

Usage: chromium_wayland_test.py PROGRAM PICTURES  (PICTURES: the demo site's picture folder)"""
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "paste"))
from chromium_paste_test import launch_browser, run  # noqa: E402
from wayland_test import Session, Steps, Failed, centre, inside, slot_rect, start_memwick, wait_for  # noqa: E402

BROWSER_SIZE = (360, 260)


def start_browser(s, url):
    devtools = launch_browser(lambda argv, fds: s.spawn(argv, dict(s.wl_env, HOME=s.work), "chromium.log",
                                                        pass_fds=fds),
                              os.path.join(s.work, "chromium"), url,
                              ["--ozone-platform=wayland", "--window-size=%d,%d" % BROWSER_SIZE])

    def window():
        # The browser's toplevel: a surface of another client than memwick's, of about its size.
        found = [v for v in s.views() if v.role == "xdg_toplevel" and v.pid != s.memwick.pid and v.w >= 200]
        return found[0] if found else None
    return devtools, Seat(s, wait_for("the browser's window", window, 60)), "browser"


def free_point(rect, cover):
    """A point of `rect` (x, y, w, h) that `cover` does not hide, or None."""
    x, y, w, h = rect
    for px in (x + 10, x + w - 10, x + w // 2):
        for py in (y + 10, y + h - 10, y + h // 2):
            if not inside((px, py), (cover.x, cover.y, cover.w, cover.h)):
                return px, py
    return None


class Seat:
    """What the X11 paste checks ask of their session, on weston: a click where a window shows
    raises it and gives it the keyboard."""

    def __init__(self, s, browser):
        self.s = s
        self.points = {"memwick": free_point((s.main.x, s.main.y, s.main.w, s.main.h), browser),
                       "browser": free_point((browser.x, browser.y, browser.w, browser.h), s.main)}
        if None in self.points.values():
            raise Failed("the windows cover each other: %r, %r" % (s.main, browser))

    def activate(self, window):
        self.s.click(*self.points[window])

    def x(self, *command):
        return subprocess.run(command, env=self.s.x_env, capture_output=True)

    def copy_box(self, k, copied):
        def attempt():
            self.activate("memwick")
            self.s.click(*self.s.in_main(centre(slot_rect(k))))
            try:
                return wait_for("copy of 图片框%d" % k, copied, 5)
            except Failed:
                return None
        wait_for("copy of 图片框%d" % k, attempt, 60)

    def targets(self):
        return self.s.clipboard_types()

    def clipboard(self, target):
        return self.s.clipboard(target)

    def search(self, keyword):
        if subprocess.run([self.s.exe, "--search", keyword], env=self.s.env, cwd=os.path.dirname(self.s.exe)).returncode:
            raise Failed("the running program refused --search " + keyword)


def pastes(page, still, gif_a, gif_b):
    page.pastes(still, gif_a, gif_b)
    page.webp_paste(gif_a)


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    checks = Steps()
    with tempfile.TemporaryDirectory() as work:
        s = Session(os.path.abspath(sys.argv[1]), work, None)
        try:
            s.start()
            start_memwick(s)
            run(s, sys.argv[2], checks, start_browser, pastes)
        except Failed as e:
            checks.check("the run", False, str(e))
        finally:
            s.stop()
            if checks.failed:
                for log in ("chromium.log", "memwick.stderr"):
                    with open(os.path.join(work, log), errors="replace") as f:
                        print("---- %s (end)\n%s" % (log, "".join(f.readlines()[-15:])))
    sys.exit(checks.finish())


if __name__ == "__main__":
    main()
