#!/usr/bin/env python3
"""Checks the built skin package (skin.zip of the cross tree) against what the
installer's pages and the window framework rely on: the files and their
encodings, every bitmap's size and format, every image a layout names, and
every control the pages look up, with its kind, geometry, texts and looks."""
import os
import re
import sys
import unittest
import zipfile

SOURCE_DIR = os.environ.get("TN_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
BUILD_DIR = os.environ.get("TN_BUILD_DIR", os.path.join(SOURCE_DIR, "build", "win32"))
sys.path.insert(0, os.path.join(SOURCE_DIR, "skin"))
import draw_images  # noqa: E402
import skin_layout  # noqa: E402

ZIP_PATH = os.path.join(BUILD_DIR, "skin", "skin.zip")
LAYOUTS = ["UI_HomePage.xml", "UI_CustomInstall.xml", "UI_Installing.xml", "UI_InstallSuccess.xml"]

# name: (width, height, slot height or None)
IMAGES = {
    "bg_install_step1.bmp": (610, 390, None),
    "bg_install_step2.bmp": (610, 390, None),
    "bg_install_success.bmp": (610, 390, None),
    "install.bmp": (180, 230, 46),
    "invoker.bmp": (130, 230, 46),
    "mini.bmp": (19, 75, 15),
    "close.bmp": (19, 75, 15),
    "checkbox.bmp": (15, 75, 15),
    "uncheckbox.bmp": (15, 75, 15),
    "browser.bmp": (53, 175, 35),
    "return.bmp": (60, 150, 30),
    "input.bmp": (286, 200, 40),
    "loading_pic1.bmp": (610, 228, None),
    "loading_pic2.bmp": (610, 228, None),
    "loading_pic3.bmp": (610, 228, None),
    "progress_bg.bmp": (10, 5, None),
    "progress_pr.bmp": (10, 5, None),
}

WINDOW_BUTTONS = {
    "btn_mini": ("Button", (552, 6, 19, 15), {}, "mini.bmp"),
    "btn_close": ("Button", (581, 6, 19, 15), {}, "close.bmp"),
}
# page: {control: (kind, (x, y, w, h), expected attributes, strip image or None)}
CONTROLS = {
    "UI_HomePage.xml": dict(WINDOW_BUTTONS, **{
        "btn_install": ("Button", (215, 288, 180, 46),
                        {"text": "立即安装", "font": "18", "textcolor": "#FFFFFFFF"}, "install.bmp"),
        "btn_protocol_text": ("Button", (114, 353, 150, 14),
                              {"text": "《Tarnis模拟器用户协议》", "font": "2", "textcolor": "#FF2687FB",
                               "hottextcolor": "#FF2A6DF1", "pushedtextcolor": "#FF2059C4",
                               "disabledtextcolor": "#FFC4C4C4", "align": "left"}, None),
        "btn_custom_install": ("Button", (513, 354, 75, 16),
                               {"text": "自定义安装＞", "font": "30", "textcolor": "#FF333333",
                                "hottextcolor": "#FF2A6DF1", "pushedtextcolor": "#FF2059C4",
                                "disabledtextcolor": "#FFC4C4C4", "bkcolor": "#FFFFFFFF"}, None),
        "btn_checkbox": ("Option", (13, 352, 15, 15),
                         {"text": "我已阅读并同意", "font": "2", "textcolor": "#FF333333",
                          "selected": "true"}, None),
        "re_read": ("RichEdit", (10, 30, 590, 225),
                    {"visible": "false", "bkcolor": "#FFFFFFFF", "vscrollbar": "true", "align": "left"}, None),
    }),
    "UI_CustomInstall.xml": dict(WINDOW_BUTTONS, **{
        "l_site": ("Label", (20, 218, 80, 20), {"text": "安装位置:", "font": "3", "textcolor": "#FF040404"}, None),
        "l_info": ("Label", (140, 218, 400, 20), {"text": "", "font": "3", "textcolor": "#FFFF0000"}, None),
        "edit_path": ("Edit", (19, 244, 510, 34),
                      {"font": "3", "textcolor": "#FFA7A6AA", "textpadding": "4,3,4,3", "bkcolor": "#FFFFFFFF",
                       "nativebkcolor": "#FFD9D9D9", "tipvalue": "C:\\Program Files (x86)\\ZEVodirodaz",
                       "tipvaluecolor": "#00747474"}, "input.bmp"),
        "btn_browser": ("Button", (538, 244, 53, 35),
                        {"text": "浏览…", "font": "4", "textcolor": "#FF666666", "hottextcolor": "#FFFFFFFF",
                         "pushedtextcolor": "#FFFFFFFF"}, "browser.bmp"),
        "btn_cb_shortcut": ("Option", (20, 285, 15, 15),
                            {"text": "创建桌面快捷方式", "font": "2", "textcolor": "#FF000000",
                             "selected": "true"}, None),
        "btn_cb_Launchbar": ("Option", (204, 285, 15, 15),
                             {"text": "添加到快速启动栏", "font": "2", "textcolor": "#FF000000",
                              "selected": "true"}, None),
        "btn_cb_autorun": ("Option", (382, 285, 15, 15),
                           {"text": "开机启动服务", "font": "2", "textcolor": "#FF000000",
                            "selected": "true"}, None),
        "btn_install": ("Button", (215, 314, 180, 46),
                        {"text": "立即安装", "font": "18", "textcolor": "#FFFFFFFF"}, "install.bmp"),
        "btn_return": ("Button", (550, 334, 60, 30),
                       {"text": "返回", "font": "16", "textcolor": "#FF707070", "hottextcolor": "#FFFFFFFF",
                        "pushedtextcolor": "#FFFFFFFF"}, "return.bmp"),
    }),
    "UI_Installing.xml": dict(WINDOW_BUTTONS, **{
        "l_installing": ("Label", (24, 318, 150, 20), {"text": "正在安装...", "font": "2", "textcolor": "#FF838790"}, None),
        "l_percent": ("Label", (553, 318, 30, 20),
                      {"text": "0%", "font": "2", "textcolor": "#FF838790", "align": "right"}, None),
        "l_loading": ("Label", (0, 32, 610, 228), {"bkimage": "image\\loading_pic1.bmp"}, None),
        "p_progress": ("Progress", (24, 340, 562, 10),
                       {"bkimage": "image\\progress_bg.bmp", "foreimage": "image\\progress_pr.bmp",
                        "min": "0", "max": "100", "value": "0"}, None),
    }),
    "UI_InstallSuccess.xml": dict(WINDOW_BUTTONS, **{
        "btn_Open": ("Button", (240, 292, 130, 46),
                     {"text": "立即体验", "font": "18", "textcolor": "#FFFFFFFF"}, "invoker.bmp"),
    }),
}

# page: (root name and kind, page container, its background)
PAGES = {
    "UI_HomePage.xml": (("tab_control", "TabLayout"), "topControl", "image\\bg_install_step1.bmp"),
    "UI_CustomInstall.xml": (("root", "HorizontalLayout"), "Container_custom_install", "image\\bg_install_step2.bmp"),
    "UI_Installing.xml": (("root", "HorizontalLayout"), "Container_installing", "image\\bg_install_step1.bmp"),
    "UI_InstallSuccess.xml": (("root", "HorizontalLayout"), "Container_install_success",
                              "image\\bg_install_success.bmp"),
}

STATE_ATTRIBUTES = ("normalimage", "hotimage", "pushedimage", "disabledimage")


def read_package():
    with zipfile.ZipFile(ZIP_PATH) as z:
        return {info.filename: (info, z.read(info.filename)) for info in z.infolist()}


def pixel(bmp, x, y):
    """(r, g, b) of a 24-bit BMP at x, y from the top."""
    width, height, _, _ = skin_layout.bmp_info(bmp)
    offset = int.from_bytes(bmp[10:14], "little")
    stride = (width * 3 + 3) & ~3
    top_down = int.from_bytes(bmp[22:26], "little", signed=True) < 0
    row = y if top_down else height - 1 - y
    i = offset + row * stride + x * 3
    return bmp[i + 2], bmp[i + 1], bmp[i]


def inside(polygon, x, y):
    """Even-odd test of the point x, y against |polygon|."""
    result = False
    for (x0, y0), (x1, y1) in zip(polygon, polygon[1:] + polygon[:1]):
        if (y0 > y) != (y1 > y) and x < x0 + (y - y0) * (x1 - x0) / (y1 - y0):
            result = not result
    return result


def edge_distance(polygon, x, y):
    """Distance of the point x, y from the nearest edge of |polygon|."""
    best = float("inf")
    for (x0, y0), (x1, y1) in zip(polygon, polygon[1:] + polygon[:1]):
        dx, dy = x1 - x0, y1 - y0
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy)))
        best = min(best, ((x0 + t * dx - x) ** 2 + (y0 + t * dy - y) ** 2) ** 0.5)
    return best


def shape_faults(bmp, polygon, colour, ground, top=0):
    """How a drawn shape of |colour| on |ground| differs from |polygon| (image
    coordinates, rows from |top| of the bitmap): the pixels at least half
    covered with the colour must form one shape (8-connected), none of them
    more than a pixel outside the polygon, and every pixel more than a pixel
    inside it must be covered. Returns a list of faults, empty when whole."""
    xs, ys = [p[0] for p in polygon], [p[1] for p in polygon]
    x0, x1 = int(min(xs)) - 3, int(max(xs)) + 4
    y0, y1 = int(min(ys)) - 3, int(max(ys)) + 4
    span = sum(abs(g - c) for g, c in zip(ground, colour))

    def covered(x, y):
        return sum(abs(p - g) for p, g in zip(pixel(bmp, x, top + y), ground)) * 2 >= span
    mask = {(x, y) for x in range(x0, x1) for y in range(y0, y1) if covered(x, y)}
    faults = []
    for x, y in sorted(mask):
        if not inside(polygon, x, y) and edge_distance(polygon, x, y) > 1.0:
            faults.append("(%d, %d) is drawn outside the shape" % (x, y))
    for x in range(x0, x1):
        for y in range(y0, y1):
            if (x, y) not in mask and inside(polygon, x, y) and edge_distance(polygon, x, y) > 1.0:
                faults.append("(%d, %d) inside the shape is not drawn" % (x, y))
    if mask:
        seen, todo = set(), [min(mask)]
        while todo:
            x, y = todo.pop()
            if (x, y) in seen or (x, y) not in mask:
                continue
            seen.add((x, y))
            todo += [(x + dx, y + dy) for dx in (-1, 0, 1) for dy in (-1, 0, 1)]
        if len(seen) != len(mask):
            faults.append("the shape falls apart: %d of its %d pixels are connected" % (len(seen), len(mask)))
    else:
        faults.append("nothing drawn")
    return faults


def hex_colour(text):
    return tuple(int(text[i:i + 2], 16) for i in (1, 3, 5))


class SkinPackageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.files = read_package()
        cls.layouts = {name: skin_layout.parse(cls.files[name][1]) for name in LAYOUTS if name in cls.files}

    def data(self, name):
        return self.files[name][1]

    def control(self, page, name):
        found = self.layouts[page].find(name)
        self.assertEqual(len(found), 1, "%s: %d controls named %s" % (page, len(found), name))
        return found[0]

    # ---- the archive -------------------------------------------------------

    def test_package_files_compression_and_size(self):
        expected = set(LAYOUTS) | {"UIFont.xml"} | {"image/" + n for n in IMAGES}
        self.assertEqual(expected - set(self.files), set(), "missing from the package")
        for name, (info, _) in self.files.items():
            self.assertEqual(info.compress_type, zipfile.ZIP_DEFLATED, name)
            self.assertFalse("\\" in name or name.startswith("/"), name)
        self.assertLess(os.path.getsize(ZIP_PATH), 600 * 1024, "skin package too large")

    def test_layout_encodings_and_lenient_forms(self):
        font_table = self.data("UIFont.xml")
        self.assertTrue(font_table.startswith(b"\xef\xbb\xbf"), "UIFont.xml must begin with a BOM")
        glued_pairs = 0
        for name in LAYOUTS:
            raw = self.data(name)
            self.assertFalse(raw.startswith(b"\xef\xbb\xbf"), name + " must not begin with a BOM")
            text = raw.decode("utf-8")  # strict: fails on anything but UTF-8
            text.encode("gbk")  # the framework shows every text in code page 936
            self.assertIn('encoding="UTF-8"standalone="yes"', text.splitlines()[0], name)
            glued_pairs += len(re.findall(r'="[^"]*"[A-Za-z]', text))
        self.assertGreater(glued_pairs, 0, "no attribute pair without a separating blank")
        # The check box names its text twice: empty first, the caption last.
        box = self.control("UI_HomePage.xml", "btn_checkbox")
        texts = [v for k, v in box.attr_list if k == "text"]
        self.assertEqual(texts, ["", "我已阅读并同意"])

    # ---- the bitmaps -------------------------------------------------------

    def test_images_are_24_bit_bitmaps_of_exact_size(self):
        for name, (width, height, _) in IMAGES.items():
            with self.subTest(image=name):
                bmp = self.data("image/" + name)
                w, h, bits, compression = skin_layout.bmp_info(bmp)
                self.assertEqual((w, h), (width, height))
                self.assertEqual((bits, compression), (24, 0))
                stride = (w * 3 + 3) & ~3
                offset = int.from_bytes(bmp[10:14], "little")
                self.assertGreaterEqual(len(bmp), offset + stride * h, "pixel data truncated")

    def test_state_slots_differ(self):
        # normal, hot, pushed and disabled must be told apart by the user.
        for name, (width, height, slot) in IMAGES.items():
            if not slot:
                continue
            with self.subTest(image=name):
                bmp = self.data("image/" + name)
                slots = [bytes(b for x in range(width) for y in range(k * slot, (k + 1) * slot)
                               for b in pixel(bmp, x, y)) for k in range(4)]
                self.assertEqual(len(set(slots)), 4, "two of the four states look the same")

    def test_double_size_variants_match_their_images(self):
        # High-DPI screens get image\x@2x.bmp: the same picture drawn at
        # exactly twice the size, its state slots in the same order.
        def difference(small, large, x0, y0, x1, y1, large_y_offset=0):
            """Mean channel difference between |small| and |large| halved
            (2 x 2 blocks averaged), over a grid of samples of the region."""
            total = count = 0
            step = max(1, min(x1 - x0, y1 - y0) // 12)
            for y in range(y0, y1, step):
                for x in range(x0, x1, step):
                    block = [pixel(large, 2 * x + dx, 2 * (y + large_y_offset) + dy) for dx in (0, 1) for dy in (0, 1)]
                    for c in range(3):
                        total += abs(pixel(small, x, y)[c] - sum(p[c] for p in block) / 4)
                    count += 3
            return total / count

        for name, (width, height, slot) in IMAGES.items():
            with self.subTest(image=name):
                variant = "image/" + name.replace(".bmp", "@2x.bmp")
                self.assertIn(variant, self.files)
                small, large = self.data("image/" + name), self.data(variant)
                w, h, bits, compression = skin_layout.bmp_info(large)
                self.assertEqual((w, h, bits, compression), (2 * width, 2 * height, 24, 0))
                if not slot:
                    self.assertLess(difference(small, large, 0, 0, width, height), 12)
                    continue
                for k in range(4):
                    same = difference(small, large, 0, k * slot, width, (k + 1) * slot)
                    others = [difference(small, large, 0, k * slot, width, (k + 1) * slot, (j - k) * slot)
                              for j in range(4) if j != k]
                    self.assertLess(same, 12, "slot %d differs from its 100 %% drawing" % k)
                    self.assertLess(same, min(others), "slot %d of the variant is out of order" % k)

    def test_check_boxes_read_as_check_boxes(self):
        ticked = self.data("image/checkbox.bmp")
        empty = self.data("image/uncheckbox.bmp")
        # The centre of the ticked box is part of the (light) tick on a dark
        # fill; the empty box is light inside and has a darker rim.
        def brightness(bmp, x, y):
            return sum(pixel(bmp, x, y))
        ticked_inside = [brightness(ticked, x, y) for x in range(3, 12) for y in range(3, 12)]
        self.assertLess(min(ticked_inside), 550, "ticked box has no coloured fill")
        self.assertGreater(max(ticked_inside), 600, "ticked box has no tick")
        empty_inside = [brightness(empty, x, y) for x in range(4, 11) for y in range(4, 11)]
        self.assertGreater(min(empty_inside), 700, "unticked box is not empty")
        self.assertLess(brightness(empty, 1, 7), 650, "unticked box has no visible rim")

    def test_check_marks_are_whole(self):
        # The finish page's mark and the ticked box's tick are filled
        # polygons; a stroker that splits a sharp corner into spikes shows up
        # as pixels outside the outline and holes inside it.
        mark = draw_images.check_mark_outline()
        tick = draw_images.stroke_outline(draw_images.TICK, draw_images.TICK_WIDTH)
        green = hex_colour(draw_images.CHECK_MARK_COLOUR)
        cases = [("bg_install_success.bmp", mark, 1, green, (255, 255, 255)),
                 ("bg_install_success@2x.bmp", mark, 2, green, (255, 255, 255)),
                 ("checkbox@2x.bmp", tick, 2, (255, 255, 255), hex_colour(draw_images.BLUE))]
        for name, outline, scale, colour, ground in cases:
            with self.subTest(image=name):
                faults = shape_faults(self.data("image/" + name), draw_images.to_scale(outline, scale),
                                      colour, ground)
                self.assertEqual(faults, [], "%s: %s" % (name, "; ".join(faults[:8])))

    def test_progress_fill_visible_against_its_track(self):
        track = pixel(self.data("image/progress_bg.bmp"), 5, 2)
        fill = pixel(self.data("image/progress_pr.bmp"), 5, 2)
        self.assertGreater(sum(abs(a - b) for a, b in zip(track, fill)), 150)

    def test_loading_pictures_are_distinct(self):
        pictures = {self.data("image/loading_pic%d.bmp" % i) for i in (1, 2, 3)}
        self.assertEqual(len(pictures), 3)

    def test_window_buttons_blend_into_every_background(self):
        # mini.bmp and close.bmp have no transparency: their resting state's
        # corners must match each page background where the buttons sit.
        for strip, (x, y) in (("mini.bmp", (552, 6)), ("close.bmp", (581, 6))):
            button = self.data("image/" + strip)
            for background in ("bg_install_step1.bmp", "bg_install_step2.bmp", "bg_install_success.bmp"):
                bg = self.data("image/" + background)
                for cx, cy in ((0, 0), (18, 0), (0, 14), (18, 14)):
                    with self.subTest(strip=strip, background=background, corner=(cx, cy)):
                        got, want = pixel(button, cx, cy), pixel(bg, x + cx, y + cy)
                        self.assertLessEqual(max(abs(a - b) for a, b in zip(got, want)), 3)

    # ---- the layouts -------------------------------------------------------

    def test_font_table(self):
        fonts = [e for e in skin_layout.parse(self.data("UIFont.xml")).iter() if e.tag == "Font"]
        expected = [(s, False, False) for s in (9, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30)]
        expected += [(s, True, False) for s in (9, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30, 32, 34, 35, 36, 44)]
        expected += [(12, False, True), (13, False, True)]
        got = {}
        for f in fonts:
            self.assertEqual(f.get("name"), "Microsoft YaHei")
            self.assertNotEqual(f.get("italic"), "true")
            got[int(f.get("id"))] = (int(f.get("size")), f.get("bold") == "true", f.get("underline") == "true")
        self.assertEqual(got, dict(enumerate(expected)))
        self.assertEqual(sum(f.get("default") == "true" for f in fonts), 1, "exactly one default font")

    def test_page_windows_and_containers(self):
        for page, ((root_name, root_kind), container, background) in PAGES.items():
            with self.subTest(page=page):
                window = self.layouts[page]
                self.assertEqual(window.tag, "Window")
                self.assertEqual((window.get("size"), window.get("caption")), ("610,390", "0,0,0,270"))
                includes = [e.get("source") for e in window.children if e.tag == "Include"]
                self.assertEqual(includes, ["UIFont.xml"])
                layouts = [e for e in window.children if e.tag != "Include"]
                self.assertEqual([(e.tag, e.get("name")) for e in layouts], [(root_kind, root_name)])
                holder = self.control(page, container)
                self.assertEqual(holder.tag, "VerticalLayout")
                self.assertEqual((holder.get("height"), holder.get("bkimage")), ("390", background))
        tabs = self.layouts["UI_HomePage.xml"].children[-1].children
        self.assertEqual([(e.tag, e.get("name"), len(e.children) > 0) for e in tabs],
                         [("VerticalLayout", "topControl", True),
                          ("VerticalLayout", "Container_custom_install", False),
                          ("VerticalLayout", "Container_installing", False),
                          ("VerticalLayout", "Container_install_success", False)])

    def test_controls_kind_geometry_and_looks(self):
        for page, controls in CONTROLS.items():
            container = self.control(page, PAGES[page][1])
            for name, (kind, geometry, attributes, strip) in controls.items():
                with self.subTest(page=page, control=name):
                    c = self.control(page, name)
                    self.assertIs(c.parent, container, "not placed in the page container")
                    self.assertEqual(c.tag, kind)
                    self.assertEqual(c.get("float"), "true")
                    self.assertEqual(skin_layout.rect(c), geometry)
                    for key, value in attributes.items():
                        self.assertEqual(c.get(key, ""), value, key)
                    for colour in ("textcolor", "hottextcolor", "pushedtextcolor", "disabledtextcolor", "bkcolor"):
                        if c.get(colour):
                            skin_layout.colour(c.get(colour))
                    if strip:
                        self.assert_strip_states(c, strip, geometry[2], IMAGES[strip][2])

    def assert_strip_states(self, control, strip, width, slot):
        attributes = STATE_ATTRIBUTES
        if control.tag == "Edit":
            attributes = ("normalimage", "hotimage", "focusedimage", "disabledimage")
        img_width = IMAGES[strip][0]
        for index, attribute in enumerate(attributes):
            file, source = skin_layout.image_spec(control.get(attribute))
            self.assertEqual(file, "image\\" + strip, attribute)
            self.assertEqual(source, (0, index * slot, img_width, (index + 1) * slot), attribute)

    def test_check_box_images(self):
        for page, names in (("UI_HomePage.xml", ["btn_checkbox"]),
                            ("UI_CustomInstall.xml", ["btn_cb_shortcut", "btn_cb_Launchbar", "btn_cb_autorun"])):
            for name in names:
                with self.subTest(control=name):
                    c = self.control(page, name)
                    self.assertEqual(skin_layout.image_spec(c.get("normalimage")),
                                     ("image\\uncheckbox.bmp", (0, 0, 15, 15)))
                    self.assertEqual(skin_layout.image_spec(c.get("selectedimage")),
                                     ("image\\checkbox.bmp", (0, 0, 15, 15)))

    def test_texts_stand_out_from_their_ground(self):
        # Each caption in its resting, hot and pushed colour against what is
        # drawn behind it: the state image's middle, the control's fill, or
        # the page background where the text sits.
        def luminance(rgb):
            def channel(c):
                c /= 255.0
                return c / 12.92 if c <= 0.03928 else ((c + 0.055) / 1.055) ** 2.4
            r, g, b = (channel(c) for c in rgb)
            return 0.2126 * r + 0.7152 * g + 0.0722 * b

        def contrast(a, b):
            hi, lo = sorted((luminance(a), luminance(b)), reverse=True)
            return (hi + 0.05) / (lo + 0.05)

        for page, controls in CONTROLS.items():
            background = self.data("image/" + PAGES[page][2].split("\\")[1])
            for name in controls:
                c = self.control(page, name)
                if c.tag == "Edit":  # the hint is what shows until a path is set
                    captions = [("normal", c.get("tipvaluecolor"))]
                elif c.get("text"):
                    captions = [(state, c.get(state + "textcolor") or c.get("textcolor"))
                                for state in ("normal", "hot", "pushed")]
                else:
                    continue
                x, y, w, h = skin_layout.rect(c)
                pad_left = int(c.get("textpadding", "0").split(",")[0])
                for state, colour in captions:
                    colour = skin_layout.colour(colour)
                    image = skin_layout.image_spec(c.get(state + "image"))
                    if c.tag != "Option" and image:
                        file, (l, t, r, b) = image
                        ground = pixel(self.data("image/" + file.split("\\")[1]), (l + r) // 2, (t + b) // 2)
                    elif c.get("bkcolor"):
                        ground = skin_layout.colour(c.get("bkcolor"))
                    else:
                        text_x = x + (pad_left + w) // 2 if c.tag == "Option" else x + w // 2
                        ground = pixel(background, text_x, y + h // 2)
                    with self.subTest(page=page, control=name, state=state):
                        self.assertGreaterEqual(contrast(colour, ground), 3.0)

    def test_every_named_image_is_in_the_package(self):
        for page in LAYOUTS:
            for c in self.layouts[page].iter():
                for attribute in skin_layout.IMAGE_ATTRIBUTES:
                    spec = skin_layout.image_spec(c.get(attribute))
                    if not spec:
                        continue
                    file, source = spec
                    with self.subTest(page=page, control=c.get("name"), attribute=attribute):
                        self.assertTrue(file.startswith("image\\"), file)
                        entry = "image/" + file[len("image\\"):]
                        self.assertIn(entry, self.files)
                        if source:
                            w, h, _, _ = skin_layout.bmp_info(self.data(entry))
                            l, t, r, b = source
                            self.assertTrue(0 <= l < r <= w and 0 <= t < b <= h, "source outside the image")

    def test_agreement_text(self):
        text = self.control("UI_HomePage.xml", "re_read").get("text")
        lines = text.split("\n")
        self.assertGreater(len(text), 2500, "agreement too short to be a real licence")
        self.assertGreater(len(lines), 40, "line breaks lost")
        self.assertFalse(any(ch in text for ch in "\r\t"), "unexpected control characters")
        sections = [l for l in lines if l[:1] in "一二三四五六七八九十" and "、" in l[:4]]
        self.assertGreaterEqual(len(sections), 12)
        self.assertIn("Tarnis模拟器", lines[0])


if __name__ == "__main__":
    unittest.main(verbosity=1)
