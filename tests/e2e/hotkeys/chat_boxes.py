#!/usr/bin/python3
"""Chat boxes whose Enter sends the message, for the hotkey tests.

  chat_boxes.py gtk FOLDER     a GTK 3 text view (GTK pastes asynchronously)
  chat_boxes.py serve FOLDER   a local chat page for a browser: a textarea
                               (chat.html#textarea) and a contenteditable box
                               (chat.html#editable); its port goes to FOLDER/port,
                               and FOLDER/ready is made when a page has loaded

Every message sent is appended to FOLDER/messages.log as one line:
"<CLOCK_MONOTONIC ns> <text, backslash and line feed escaped>". Enter on an
empty box sends nothing, as in a real chat.
"""
import os
import sys
import time


def log(folder, text):
    if text.strip() == "":
        return
    escaped = text.replace("\\", "\\\\").replace("\n", "\\n")
    with open(os.path.join(folder, "messages.log"), "a", encoding="utf-8") as out:
        out.write(f"{time.monotonic_ns()} {escaped}\n")


def gtk(folder):
    import gi

    gi.require_version("Gdk", "3.0")
    gi.require_version("Gtk", "3.0")
    from gi.repository import Gdk, Gtk

    window = Gtk.Window(title="GtkChatBox")
    window.set_default_size(400, 200)
    view = Gtk.TextView()
    window.add(view)

    def key(_widget, event):
        if event.keyval in (Gdk.KEY_Return, Gdk.KEY_KP_Enter) and not (
            event.state & Gdk.ModifierType.SHIFT_MASK
        ):
            buffer = view.get_buffer()
            log(folder, buffer.get_text(buffer.get_start_iter(), buffer.get_end_iter(), True))
            buffer.set_text("")
            return True
        return False

    view.connect("key-press-event", key)
    window.connect("destroy", Gtk.main_quit)
    window.show_all()
    view.grab_focus()
    Gtk.main()


PAGE = """<!doctype html><meta charset="utf-8"><title>ChatPage</title>
<textarea id="textarea" rows="4" cols="40"></textarea>
<div id="editable" contenteditable="true" style="border:1px solid;min-height:3em"></div>
<script>
const box = document.getElementById(location.hash.slice(1) || "textarea");
const plain = box.tagName === "TEXTAREA";
box.addEventListener("keydown", (event) => {
  if (event.key !== "Enter" || event.shiftKey || event.isComposing) return;
  event.preventDefault();
  const text = plain ? box.value : box.innerText.replace(/\\n+$/, "");
  if (plain) box.value = ""; else box.textContent = "";
  if (text.trim() !== "") fetch("/message", {method: "POST", body: text});
});
box.focus();
fetch("/ready", {method: "POST", body: location.hash});
</script>
"""


def serve(folder):
    from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

    class Handler(BaseHTTPRequestHandler):
        def do_GET(self):
            body = PAGE.encode("utf-8")
            self.send_response(200)
            self.send_header("Content-Type", "text/html; charset=utf-8")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def do_POST(self):
            length = int(self.headers.get("Content-Length", "0"))
            body = self.rfile.read(length).decode("utf-8")
            if self.path == "/ready":
                open(os.path.join(folder, "ready"), "w").close()
            else:
                log(folder, body)
            self.send_response(204)
            self.end_headers()

        def log_message(self, *args):
            pass

    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    with open(os.path.join(folder, "port.part"), "w") as out:
        out.write(str(server.server_address[1]))
    os.rename(os.path.join(folder, "port.part"), os.path.join(folder, "port"))
    server.serve_forever()


if __name__ == "__main__":
    {"gtk": gtk, "serve": serve}[sys.argv[1]](sys.argv[2])
