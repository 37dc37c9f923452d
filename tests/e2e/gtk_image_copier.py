#!/usr/bin/python3
# A GTK 4 program that copies the picture named on its command line to the
# clipboard as GTK copies pictures (offering it as PNG and the other kinds of
# image GTK writes), prints "copied" and serves it until ended.
import sys

import gi

gi.require_version("Gdk", "4.0")
gi.require_version("Gtk", "4.0")
from gi.repository import Gdk, GLib, GObject, Gtk  # noqa: E402


def main():
    Gtk.init()
    texture = Gdk.Texture.new_from_filename(sys.argv[1])
    clipboard = Gdk.Display.get_default().get_clipboard()

    def copy():
        value = GObject.Value(Gdk.Texture, texture)
        clipboard.set_content(Gdk.ContentProvider.new_for_value(value))
        print("copied", flush=True)
        return False

    GLib.idle_add(copy)
    GLib.MainLoop().run()


if __name__ == "__main__":
    main()
