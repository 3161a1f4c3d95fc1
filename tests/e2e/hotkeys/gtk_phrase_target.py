#!/usr/bin/env python3
"""A GTK 3 chat box for the hotkey tests: one multi-line text box with the focus.
Its whole text is written to <folder>/text.txt (UTF-8, through a renamed temporary
file) after every change, and each key press that reaches it is noted in
<folder>/keys.log by its key name."""
import os
import sys

import gi

gi.require_version("Gtk", "3.0")
from gi.repository import GLib, Gtk  # noqa: E402

folder = sys.argv[1]
window = Gtk.Window(title="GtkPhraseTarget")
window.set_default_size(400, 300)
view = Gtk.TextView()
window.add(view)
buffer = view.get_buffer()
queued = [False]


def write_text():
    queued[0] = False
    text = buffer.get_text(buffer.get_start_iter(), buffer.get_end_iter(), True)
    temporary = os.path.join(folder, "text.tmp")
    with open(temporary, "w", encoding="utf-8") as out:
        out.write(text)
    os.replace(temporary, os.path.join(folder, "text.txt"))
    return False


def changed(_buffer):
    if not queued[0]:
        queued[0] = True
        GLib.idle_add(write_text)


def key_pressed(_widget, event):
    from gi.repository import Gdk

    with open(os.path.join(folder, "keys.log"), "a", encoding="utf-8") as log:
        log.write(Gdk.keyval_name(event.keyval) + "\n")
    return False


buffer.connect("changed", changed)
view.connect("key-press-event", key_pressed)
window.connect("destroy", Gtk.main_quit)
window.show_all()
view.grab_focus()
write_text()
Gtk.main()
