"""The four layouts of the skin shown by the framework's viewer under Wine,
checked at known pixels and driven with real mouse and keyboard input.
Screenshots go to <tree>/screenshots/ui/."""
import os
import struct
import subprocess
import tempfile
import time
import unittest
import zipfile

import tnharness

BUILD = tnharness.BUILD_DIR
VIEWER = os.path.join(BUILD, "tn_skin_viewer.exe")
SKIN_ZIP = os.path.join(BUILD, "skin", "skin.zip")
SHOTS = os.path.join(BUILD, "screenshots", "ui")
LAYOUTS = ["UI_HomePage.xml", "UI_CustomInstall.xml", "UI_Installing.xml", "UI_InstallSuccess.xml"]


def bmp_pixel(name, x, y):
    """(r, g, b) of pixel x, y (top-down) of a 24-bit bitmap in the skin."""
    with zipfile.ZipFile(SKIN_ZIP) as z:
        data = z.read(name)
    offset, = struct.unpack_from("<I", data, 10)
    width, height = struct.unpack_from("<ii", data, 18)
    stride = (width * 3 + 3) & ~3
    row = y if height < 0 else abs(height) - 1 - y
    b, g, r = data[offset + row * stride + x * 3: offset + row * stride + x * 3 + 3]
    return (r, g, b)


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def close_to(a, b, tolerance=3):
    return all(abs(p - q) <= tolerance for p, q in zip(a, b))


class ViewerSession:
    """One viewer window showing |layout|."""

    def __init__(self, test, layout, skin_zip=None):
        self.test = test
        self.layout = layout
        self.dump = tempfile.NamedTemporaryFile(prefix="uidump-", suffix=".txt", delete=False).name
        os.unlink(self.dump)
        test.addCleanup(lambda: os.path.exists(self.dump) and os.unlink(self.dump))
        self.proc = test.auto.start(VIEWER, layout, tnharness.wine_path(skin_zip or SKIN_ZIP),
                                    "--dump", tnharness.wine_path(self.dump))
        self.window = test.auto.find_window(title="TNSkinViewer", cls="TNSkinViewer", timeout=40)
        test.assertIsNotNone(self.window, "viewer window for %s" % layout)
        # Painted once the close button (normal or disabled) is on screen.
        close_slots = [bmp_pixel("image/close.bmp", 9, 7), bmp_pixel("image/close.bmp", 9, 45 + 7)]
        first = self.wait_for(
            "first_paint", lambda p: any(close_to(self.pixel(p, 590, 13), c) for c in close_slots))
        os.unlink(first)

    def shot(self, name):
        path = os.path.join(SHOTS, name + ".full.png")
        self.test.display.screenshot(path)
        cx, cy = self.window.client_origin
        page = os.path.join(SHOTS, name + ".png")
        subprocess.run(["convert", path, "-crop", "610x390+%d+%d" % (cx, cy), "+repage", page], check=True)
        os.unlink(path)
        return page

    def wait_for(self, name, check, timeout=8.0):
        """Takes screenshot |name| until check(png) holds or the time is up
        (a loaded machine paints late); returns the last one."""
        deadline = time.monotonic() + timeout
        while True:
            png = self.shot(name)
            if check(png) or time.monotonic() > deadline:
                return png
            time.sleep(0.25)

    def pixel(self, png, x, y):
        """(r, g, b) at client x, y of a page screenshot (610 x 390)."""
        raw = subprocess.run(["convert", png, "-depth", "8", "rgb:-"], check=True,
                             capture_output=True).stdout
        at = (y * 610 + x) * 3
        return tuple(raw[at:at + 3])

    def lines(self):
        if not os.path.exists(self.dump):
            return []
        with open(self.dump, "rb") as f:
            return f.read().decode("gbk").splitlines()

    def wait_closed(self, timeout=20):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            return None


class UiLayoutsTest(tnharness.WineTestCase):
    def setUp(self):
        os.makedirs(SHOTS, exist_ok=True)
        super().setUp()

    def test_every_layout_shows_its_skin(self):
        close_normal = bmp_pixel("image/close.bmp", 9, 7)
        close_disabled = bmp_pixel("image/close.bmp", 9, 45 + 7)
        for layout in LAYOUTS:
            with self.subTest(layout=layout):
                view = ViewerSession(self, layout)
                expected = close_disabled if layout == "UI_Installing.xml" else close_normal
                png = view.wait_for(layout.replace(".xml", ""),
                                    lambda p: close_to(view.pixel(p, 581 + 9, 6 + 7), expected))
                # The close button's normal slot at 581,6 (its middle); the
                # installing page disables it.
                if layout != "UI_Installing.xml":
                    self.assertTrue(close_to(view.pixel(png, 581 + 9, 6 + 7), close_normal),
                                    "close button of %s" % layout)
                if layout == "UI_Installing.xml":
                    self.assertTrue(close_to(view.pixel(png, 24 + 200, 340 + 5),
                                             bmp_pixel("image/progress_bg.bmp", 5, 2)),
                                    "empty progress bar")
                    # Its close button is disabled: the disabled slot shows.
                    self.assertTrue(close_to(view.pixel(png, 581 + 9, 6 + 7),
                                             bmp_pixel("image/close.bmp", 9, 45 + 7)))
                if layout in ("UI_HomePage.xml", "UI_CustomInstall.xml"):
                    top = 288 if layout == "UI_HomePage.xml" else 314
                    self.assertTrue(close_to(view.pixel(png, 215 + 5, top + 23),
                                             bmp_pixel("image/install.bmp", 5, 23)),
                                    "install button of %s" % layout)
                if layout == "UI_HomePage.xml":
                    # The agreement is hidden and its check box selected.
                    self.assertTrue(close_to(view.pixel(png, 13 + 7, 352 + 7),
                                             bmp_pixel("image/checkbox.bmp", 7, 7)))
                    for x, y in ((40, 40), (590, 250)):  # corners of the hidden agreement
                        self.assertTrue(close_to(view.pixel(png, x, y),
                                                 bmp_pixel("image/bg_install_step1.bmp", x, y)))
                    self.assertIn("btn_checkbox=我已阅读并同意|selected=1", self.close_and_dump(view))
                else:
                    self.auto.key("Escape")
                    self.assertEqual(1, view.wait_closed(), "Escape closes with 1")

    def close_and_dump(self, view):
        self.auto.key("Escape")
        self.assertEqual(1, view.wait_closed())
        return view.lines()

    def test_install_button_shows_hot_and_pushed_then_clicks(self):
        view = ViewerSession(self, "UI_HomePage.xml")
        x, y = 215 + 90, 288 + 23
        probe = (215 + 5, 288 + 23)
        slot = {state: bmp_pixel("image/install.bmp", 5, 46 * index + 23)
                for index, state in enumerate(("normal", "hot", "pushed"))}

        def shows(state):
            return lambda png: close_to(view.pixel(png, *probe), slot[state])

        self.auto.hover(view.window, x, y)
        hot = view.wait_for("UI_HomePage.hot", shows("hot"))
        self.assertTrue(shows("hot")(hot))
        self.display.xdotool("mousedown", 1)
        pushed = view.wait_for("UI_HomePage.pushed", shows("pushed"))
        self.assertTrue(shows("pushed")(pushed))
        self.display.xdotool("mouseup", 1)
        time.sleep(0.3)
        self.assertTrue(tnharness.wait_until(lambda: "click:btn_install" in view.lines(), 5))
        # Away from it, it is back to normal.
        self.auto.hover(view.window, 100, 200)
        normal = view.wait_for("UI_HomePage.normal", shows("normal"))
        self.assertTrue(shows("normal")(normal))
        # The close button closes the viewer.
        self.auto.click(view.window, 581 + 9, 6 + 7)
        self.assertEqual(0, view.wait_closed())

    def test_disabled_close_button_cannot_be_clicked(self):
        view = ViewerSession(self, "UI_Installing.xml")
        self.auto.click(view.window, 581 + 9, 6 + 7)
        time.sleep(1.0)
        self.assertIsNone(view.proc.poll(), "the viewer must stay open")
        self.assertFalse([l for l in view.lines() if l.startswith("click:")])
        self.auto.key("Escape")
        self.assertEqual(1, view.wait_closed())

    def test_window_drags_by_its_caption_area_only(self):
        view = ViewerSession(self, "UI_HomePage.xml")
        x0, y0 = view.window.client_origin

        def origin():
            window = self.auto.find_window(title="TNSkinViewer", cls="TNSkinViewer", timeout=10)
            return window.client_origin

        def drag(x, y, dx, dy):
            cx, cy = origin()
            self.display.xdotool("mousemove", "--sync", cx + x, cy + y)
            time.sleep(0.2)
            self.display.xdotool("mousedown", 1)
            time.sleep(0.2)
            for step in range(1, 6):
                self.display.xdotool("mousemove", "--sync", cx + x + dx * step // 5, cy + y + dy * step // 5)
                time.sleep(0.1)
            self.display.xdotool("mouseup", 1)
            time.sleep(0.5)

        drag(300, 120, 60, 40)  # empty caption area
        self.assertEqual((x0 + 60, y0 + 40), origin())
        drag(305, 311, 60, 40)  # the install button takes the mouse
        self.assertEqual((x0 + 60, y0 + 40), origin())
        drag(100, 300, -60, 40)  # below the caption area
        self.assertEqual((x0 + 60, y0 + 40), origin())
        self.auto.key("Escape")
        view.wait_closed()

    def test_path_field_takes_typed_text(self):
        view = ViewerSession(self, "UI_CustomInstall.xml")
        empty = view.shot("UI_CustomInstall.hint")
        self.auto.click(view.window, 19 + 200, 244 + 17)
        time.sleep(0.5)
        self.auto.type_text("D:\\TnGames")
        typed = view.wait_for("UI_CustomInstall.typed",
                              lambda png: read_bytes(png) != read_bytes(empty))
        self.assertNotEqual(read_bytes(empty), read_bytes(typed))
        self.auto.key("Escape")
        self.assertEqual(1, view.wait_closed())
        self.assertIn("edit_path=D:\\TnGames", view.lines())

    def test_agreement_text_scrolls(self):
        # The viewer has no page logic, so the hidden agreement is shown by a
        # layout variant built on the fly.
        with zipfile.ZipFile(SKIN_ZIP) as z:
            names = z.namelist()
            items = {n: z.read(n) for n in names}
        home = items["UI_HomePage.xml"].decode("utf-8")
        start = home.index('name="re_read"')
        home = home[:start] + home[start:].replace('visible="false"', 'visible="true"', 1)
        items["UI_HomePage.xml"] = home.encode("utf-8")
        variant = os.path.join(tempfile.mkdtemp(prefix="uiskin-"), "skin.zip")
        with zipfile.ZipFile(variant, "w", zipfile.ZIP_DEFLATED) as z:
            for n in names:
                z.writestr(n, items[n])
        self.addCleanup(lambda: subprocess.run(["rm", "-rf", os.path.dirname(variant)]))
        view = ViewerSession(self, "UI_HomePage.xml", variant)
        top = view.shot("UI_HomePage.agreement")
        self.auto.hover(view.window, 300, 140)
        for _ in range(5):
            self.display.xdotool("click", 5)  # wheel down
            time.sleep(0.1)
        scrolled = view.wait_for("UI_HomePage.agreement_scrolled",
                                 lambda png: read_bytes(png) != read_bytes(top))
        self.assertNotEqual(read_bytes(top), read_bytes(scrolled))
        self.auto.key("Escape")
        view.wait_closed()


if __name__ == "__main__":
    unittest.main(verbosity=2)
