#!/usr/bin/env python3
"""A desktop portal on a private session bus, for tests: the RemoteDesktop keyboard
and GlobalShortcuts. It writes every call it takes to a log, one line each, as it
arrives:
  CreateSession SESSION | Start SESSION | Key SESSION CODE STATE | Close SESSION
  Shortcuts SESSION | Bind SESSION TRIGGER...
and answers like a portal (a request handle at once, the outcome as the request's
Response signal). `--slow CODE:STATE:MS` answers that key call MS late, once, the
way a desktop busy encoding a stream does. `--hold-bind FILE` answers a
BindShortcuts only once FILE exists (the host still reading the desktop's
question), then gives every shortcut its own trigger and fires the first one
(Activated). Runs until killed."""
import argparse
import sys

from gi.repository import Gio, GLib

parser = argparse.ArgumentParser()
parser.add_argument("--log", required=True)
parser.add_argument("--slow", action="append", default=[])
parser.add_argument("--hold-bind", default="")
options = parser.parse_args()
slow = {}
for entry in options.slow:
    code, state, ms = entry.split(":")
    slow[(int(code), int(state))] = int(ms)

PATH = "/org/freedesktop/portal/desktop"
XML = """<node>
 <interface name="org.freedesktop.portal.RemoteDesktop">
  <method name="CreateSession"><arg type="a{sv}" direction="in"/><arg type="o" direction="out"/></method>
  <method name="SelectDevices"><arg type="o" direction="in"/><arg type="a{sv}" direction="in"/><arg type="o" direction="out"/></method>
  <method name="Start"><arg type="o" direction="in"/><arg type="s" direction="in"/><arg type="a{sv}" direction="in"/><arg type="o" direction="out"/></method>
  <method name="NotifyKeyboardKeycode"><arg type="o" direction="in"/><arg type="a{sv}" direction="in"/><arg type="i" direction="in"/><arg type="u" direction="in"/></method>
 </interface>
 <interface name="org.freedesktop.portal.Session">
  <method name="Close"/>
 </interface>
 <interface name="org.freedesktop.portal.GlobalShortcuts">
  <method name="CreateSession"><arg type="a{sv}" direction="in"/><arg type="o" direction="out"/></method>
  <method name="BindShortcuts"><arg type="o" direction="in"/><arg type="a(sa{sv})" direction="in"/><arg type="s" direction="in"/><arg type="a{sv}" direction="in"/><arg type="o" direction="out"/></method>
  <signal name="Activated"><arg type="o"/><arg type="s"/><arg type="t"/><arg type="a{sv}"/></signal>
 </interface>
</node>"""
node = Gio.DBusNodeInfo.new_for_xml(XML)
log = open(options.log, "a", buffering=1)
sessions = set()
counter = [0]


def request_path(sender, options_dict):
    token = options_dict.get("handle_token", "t%d" % counter[0])
    return "%s/request/%s/%s" % (PATH, sender[1:].replace(".", "_"), token)


def respond(conn, sender, path, results):
    # The Response comes after the method's own answer, as a portal's does.
    def emit():
        conn.emit_signal(sender, path, "org.freedesktop.portal.Request", "Response",
                         GLib.Variant("(ua{sv})", (0, results)))
        return False
    GLib.idle_add(emit)


def on_session_call(conn, sender, path, iface, method, params, invocation):
    log.write("Close %s\n" % path)
    sessions.discard(path)
    invocation.return_value(None)


def create_session(conn, sender, params, invocation, logged_as):
    (opts,) = params.unpack()
    session = "%s/session/%s/%s" % (PATH, sender[1:].replace(".", "_"),
                                    opts.get("session_handle_token", "s%d" % counter[0]))
    if session not in sessions:
        conn.register_object(session, node.interfaces[1], on_session_call, None, None)
        sessions.add(session)
    log.write("%s %s\n" % (logged_as, session))
    handle = request_path(sender, opts)
    invocation.return_value(GLib.Variant("(o)", (handle,)))
    respond(conn, sender, handle, {"session_handle": GLib.Variant("s", session)})


def on_call(conn, sender, path, iface, method, params, invocation):
    counter[0] += 1
    if method == "CreateSession":
        create_session(conn, sender, params, invocation, "CreateSession")
    elif method == "SelectDevices":
        session, opts = params.unpack()
        handle = request_path(sender, opts)
        invocation.return_value(GLib.Variant("(o)", (handle,)))
        respond(conn, sender, handle, {})
    elif method == "Start":
        session, _parent, opts = params.unpack()
        log.write("Start %s\n" % session)
        handle = request_path(sender, opts)
        invocation.return_value(GLib.Variant("(o)", (handle,)))
        respond(conn, sender, handle, {"devices": GLib.Variant("u", 1)})
    elif method == "NotifyKeyboardKeycode":
        session, _opts, code, state = params.unpack()
        log.write("Key %s %d %d\n" % (session, code, state))
        late = slow.pop((code, state), 0)
        if late:
            GLib.timeout_add(late, lambda: invocation.return_value(None) or False)
        else:
            invocation.return_value(None)


def on_shortcuts_call(conn, sender, path, iface, method, params, invocation):
    counter[0] += 1
    if method == "CreateSession":
        # A later desktop: the shortcuts are bound in BindShortcuts, not here.
        create_session(conn, sender, params, invocation, "Shortcuts")
    elif method == "BindShortcuts":
        session, shortcuts, _parent, opts = params.unpack()
        names = [name for name, _details in shortcuts]
        log.write("Bind %s %s\n" % (session, " ".join(names)))
        handle = request_path(sender, opts)
        invocation.return_value(GLib.Variant("(o)", (handle,)))

        def answer():
            import os
            if options.hold_bind and not os.path.exists(options.hold_bind):
                return True  # asked again later
            given = [(name, {"trigger_description": GLib.Variant("s", name)}) for name in names]
            conn.emit_signal(sender, handle, "org.freedesktop.portal.Request", "Response",
                             GLib.Variant("(ua{sv})", (0, {"shortcuts": GLib.Variant(
                                 "a(sa{sv})", given)})))
            if names:
                conn.emit_signal(sender, PATH, "org.freedesktop.portal.GlobalShortcuts",
                                 "Activated", GLib.Variant("(osta{sv})",
                                                           (session, names[0], 0, {})))
            return False
        GLib.timeout_add(50, answer)


def on_bus(conn, _name):
    conn.register_object(PATH, node.interfaces[0], on_call, None, None)
    conn.register_object(PATH, node.interfaces[2], on_shortcuts_call, None, None)


def on_name(_conn, _name):
    log.write("Ready\n")


Gio.bus_own_name(Gio.BusType.SESSION, "org.freedesktop.portal.Desktop",
                 Gio.BusNameOwnerFlags.NONE, on_bus, on_name, lambda *_: sys.exit(1))
GLib.MainLoop().run()
