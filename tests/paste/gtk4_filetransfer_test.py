#!/usr/bin/python3
"""A GTK 4 program gets a copied GIF through the document portal's file transfer, as a sandboxed
chat does: on a session bus of the test's own with the real xdg-document-portal, it reads
application/vnd.portal.filetransfer and turns that key into the file as GTK does, for two pastes.

Usage: gtk4_filetransfer_test.py PROGRAM PICTURES  (PICTURES: the demo site's picture folder)"""
import os
import subprocess

from paste_session import BOXES, Failed, Session, main, read, wait_for

FILETRANSFER = "application/vnd.portal.filetransfer"
SERVICE = "org.freedesktop.portal.Documents"


class PortalSession(Session):
    """The session with a bus and the document portal on it, started before the program."""

    def _start_program(self):
        socket = os.path.join(self.work, "bus")
        with open(os.path.join(self.work, "bus.conf"), "w") as f:
            f.write('<busconfig><type>session</type><listen>unix:path=%s</listen><auth>EXTERNAL</auth>'
                    '<policy context="default"><allow send_destination="*"/><allow receive_sender="*"/>'
                    '<allow own="*"/></policy></busconfig>' % socket)
        self.spawn(["dbus-daemon", "--config-file=" + f.name, "--nofork"], "bus.log")
        wait_for("the session bus", lambda: os.path.exists(socket))
        self.env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + socket
        self.spawn(["/usr/libexec/xdg-document-portal"], "portal.log", env=self.env)
        wait_for("the document portal", lambda: b"true" in subprocess.run(
            ["gdbus", "call", "--session", "-d", "org.freedesktop.DBus", "-o", "/org/freedesktop/DBus",
             "-m", "org.freedesktop.DBus.NameHasOwner", SERVICE], env=self.env, capture_output=True).stdout)
        super()._start_program()


def run(session, pictures, checks):
    os.environ.update(DISPLAY=session.display, GDK_BACKEND="x11",
                      DBUS_SESSION_BUS_ADDRESS=session.env["DBUS_SESSION_BUS_ADDRESS"])
    import gi
    gi.require_version("Gdk", "4.0")
    gi.require_version("Gtk", "4.0")
    from gi.repository import Gdk, Gio, GLib, Gtk
    if not Gtk.init_check():
        raise Failed("GTK 4 cannot open the display")
    clipboard = Gdk.Display.get_default().get_clipboard()
    context = GLib.MainContext.default()

    def pumped(probe):
        while context.iteration(False):
            pass
        return probe()

    gif = read(os.path.join(pictures, BOXES[1]))
    session.copy_box(1, lambda: pumped(lambda: FILETRANSFER in (clipboard.get_formats().get_mime_types() or [])))
    done = []
    clipboard.read_async([FILETRANSFER], GLib.PRIORITY_DEFAULT, None, lambda _, result: done.append(result))
    stream, mime = clipboard.read_finish(wait_for("GTK's read", lambda: pumped(lambda: done))[0])
    key = stream.read_bytes(4096, None).get_data()
    checks.check("the GIF copy offers a file transfer's key", mime == FILETRANSFER and key.strip(), (mime, key))

    bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)

    def paste():  # as GTK's deserializer asks for the files
        reply = bus.call_sync(SERVICE, "/org/freedesktop/portal/documents", "org.freedesktop.portal.FileTransfer",
                              "RetrieveFiles", GLib.Variant("(sa{sv})", (key.decode().strip("\0"), {})),
                              GLib.VariantType("(as)"), Gio.DBusCallFlags.NONE, 10000, None)
        return list(reply.unpack()[0])
    paths, again = paste(), paste()
    checks.check("the portal gives for the key the GIF's one file, and again for a second paste",
                 len(paths) == 1 and read(paths[0]) == gif and again == paths, (paths, again))


if __name__ == "__main__":
    main(run, __doc__, ("program.log", "portal.log"), PortalSession)
