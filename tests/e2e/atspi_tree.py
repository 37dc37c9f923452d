#!/usr/bin/python3
"""Reads a program's accessible tree as a screen reader does, through libatspi.

  atspi_tree.py tree PID                 prints the application's tree as JSON
  atspi_tree.py action PID PATH ACTION   does ACTION on the node at PATH (a JSON
                                         list of child indices from the
                                         application node); exit 0 when done
  atspi_tree.py events PID SECONDS       prints "ready", then one JSON line per
                                         name change, state change or child
                                         added or removed in the application
                                         ({"type", "role", "name"} of the
                                         node, "child": the child's name),
                                         for SECONDS (at most 120) or until
                                         stdin closes

Exit 1 when the application or the node is not there, 2 on bad arguments,
3 when the program does not answer in time (a hung program fails, never
hangs the test).
"""

import json
import os
import signal
import sys
import warnings

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

# libatspi marks its interface getters deprecated; they are what it offers in 2.46.
warnings.simplefilter("ignore", DeprecationWarning)

# Bounds of one reading: how deep, how many nodes, how long in all and per call.
MAX_DEPTH = 24
MAX_NODES = 4000
TOTAL_SECONDS = 20
CALL_MS = 3000


def on_alarm(*_):
    sys.stderr.write("atspi_tree: no answer in %d s\n" % TOTAL_SECONDS)
    sys.stderr.flush()
    # os._exit: a blocked D-Bus call would keep a normal exit waiting.
    os._exit(3)


def find_application(pid):
    desktop = Atspi.get_desktop(0)
    for i in range(min(desktop.get_child_count(), 200)):
        app = desktop.get_child_at_index(i)
        if app is None:
            continue
        try:
            if app.get_process_id() == pid:
                return app
        except GLib.Error:
            continue
    return None


def text_of(call):
    try:
        return call() or ""
    except GLib.Error:
        return ""


def actions_of(node):
    action = node.get_action_iface()
    if action is None:
        return []
    try:
        return [action.get_action_name(i) for i in range(min(action.get_n_actions(), 32))]
    except GLib.Error:
        return []


def states_of(node):
    try:
        states = node.get_state_set().get_states()
    except GLib.Error:
        return []
    return sorted(s.value_nick.replace("-", " ") for s in states)


def describe(node, depth, budget):
    budget[0] -= 1
    out = {
        "role": text_of(node.get_role_name),
        "name": text_of(node.get_name),
        "description": text_of(node.get_description),
        "states": states_of(node),
        "actions": actions_of(node),
        "children": [],
    }
    if depth >= MAX_DEPTH:
        out["truncated"] = True
        return out
    try:
        count = node.get_child_count()
    except GLib.Error:
        count = 0
    for i in range(count):
        if budget[0] <= 0:
            out["truncated"] = True
            break
        try:
            child = node.get_child_at_index(i)
        except GLib.Error:
            child = None
        if child is None:
            out["children"].append({"role": "", "name": "", "description": "", "states": [],
                                    "actions": [], "children": []})
            continue
        out["children"].append(describe(child, depth + 1, budget))
    return out


def node_at(app, path):
    node = app
    for index in path:
        if not isinstance(index, int) or index < 0 or index >= node.get_child_count():
            return None
        node = node.get_child_at_index(index)
        if node is None:
            return None
    return node


# What a screen reader listens to (Qt tells children removed only to
# programs that also listen to state changes, as readers do).
EVENTS = ("object:property-change:accessible-name", "object:children-changed", "object:state-changed")
MAX_EVENTS = 10000


def listen(pid, seconds):
    Atspi.set_timeout(CALL_MS, CALL_MS)
    count = [0]

    def on_event(event):
        source = event.source
        try:
            if source is None or source.get_process_id() != pid:
                return
        except GLib.Error:
            return
        count[0] += 1
        if count[0] > MAX_EVENTS:
            Atspi.event_quit()
            return
        out = {"type": event.type, "role": text_of(source.get_role_name), "name": text_of(source.get_name)}
        child = event.any_data if event.type.startswith("object:children-changed") else None
        if isinstance(child, Atspi.Accessible):
            out["child"] = text_of(child.get_name)
        print(json.dumps(out, ensure_ascii=False), flush=True)

    listener = Atspi.EventListener.new(on_event)
    for kind in EVENTS:
        listener.register(kind)
    GLib.timeout_add_seconds(max(1, min(seconds, 120)), Atspi.event_quit)
    # The test ends the listening by closing its end of the pipe.
    GLib.io_add_watch(GLib.IOChannel.unix_new(sys.stdin.fileno()), GLib.PRIORITY_DEFAULT,
                      GLib.IOCondition.HUP | GLib.IOCondition.IN | GLib.IOCondition.ERR,
                      lambda *_: (Atspi.event_quit(), False)[1])
    print("ready", flush=True)
    Atspi.event_main()
    return 0


def main(argv):
    if len(argv) == 4 and argv[1] == "events":
        try:
            return listen(int(argv[2]), int(argv[3]))
        except ValueError:
            sys.stderr.write(__doc__)
            return 2
    if len(argv) < 3 or argv[1] not in ("tree", "action") or (argv[1] == "action" and len(argv) != 5):
        sys.stderr.write(__doc__)
        return 2
    try:
        pid = int(argv[2])
    except ValueError:
        sys.stderr.write("atspi_tree: not a process id: %s\n" % argv[2])
        return 2
    signal.signal(signal.SIGALRM, on_alarm)
    signal.alarm(TOTAL_SECONDS)
    Atspi.set_timeout(CALL_MS, CALL_MS)
    app = find_application(pid)
    if app is None:
        sys.stderr.write("atspi_tree: no accessible application with process id %d\n" % pid)
        return 1
    if argv[1] == "tree":
        print(json.dumps(describe(app, 0, [MAX_NODES]), ensure_ascii=False))
        return 0
    try:
        path = json.loads(argv[3])
    except ValueError:
        path = None
    if not isinstance(path, list):
        sys.stderr.write("atspi_tree: a path is a JSON list of child indices\n")
        return 2
    node = node_at(app, path)
    if node is None:
        sys.stderr.write("atspi_tree: no node at %s\n" % argv[3])
        return 1
    names = actions_of(node)
    if argv[4] not in names:
        sys.stderr.write("atspi_tree: the node has no action %r (it has %s)\n" % (argv[4], names))
        return 1
    if not node.get_action_iface().do_action(names.index(argv[4])):
        sys.stderr.write("atspi_tree: the action %r failed\n" % argv[4])
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
