"""Reading a running program's windows the way a screen reader does."""

import time

import pyatspi


def application(pid, timeout=20.0):
    """The accessibility node of the process `pid`, found by its id (a
    stale instance of the same name must never be driven by mistake)."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for index in range(desktop.childCount):
            try:
                app = desktop.getChildAtIndex(index)
                if app is not None and app.get_process_id() == pid:
                    return app
            except Exception:  # the node may vanish while we look
                pass
        time.sleep(0.05)
    raise AssertionError(f"no accessible application for process {pid}")


def walk(node):
    """The node and everything below it; a window closing during the walk
    ends its own branch instead of the walk (its nodes stop existing on
    the bus between one call and the next)."""
    yield node
    try:
        count = node.childCount
    except Exception:
        return
    for index in range(count):
        try:
            child = node.getChildAtIndex(index)
        except Exception:
            continue
        if child is not None:
            yield from walk(child)


def role(node):
    return node.getRoleName()


def find(root, role_name, name=None, timeout=10.0):
    """The first showing node of the role (and name), polled until the deadline."""
    deadline = time.monotonic() + timeout
    while True:
        try:
            for node in walk(root):
                if role(node) != role_name:
                    continue
                if name is not None and node.name != name:
                    continue
                if node.getState().contains(pyatspi.STATE_SHOWING):
                    return node
        except Exception:
            pass
        if time.monotonic() > deadline:
            raise AssertionError(f"no {role_name} named {name!r}")
        time.sleep(0.05)


def labelled_by(node):
    """Texts of the labels that name `node` through a labelled-by relation."""
    names = []
    for relation in node.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
            for index in range(relation.getNTargets()):
                names.append(relation.getTarget(index).name)
    return names


def accessible_name(node):
    """What a screen reader announces as the control's name."""
    if node.name:
        return node.name
    return " ".join(labelled_by(node))


def is_checked(node):
    return node.getState().contains(pyatspi.STATE_CHECKED)


def is_focused(node):
    return node.getState().contains(pyatspi.STATE_FOCUSED)


def dump(root):
    lines = []

    def visit(node, depth):
        try:
            label = ""
            rel = labelled_by(node)
            if rel:
                label = f"  labelled-by {rel!r}"
            lines.append(f"{'  ' * depth}{role(node)} {node.name!r}{label}")
            for index in range(node.childCount):
                visit(node.getChildAtIndex(index), depth + 1)
        except Exception as error:  # noqa: BLE001
            lines.append(f"{'  ' * depth}<gone: {error}>")

    visit(root, 0)
    return "\n".join(lines)
