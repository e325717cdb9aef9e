#!/usr/bin/python3
"""Reads and drives the running program the way a screen reader or an automation tool does: over
AT-SPI, from another process. Expects a display and a D-Bus session with the accessibility bus
(run_atspi_test.sh provides both).

Usage: atspi_test.py PROGRAM [--dump]
  --dump  also prints the main window's accessible tree, one object a line."""
import os
import shutil
import subprocess
import sys
import tempfile

import pyatspi
from gi.repository import Atspi, GLib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import scripted_checks  # noqa: E402
from scripted_checks import Checks, Failed  # noqa: E402

WAIT_SECONDS = 60


def dispatch_events():
    # Events from the program arrive through the main context.
    context = GLib.MainContext.default()
    while context.iteration(False):
        pass


def wait_for(what, probe, seconds=WAIT_SECONDS):
    return scripted_checks.wait_for(what, probe, seconds, between=dispatch_events)


class Events:
    """The events the program sends, as a screen reader receives them."""
    KINDS = ("object:property-change:accessible-name", "object:text-changed",
             "object:state-changed:showing")

    def __init__(self):
        self.seen = []
        pyatspi.Registry.registerEventListener(self.on_event, *self.KINDS)

    def on_event(self, event):
        source = event.source
        try:
            self.seen.append((event.type, source.description, source.getRole(), source.name, event.detail1))
        except GLib.Error:
            pass  # gone already

    def find(self, kind, description=None, role=None, name=None, detail=None):
        for seen in self.seen:
            type_, desc, role_, name_, detail_ = seen
            if type_.startswith(kind) and description in (None, desc) and role in (None, role_) \
                    and name in (None, name_) and detail in (None, detail_):
                return seen
        return None


def application_of(proc):
    if proc.poll() is not None:
        raise Failed("the program exited with status %d" % proc.returncode)
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.get_process_id() == proc.pid:
            return app
    return None


def walk(node):
    yield node
    for child in node:
        if child is not None:
            yield from walk(child)


def by_description(root, description):
    for node in walk(root):
        if node.description == description:
            return node
    raise Failed("no object described as " + description)


def extents(node):
    e = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return (e.x, e.y, e.width, e.height)


def has_state(node, state):
    return node.getState().contains(state)


def press(node):
    action = node.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    lowered = [n.lower() for n in names]
    if "press" not in lowered:
        raise Failed("%s has no press action (actions: %s)" % (node.description, names))
    action.doAction(lowered.index("press"))


def click(node):
    """A real pointer click at the node's centre, through the X server."""
    x, y, w, h = extents(node)
    subprocess.run(["xdotool", "mousemove", str(x + w // 2), str(y + h // 2), "click", "1"], check=True)


def text_of(node):
    return node.queryText().getText(0, -1)


def dump(node, depth=0):
    x, y, w, h = extents(node)
    print("%s%s | %s | %s | %d,%d %dx%d" % ("  " * depth, node.getRoleName(), node.name, node.description,
                                             x, y, w, h))
    for child in node:
        if child is not None:
            dump(child, depth + 1)


def run(app, events, checks, dump_tree):
    window = wait_for("the main window", lambda: next(
        (w for w in app if w is not None and w.description == "主窗口"), None))
    checks.check("main window is a frame named by its title",
                 window.getRole() == pyatspi.ROLE_FRAME and window.name == "Memwickv1.3",
                 "%s %r" % (window.getRoleName(), window.name))
    wx, wy, ww, wh = wait_for("the main window on screen", lambda: (
        extents(window) if extents(window)[2] > 0 else None))

    expected = [("主页", pyatspi.ROLE_PUSH_BUTTON), ("编辑", pyatspi.ROLE_PUSH_BUTTON),
                ("收藏", pyatspi.ROLE_PUSH_BUTTON), ("下一页", pyatspi.ROLE_PUSH_BUTTON),
                ("显示页", pyatspi.ROLE_LABEL), ("搜索框", pyatspi.ROLE_TEXT),
                ("图片框1", pyatspi.ROLE_IMAGE)]
    for description, role in expected:
        node = by_description(window, description)
        checks.check("%s has the role %s" % (description, Atspi.role_get_name(role)), node.getRole() == role,
                     node.getRoleName())
        x, y, w, h = extents(node)
        checks.check("%s lies inside the window" % description,
                     w > 0 and h > 0 and x >= wx and y >= wy and x + w <= wx + ww and y + h <= wy + wh,
                     str((x, y, w, h)))
    # Start-up fills the box from the demo site; its name follows.
    slot = by_description(window, "图片框1")
    filled = wait_for("图片框1 to hold a picture", lambda: slot.name == "图片 1" or None, seconds=10)
    checks.check("图片框1 is named as a picture it holds", filled is not None, slot.name)

    if dump_tree:
        dump(window)

    # The copy tip opens at the pointer, wide enough to cover the next picture: a click there
    # while it shows must still reach that picture and copy it.
    def clipboard_png():
        out = subprocess.run(["xclip", "-selection", "clipboard", "-t", "image/png", "-o"],
                             capture_output=True)
        return out.stdout if out.returncode == 0 else b""
    six = by_description(window, "图片框6")
    wait_for("图片框6 to hold a picture", lambda: six.name == "图片 6" or None, seconds=10)
    click(by_description(window, "图片框5"))
    fifth = wait_for("the copy of 图片框5", clipboard_png, 10)
    # The copy tip opens over the next picture; it is the balloon of the window, named by its text.
    copied = "已复制本图片，粘贴到聊天框即可使用"
    balloon = wait_for("the balloon tip", lambda: next(
        (w for w in app if w is not None and w.description == "气球提示框1"), None))
    wait_for("the copy tip to show", lambda: balloon.name == copied and has_state(balloon, pyatspi.STATE_SHOWING), 10)
    click(six)
    try:
        wait_for("the copy of 图片框6", lambda: clipboard_png() not in (b"", fifth), 5)
        checks.check("a click on the picture under the copy tip copies it", True)
    except Failed as e:
        checks.check("a click on the picture under the copy tip copies it", False, str(e))

    press(by_description(window, "编辑"))
    all_list = by_description(window, "网络所有编辑")
    wait_for("the 编辑 page", lambda: has_state(all_list, pyatspi.STATE_SHOWING))
    checks.check("after 编辑, 图片框1 is not showing", not has_state(by_description(window, "图片框1"),
                                                                   pyatspi.STATE_SHOWING))
    checks.check("after 编辑, its page tab is selected",
                 has_state(by_description(window, "选择夹1")[1], pyatspi.STATE_SELECTED))

    press(all_list)
    page = by_description(window, "显示页")
    try:
        wait_for("显示页 to read 1/185", lambda: page.name == "1/185")
    except Failed as e:
        checks.check("显示页 reads 1/185", False, "%s (it reads %r)" % (e, page.name))
    else:
        checks.check("显示页 reads 1/185", text_of(page) == "1/185", text_of(page))
    record = by_description(window, "标签_记录")
    checks.check("标签_记录 reads 共185页1665条内容",
                 record.name == "共185页1665条内容" and text_of(record) == "共185页1665条内容", record.name)
    checks.check("上一页 is unavailable", not has_state(by_description(window, "上一页"), pyatspi.STATE_ENABLED))
    checks.check("下一页 is available", has_state(by_description(window, "下一页"), pyatspi.STATE_ENABLED))

    # What a screen reader is told: the new page counter, and the busy tip while it shows.
    checks.check("显示页 announced its new name",
                 wait_for("the name change of 显示页", lambda: events.find(
                     "object:property-change:accessible-name", description="显示页"), 10) is not None)
    checks.check("显示页 announced its new text",
                 events.find("object:text-changed:insert", description="显示页") is not None, str(events.seen[-5:]))
    tip = "正在搜索数据请稍候..."
    try:
        wait_for("the busy tip", lambda: events.find("object:state-changed:showing", role=pyatspi.ROLE_TOOL_TIP,
                                                     name=tip), 10)
        checks.check("the busy tip showed as a tool tip named by its text", True)
    except Failed as e:
        checks.check("the busy tip showed as a tool tip named by its text", False, str(e))


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    program = os.path.abspath(sys.argv[1])
    dump_tree = "--dump" in sys.argv[2:]
    checks = Checks()
    events = Events()
    with tempfile.TemporaryDirectory() as home:
        # A copy of its own: the program keeps its settings file beside itself.
        exe = os.path.join(home, "memwick")
        shutil.copy2(program, exe)
        # A settings file there already, or the first start would ask about it in a message box.
        with open(os.path.join(home, "MW_scdz.ini"), "w", encoding="gbk") as settings:
            settings.write("[收藏]\r\n地址=%s\r\n" % os.path.join(home, "我的收藏"))
        env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
                   QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        log = open(os.path.join(home, "program.log"), "w+")
        proc = subprocess.Popen([exe], cwd=home, env=env, stdout=log, stderr=subprocess.STDOUT)
        try:
            app = wait_for("the program on the accessibility bus", lambda: application_of(proc))
            app.set_cache_mask(Atspi.Cache.NONE)  # read every property afresh
            run(app, events, checks, dump_tree)
        except Failed as e:
            checks.check("the run", False, str(e))
        finally:
            proc.terminate()
            try:
                proc.wait(10)
            except subprocess.TimeoutExpired:
                proc.kill()
            if checks.failed:
                log.seek(0)
                print("---- program output\n" + log.read())
            log.close()
    sys.exit(checks.finish())


if __name__ == "__main__":
    main()
