"""The real installer without a mouse and through a screen reader's eyes:
real keys (xdotool) move the focus, press buttons and toggle boxes, and the
accessible tree (AccessibleObjectFromWindow in the automation helper) and
the WinEvents are read as a reader would read them. Screenshots of every
stop show the focus cue."""
import os
import shutil
import subprocess
import time
import unittest

import tnharness
from install_session import make_slow_product, pack, require_sample_build, scratch_dir
from test_shell_pages import A1
from test_shell_startup import CAPTION, SETUP_WIN, SHOTS

RECORD = r"C:\shell_record.log"

ROLE_CLIENT, ROLE_GRAPHIC, ROLE_STATICTEXT, ROLE_TEXT = 10, 40, 41, 42
ROLE_PUSHBUTTON, ROLE_CHECKBUTTON, ROLE_PROGRESSBAR = 43, 44, 48
EVENT_OBJECT_REORDER, EVENT_OBJECT_FOCUS = 0x8004, 0x8005
EVENT_OBJECT_STATECHANGE, EVENT_OBJECT_VALUECHANGE = 0x800A, 0x800E

# Controls' rectangles (x, y, w, h) in client coordinates, from the skin.
WELCOME = {
    "btn_install": (215, 288, 180, 46), "btn_checkbox": (13, 352, 15, 15),
    "btn_protocol_text": (114, 353, 150, 14), "btn_custom_install": (513, 354, 75, 16),
    "btn_mini": (552, 6, 19, 15), "btn_close": (581, 6, 19, 15),
}
OPTIONS = {
    "edit_path": (19, 244, 510, 34), "btn_browser": (538, 244, 53, 35),
    "btn_cb_shortcut": (20, 285, 15, 15), "btn_cb_Launchbar": (204, 285, 15, 15),
    "btn_cb_autorun": (382, 285, 15, 15), "btn_install": (215, 314, 180, 46),
    "btn_return": (550, 334, 60, 30),
}
FINISH_OPEN = (240, 292, 130, 46)
CUE = (0x1C, 0x60, 0xC4)
# Windows' own default: focus cues only after the keyboard was used (a new
# Wine prefix shows them always).
USER_PREFERENCES_MASK = "9e1e078012000000"


class KeyboardAccessTest(tnharness.WineTestCase):
    bits = 64

    @classmethod
    def setUpClass(cls):
        cls.scratch = scratch_dir("keyboard-")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch, ignore_errors=True)

    def start(self, exe_path):
        subprocess.run(["wine", "reg", "add", r"HKCU\Control Panel\Desktop", "/v",
                        "UserPreferencesMask", "/t", "REG_BINARY", "/d", USER_PREFERENCES_MASK, "/f"],
                       env=self.prefix.env(self.display), check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        folder = self.prefix.drive_c("Downloads")
        os.makedirs(folder, exist_ok=True)
        shutil.copy(exe_path, os.path.join(folder, "TarnisSetup.exe"))
        self.proc = self.auto.start(SETUP_WIN, extra_env={"TN_SAMPLE_RECORD": RECORD})
        self.window = self.auto.find_window(title="TNInstall", cls="UI_HomePage", timeout=40)
        self.assertIsNotNone(self.window, "the installer window did not open")
        time.sleep(1)

    # --- what the user sees -------------------------------------------------

    def shot(self, name):
        return self.display.screenshot(os.path.join(SHOTS, "keys_" + name + ".png"))

    def ring_at(self, png, rect):
        """Whether the focus ring runs along the left side of |rect|."""
        x, y, w, h = rect
        cx, cy = self.window.client_origin
        pixel = self.display.pixel(png, cx + x - 2, cy + y + h // 2)
        return all(abs(a - b) <= 12 for a, b in zip(pixel, CUE))

    def key(self, *keys):
        for k in keys:
            self.auto.key(k)
            time.sleep(0.4)

    # --- what a reader sees ---------------------------------------------------

    def tree(self):
        lines = self.auto.accessible(self.window)
        self.assertTrue(lines, "no accessible object")
        return lines[0], lines[1:]

    def child(self, name):
        client, children = self.tree()
        found = [c for c in children if c["name"] == name]
        self.assertEqual(len(found), 1, "%s among %r" % (name, [c["name"] for c in children]))
        return found[0]

    def focused(self):
        client, children = self.tree()
        for c in children:
            if c["id"] == client["focus"]:
                self.assertIn("focused", c["states"])
                return c["name"]
        return None

    def expect_stop(self, name, rect, shot):
        """The keyboard is on |name|: the reader says so and the ring shows."""
        self.assertEqual(self.focused(), name)
        png = self.shot(shot)
        self.assertTrue(self.ring_at(png, rect), "no focus cue around %s in %s" % (name, png))
        return png

    def expect_a1_and_dismiss_with_enter(self):
        box = self.auto.message_box(CAPTION, timeout=20)
        self.assertIsNotNone(box, "no message box")
        self.assertEqual(box["text"], A1)
        self.shot("welcome_a1")
        self.auto.key("Return")
        self.assertTrue(self.auto.wait_gone(box["window"], 10))
        # The Enter that closed the box does not press the button again.
        time.sleep(1.5)
        self.assertIsNone(self.auto.find_window(title=CAPTION, cls="#32770", timeout=1))

    # --- the tests --------------------------------------------------------------

    def test_welcome_and_options_pages_by_keyboard(self):
        self.start(os.path.join(tnharness.BUILD_DIR, "tnsetup.exe"))
        client, children = self.tree()
        self.assertEqual(client["role"], ROLE_CLIENT)
        self.assertEqual(client["focus"], 0, "no control has the focus before a key")
        described = {c["name"]: c for c in children}
        expected = {
            "最小化": ROLE_PUSHBUTTON, "关闭": ROLE_PUSHBUTTON, "立即安装": ROLE_PUSHBUTTON,
            "我已阅读并同意": ROLE_CHECKBUTTON, "《Tarnis模拟器用户协议》": ROLE_PUSHBUTTON,
            "自定义安装＞": ROLE_PUSHBUTTON, "Tarnis模拟器用户协议": ROLE_TEXT,
        }
        self.assertEqual({n: described[n]["role"] for n in expected if n in described}, expected)
        self.assertEqual(len(children), len(expected))
        self.assertIn("checked", described["我已阅读并同意"]["states"])
        self.assertIn("invisible", described["Tarnis模拟器用户协议"]["states"])
        self.assertEqual(described["立即安装"]["action"], "按下")
        # Where a reader says the install button is, it is.
        cx, cy = self.window.client_origin
        install = described["立即安装"]
        self.assertEqual((install["x"] - cx, install["y"] - cy, install["w"], install["h"]),
                         WELCOME["btn_install"])

        # A click on the box: the reader sees it unchecked, a second click
        # checks it again. The click gives the focus but shows no cue.
        watch = self.auto.watch_events(self.window, 60)
        self.assertTrue(watch.wait_ready(), "event hook not ready")
        self.auto.click(self.window, 20, 359)
        self.assertNotIn("checked", self.child("我已阅读并同意")["states"])
        self.auto.click(self.window, 20, 359)
        self.assertIn("checked", self.child("我已阅读并同意")["states"])
        png = self.shot("welcome_clicked")
        self.assertFalse(self.ring_at(png, WELCOME["btn_checkbox"]), "cue shown before any key")

        # Shift+Tab from the box reaches the install button; the cue appears.
        self.key("shift+Tab")
        self.expect_stop("立即安装", WELCOME["btn_install"], "welcome_install")
        # Tab to the box; Space clears it.
        self.key("Tab")
        self.expect_stop("我已阅读并同意", WELCOME["btn_checkbox"], "welcome_checkbox")
        self.key("space")
        self.assertNotIn("checked", self.child("我已阅读并同意")["states"])
        self.shot("welcome_checkbox_cleared")
        # Back to the install button; Space gives the agreement message.
        self.key("shift+Tab")
        self.assertEqual(self.focused(), "立即安装")
        self.key("space")
        self.expect_a1_and_dismiss_with_enter()
        self.assertEqual(self.focused(), "立即安装")
        # The box again, Space selects it; on over the agreement link to
        # the custom-install link, and Enter opens the options page.
        self.key("Tab", "space")
        self.assertIn("checked", self.child("我已阅读并同意")["states"])
        self.key("Tab")
        self.expect_stop("《Tarnis模拟器用户协议》", WELCOME["btn_protocol_text"], "welcome_protocol")
        self.key("Tab")
        self.expect_stop("自定义安装＞", WELCOME["btn_custom_install"], "welcome_custom")
        # The window buttons close the cycle, which wraps to the install button.
        self.key("Tab")
        self.expect_stop("最小化", WELCOME["btn_mini"], "welcome_mini")
        self.key("Tab")
        self.expect_stop("关闭", WELCOME["btn_close"], "welcome_close")
        self.key("Tab")
        self.assertEqual(self.focused(), "立即安装")
        self.key("shift+Tab", "shift+Tab", "shift+Tab")
        self.assertEqual(self.focused(), "自定义安装＞")
        self.key("Return")
        time.sleep(1)
        self.assertIn("浏览…", [c["name"] for c in self.tree()[1]], "options page not shown")
        events = watch.result()

        # What a reader heard: the focus moves, the box's state, the page switch.
        focus_names = [e["target"]["name"] for e in events
                       if e["event"] == EVENT_OBJECT_FOCUS and "target" in e and e["child"] > 0]
        for name in ("立即安装", "我已阅读并同意", "自定义安装＞", "关闭"):
            self.assertIn(name, focus_names)
        self.assertTrue([e for e in events if e["event"] == EVENT_OBJECT_STATECHANGE
                         and e.get("target", {}).get("name") == "我已阅读并同意"])
        self.assertTrue([e for e in events if e["event"] == EVENT_OBJECT_REORDER and e["child"] == 0])

        # The options page: the path field, the three boxes, the install button.
        client, children = self.tree()
        described = {c["name"]: c for c in children}
        self.assertEqual(described["安装位置"]["role"], ROLE_TEXT)  # the field, named by its label
        self.assertEqual(described["安装位置"]["description"], r"C:\Program Files (x86)\ZEVodirodaz")
        for box in ("创建桌面快捷方式", "添加到快速启动栏", "开机启动服务"):
            self.assertEqual(described[box]["role"], ROLE_CHECKBUTTON)
            self.assertIn("checked", described[box]["states"])
        self.assertEqual(described["安装位置:"]["role"], ROLE_STATICTEXT)

        self.key("Tab")
        self.expect_stop("安装位置", OPTIONS["edit_path"], "options_path")
        # The keyboard is in the native edit window now; it has the same name.
        fields = [k for k in self.auto.children(self.window) if k["class"].lower() == "edit"]
        self.assertEqual(len(fields), 1)
        native = self.auto.accessible(fields[0]["hwnd"])
        self.assertEqual((native[0]["name"], native[0]["role"]), ("安装位置", ROLE_TEXT))
        self.auto.type_text("D:\\TnKeys")
        time.sleep(0.5)
        self.assertEqual(self.child("安装位置")["value"], "D:\\TnKeys")
        self.shot("options_path_typed")
        self.key("Tab")
        self.expect_stop("浏览…", OPTIONS["btn_browser"], "options_browse")
        for name, box in (("创建桌面快捷方式", "btn_cb_shortcut"), ("添加到快速启动栏", "btn_cb_Launchbar"),
                          ("开机启动服务", "btn_cb_autorun")):
            self.key("Tab")
            self.expect_stop(name, OPTIONS[box], "options_" + box)
            self.key("space")
            self.assertNotIn("checked", self.child(name)["states"])
        self.shot("options_boxes_cleared")
        self.key("Tab")
        self.expect_stop("立即安装", OPTIONS["btn_install"], "options_install")
        self.key("Tab")
        self.expect_stop("返回", OPTIONS["btn_return"], "options_return")
        # Back with Enter: the welcome page, and the boxes were reset.
        self.key("Return")
        time.sleep(0.5)
        self.assertIn("我已阅读并同意", [c["name"] for c in self.tree()[1]])
        self.key("Escape")
        self.assertEqual(self.proc.wait(30), 0)

    def test_whole_installation_by_keyboard(self):
        require_sample_build()
        # Enough small files that the installing page stays a few seconds.
        product = make_slow_product(os.path.join(self.scratch, "product"), files=3000, size=2048)
        self.start(pack(os.path.join(self.scratch, "TarnisSetup.exe"), product=product))

        self.key("Tab")
        self.expect_stop("立即安装", WELCOME["btn_install"], "install_welcome")
        watch = self.auto.watch_events(self.window, 60)
        self.assertTrue(watch.wait_ready(), "event hook not ready")
        self.key("Return")

        # The installing page: a progress bar whose value rises, a close
        # button that is unavailable.
        seen_values, close_states = [], []
        deadline = time.monotonic() + 120
        while time.monotonic() < deadline:
            children = self.auto.accessible(self.window)
            if not children:
                break
            names = {c["name"]: c for c in children[1:]}
            if "立即体验" in names:
                break
            if "安装进度" in names:
                self.assertEqual(names["安装进度"]["role"], ROLE_PROGRESSBAR)
                seen_values.append(int(names["安装进度"]["value"].rstrip("%")))
                close_states.append(names["关闭"]["states"])
                if len(seen_values) == 1:
                    roles = {n: c["role"] for n, c in names.items()}
                    self.assertEqual(roles.get("正在安装..."), ROLE_STATICTEXT)
                    self.assertEqual(roles.get("最小化"), ROLE_PUSHBUTTON)
                    self.assertIn(ROLE_GRAPHIC, roles.values())  # the rotating picture
                if len(seen_values) == 2:
                    self.shot("install_installing")
            time.sleep(0.3)
        self.assertTrue(seen_values, "the installing page was never seen")
        self.assertEqual(seen_values, sorted(seen_values))
        self.assertTrue(all("unavailable" in s for s in close_states))

        # The finish page: Tab reaches the start button, Space starts the product.
        def finish_shown():
            lines = self.auto.accessible(self.window)
            return lines and "立即体验" in [c["name"] for c in lines[1:]]
        self.assertTrue(tnharness.wait_until(finish_shown, 120, 1.0), "no finish page")
        events = watch.result()
        values = [int(e["target"]["value"].rstrip("%")) for e in events
                  if e["event"] == EVENT_OBJECT_VALUECHANGE and e.get("target", {}).get("value")]
        # (A reader that reads the bar after the switch to the finish page
        # finds another control there, so the last values may be missing.)
        self.assertTrue(values, "no progress was announced")
        self.assertEqual(values, sorted(values))
        self.assertGreaterEqual(
            len([e for e in events if e["event"] == EVENT_OBJECT_REORDER and e["child"] == 0]), 2)

        client, children = self.tree()
        self.assertEqual({c["name"]: c["role"] for c in children},
                         {"最小化": ROLE_PUSHBUTTON, "关闭": ROLE_PUSHBUTTON, "立即体验": ROLE_PUSHBUTTON})
        self.assertNotIn("unavailable", self.child("关闭")["states"])
        self.key("Tab")
        png = self.expect_stop("立即体验", FINISH_OPEN, "install_finish_open")
        self.assertTrue(self.ring_at(png, FINISH_OPEN))
        self.key("space")
        self.assertEqual(self.proc.wait(30), 0)
        record = self.prefix.drive_c("shell_record.log")
        self.assertTrue(tnharness.wait_until(lambda: os.path.exists(record), 20, 0.5),
                        "the product was not started")
        with open(record, "rb") as f:
            self.assertIn("program=ZEVodirodaz.exe", f.read().decode("gbk", "replace"))


if __name__ == "__main__":
    unittest.main(verbosity=2)
