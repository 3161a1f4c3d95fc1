#!/usr/bin/env python3
"""Input through the desktop portal's RemoteDesktop session, as a person would give
it: keyboard and pointer. Steps, in order, from the command line:
  home          the pointer to the top left corner of the screen
  move DX DY    the pointer by DX, DY pixels
  click         the left button pressed and released
  key CODE      a key (Linux evdev code) pressed and released
  wait SECONDS
Exits 1 when the portal gives no session with both devices."""
import sys
import time

from gi.repository import Gio, GLib

bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
sender = bus.get_unique_name()[1:].replace(".", "_")
tokens = iter(range(1, 100))


def portal(method, args):
    return bus.call_sync("org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
                         "org.freedesktop.portal.RemoteDesktop", method, args, None,
                         Gio.DBusCallFlags.NONE, 30000, None)


def request(method, make_args):
    token = "input%d" % next(tokens)
    path = "/org/freedesktop/portal/desktop/request/%s/%s" % (sender, token)
    loop = GLib.MainLoop()
    answer = {}

    def on_response(_conn, _sender, _path, _iface, _signal, params):
        answer["code"], answer["results"] = params.unpack()
        loop.quit()

    # Subscribed before the call: the answer may come at once.
    sub = bus.signal_subscribe(None, "org.freedesktop.portal.Request", "Response", path, None,
                               Gio.DBusSignalFlags.NONE, on_response)
    portal(method, make_args(token))
    GLib.timeout_add_seconds(30, loop.quit)
    loop.run()
    bus.signal_unsubscribe(sub)
    if answer.get("code") != 0:
        sys.exit("the portal refused %s" % method)
    return answer["results"]


session = request("CreateSession", lambda t: GLib.Variant(
    "(a{sv})", ({"handle_token": GLib.Variant("s", t),
                 "session_handle_token": GLib.Variant("s", "s" + t)},)))["session_handle"]
request("SelectDevices", lambda t: GLib.Variant(
    "(oa{sv})", (session, {"handle_token": GLib.Variant("s", t),
                           "types": GLib.Variant("u", 3)})))
started = request("Start", lambda t: GLib.Variant(
    "(osa{sv})", (session, "", {"handle_token": GLib.Variant("s", t)})))
if started.get("devices", 0) & 3 != 3:
    sys.exit("the portal gave no keyboard and pointer")


def notify(method, signature, *values):
    portal(method, GLib.Variant("(oa{sv}" + signature + ")", (session, {}) + values))


BTN_LEFT = 0x110
steps = sys.argv[1:]
while steps:
    step = steps.pop(0)
    if step == "home":
        notify("NotifyPointerMotion", "dd", -10000.0, -10000.0)
    elif step == "move":
        notify("NotifyPointerMotion", "dd", float(steps.pop(0)), float(steps.pop(0)))
    elif step == "click":
        notify("NotifyPointerButton", "iu", BTN_LEFT, 1)
        notify("NotifyPointerButton", "iu", BTN_LEFT, 0)
    elif step == "key":
        code = int(steps.pop(0))
        notify("NotifyKeyboardKeycode", "iu", code, 1)
        notify("NotifyKeyboardKeycode", "iu", code, 0)
    elif step == "wait":
        time.sleep(float(steps.pop(0)))
    time.sleep(0.05)
