"""The bottom row's modes and click-through, read back from X: stacking,
input shape, opacity, and the glass background's pixels under a compositor."""
import os

import pyatspi

import xscreen
from clockapp import NO, center, click, click_at, extents, key, press, states
from xsession import Failure, stays, wait_for

CLICK_THROUGH = "투명 윈도우(T)"
TOPMOST, GLASS = "항상 위", "Vista GlassFrame"
BLUE = (0x30, 0x60, 0xa0)
TUESDAY, SATURDAY = "2026-12-08 15:20:00", "2026-12-12 15:20:00"


def check_box(timer, name):
    box = timer.find(pyatspi.ROLE_CHECK_BOX, name)
    assert box is not None, "no check box %r" % name
    return box


def above(timer):
    return "_NET_WM_STATE_ABOVE" in timer.net_wm_state()


def wait_above(timer, wanted, why):
    wait_for(lambda: above(timer) == wanted, 5,
             what="_NET_WM_STATE_ABOVE to be %s %s" % ("set" if wanted else "unset", why))


def set_click_through(timer, on, notice=False):
    """Switches click-through from the tray menu; the first time a notice
    comes up, closed here with its default button."""
    timer.choose_from_tray_menu(CLICK_THROUGH)
    if notice:
        wait_for(timer.alert, 5, what="the click-through notice")
        key("Return")
        wait_for(lambda: timer.alert() is None, 5, what="the notice to close")
    entry = [e for e in timer.open_tray_menu() if e[1] == CLICK_THROUGH][0]
    timer.close_tray_menu()
    assert ("checked" in entry[2]) == on, "the click-through entry's tick"


def toggle_by_action(box):
    """Toggles a check box through its accessible action, which needs no
    click: a click-through window takes none."""
    action = box.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    assert action.doAction(names.index("Toggle") if "Toggle" in names else names.index("Press"))


def test_glass_offered_only_with_a_compositor_at_start(clocks, request):
    timer = clocks.start()
    check_box(timer, TOPMOST)
    assert timer.find(pyatspi.ROLE_CHECK_BOX, GLASS) is None, "glass without a compositor"
    slider = timer.find(pyatspi.ROLE_SLIDER).queryValue()
    assert (slider.minimumValue, slider.maximumValue, slider.currentValue) == (20, 100, 100)
    # A compositor that comes later cannot give the window an alpha channel.
    request.getfixturevalue("compositor")
    stays(lambda: timer.find(pyatspi.ROLE_CHECK_BOX, GLASS) is None, 1.2,
          "glass offered after a compositor started")
    second = clocks.start(own_session=True)
    assert second.find(pyatspi.ROLE_CHECK_BOX, GLASS) is not None, \
        "glass not offered with a compositor at start"


def test_always_on_top_follows_its_check_box(clocks):
    timer = clocks.start()
    box = check_box(timer, TOPMOST)
    assert not above(timer), "the window starts above the others"
    for ticked in (True, False, True, False):
        click(box)
        wait_for(lambda: ("checked" in states(box)) == ticked, 5, what="the check box")
        wait_above(timer, ticked, "after a click on the check box")


def test_click_through_keeps_the_window_above(tray, clocks):
    timer = clocks.start()
    box = check_box(timer, TOPMOST)
    set_click_through(timer, True, notice=True)
    wait_above(timer, True, "with click-through on and the box clear")
    set_click_through(timer, False)
    wait_above(timer, False, "with click-through off and the box clear")

    click(box)
    wait_above(timer, True, "with the box ticked")
    set_click_through(timer, True)
    stays(lambda: above(timer), 0.5, "click-through on dropped the box's choice")
    set_click_through(timer, False)
    stays(lambda: above(timer), 0.5, "click-through off dropped the box's choice")


def test_always_on_top_acts_during_click_through(tray, clocks):
    # The window takes neither clicks nor keys then, so the box is changed
    # through its accessible action.
    timer = clocks.start()
    box = check_box(timer, TOPMOST)
    click(box)
    wait_above(timer, True, "with the box ticked")
    set_click_through(timer, True, notice=True)
    toggle_by_action(box)
    wait_for(lambda: "checked" not in states(box), 5, what="the box to clear")
    wait_above(timer, False, "after clearing the box with click-through on")
    toggle_by_action(box)
    wait_above(timer, True, "after ticking the box with click-through on")
    toggle_by_action(box)
    wait_above(timer, False, "after clearing the box again")
    set_click_through(timer, False)
    stays(lambda: not above(timer), 0.5, "click-through off put the window above")


def falls_through(catcher, box):
    """A click on the check box reaches the window below and leaves the box."""
    was = "checked" in states(box)
    point = center(box)
    click_at(*point)
    wait_for(lambda: point in catcher.presses(), 5,
             what="a click on the click-through window to reach the window below")
    stays(lambda: ("checked" in states(box)) == was, 0.3, "the click-through window took a click")


def takes_clicks(catcher, box):
    """Two clicks on the check box toggle it and back; none passes through."""
    before = len(catcher.presses())
    for _ in range(2):
        was = "checked" in states(box)
        click(box)
        wait_for(lambda: ("checked" in states(box)) != was, 5,
                 what="the window to take a click on its check box at %r" % (center(box),))
    assert len(catcher.presses()) == before, "a click passed through the window"


def test_click_through_lets_clicks_fall_through(tray, click_catcher, fake_clock, clocks):
    fake_clock.set(TUESDAY)
    timer = clocks.start(clock=fake_clock)
    box = check_box(timer, TOPMOST)
    # Ticked, so that the window stays above the catcher throughout.
    takes_clicks(click_catcher, box)
    click(box)
    wait_above(timer, True, "with the box ticked")

    set_click_through(timer, True, notice=True)
    falls_through(click_catcher, box)
    set_click_through(timer, False)
    takes_clicks(click_catcher, box)

    # The window follows its texts: it grows and shrinks with click-through
    # off and on.
    height = timer.geometry()[3]

    def resize_to(instant, grown):
        fake_clock.set(instant)
        wait_for(lambda: (timer.geometry()[3] > height) == grown, 5,
                 what="the window to %s" % ("grow" if grown else "shrink"))
        timer.settle()
    resize_to(SATURDAY, True)
    takes_clicks(click_catcher, box)
    set_click_through(timer, True)
    falls_through(click_catcher, box)
    resize_to(TUESDAY, False)
    falls_through(click_catcher, box)
    resize_to(SATURDAY, True)
    falls_through(click_catcher, box)
    set_click_through(timer, False)
    takes_clicks(click_catcher, box)
    resize_to(TUESDAY, False)
    takes_clicks(click_catcher, box)

    # Hidden to the tray and shown again.
    set_click_through(timer, True)
    press(timer.ask_to_close(), NO)
    wait_for(lambda: not timer.is_mapped(), 5, what="the window to hide")
    wait_for(lambda: not timer.balloons(), 10, what="the balloon to go")
    timer.click_tray_icon(repeat=2)
    wait_for(lambda: timer.refresh_window() and timer.is_mapped(), 5,
             what="the window to come back")
    timer.settle()
    falls_through(click_catcher, box)
    set_click_through(timer, False)
    takes_clicks(click_catcher, box)


def test_opacity_follows_the_slider(tray, clocks):
    timer = clocks.start()

    def wait_opacity(fraction, why):
        def right():
            got = timer.opacity()
            if fraction == 1.0:
                return got is None or abs(got - 1.0) < 1e-9
            return got is not None and abs(got - fraction) < 1e-6
        wait_for(right, 5, what="_NET_WM_WINDOW_OPACITY %s %s (last %r)"
                 % (fraction, why, timer.opacity()))

    slider = timer.find(pyatspi.ROLE_SLIDER)
    value = slider.queryValue()
    wait_opacity(1.0, "at start")
    click(slider)
    for keys, expected in ((["Home"], 20), (["End"], 100), (["Home", "Page_Up"], 30),
                           (["Home"], 20)):
        key(*keys)
        wait_for(lambda: value.currentValue == expected, 5,
                 what="the slider to reach %d" % expected)
        wait_opacity(expected / 100, "with the slider at %d" % expected)

    set_click_through(timer, True, notice=True)
    wait_opacity(0.2, "after click-through on")
    stays(lambda: abs((timer.opacity() or 1.0) - 0.2) < 1e-6, 0.5,
          "click-through on changed the opacity later")
    set_click_through(timer, False)
    wait_opacity(0.2, "after click-through off")
    stays(lambda: abs((timer.opacity() or 1.0) - 0.2) < 1e-6, 0.5,
          "click-through off changed the opacity later")


# --- glass -------------------------------------------------------------------

def samples(timer):
    """Points of the window's own background: away from every widget."""
    x, y, w, h = timer.geometry()
    margin = 8
    boxes = []
    for node in timer.accessibles():
        if node.getRole() in (pyatspi.ROLE_LABEL, pyatspi.ROLE_COMBO_BOX,
                              pyatspi.ROLE_CHECK_BOX, pyatspi.ROLE_SLIDER):
            bx, by, bw, bh = extents(node)
            boxes.append((bx - margin, by - margin, bx + bw + margin, by + bh + margin))
    points = [(px, py) for px in range(x + 2, x + w - 2, 3) for py in range(y + 2, y + h - 2, 3)
              if not any(left <= px < r and t <= py < b for left, t, r, b in boxes)]
    assert len(points) > 500, "too few background points"
    return points


def unreadable_texts(timer, shot):
    """The labels that show a text but have fewer than five dark pixels."""
    blank = []
    for node in timer.accessibles(pyatspi.ROLE_LABEL):
        if node.name.strip():
            x, y, w, h = extents(node)
            dark = sum(1 for p in shot.image.crop((x, y, x + w, y + h)).getdata()
                       if max(p) < 90)
            if dark < 5:
                blank.append(node.name)
    return blank


def near(a, b, tolerance):
    return all(abs(p - q) <= tolerance for p, q in zip(a, b))


def test_glass_steps_show_through(backdrop, compositor, fake_clock, clocks, shots):
    backdrop(BLUE)
    # A clock that stands still keeps every text, and so each label, in place.
    timer = clocks.start(clock=fake_clock)
    # Partly see-through: white at alpha 127 over the blue.
    blended = tuple(round(127 + c * 128 / 255) for c in BLUE)
    glass = check_box(timer, GLASS)
    points = samples(timer)
    x, y, w, h = timer.geometry()
    box = (x - 40, y - 60, w + 80, h + 100)
    assert xscreen.Shot().pixel(1270, 1014) == BLUE, "the backdrop's colour"

    def step(n, state, wanted, what):
        """Waits until every background point passes wanted(colour)."""
        if state:
            click(glass)
        xscreen.park_pointer()
        wait_for(lambda: state is None or state in states(glass)
                 or (state == "unchecked" and not {"checked", "indeterminate"} & states(glass)),
                 5, what="the glass box to be %s" % state)
        last = {}

        def settled():
            shot = xscreen.Shot()
            last["wrong"] = {shot.pixel(*p): p for p in points if not wanted(shot.pixel(*p))}
            last["shot"] = shot
            return not last["wrong"] and shot
        try:
            shot = wait_for(settled, 5, what=what)
        except Failure as failure:
            last["shot"].save(os.path.join(shots, "glass-%d-failed.png" % n), box)
            raise Failure("%s; %d colours differ, e.g. %r" % (
                failure, len(last["wrong"]), sorted(last["wrong"].items())[:4]))
        shot.save(os.path.join(shots, "glass-%d.png" % n), box)
        assert not unreadable_texts(timer, shot), "unreadable texts at step %d" % n
        return shot

    shot = step(0, None, lambda c: c[0] == c[1] == c[2] > 180, "an opaque grey background")
    colours = {shot.pixel(*p) for p in points}
    assert len(colours) == 1, "the opaque background is not of one colour"
    opaque = colours.pop()
    step(1, "indeterminate", lambda c: near(c, blended, 4),
         "half-transparent white over the blue %r" % (blended,))
    step(2, "checked", lambda c: near(c, BLUE, 2), "the blue through the window")
    step(3, "unchecked", lambda c: c == opaque, "the opaque colour %r again" % (opaque,))

    # Glass again, then the compositor goes: within about a second the
    # window must take its normal opaque colour again (not black, and not
    # the glass white, on which the controls' frames would vanish).
    for state in ("indeterminate", "checked"):
        click(glass)
        wait_for(lambda: state in states(glass), 5, what="the glass box to be " + state)
    xscreen.park_pointer()
    wait_for(lambda: all(near(xscreen.Shot().pixel(*p), BLUE, 2) for p in points[::7]), 5,
             what="the window to be glass again")
    xscreen.stop_compositor(compositor)

    def opaque_again():
        shot = xscreen.Shot()
        return all(shot.pixel(*p) == opaque for p in points) and shot
    shot = wait_for(opaque_again, 2, what="the opaque colour %r without the compositor" % (opaque,))
    shot.save(os.path.join(shots, "glass-uncomposited.png"), box)
    assert not unreadable_texts(timer, shot), "unreadable texts without the compositor"
