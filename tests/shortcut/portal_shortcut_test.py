#!/usr/bin/python3
"""The global shortcut bound through the desktop portal, as in a Wayland session: the real frontend
of Debian 12 (xdg-desktop-portal 1.16) on a session bus of the test's own serves the probe
(shortcut_probe.cpp, on the offscreen platform, which takes the portal's road). Behind it is a
GlobalShortcuts backend of this script's own (--backend), a peer: no backend in Debian 12 runs
without a full Plasma session, and GNOME's has no shortcuts. The 1.16 frontend takes the .portal
files of XDG_DESKTOP_PORTAL_DIR, and of them the one whose UseIn names a desktop of
XDG_CURRENT_DESKTOP (portals.conf came with 1.17).

Usage: portal_shortcut_test.py PROBE"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import threading

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from scripted_checks import Checks, Failed, wait_for  # noqa: E402

BACKEND = "org.freedesktop.impl.portal.desktop.memwicktest"
DESKTOP = "memwick-test"
WAY_OUT = ("memwick --toggle", "设置 → 键盘 → 自定义快捷键", "系统设置 → 快捷键 → 自定义快捷键")


def backend():
    """Prints each call as a JSON line; takes on stdin "activate SHORTCUT [TOKEN]" (on the last
    session), "close" (that session, as the desktop would) and "refuse" (the next bind)."""
    import dbus
    import dbus.service
    from dbus.mainloop.glib import DBusGMainLoop
    from gi.repository import GLib

    iface, session_iface = "org.freedesktop.impl.portal.GlobalShortcuts", "org.freedesktop.impl.portal.Session"

    def report(call, **fields):
        print(json.dumps(dict(call=call, **fields), ensure_ascii=False), flush=True)

    class Session(dbus.service.Object):
        def __init__(self, path):
            super().__init__(bus, path)
            self.path = path

        @dbus.service.method(session_iface)
        def Close(self):
            report("Close", session=self.path)
            self.remove_from_connection()

        @dbus.service.signal(session_iface)
        def Closed(self):
            pass

    class Backend(dbus.service.Object):
        last, refuse = None, False

        @dbus.service.method(iface, in_signature="oosa{sv}", out_signature="ua{sv}")
        def CreateSession(self, handle, session, app_id, options):
            report("CreateSession", session=session)
            self.last = Session(session)
            return 0, {}

        @dbus.service.method(iface, in_signature="ooa(sa{sv})sa{sv}", out_signature="ua{sv}")
        def BindShortcuts(self, handle, session, shortcuts, parent_window, options):
            listed = [[str(id), {str(k): str(v) for k, v in props.items()}] for id, props in shortcuts]
            report("BindShortcuts", session=session, shortcuts=listed)
            if self.refuse:
                self.refuse = False
                return 2, {}
            bound = [(id, {"trigger_description": props.get("preferred_trigger", "")}) for id, props in listed]
            return 0, {"shortcuts": dbus.Array(bound, signature="(sa{sv})")}

        @dbus.service.signal(iface, signature="osta{sv}")
        def Activated(self, session, shortcut_id, timestamp, options):
            pass

    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    portal = Backend(bus, "/org/freedesktop/portal/desktop")
    name = dbus.service.BusName(BACKEND, bus, do_not_queue=True)  # noqa: F841 (held while it runs)
    loop = GLib.MainLoop()

    def command(channel, condition):
        words = channel.readline().split()
        if not words:
            loop.quit()
        elif words[0] == "activate":
            options = dbus.Dictionary({"activation_token": words[2]} if len(words) > 2 else {}, signature="sv")
            portal.Activated(portal.last.path, words[1], dbus.UInt64(1), options)
        elif words[0] == "close":
            portal.last.Closed()
        elif words[0] == "refuse":
            portal.refuse = True
        return bool(words)

    GLib.io_add_watch(GLib.IOChannel.unix_new(0), GLib.IO_IN | GLib.IO_HUP, command)
    report("ready")
    loop.run()


class Process:
    """A process whose stdout lines are collected as they come, and which takes lines on stdin."""

    def __init__(self, command, env, log):
        self.lines = []
        self.proc = subprocess.Popen(command, env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=log, text=True, bufsize=1)
        self.proc.lines = self.lines  # for the report of a failure
        threading.Thread(target=lambda: self.lines.extend(iter(self.proc.stdout.readline, "")), daemon=True).start()

    def send(self, line):
        self.proc.stdin.write(line + "\n")
        self.proc.stdin.flush()

    def said(self, start, since=0):
        return [line.rstrip("\n") for line in self.lines[since:] if line.startswith(start)]

    def wait_line(self, what, start, since=0):
        """The first line from line `since` on that starts with `start`, once there is one."""
        return wait_for(what, lambda: self.said(start, since), 30)[0]


def run(program, work, procs, checks):
    with open(os.path.join(work, "bus.conf"), "w") as f:
        f.write('<busconfig><type>session</type><listen>unix:dir=%s</listen><auth>EXTERNAL</auth>'
                '<policy context="default"><allow send_destination="*"/><allow receive_sender="*"/><allow own="*"/>'
                '</policy></busconfig>' % work)
    bus = subprocess.Popen(["dbus-daemon", "--config-file=" + f.name, "--nofork", "--print-address=1"],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    procs.append(bus)
    portals = os.path.join(work, "portals")
    os.mkdir(portals)
    with open(os.path.join(portals, DESKTOP + ".portal"), "w") as f:
        f.write("[portal]\nDBusName=%s\nInterfaces=org.freedesktop.impl.portal.GlobalShortcuts;\nUseIn=%s\n"
                % (BACKEND, DESKTOP))
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    env.update(DBUS_SESSION_BUS_ADDRESS=bus.stdout.readline().strip(), XDG_RUNTIME_DIR=work,
               XDG_DESKTOP_PORTAL_DIR=portals, XDG_CURRENT_DESKTOP=DESKTOP, QT_QPA_PLATFORM="offscreen")
    log = open(os.path.join(work, "log"), "w")

    peer = Process([sys.executable, os.path.abspath(__file__), "--backend"], env, log)
    procs.append(peer.proc)
    peer.wait_line("the backend", '{"call": "ready"')

    def calls(name):
        return [json.loads(line) for line in peer.said('{"call": "%s"' % name)]

    probe = Process([program, "Ctrl+Alt+M"], env, log)
    procs.append(probe.proc)
    state = probe.wait_line("the probe told there is no portal", "state active=0 keys=Ctrl+Alt+M problem=这个桌面不支持")
    checks.check("with no portal it says how to bind memwick --toggle", all(s in state for s in WAY_OUT), state)

    frontend = Process(["/usr/libexec/xdg-desktop-portal", "--verbose"], env, subprocess.STDOUT)
    procs.append(frontend.proc)
    frontend.wait_line("the portal frontend", "XDP: org.freedesktop.portal.Desktop acquired")
    probe.send("bind Ctrl+Alt+M")
    probe.wait_line("the shortcut bound", "state active=1 keys=Ctrl+Alt+M problem=")

    def asked(n):  # session and trigger of each bind, from bind n on
        return [(c["session"], c["shortcuts"][0][0], c["shortcuts"][0][1].get("preferred_trigger"))
                for c in calls("BindShortcuts")[n:]]

    session = calls("CreateSession")[0]["session"]
    checks.check("a session is created, and Ctrl+Alt+M bound in it as CTRL+ALT+m",
                 asked(0) == [(session, "toggle", "CTRL+ALT+m")], asked(0))

    for command in ("activate toggle token-1", "activate toggle", "activate another token-2", "activate toggle token-3"):
        peer.send(command)
    wait_for("three presses", lambda: len(probe.said("activated")) >= 3, 30)
    checks.check("presses come with the portal's token, or none, and only of this shortcut",
                 probe.said("activated") == ["activated token=%s time=0" % t for t in ("token-1", "", "token-3")],
                 probe.said("activated"))

    probe.send("bind Ctrl+Alt+J")
    probe.wait_line("the shortcut bound again", "state active=1 keys=Ctrl+Alt+J problem=")
    closed = wait_for("the old session closed", lambda: calls("Close"), 30)
    checks.check("a rebind closes the old session and binds CTRL+ALT+j in a new one",
                 closed[0]["session"] == session and len(asked(1)) == 1 and asked(1)[0][1:] == ("toggle", "CTRL+ALT+j")
                 and asked(1)[0][0] != session, (closed, asked(1)))

    mark = len(probe.lines)
    peer.send("close")
    state = probe.wait_line("the close told", "state active=0 keys=Ctrl+Alt+J problem=", mark)
    checks.check("a session the desktop closes is told, with the way out", all(s in state for s in WAY_OUT), state)

    peer.send("refuse")
    probe.send("bind Ctrl+Alt+K")
    state = probe.wait_line("the refusal told", "state active=0 keys=Ctrl+Alt+K problem=桌面")
    checks.check("a refused bind is told, with the way out", all(s in state for s in WAY_OUT), state)

def main():
    if sys.argv[1:] == ["--backend"]:
        return backend()
    work = tempfile.mkdtemp()
    procs, checks = [], Checks()
    try:
        run(os.path.abspath(sys.argv[1]), work, procs, checks)
    except Failed as e:
        checks.check(str(e), False)
        for proc in procs:
            print("== %s\n%s" % (" ".join(proc.args), "".join(getattr(proc, "lines", ["(not read)\n"]))))
        with open(os.path.join(work, "log")) as f:
            print("== stderr\n" + f.read())
    finally:
        for proc in reversed(procs):
            proc.terminate()
            proc.wait()
        shutil.rmtree(work, ignore_errors=True)
    return checks.finish()


if __name__ == "__main__":
    sys.exit(main())
