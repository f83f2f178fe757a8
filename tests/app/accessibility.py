#!/usr/bin/python3
"""What a screen reader is told of the launcher's windows, read over the desktop's accessibility
bus (AT-SPI), and the keyboard going through them.

    accessibility.py KEYS LAUNCHER [ARGUMENTS...]

Starts the launcher; for each window it shows, in turn, once something in it has the focus, writes
to descriptor 3 the window and every control a reader speaks of, one a line (`role "name"`, with
`focused` and `default` where they hold; unnamed panels left out), then presses that window's keys
of KEYS (xdotool key names; the windows' separated by commas) and writes after each where the focus
is (`closed` once the window has gone). Ends with the launcher's exit code.
"""
import os, subprocess, sys, time

import pyatspi

FOCUSED, DEFAULT, SHOWING = pyatspi.STATE_FOCUSED, pyatspi.STATE_IS_DEFAULT, pyatspi.STATE_SHOWING


def described(node):
    states = node.getState()
    marks = [word for word, state in (('focused', FOCUSED), ('default', DEFAULT))
             if states.contains(state)]
    return ' '.join([node.getRoleName(), '"%s"' % node.name] + marks)


def controls(node, depth=0):
    """(depth, node) of what is showing, unnamed panels and fillers left out."""
    for child in node:
        if child is None or not child.getState().contains(SHOWING):
            continue
        quiet = not child.name and child.getRole() in (pyatspi.ROLE_PANEL, pyatspi.ROLE_FILLER)
        if not quiet:
            yield depth, child
        yield from controls(child, depth if quiet else depth + 1)


def waited(find, seconds=10):
    deadline = time.time() + seconds
    while not find() and time.time() < deadline:
        time.sleep(0.1)
    return find()


def focused(window):
    try:
        if not window.getState().contains(SHOWING):
            return 'closed'
        found = [node for _, node in controls(window) if node.getState().contains(FOCUSED)]
        return described(found[0]) if found else 'nothing focused'
    except Exception:  # gone with its window
        return 'closed'


def new_window(pid, seen):
    """The launcher's showing top-level window not seen before, once something in it has the
    focus."""
    for application in pyatspi.Registry.getDesktop(0):
        if application is not None and application.get_process_id() == pid:
            for window in application:
                if window is not None and hash(window) not in seen \
                        and focused(window) not in ('closed', 'nothing focused'):
                    return window
    return None


def main():
    keys, command = sys.argv[1].split(','), sys.argv[2:]
    out = os.fdopen(3, 'w', buffering=1)  # with the launcher's messages; the bus's go elsewhere
    launcher = subprocess.Popen(command, env=dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON='1'),
                                stdout=out, stderr=out)
    seen = set()
    for presses in keys:
        window = waited(lambda: new_window(launcher.pid, seen))
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
