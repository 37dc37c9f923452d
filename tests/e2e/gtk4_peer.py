#!/usr/bin/python3
# A GTK 4 program for the tests, meant to run as a sandboxed (Flatpak) one.
# Files dropped on the top half of its window are read as GTK reads them (in
# a sandbox: through the FileTransfer portal) and their paths shown in the
# title, "dropped:PATH|PATH"; so are files pasted with Ctrl+V, "pasted
# N:PATH|PATH" for the Nth paste. A drag from the bottom half offers the file
# named on the command line only through the portal
# (application/vnd.portal.filetransfer), under a key that GTK's own portal
# client registered. The title says "ready" once it is.
import sys

import gi

gi.require_version("Gdk", "4.0")
gi.require_version("Gtk", "4.0")
from gi.repository import Gdk, Gio, GLib, GObject, Gtk  # noqa: E402

PORTAL_TYPE = "application/vnd.portal.filetransfer"


def main():
    Gtk.init()
    window = Gtk.Window(title="starting")
    window.set_default_size(400, 300)
    halves = Gtk.Box(orientation=Gtk.Orientation.VERTICAL, homogeneous=True)
    drop_half, drag_half = Gtk.Label(label="drop here"), Gtk.Label(label="drag from here")
    halves.append(drop_half)
    halves.append(drag_half)
    window.set_child(halves)

    target = Gtk.DropTarget.new(Gdk.FileList, Gdk.DragAction.COPY)

    def dropped(_target, files, _x, _y):
        window.set_title("dropped:" + "|".join(f.get_path() or f.get_uri() for f in files.get_files()))
        return True

    target.connect("drop", dropped)
    drop_half.add_controller(target)

    # Ctrl+V pastes files from the clipboard, as GTK reads them; the title
    # counts the pastes: "pasted N:PATH|PATH".
    pastes = [0]

    def pasted(clipboard, result):
        pastes[0] += 1
        try:
            files = clipboard.read_value_finish(result)
        except GLib.Error as error:
            window.set_title(f"pasted {pastes[0]}:failed {error.message}")
            return
        window.set_title(f"pasted {pastes[0]}:" + "|".join(f.get_path() or f.get_uri() for f in files.get_files()))

    def pressed(_controller, keyval, _keycode, state):
        if keyval != Gdk.KEY_v or not state & Gdk.ModifierType.CONTROL_MASK:
            return False
        window.get_clipboard().read_value_async(Gdk.FileList, GLib.PRIORITY_DEFAULT, None, pasted)
        return True

    keys = Gtk.EventControllerKey()
    keys.connect("key-pressed", pressed)
    window.add_controller(keys)

    def offer(key):
        source = Gtk.DragSource(actions=Gdk.DragAction.COPY)
        source.set_content(Gdk.ContentProvider.new_for_bytes(PORTAL_TYPE, key))
        drag_half.add_controller(source)
        window.set_title("ready")

    if len(sys.argv) > 1:
        # GTK's serializer registers the files with the portal and writes the key.
        files = Gdk.FileList.new_from_array([Gio.File.new_for_path(sys.argv[1])])
        stream = Gio.MemoryOutputStream.new_resizable()

        def serialized(_source, result):
            try:
                Gdk.content_serialize_finish(result)
            except GLib.Error as error:
                print("no key from the portal:", error.message, file=sys.stderr, flush=True)
                window.set_title("failed")
                return
            stream.close()
            offer(stream.steal_as_bytes())

        Gdk.content_serialize_async(stream, PORTAL_TYPE, GObject.Value(Gdk.FileList, files),
                                    GLib.PRIORITY_DEFAULT, None, serialized)
    else:
        window.set_title("ready")
    window.present()
    loop = GLib.MainLoop()
    window.connect("close-request", lambda *_: loop.quit())
    loop.run()


main()
