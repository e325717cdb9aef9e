#!/usr/bin/python3
"""A GTK 3 program pastes what the program copied, reading the clipboard as GTK programs do: the
image a still copy gives, and after a GIF copy the GIF's bytes, its file and no text at all. A
later copy leaves the earlier copy's file as it was. A picture dragged from a box onto a GTK
window offers its file and its picture, and no text either.

Usage: gtk_paste_test.py PROGRAM PICTURES  (PICTURES: the demo site's picture folder)"""
import itertools
import os
import stat

from paste_session import BOXES, Failed, gif_frames, main, wait_for

# Offered with every selection, by the ICCCM.
SELECTION_TARGETS = {"TARGETS", "MULTIPLE", "TIMESTAMP", "SAVE_TARGETS"}
GIF_TARGETS = {"text/uri-list", "x-special/gnome-copied-files", "image/gif", "text/html"}
# Text as X names it; programs would take a file's path from it.
TEXT_TARGETS = {"text/plain", "UTF8_STRING", "STRING", "TEXT", "COMPOUND_TEXT", "text/x-moz-url"}


def rgba_rows(pixbuf):
    if not pixbuf.get_has_alpha():
        pixbuf = pixbuf.add_alpha(False, 0, 0, 0)
    data, stride, width = pixbuf.get_pixels(), pixbuf.get_rowstride(), pixbuf.get_width()
    return b"".join(data[y * stride:y * stride + width * 4] for y in range(pixbuf.get_height()))


def run(session, pictures, checks):
    os.environ["DISPLAY"] = session.display
    import gi
    gi.require_version("Gdk", "3.0")
    gi.require_version("Gtk", "3.0")
    from gi.repository import Gdk, GdkPixbuf, Gtk
    if not Gtk.init_check(None)[0]:
        raise Failed("GTK cannot open the display")
    clipboard = Gtk.Clipboard.get(Gdk.SELECTION_CLIPBOARD)

    def targets():
        ok, atoms = clipboard.wait_for_targets()
        return {atom.name() for atom in atoms} if ok else set()

    def contents(target):
        data = clipboard.wait_for_contents(Gdk.Atom.intern(target, False))
        return data.get_data() if data is not None and data.get_length() >= 0 else None

    def picture(name):
        with open(os.path.join(pictures, name), "rb") as f:
            return f.read()

    # A still: the picture as the box holds it, at full size and pixel for pixel.
    session.copy_box(2, lambda: "image/png" in targets())
    pasted = clipboard.wait_for_image()
    original = GdkPixbuf.Pixbuf.new_from_file(os.path.join(pictures, BOXES[2]))
    if checks.check("a still pastes as an image", pasted is not None):
        size = (pasted.get_width(), pasted.get_height())
        checks.check("the still has the picture's size", size == (original.get_width(), original.get_height()), size)
        checks.check("the still has the picture's pixels", rgba_rows(pasted) == rgba_rows(original))

    # A GIF: its own bytes, its own file, and no text.
    gif_a = picture(BOXES[1])
    session.copy_box(1, lambda: contents("image/gif") == gif_a)
    offered = targets() - SELECTION_TARGETS
    checks.check("a GIF copy offers the file, the GIF and HTML, nothing else", offered == GIF_TARGETS,
                 sorted(offered))
    frames = gif_frames(contents("image/gif"))
    checks.check("the pasted GIF keeps its %d frames" % gif_frames(gif_a), frames == gif_frames(gif_a) > 1, frames)
    text = clipboard.wait_for_text()
    checks.check("a text paste gets nothing, not the file's path", text is None, repr(text))
    uris = clipboard.wait_for_uris()
    if not checks.check("the GIF pastes as one file", uris is not None and len(uris) == 1, uris):
        return
    file_a = file_path(uris[0])
    checks.check("the file holds the GIF", read(file_a) == gif_a, file_a)
    private = session.private_folder()
    folders = [os.path.dirname(file_a), private]
    checks.check("the file lies in the private folder, which only its user may enter",
                 file_a.startswith(private + "/") and all(stat.S_IMODE(os.stat(f).st_mode) == 0o700 for f in folders),
                 file_a)
    stamp_a = os.stat(file_a).st_mtime_ns

    # Another GIF: a file of its own; what was pasted before stays readable as it was.
    gif_b = picture(BOXES[4])
    session.copy_box(4, lambda: contents("image/gif") == gif_b)
    uris_b = clipboard.wait_for_uris() or []
    checks.check("another GIF has a file of its own", len(uris_b) == 1 and file_path(uris_b[0]) != file_a, uris_b)
    checks.check("and that file holds it", len(uris_b) == 1 and read(file_path(uris_b[0])) == gif_b)
    checks.check("the first GIF's file is left as it was",
                 read(file_a) == gif_a and os.stat(file_a).st_mtime_ns == stamp_a)

    # The first GIF again: the same file, not even touched.
    session.copy_box(1, lambda: contents("image/gif") == gif_a)
    checks.check("the same picture copied again reuses its file, untouched",
                 clipboard.wait_for_uris() == uris and os.stat(file_a).st_mtime_ns == stamp_a,
                 clipboard.wait_for_uris())

    # Drags onto a GTK window beside the program's, which reads what they offer as they enter it.
    target = Gtk.Window(title="drop target")
    target.drag_dest_set(0, [], 0)
    offered = []

    def motion(widget, context, x, y, time):
        offered.append({atom.name() for atom in context.list_targets()})
        Gdk.drag_status(context, 0, time)  # refused: only the offer counts
        return True
    target.connect("drag-motion", motion)
    target.show_all()

    def pumped(probe):
        while Gtk.events_pending():
            Gtk.main_iteration()
        return probe()

    target.move(750, 100)  # beside the program's window
    _, tx, ty = wait_for("the drop target beside the program's window", lambda: pumped(
        lambda: target.get_mapped() and target.get_window().get_origin()[1] >= 700 and target.get_window().get_origin()))

    def drag_types(box):
        """What a drag from the box offers; None when none came (a press during a copy starts none)."""
        pumped(lambda: None)  # the last drag's late motions must not count for this one
        offered.clear()
        x, y = session.box_centre(box)
        session.activate(session.window)
        session.x("xdotool", "mousemove", str(x), str(y), "mousedown", "1", "mousemove_relative", "20", "0")
        moves = itertools.count()

        def entered():
            # A new position each time, which the program passes on.
            session.x("xdotool", "mousemove", str(tx + 100 + next(moves) % 2), str(ty + 100))
            return pumped(lambda: offered)
        try:
            return wait_for("the drag over the GTK window", entered, seconds=5)[0]
        except Failed:
            return None
        finally:
            session.x("xdotool", "mouseup", "1")

    for box, picture_type in ((1, "image/gif"), (2, "image/png")):
        types = wait_for("a drag from 图片框%d over the GTK window" % box, lambda: drag_types(box), interval=0)
        checks.check("a drag from 图片框%d offers its file and its picture, and no text" % box,
                     {"text/uri-list", picture_type} <= types and not types & TEXT_TARGETS, sorted(types))

def file_path(uri):
    from gi.repository import Gio
    return Gio.File.new_for_uri(uri).get_path()


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return None


if __name__ == "__main__":
    main(run, __doc__)
