#!/usr/bin/python3
"""Chromium, a real window beside the program's (it stands in for the web and Electron chat
clients), pastes and takes drops of what the program copies, on a page served over HTTP that
records its paste and drop events:
  - a still pastes as one image file of the picture's size;
  - a GIF pastes as an image/gif file, byte for byte, with all its frames;
  - a GIF pasted earlier stays readable as it was after another GIF is copied;
  - the browser's own paste into a rich text box shows a picture that loads;
  - a paste into a plain text box inserts no path;
  - a still and a GIF dragged from their boxes drop as their files;
  - an animated WebP pastes as a GIF file of its frames and frame times.
The page is driven through the DevTools protocol over a pipe; the keys and the pointer are real.

Usage: chromium_paste_test.py PROGRAM PICTURES  (PICTURES: the demo site's picture folder)"""
import base64
import fcntl
import functools
import http.server
import json
import os
import select
import threading
import time

from paste_session import BOXES, WEBP_SEARCH, Failed, gif_frames, gif_timing, main, picture_size, wait_for, webp_timing

HERE = os.path.dirname(os.path.abspath(__file__))
PAGE_TITLE = "paste target"


class DevTools:
    """The DevTools protocol over --remote-debugging-pipe: JSON messages, each ended by a NUL."""

    def __init__(self, to_browser, from_browser):
        self.to_browser = to_browser
        self.from_browser = from_browser
        self.last_id = 0
        self.pending = b""
        self.session = None

    def call(self, method, seconds=60, **params):
        self.last_id += 1
        message = {"id": self.last_id, "method": method, "params": params}
        if self.session and not method.startswith("Target."):
            message["sessionId"] = self.session
        os.write(self.to_browser, json.dumps(message).encode() + b"\0")
        deadline = time.monotonic() + seconds
        while True:
            answer = self._receive(deadline, method)
            if answer.get("id") == self.last_id:
                if "error" in answer:
                    raise Failed("%s: %s" % (method, answer["error"]))
                return answer["result"]

    def _receive(self, deadline, method):
        while b"\0" not in self.pending:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.from_browser], [], [], left)[0]:
                raise Failed("no answer from the browser to " + method)
            chunk = os.read(self.from_browser, 1 << 20)
            if not chunk:
                raise Failed("the browser closed its end of the pipe")
            self.pending += chunk
        message, self.pending = self.pending.split(b"\0", 1)
        return json.loads(message)

    def attach(self, url):
        def page():
            for target in self.call("Target.getTargets")["targetInfos"]:
                if target["type"] == "page" and target["url"] == url:
                    return target["targetId"]
            return None
        target = wait_for("the page in the browser", page)
        self.session = self.call("Target.attachToTarget", targetId=target, flatten=True)["sessionId"]

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", expression=expression, awaitPromise=True, returnByValue=True)
        if "exceptionDetails" in result:
            raise Failed("%s: %s" % (expression, result["exceptionDetails"]))
        return result["result"].get("value")


class PageServer:
    """The page over HTTP on 127.0.0.1, as a chat's web client is."""

    def __init__(self):
        handler = functools.partial(Quiet, directory=HERE)
        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()
        self.url = "http://127.0.0.1:%d/paste_page.html" % self.server.server_address[1]

    def close(self):
        self.server.shutdown()
        self.server.server_close()


class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def above_four(fd):
    moved = fcntl.fcntl(fd, fcntl.F_DUPFD, 10)
    os.close(fd)
    return moved


def launch_browser(spawn, profile, url, flags):
    """Chromium, started by `spawn`(argv, pass_fds), showing `url`: its DevTools, once it has loaded."""
    to_browser_read, to_browser = os.pipe()
    from_browser, from_browser_write = os.pipe()
    # Above 4, so that placing them at 3 and 4 cannot close one of them.
    to_browser_read, from_browser_write = above_four(to_browser_read), above_four(from_browser_write)
    flags = ["--no-sandbox", "--disable-gpu", "--no-first-run", "--no-default-browser-check",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--disable-features=Translate,MediaRouter", "--password-store=basic",
             "--user-data-dir=" + profile, "--remote-debugging-pipe", "--app=" + url] + flags
    # The protocol's pipe is the browser's descriptors 3 (it reads) and 4 (it writes).
    script = 'exec "$@" 3<&%d 4>&%d %d<&- %d>&-' % (to_browser_read, from_browser_write, to_browser_read,
                                                  from_browser_write)
    spawn(["bash", "-c", script, "bash", "chromium"] + flags, (to_browser_read, from_browser_write))
    os.close(to_browser_read)
    os.close(from_browser_write)
    devtools = DevTools(to_browser, from_browser)
    devtools.attach(url)
    wait_for("the page loaded", lambda: devtools.evaluate("document.readyState") == "complete")
    return devtools


def start_browser(session, url):
    env = dict(session.env)
    env.pop("WAYLAND_DISPLAY", None)
    devtools = launch_browser(lambda argv, fds: session.spawn(argv, "chromium.log", env=env, pass_fds=fds),
                              os.path.join(session.work, "chromium"), url,
                              ["--ozone-platform=x11", "--window-position=700,0", "--window-size=680,860"])

    def window():
        found = session.x("xdotool", "search", "--onlyvisible", "--name", PAGE_TITLE).stdout.split()
        return found[0].decode() if found else None
    browser_window = wait_for("the browser's window", window)
    return devtools, session, browser_window


def run(session, pictures, checks, start=start_browser, drags=True):
    """The page's checks in the browser that `start`(session, url) gives: (DevTools, seat, window)."""
    def picture(name):
        with open(os.path.join(pictures, name), "rb") as f:
            return f.read()
    server = PageServer()
    try:
        devtools, seat, browser = start(session, server.url)
        page = Page(seat, devtools, browser, checks)
        page.picture = picture
        page.run(picture(BOXES[2]), picture(BOXES[1]), picture(BOXES[4]), drags)
    finally:
        server.close()


class Page:
    def __init__(self, session, devtools, browser, checks):
        self.session = session
        self.devtools = devtools
        self.browser = browser
        self.checks = checks
        self.check = checks.check

    def count(self, what):
        return self.devtools.evaluate("record.%s.length" % what)

    def press_paste(self, element):
        """A real Ctrl+V into the element of the browser's window."""
        self.session.activate(self.browser)
        self.devtools.evaluate("document.getElementById('%s').focus()" % element)
        self.session.x("xdotool", "key", "--clearmodifiers", "ctrl+v")

    def paste_into(self, element, what):
        """press_paste, then what the page recorded of it in record[what]."""
        before = self.count(what)
        self.press_paste(element)
        wait_for("paste into #" + element, lambda: self.count(what) > before, seconds=20)
        return self.devtools.evaluate("record.%s[%d]" % (what, before))

    def read(self, index):
        return self.devtools.evaluate("readKept(%d)" % index)

    def one_file(self, what, transfer, kind):
        """The one file of a paste or drop, read back; None when there is not exactly one."""
        files = transfer["files"]
        if not self.check("%s gives one file" % what, len(files) == 1, transfer):
            return None
        self.check("%s gives an %s file" % (what, kind), files[0]["type"] == kind, files[0])
        return self.read(files[0]["index"])

    def check_gif(self, what, read, gif):
        if read is None:
            return
        data = base64.b64decode(read.get("bytes", ""))
        self.check("%s is the GIF byte for byte" % what, data == gif, read.get("error", len(data)))
        self.check("%s keeps its %d frames" % (what, gif_frames(gif)), gif_frames(data) == gif_frames(gif) > 1)

    def paste_rich(self):
        """A real Ctrl+V into the rich text box, left to the browser: the size of the last picture
        there once every picture has loaded or failed (0 x 0 when it failed), or what it holds."""
        before = self.devtools.evaluate("richPictures().length")
        self.press_paste("rich")

        def settled():
            pictures = self.devtools.evaluate("richPictures()")
            return pictures if len(pictures) > before and all(p["complete"] for p in pictures) else None
        try:
            last = wait_for("a picture in the rich text box", settled, seconds=20)[-1]
            return last["width"], last["height"], last["src"]
        except Failed as e:
            return 0, 0, "%s; the box holds %r" % (e, self.devtools.evaluate("document.getElementById('rich').innerHTML")[:200])

    def drag(self, box):
        """A press on the box, a move onto the drop zone until the page takes the drag, a release;
        what the page recorded of the drop."""
        before = self.count("drops")
        # A release before the program has heard the page accept cancels the drag, and when it
        # has cannot be seen from here: a cancelled drag is tried again.
        for _ in range(3):
            self.drag_once(box)
            try:
                wait_for("the drop", lambda: self.count("drops") > before, seconds=10)
                return self.devtools.evaluate("record.drops[%d]" % before)
            except Failed:
                print("note   the drag from 图片框%d was cancelled; trying again" % box, flush=True)
        raise Failed("no drop from 图片框%d in three drags" % box)

    def drag_once(self, box):
        overs = self.devtools.evaluate("record.dragovers")
        target = self.devtools.evaluate("dropCentre()")
        x, y = self.session.box_centre(box)
        self.session.activate(self.session.window)
        self.session.x("xdotool", "mousemove", str(x), str(y), "mousedown", "1")
        self.session.x("xdotool", "mousemove_relative", "20", "0")
        self.session.x("xdotool", "mousemove", str(target["x"] - 40), str(target["y"]))
        # A new position goes to the page once it has answered the last: a third one over the
        # zone means the program has heard at least two answers.
        step = [1]

        def answered():
            step[0] = -step[0]
            self.session.x("xdotool", "mousemove", str(target["x"] + step[0]), str(target["y"]))
            return self.devtools.evaluate("record.dragovers") >= overs + 3
        try:
            wait_for("the drag over the drop zone", answered, seconds=20, interval=0.2)
        finally:
            self.session.x("xdotool", "mouseup", "1")

    def check_still(self, what, read, still):
        if read is not None:
            size = (read["width"], read["height"])
            self.check("%s has the picture's size" % what, size == picture_size(still), read)

    def run(self, still, gif_a, gif_b, drags=True):
        session = self.session
        # A still: one picture file.
        session.copy_box(2, lambda: "image/png" in session.targets())
        self.check_still("a pasted still", self.one_file("a pasted still", self.paste_into("files", "pastes"),
                                                         "image/png"), still)

        # A GIF: its file, as it is; kept, it stays readable after another GIF is copied.
        session.copy_box(1, lambda: session.clipboard("image/gif") == gif_a)
        pasted = self.paste_into("files", "pastes")
        self.check_gif("a pasted GIF", self.one_file("a pasted GIF", pasted, "image/gif"), gif_a)
        session.copy_box(4, lambda: session.clipboard("image/gif") == gif_b)
        self.check_gif("another pasted GIF", self.one_file("another pasted GIF", self.paste_into("files", "pastes"),
                                                             "image/gif"), gif_b)
        if pasted["files"]:
            self.check_gif("the GIF pasted first, read after the next copy", self.read(pasted["files"][0]["index"]),
                           gif_a)

        # The browser's own paste of a GIF into a rich text box: the GIF, loaded.
        loaded = self.paste_rich()
        self.check("the browser's own paste shows the GIF, loaded",
                   loaded[:2] == picture_size(gif_b) and str(loaded[2]).startswith("data:image/gif"), loaded)

        # A plain text box: no path.
        value = self.paste_into("plain", "plainPastes")
        self.check("a paste into a plain text box inserts nothing, no path", value == "", value)

        # Drags onto the drop zone.
        if drags:
            self.check_still("a dropped still", self.one_file("a dropped still", self.drag(2), "image/png"), still)
            self.check_gif("a dropped GIF", self.one_file("a dropped GIF", self.drag(1), "image/gif"), gif_a)

        # An animated WebP pastes as a GIF file of its frames and frame times.
        session.search(WEBP_SEARCH[0])
        session.copy_box(1, lambda: (session.clipboard("image/gif") or gif_a) != gif_a)
        read = self.one_file("a pasted animated WebP", self.paste_into("files", "pastes"), "image/gif")
        if read is not None:
            data, converted = base64.b64decode(read.get("bytes", "")), session.clipboard("image/gif")
            timing = webp_timing(self.picture(WEBP_SEARCH[1]))
            self.check("a pasted animated WebP is the GIF copied, with its %d frames and times" % len(timing),
                       data == converted and gif_timing(data) == timing and len(timing) > 1,
                       (gif_timing(data), timing))


if __name__ == "__main__":
    main(run, __doc__, ("program.log", "chromium.log"))
