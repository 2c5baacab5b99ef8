#!/usr/bin/env python3
"""The road of one order through AT-SPI alone, as a screen reader's client.

Presses with the controls' "Press" action, types nothing but F2 on a
category, the menu key, Down and Enter in a row's menu (through the AT-SPI
registry) and fills the input box through its editable text. Listens to what
a screen reader hears and checks, after each step, the pressed control's
description and the text its event carried, the names that quote an edited
caption (each event carrying the new name), the lists and their new lines
told as added, and that nothing is said about hidden windows or objects gone.

Usage: atspi_road.py LOG   (LOG: what the screen reader received, per step)
"""

import sys
import time

import pyatspi
from gi.repository import GLib

KEYSYM_MENU = 0xFF67
KEYSYM_DOWN = 0xFF54
KEYSYM_RETURN = 0xFF0D
KEYSYM_F2 = 0xFFBF
TIMEOUT = 30

log = open(sys.argv[1], "w", encoding="utf-8")
heard = []          # every event received, in order
step_name = "start"
seen_windows = []   # the windows the road has shown


def fail(message):
    print(f"FAIL ({step_name}): {message}", file=sys.stderr)
    write_log()
    sys.exit(1)


def pump():
    context = GLib.MainContext.default()
    while context.pending():
        context.iteration(False)


def wait_for(what, predicate, timeout=TIMEOUT):
    deadline = time.monotonic() + timeout
    while True:
        pump()
        try:
            found = predicate()
        except Exception:  # an object going away while it is looked at
            found = None
        if found:
            return found
        if time.monotonic() > deadline:
            fail(f"timed out waiting for {what}")
        time.sleep(0.05)


def showing(acc):
    return acc is not None and acc.getState().contains(pyatspi.STATE_SHOWING)


def top_window(acc):
    node = acc
    for _ in range(64):
        parent = node.parent
        if parent is None or parent.getRole() == pyatspi.ROLE_APPLICATION:
            return node
        node = parent
    return None


def on_event(event):
    entry = {"step": step_name, "type": event.type, "source": event.source,
             "detail": event.detail1, "carried": event.any_data}
    try:
        source = event.source
        entry["defunct"] = source.getState().contains(pyatspi.STATE_DEFUNCT)
        entry["name"] = source.name
        entry["description"] = source.description
        entry["role"] = source.getRoleName()
        entry["window"] = top_window(source)
        if event.type.startswith("object:children-changed"):
            entry["child"] = event.any_data.name if event.any_data is not None else ""
    except Exception as error:  # the object is gone
        entry.update(defunct=True, name=f"<{error.__class__.__name__}>",
                     description="", role="?", window=None)
    heard.append(entry)


def write_log():
    steps = []
    for entry in heard:
        if not steps or steps[-1][0] != entry["step"]:
            steps.append((entry["step"], []))
        steps[-1][1].append(entry)
    for step, entries in steps:
        print(f"== {step}", file=log)
        for e in entries:
            window = e["window"].name if e.get("window") is not None else "-"
            text = e["description"] if "description" in e["type"] else e["name"]
            if "child" in e:
                text = f"{text} + {e['child']!r}"
            kind = e["type"] + (f"={e['detail']}" if "state-changed" in e["type"] else "")
            print(f"  {kind}  [{e['role']}] {text!r}  (window {window!r})", file=log)
    log.flush()


def step(name):
    global step_name
    # What the last step set off has been heard once nothing more comes.
    quiet_since, count = time.monotonic(), len(heard)
    while time.monotonic() - quiet_since < 0.3:
        pump()
        if len(heard) != count:
            quiet_since, count = time.monotonic(), len(heard)
        time.sleep(0.02)
    step_name = name
    print(f"--- {name}", file=sys.stderr)


def application():
    def find():
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.name.lower() == "tavelko":
                return app
        return None
    return wait_for("the program on the AT-SPI bus", find)


def window(app, name):
    def find():
        for w in app:
            if w is not None and w.name == name and showing(w):
                return w
        return None
    found = wait_for(f"a shown window {name!r}", find)
    if found.getRoleName() not in ("window", "frame", "dialog"):
        fail(f"window {name!r} has the role {found.getRoleName()!r}")
    if found not in seen_windows:
        seen_windows.append(found)
    return found


def control(root, name, role=None):
    def find():
        return pyatspi.findDescendant(
            root, lambda a: a is not None and a.name == name
            and (role is None or a.getRoleName() == role))
    return wait_for(f"{name!r} in {root.name!r}", find)


def press(acc):
    actions = acc.queryAction()
    for i in range(actions.nActions):
        if actions.getName(i) == "Press":
            actions.doAction(i)
            return
    fail(f"{acc.name!r} has no Press action")


def key(keysym):
    """A key pressed and released, through the AT-SPI registry."""
    pyatspi.Registry.generateKeyboardEvent(keysym, None, pyatspi.KEY_SYM)


def events_since(mark, kind, source=None):
    return [e for e in heard[mark:] if e["type"].startswith(kind)
            and (source is None or e["source"] == source)]


def carried(event):
    """The text a property change carried; a screen reader speaks this, and
    nothing (Orca: "bad content") where the event carries an object."""
    return event["carried"] if isinstance(event["carried"], str) else repr(event["carried"])


def press_and_hear(button, description):
    """Presses `button`; its description must become `description`, told
    with that text."""
    mark = len(heard)
    press(button)
    told = wait_for(f"the description of {button.name!r} to be told",
                    lambda: events_since(mark, "object:property-change:accessible-description",
                                         button))
    if button.description != description:
        fail(f"{button.name!r} describes {button.description!r}, expected {description!r}")
    if carried(told[-1]) != description:
        fail(f"the description of {button.name!r} was told as {carried(told[-1])!r}")


def expect_lines_told(mark, list_acc, lines):
    """Each of `lines` was told as a new item of `list_acc` since `mark`."""
    told = [e.get("child") for e in events_since(mark, "object:children-changed:add", list_acc)]
    for line in lines:
        if line not in told:
            fail(f"the line {line!r} of {list_acc.name!r} was not told as added (told: {told})")


def expect_name(acc, name):
    wait_for(f"the name {name!r} (it is {acc.name!r})", lambda: acc.name == name)


def items_of(list_acc):
    if list_acc.getRoleName() != "list":
        fail(f"{list_acc.name!r} has the role {list_acc.getRoleName()!r}, not list")
    return [child.name for child in list_acc]


def focus(acc):
    acc.queryComponent().grabFocus()
    wait_for(f"{acc.name!r} to take the focus",
             lambda: acc.getState().contains(pyatspi.STATE_FOCUSED))


def answer_input_box(app, text):
    """Replaces the text of the input box "修改" and confirms it."""
    box = window(app, "修改")
    field = wait_for("the input box's field", lambda: pyatspi.findDescendant(
        box, lambda a: a is not None and a.getRoleName() in ("text", "entry")))
    field.queryEditableText().setTextContents(text)
    press(control(box, "确定"))
    wait_for("the input box to close", lambda: not showing(box))


def edit_from_row_menu(app, button, entry, text):
    """On the focused `button`, the menu key, `entry`, and `text` confirmed."""
    focus(button)
    # A popup menu is no child of the application: it is found, as a screen
    # reader finds it, by the focus moving onto its entries. It opens on its
    # first entry.
    mark = len(heard)
    key(KEYSYM_MENU)
    for _ in range(6):
        item = wait_for("an entry of the row's menu to take the focus", lambda: next(
            (e["source"] for e in events_since(mark, "object:state-changed:focused")
             if e["detail"] == 1 and e["role"] == "menu item"), None))
        menu = top_window(item)
        if menu is not None and menu not in seen_windows:
            seen_windows.append(menu)
        if item.name == entry:
            key(KEYSYM_RETURN)
            break
        mark = len(heard)
        key(KEYSYM_DOWN)
    else:
        fail(f"the row's menu has no entry {entry!r}")
    answer_input_box(app, text)


def expect_renamed(mark, *controls):
    """Each of `controls` was told to have a new name since `mark`."""
    for quoting in controls:
        told = events_since(mark, "object:property-change:accessible-name", quoting)
        if not told:
            fail(f"no name change was told for {quoting.name!r}")
        if carried(told[-1]) != quoting.name:
            fail(f"the name of {quoting.name!r} was told as {carried(told[-1])!r}")


def main():
    pyatspi.Registry.registerEventListener(
        on_event, "object:property-change:accessible-name",
        "object:property-change:accessible-description", "object:children-changed",
        "object:state-changed:focused", "window:activate")

    app = application()
    welcome = window(app, "欢迎窗口 欢迎光临")

    step("菜单")
    press(control(welcome, "菜单"))
    main_window = window(app, "主窗口 请选择类别")

    step("F2 names the first category 面条")
    category = control(main_window, "类别1 未命名")
    subtotal = control(main_window, "类别1 小计 0")
    mark = len(heard)
    focus(category)
    key(KEYSYM_F2)
    answer_input_box(app, "面条")
    expect_name(category, "面条")
    expect_renamed(mark, category, subtotal)

    step("面条")
    press(category)
    sheet = window(app, "面条 点菜单")
    plus = control(sheet, "第1行 小份 加一")

    step("修改菜名 from the row's menu")
    mark = len(heard)
    edit_from_row_menu(app, plus, "修改菜名", "牛肉面")
    expect_name(plus, "牛肉面 小份 加一")
    expect_renamed(mark, plus, control(sheet, "牛肉面 小份 减一"), control(sheet, "牛肉面 金额 0"))

    step("修改小份价格 from the row's menu")
    edit_from_row_menu(app, plus, "修改小份价格", "10")
    control(sheet, "牛肉面 小份 单价 10")

    step("+")
    press_and_hear(plus, "数量 1，金额 10")
    step("+ again")
    press_and_hear(plus, "数量 2，金额 20")

    step("结算")
    mark = len(heard)
    press_and_hear(control(sheet, "结算"), "小计 20")
    settle_list = control(sheet, "结算清单")
    settled = items_of(settle_list)
    if settled != ["牛肉面 金额 20"]:
        fail(f"the settle list reads {settled}")
    expect_lines_told(mark, settle_list, settled)

    step("关闭")
    mark = len(heard)
    press(control(sheet, "关闭"))
    window(app, "主窗口 请选择类别")
    # Written while the main window was hidden, told as it shows again.
    expect_name(subtotal, "面条 小计 20")
    wait_for("the subtotal's new name to be told", lambda: events_since(
        mark, "object:property-change:accessible-name", subtotal))
    control(main_window, "总计 20")

    step("清单")
    mark = len(heard)
    press_and_hear(control(main_window, "清单"), "第1位，总计 20元")
    bill = control(main_window, "清单，第1位，总计 20元")
    lines = items_of(bill)
    if lines != ["第1位", "牛肉面 小份 2 大份 0 金额 20", "总计 20元"]:
        fail(f"the bill reads {lines}")
    expect_lines_told(mark, bill, lines)

    step("一键归零")
    press_and_hear(control(main_window, "一键归零"), "已归零")
    expect_name(bill, "清单 空")

    step("关闭 of the main window")
    press(control(main_window, "关闭"))
    window(app, "欢迎窗口 欢迎光临")

    # Nothing said of a window the cashier never saw, nor of an object gone.
    step("end of the road")
    for e in heard:
        if "property-change" not in e["type"]:
            continue
        if e["defunct"]:
            fail(f"{e['type']} about an object that is gone ({e['step']})")
        if e["window"] not in seen_windows:
            fail(f"{e['type']} {e['name']!r} from a window not shown ({e['step']})")
    write_log()


if __name__ == "__main__":
    main()
