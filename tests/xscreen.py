"""The X server as the tests see it, through python3-xlib: windows and their
properties, selections, the screen's pixels (as Pillow images), and input
through xdotool."""
import os
import re

from PIL import Image
from Xlib import X, Xatom, display as xdisplay, error as xerror

from xsession import SCREEN, Helper, run, wait_for

_connection = None


def connection():
    """One connection to the session's display for the whole test run."""
    global _connection
    if _connection is None or _connection.get_display_name() != os.environ.get("DISPLAY"):
        _connection = xdisplay.Display()
    return _connection


def atom(name):
    return connection().intern_atom(name)


def atom_name(value):
    return connection().get_atom_name(value)


def window(wid):
    return connection().create_resource_object("window", wid)


def root():
    return connection().screen().root


def prop(wid, name, kind=X.AnyPropertyType):
    """A property's values (a list of numbers, or bytes for text), or None
    when the window has no such property or is gone."""
    try:
        value = window(wid).get_full_property(atom(name), kind)
    except xerror.XError:
        return None
    return None if value is None else value.value


def text_prop(wid, name):
    value = prop(wid, name)
    if value is None:
        return None
    return value.decode("utf-8", "replace") if isinstance(value, bytes) else str(value)


def atoms_prop(wid, name):
    return {atom_name(a) for a in prop(wid, name, Xatom.ATOM) or []}


def title(wid):
    return text_prop(wid, "_NET_WM_NAME") or text_prop(wid, "WM_NAME")


def wm_class(wid):
    """WM_CLASS as (instance, class), or None."""
    value = prop(wid, "WM_CLASS", Xatom.STRING)
    if not value:
        return None
    parts = value.decode("latin-1").split("\0")
    return (parts[0], parts[1]) if len(parts) > 1 else (parts[0], "")


def pid(wid):
    value = prop(wid, "_NET_WM_PID", Xatom.CARDINAL)
    return value[0] if value else None


def net_wm_state(wid):
    return atoms_prop(wid, "_NET_WM_STATE")


def window_types(wid):
    return atoms_prop(wid, "_NET_WM_WINDOW_TYPE")


def wm_state(wid):
    """"Withdrawn", "Normal" or "Iconic", or None when WM_STATE is absent."""
    value = prop(wid, "WM_STATE")
    if not value:
        return None
    return {0: "Withdrawn", 1: "Normal", 3: "Iconic"}.get(value[0], str(value[0]))


def opacity(wid):
    """_NET_WM_WINDOW_OPACITY as a fraction, or None when it is absent."""
    value = prop(wid, "_NET_WM_WINDOW_OPACITY", Xatom.CARDINAL)
    return value[0] / 0xffffffff if value else None


def active_window():
    value = prop(root().id, "_NET_ACTIVE_WINDOW", Xatom.WINDOW)
    return value[0] if value else None


def stacking():
    """The managed windows from the bottom up."""
    return list(prop(root().id, "_NET_CLIENT_LIST_STACKING", Xatom.WINDOW) or [])


def selection_owner(name):
    """The window owning an X selection (0 for none), e.g. _NET_WM_CM_S0."""
    return connection().get_selection_owner(atom(name))


def attributes(wid):
    try:
        return window(wid).get_attributes()
    except xerror.XError:
        return None


def is_viewable(wid):
    a = attributes(wid)
    return a is not None and a.map_state == X.IsViewable


def is_override_redirect(wid):
    a = attributes(wid)
    return a is not None and bool(a.override_redirect)


def geometry(wid):
    """(x, y, width, height) of the window, x and y on the screen."""
    w = window(wid)
    g = w.get_geometry()
    at = w.translate_coords(root(), 0, 0)
    return -at.x, -at.y, g.width, g.height


def ancestors(wid):
    """The window's parents up to, not including, the root window."""
    found = []
    top = root().id
    while True:
        try:
            parent = window(wid).query_tree().parent.id
        except xerror.XError:
            return found
        if parent in (top, X.NONE):
            return found
        found.append(parent)
        wid = parent


def all_windows():
    """Every window below the root, parents before their children."""
    found = []
    pending = [root()]
    while pending:
        try:
            children = pending.pop().query_tree().children
        except xerror.XError:
            continue
        found.extend(c.id for c in children)
        pending.extend(children)
    return found


def windows(of_pid=None, name=None, class_name=None, visible=True):
    """Windows by _NET_WM_PID, by title (a regular expression matched whole)
    and by the class part of WM_CLASS."""
    found = []
    for wid in all_windows():
        try:
            if visible and not is_viewable(wid):
                continue
            if of_pid is not None and pid(wid) != of_pid:
                continue
            if name is not None and not re.fullmatch(name, title(wid) or ""):
                continue
            if class_name is not None and (wm_class(wid) or ("", ""))[1] != class_name:
                continue
        except xerror.XError:
            continue
        found.append(wid)
    return found


def size_hints(wid):
    """WM_NORMAL_HINTS' minimum and maximum size, each None when unset."""
    value = prop(wid, "WM_NORMAL_HINTS")
    if not value:
        return None, None
    flags = value[0]
    minimum = (value[5], value[6]) if flags & 16 else None
    maximum = (value[7], value[8]) if flags & 32 else None
    return minimum, maximum


class Shot:
    """The screen's pixels at one moment."""

    def __init__(self):
        width, height = SCREEN
        raw = root().get_image(0, 0, width, height, X.ZPixmap, 0xffffffff)
        self.image = Image.frombytes("RGB", SCREEN, raw.data, "raw", "BGRX")
        self.pixels = self.image.load()
        self.width, self.height = SCREEN

    def pixel(self, x, y):
        return self.pixels[x, y]

    def save(self, path, box=None):
        """Writes the screen, or the box (x, y, w, h) of it, as a PNG."""
        image = self.image
        if box:
            x, y, w, h = box
            image = image.crop((max(0, x), max(0, y), min(self.width, x + w),
                                min(self.height, y + h)))
        image.save(path)


# --- input -------------------------------------------------------------------

def click_at(x, y, button=1, repeat=1):
    args = ["xdotool", "mousemove", str(x), str(y), "click"]
    if repeat > 1:
        args += ["--repeat", str(repeat), "--delay", "80"]
    run(*args, str(button))


def key(*keys):
    run("xdotool", "key", *keys)


def activate(wid):
    run("xdotool", "windowactivate", "--sync", str(wid), check_rc=False)


def click_window(wid, button=1, repeat=1):
    x, y, w, h = geometry(wid)
    click_at(x + w // 2, y + h // 2, button=button, repeat=repeat)


def park_pointer():
    """Xvfb draws the pointer into the screen's pixels: out of the way."""
    run("xdotool", "mousemove", str(SCREEN[0] - 1), str(SCREEN[1] - 1))


# --- helpers that own a selection --------------------------------------------

def _owned_helper(selection, *args):
    helper = Helper(*args)
    try:
        wait_for(lambda: helper.running() and selection_owner(selection), 10,
                 what="%s to take %s" % (helper.name, selection))
    except BaseException:
        helper.stop()
        raise
    return helper


def start_tray():
    """trayer as the notification area, at the top right of the screen."""
    return _owned_helper("_NET_SYSTEM_TRAY_S0", "trayer", "--edge", "top", "--align", "right",
                         "--widthtype", "pixel", "--width", "100", "--heighttype", "pixel",
                         "--height", "32")


def start_compositor():
    return _owned_helper("_NET_WM_CM_S0", "xcompmgr")


def stop_compositor(compositor):
    compositor.stop()
    wait_for(lambda: not selection_owner("_NET_WM_CM_S0"), 5, what="xcompmgr to go")
