#!/usr/bin/python3
"""A GTK 4 program gets a copied GIF through the document portal's file transfer, as a sandboxed
chat does: the program and the receiver share a session bus of the test's own on which the real
xdg-document-portal runs; the receiver reads application/vnd.portal.filetransfer from the
clipboard and turns that key into the file as GTK's deserializer does (RetrieveFiles), twice,
as for two pastes.

Usage: gtk4_filetransfer_test.py PROGRAM PICTURES  (PICTURES: the demo site's picture folder)"""
import os
import subprocess

from paste_session import BOXES, Failed, Session, main, wait_for

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
        while context.pending():
            context.iteration(False)
        return probe()

    def finish(start, end):
        """Runs an asynchronous GTK call to its end; what its finish gives."""
        done = []
        start(lambda _, result: done.append(result))
        wait_for("GTK's answer", lambda: pumped(lambda: done))
        return end(done[0])

    with open(os.path.join(pictures, BOXES[1]), "rb") as f:
        gif = f.read()
    session.copy_box(1, lambda: pumped(lambda: FILETRANSFER in (clipboard.get_formats().get_mime_types() or [])))
    stream, mime = finish(lambda cb: clipboard.read_async([FILETRANSFER], GLib.PRIORITY_DEFAULT, None, cb),
                          clipboard.read_finish)
    key = stream.read_bytes(4096, None).get_data()
    checks.check("the GIF copy offers a file transfer's key", mime == FILETRANSFER and key.strip(), (mime, key))

    bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)

    def paste():
        """The files the portal gives for the key, as GTK's deserializer asks for them."""
        reply = bus.call_sync(SERVICE, "/org/freedesktop/portal/documents", "org.freedesktop.portal.FileTransfer",
                              "RetrieveFiles", GLib.Variant("(sa{sv})", (key.decode().strip("\0"), {})),
                              GLib.VariantType("(as)"), Gio.DBusCallFlags.NONE, 10000, None)
        return list(reply.unpack()[0])
    paths = paste()
    checks.check("the portal gives for the key the one file, the GIF", len(paths) == 1 and read(paths[0]) == gif, paths)
    again = paste()
    checks.check("and gives it again for a second paste", again == paths, again)


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except (OSError, TypeError):
        return None


if __name__ == "__main__":
    main(run, __doc__, ("program.log", "portal.log"), PortalSession)
