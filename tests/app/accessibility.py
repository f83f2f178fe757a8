#!/usr/bin/python3
"""What a screen reader is told of the launcher's windows, read over the desktop's accessibility
bus (AT-SPI), and the keyboard going through them.

    accessibility.py KEYS LAUNCHER [ARGUMENTS...]

Run in an X session with a D-Bus session bus. Starts the launcher; for each window it shows, in
turn, writes the window and every control a reader speaks to descriptor 3, one a line
(`role "name"`, with `focused` and `default` where they hold; unnamed panels left out), then
presses that window's keys of KEYS (xdotool key names, blank-separated; the windows' separated by
commas), writing after each where the focus is (`closed` once the window has gone). Ends with the
launcher's exit code.
"""
import os
import subprocess
import sys
import time

import pyatspi


def described(node):
    states = node.getState()
    marks = [word for word, state in (('focused', pyatspi.STATE_FOCUSED),
                                       ('default', pyatspi.STATE_IS_DEFAULT))
             if states.contains(state)]
    return ' '.join([node.getRoleName(), '"%s"' % node.name] + marks)


def controls(node, depth=0):
    """(depth, node) of what is showing, unnamed panels and fillers left out."""
    for child in node:
        if child is None or not child.getState().contains(pyatspi.STATE_SHOWING):
            continue
        quiet = not child.name and child.getRole() in (pyatspi.ROLE_PANEL, pyatspi.ROLE_FILLER)
        if not quiet:
            yield depth, child
        yield from controls(child, depth if quiet else depth + 1)


def waited(find, seconds=10):
    deadline = time.time() + seconds
    while time.time() < deadline:
        found = find()
        if found:
            return found
        time.sleep(0.1)
    return None


def launcher_window(pid, seen):
    """The launcher's showing top-level window not seen before, once something in it has the
    focus."""
    desktop = pyatspi.Registry.getDesktop(0)
    for application in desktop:
        if application is None or application.get_process_id() != pid:
            continue
        for window in application:
            if window is None or hash(window) in seen \
                    or not window.getState().contains(pyatspi.STATE_SHOWING):
                continue
            if any(node.getState().contains(pyatspi.STATE_FOCUSED) for _, node in controls(window)):
                return window
    return None


def focused(window):
    try:
        if not window.getState().contains(pyatspi.STATE_SHOWING):
            return 'closed'
        found = next((node for _, node in controls(window)
                      if node.getState().contains(pyatspi.STATE_FOCUSED)), None)
        return described(found) if found else 'nothing focused'
    except Exception:  # gone with its window
        return 'closed'


def main():
    keys, command = sys.argv[1].split(','), sys.argv[2:]
    # Its lines go to descriptor 3, with the launcher's messages (the bus's go elsewhere).
    out = os.fdopen(3, 'w', buffering=1)
    launcher = subprocess.Popen(command, env=dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON='1'),
                                stdout=out, stderr=out)
    seen = set()
    for presses in keys:
        window = waited(lambda: launcher_window(launcher.pid, seen))
        if not window:
            print('no window', file=out)
            break
        seen.add(hash(window))
        for depth, node in [(-1, window)] + list(controls(window)):
            print('  ' * (depth + 1) + described(node), file=out)
        for key in presses.split():
            before = focused(window)
            subprocess.run(['xdotool', 'key', key], check=True)
            waited(lambda: focused(window) != before, 1)
            time.sleep(0.2)
            print(f'{key}: {focused(window)}', file=out)
    try:
        sys.exit(launcher.wait(10))
    except subprocess.TimeoutExpired:
        launcher.kill()
        sys.exit('the launcher did not end')


if __name__ == '__main__':
    main()
