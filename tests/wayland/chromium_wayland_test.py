#!/usr/bin/python3
"""Chromium on Wayland (its own Wayland platform, under weston in Xvfb) pastes what the program
copies there, as web and Electron chats on a Wayland desktop do:
  - a still pastes as one image/png file of the picture's size;
  - a GIF pastes as an image/gif file, byte for byte, with all its frames, and the browser's own
    paste into a rich text box shows the GIF;
  - an animated WebP pastes as the GIF it was copied as, with its frames and frame times.
The keys and the pointer are real; the page is read through the DevTools protocol.

Usage: chromium_wayland_test.py PROGRAM PICTURES  (PICTURES: the demo site's picture folder)"""
import base64
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "paste"))
from chromium_paste_test import DevTools, PageServer, above_four  # noqa: E402
from paste_session import BOXES, WEBP_SEARCH, gif_frames, gif_timing, picture_size, webp_timing  # noqa: E402
from wayland_test import Session, Steps, Failed, centre, inside, slot_rect, start_memwick, wait_for  # noqa: E402

BROWSER_SIZE = (360, 260)


def start_browser(s, url):
    to_browser_read, to_browser = os.pipe()
    from_browser, from_browser_write = os.pipe()
    to_browser_read, from_browser_write = above_four(to_browser_read), above_four(from_browser_write)
    flags = ["--no-sandbox", "--disable-gpu", "--no-first-run", "--no-default-browser-check",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--disable-features=Translate,MediaRouter", "--password-store=basic", "--ozone-platform=wayland",
             "--user-data-dir=" + os.path.join(s.work, "chromium"), "--remote-debugging-pipe",
             "--window-size=%d,%d" % BROWSER_SIZE, "--app=" + url]
    script = 'exec "$@" 3<&%d 4>&%d %d<&- %d>&-' % (to_browser_read, from_browser_write, to_browser_read,
                                                  from_browser_write)
    s.spawn(["bash", "-c", script, "bash", "chromium"] + flags, dict(s.wl_env, HOME=s.work), "chromium.log",
            pass_fds=(to_browser_read, from_browser_write))
    os.close(to_browser_read)
    os.close(from_browser_write)
    devtools = DevTools(to_browser, from_browser)
    devtools.attach(url)
    wait_for("the page loaded", lambda: devtools.evaluate("document.readyState") == "complete")
    browser = s.procs[-1].pid

    def window():
        # The browser's toplevel: a surface of another client than memwick's, of about its size.
        found = [v for v in s.views() if v.role == "xdg_toplevel" and v.pid != s.memwick.pid and v.w >= 200]
        return found[0] if found else None
    view = wait_for("the browser's window (bash %d)" % browser, window, 60)
    return devtools, view


def free_point(rect, cover):
    """A point of `rect` (x, y, w, h) that `cover` does not hide, or None."""
    x, y, w, h = rect
    for px in (x + 10, x + w - 10, x + w // 2):
        for py in (y + 10, y + h - 10, y + h // 2):
            if not inside((px, py), (cover.x, cover.y, cover.w, cover.h)):
                return px, py
    return None


def run(s, pictures, checks):
    server = PageServer()
    try:
        devtools, browser = start_browser(s, server.url)
        main = (s.main.x, s.main.y, s.main.w, s.main.h)
        memwick_point = free_point(main, browser)
        browser_point = free_point((browser.x, browser.y, browser.w, browser.h), s.main)
        if not memwick_point or not browser_point:
            raise Failed("the windows cover each other: %r, %r" % (s.main, browser))
        count = lambda: devtools.evaluate("record.pastes.length")  # noqa: E731

        def copy(k, copied):
            """Clicks 图片框k, over the browser, until `copied`() holds."""
            def attempt():
                s.click(*memwick_point)  # raised over the browser
                s.click(*s.in_main(centre(slot_rect(k))))
                try:
                    return wait_for("copy of 图片框%d" % k, copied, 5)
                except Failed:
                    return None
            wait_for("copy of 图片框%d" % k, attempt, 60)

        def paste(what, kind):
            """A real Ctrl+V into the page's paste zone: its one file, read back, or None."""
            before = count()
            s.click(*browser_point)
            devtools.evaluate("document.getElementById('files').focus()")
            s.xdo("key", "--clearmodifiers", "ctrl+v")
            wait_for("paste of " + what, lambda: count() > before, 20)
            files = devtools.evaluate("record.pastes[%d]" % before)["files"]
            if not checks.check("%s gives one %s file" % (what, kind), len(files) == 1 and files[0]["type"] == kind,
                                files):
                return None
            read = devtools.evaluate("readKept(%d)" % files[0]["index"])
            return read, base64.b64decode(read.get("bytes", ""))

        def picture(name):
            with open(os.path.join(pictures, name), "rb") as f:
                return f.read()

        still = picture(BOXES[2])
        copy(2, lambda: "image/png" in s.clipboard_types())
        got = paste("a pasted still", "image/png")
        if got:
            checks.check("a pasted still has the picture's size",
                         (got[0]["width"], got[0]["height"]) == picture_size(still), got[0])

        gif = picture(BOXES[1])
        copy(1, lambda: s.clipboard("image/gif") == gif)
        got = paste("a pasted GIF", "image/gif")
        if got:
            checks.check("a pasted GIF is the GIF byte for byte, with its %d frames" % gif_frames(gif),
                         got[1] == gif and gif_frames(got[1]) > 1, len(got[1]))

        # The browser's own paste into a rich text box, as web chats take it: the GIF, loaded.
        before = devtools.evaluate("richPictures().length")
        s.click(*browser_point)
        devtools.evaluate("document.getElementById('rich').focus()")
        s.xdo("key", "--clearmodifiers", "ctrl+v")

        def settled():
            shown = devtools.evaluate("richPictures()")
            return shown if len(shown) > before and all(p["complete"] for p in shown) else None
        last = wait_for("a picture in the rich text box", settled, 20)[-1]
        checks.check("the browser's own paste shows the GIF, loaded",
                     last["src"].startswith("data:image/gif") and (last["width"], last["height"]) == picture_size(gif),
                     last)

        if subprocess.run([s.exe, "--search", WEBP_SEARCH[0]], env=s.env, cwd=os.path.dirname(s.exe)).returncode:
            raise Failed("the running program refused --search")
        copy(1, lambda: s.clipboard("image/gif") not in (b"", gif))
        got = paste("a pasted animated WebP", "image/gif")
        if got:
            timing = webp_timing(picture(WEBP_SEARCH[1]))
            checks.check("a pasted animated WebP is the GIF copied, with its %d frames and times" % len(timing),
                         got[1] == s.clipboard("image/gif") and gif_timing(got[1]) == timing and len(timing) > 1,
                         (gif_timing(got[1]), timing))
    finally:
        server.close()


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    checks = Steps()
    with tempfile.TemporaryDirectory() as work:
        s = Session(os.path.abspath(sys.argv[1]), work, None)
        try:
            s.start()
            start_memwick(s)
            run(s, sys.argv[2], checks)
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
