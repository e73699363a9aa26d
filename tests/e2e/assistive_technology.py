"""The program as a screen reader meets it: a real AT-SPI client (pyatspi) on
the accessibility bus, under an English locale. Run by
assistive_technology.sh, which provides the X server and the session bus.

    python3 assistive_technology.py PROGRAM WORKDIR

It checks that the window is announced as a frame; that both times are
read-only text which a client cannot write (the field and the saved file
stay as they were); that both up-downs step their time through their
actions; that the close button saves; and, with everything else in English,
that the time field's context menu and a failed save's report are Japanese.
"""

import os
import re
import subprocess
import sys
import time

import pyatspi
from gi.repository import Atspi, GLib

PROGRAM, WORK = sys.argv[1], sys.argv[2]
SETTINGS = os.path.join(WORK, "showflst.dat")
TITLE = "作業結果ファイル\u3000自動表示設定"
ENGLISH = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb",
               LANG="en_US.UTF-8", LC_ALL="", LANGUAGE="en_US:en")
failures = []


def check(holds, what):
    print(("ok:   " if holds else "FAIL: ") + what)
    if not holds:
        failures.append(what)


def wait_until(predicate, timeout=10.0):
    end = time.time() + timeout
    while time.time() < end:
        value = predicate()
        if value:
            return value
        time.sleep(0.1)
    return predicate()


def find(root, predicate):
    if predicate(root):
        return root
    for child in root:
        found = find(child, predicate) if child else None
        if found:
            return found
    return None


def named(root, name):
    return find(root, lambda node: node.name == name)


def text_of(node):
    text = node.queryText()
    return text.getText(0, text.characterCount)


def latin_letters(text):
    """Latin letters left once the file's name and a menu's shortcut are out."""
    text = text.replace("showflst.dat", "")
    text = re.sub(r"\([A-Z]\)|\t.*$", "", text)
    return re.sub(r"[^A-Za-z]", "", text)


class Program:
    def __init__(self):
        # The accessibility bus and its registry up before the program looks for them.
        pyatspi.Registry.getDesktop(0).childCount
        self.process = subprocess.Popen([PROGRAM], cwd=WORK, env=ENGLISH)
        self.app = wait_until(self.application, 60)
        if not self.app:
            sys.exit("FAIL: the program never appeared on the accessibility bus")
        self.frame = wait_until(lambda: find(self.app, lambda n: n.getRole() == pyatspi.ROLE_FRAME))
        window = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--pid", str(self.process.pid)],
                                capture_output=True, text=True, timeout=20).stdout.split()
        subprocess.run(["xdotool", "windowfocus", "--sync", window[0]])

    def application(self):
        for app in pyatspi.Registry.getDesktop(0):
            if app and app.get_process_id() == self.process.pid:
                return app
        return None

    def press(self, node, action):
        actions = node.queryAction()
        names = [actions.getName(i) for i in range(actions.nActions)]
        actions.doAction(names.index(action))

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait()


def focus_events(while_doing):
    """The names of what gets the focus while `while_doing` runs, as a screen
    reader hears them."""
    heard = []

    def listen(event):
        if event.detail1:
            heard.append(event.source.name)

    pyatspi.Registry.registerEventListener(listen, "object:state-changed:focused")

    def act():
        while_doing()
        GLib.timeout_add(500, pyatspi.Registry.stop)
        return False

    GLib.timeout_add(1000, act)
    pyatspi.Registry.start()
    pyatspi.Registry.deregisterEventListener(listen, "object:state-changed:focused")
    return heard


def key(*names):
    for name in names:
        subprocess.run(["xdotool", "key", name])
        time.sleep(0.3)


# 1. The window, the times and their steppers, and a save.
loaded = b"08:00\r\n17:00\r\nnoikkai\r\nhyoji2\r\nhyoji1\r\n"
with open(SETTINGS, "wb") as file:
    file.write(loaded)
program = Program()
check(program.frame is not None and program.frame.name == TITLE, "the window is a frame named by its title")

for name, shown in (("開始時刻", "08:00"), ("終了時刻", "17:00")):
    field = named(program.frame, name)
    states = field.getState()
    check(states.contains(pyatspi.STATE_READ_ONLY) and not states.contains(pyatspi.STATE_EDITABLE),
          f"{name} is read-only, not editable")
    check("EditableText" not in field.get_interfaces(), f"{name} offers no editable-text interface")
    check("Page Up" in field.description, f"{name} tells how to step it: {field.description}")
    try:
        Atspi.EditableText.set_text_contents(field, "912:34")
        Atspi.EditableText.insert_text(field, 0, "9", 1)
    except GLib.GError:
        pass
    time.sleep(0.3)
    check(text_of(field) == shown, f"{name} still shows {shown} after a client tried to write it")

steps = (("開始時刻の増減", "開始時刻", (("Increase", "08:01"), ("1時間進める", "09:01"), ("Decrease", "09:00"))),
         ("終了時刻の増減", "終了時刻", (("Decrease", "16:59"), ("1時間進める", "17:59"), ("Increase", "18:00"))))
for stepper_name, field_name, actions in steps:
    stepper = named(program.frame, stepper_name)
    check(stepper.getRole() == pyatspi.ROLE_SPIN_BUTTON, f"{stepper_name} is a spin button")
    field = named(program.frame, field_name)
    for action, expected in actions:
        program.press(stepper, action)
        check(wait_until(lambda: text_of(field) == expected, 5), f"{stepper_name}: {action} gives {expected}")

# The keyboard: the focused from-time steps with the arrow keys.
named(program.frame, "開始時刻").queryComponent().grabFocus()
key("Up", "Prior", "Next", "Down")
check(wait_until(lambda: text_of(named(program.frame, "開始時刻")) == "09:00", 5),
      "Up, Page Up, Page Down and Down bring the from-time back to 09:00")

# The time field's context menu, heard as the focus moves through it.
heard = focus_events(lambda: key("Menu", "Down", "Down"))
key("Escape")
menu = [item for item in heard if item not in ("開始時刻", "")]
check(any(item.startswith("コピー") for item in menu) and all(not latin_letters(item) for item in menu),
      f"the context menu is Japanese: {menu}")

program.press(named(program.frame, "閉じる"), "Press")
check(wait_until(lambda: program.process.poll() is not None, 10) and program.process.returncode == 0,
      "閉じる saves and the program exits with status 0")
with open(SETTINGS, "rb") as file:
    saved = file.read()
check(saved == b"09:00\r\n18:00\r\nnoikkai\r\nhyoji2\r\nhyoji1\r\n", f"the settings file holds what was set: {saved!r}")
program.stop()

# 2. A save that fails, reported in Japanese, the system's reason included.
os.remove(SETTINGS)
os.mkdir(SETTINGS)
program = Program()
program.press(named(program.frame, "閉じる"), "Press")
report = wait_until(lambda: find(program.app, lambda n: n.getRole() in (pyatspi.ROLE_ALERT, pyatspi.ROLE_DIALOG)))
check(report is not None, "a failed save opens the error report")
if report is not None:
    message = find(report, lambda n: n.getRole() == pyatspi.ROLE_LABEL and "showflst.dat" in n.name)
    text = message.name if message else ""
    check("書き込みに失敗しました" in text and "ディレクトリです" in text and not latin_letters(text),
          f"the report is all Japanese: {text}")
    ok = find(report, lambda n: n.getRole() == pyatspi.ROLE_PUSH_BUTTON)
    program.press(ok, "Press")
    time.sleep(0.5)
check(program.process.poll() is None, "the window stays open after the failed save")
program.stop()
check(os.path.isdir(SETTINGS), "the directory in the way is untouched")

sys.exit(1 if failures else 0)
