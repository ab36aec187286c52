#!/usr/bin/env python3
"""Draws every bitmap of the installer skin with ImageMagick.

usage: draw_images.py OUT_DIR      (writes OUT_DIR/image/*.bmp)

Every picture is drawn twice by the same code: at 100 % ("x.bmp", the
sizes the layouts give) and at 200 % ("x@2x.bmp", exactly twice as wide and
high, so a strip's slots stay in their order at twice the height). The
window framework uses the 200 % drawing on high-DPI screens and filters it
down for scales between. All coordinates below are 100 % pixels; the
Painter multiplies canvas sizes, placements, font sizes and drawing
primitives by its scale.

All pictures are 24-bit BMPs (BMP3, TrueColor, no alpha). State strips are
vertical: five slots of the control's height (normal, hot, pushed, disabled,
spare). The three page backgrounds share one "sky" gradient, so that the
minimise and close buttons, which are cut from the sky at their place, blend
into every page, and the installing page's pictures continue the sky of the
welcome background seamlessly below its title bar.
"""
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile

FONT = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"
WIDTH, HEIGHT = 610, 390

SKY_FROM, SKY_TO = "#3C93F7", "#5B55E6"
TITLE_BAR = 32            # the top band that holds logo, name and window buttons
WELCOME_HERO = 260        # the coloured part of the welcome/installing background
OPTIONS_HERO = 200        # ... of the options background (its form starts at 218)
FINISH_HERO = 260

BLUE = "#2B7DE9"
BLUE_HOT = "#4590F2"   # white captions keep a contrast of 3:1 on it
BLUE_PUSHED = "#1C60C4"
GREY_DISABLED = "#C5CBD3"
BORDER = "#C3CAD5"
LIGHT_FILL = "#F2F4F7"

# Positions of the window buttons on every page.
MINI_POS = (552, 6)
CLOSE_POS = (581, 6)
WINDOW_BUTTON = (19, 15)

LOADING_TOP, LOADING_HEIGHT = 32, 228

# The scales every picture is drawn at (150 % and the others are filtered
# from 200 % by the window, which keeps the package small).
SCALES = (1, 2)

NUMBER = r"(-?[0-9.]+)"
RECTANGLE = re.compile(r"^(round)?rectangle %s,%s %s,%s( %s,%s)?$" % ((NUMBER,) * 4 + (NUMBER,) * 2))
POINT = re.compile(r"(-?[0-9.]+),(-?[0-9.]+)")

# The finish page's check mark: the corners of its stroke and its width.
CHECK_MARK_CENTRE = (WIDTH // 2, 96)
CHECK_MARK_COLOUR = "#27AE60"
CHECK_MARK = ((-18, 1), (-5, 14), (19, -12))
CHECK_MARK_WIDTH = 7
# The check boxes' tick, in the 15 x 15 box.
TICK = ((4, 7), (6.5, 9.5), (11, 4.5))
TICK_WIDTH = 1.8


# Wide strokes are drawn as the filled outline of the stroke, never with
# ImageMagick's own stroker: some builds of Debian 12's ImageMagick 6.9.11
# split a wide polyline's last segment into spikes at a sharp corner and draw
# an open arc at 200 % as a closed sliver. A filled polygon comes out the
# same in every build.

def stroke_outline(points, width):
    """The outline of the polyline through |points| drawn |width| wide, with
    mitred corners and square-cut ends, as the corners of one polygon."""
    half = width / 2.0
    normals = []
    for (x0, y0), (x1, y1) in zip(points, points[1:]):
        length = ((x1 - x0) ** 2 + (y1 - y0) ** 2) ** 0.5
        normals.append(((y0 - y1) / length, (x1 - x0) / length))

    def offset(side):
        out = []
        for i, (x, y) in enumerate(points):
            if i == 0:
                nx, ny = normals[0]
            elif i == len(points) - 1:
                nx, ny = normals[-1]
            else:
                (ax, ay), (bx, by) = normals[i - 1], normals[i]
                # The mitre: where the two offset edges meet.
                k = 1.0 / (1.0 + ax * bx + ay * by)
                nx, ny = (ax + bx) * k, (ay + by) * k
            out.append((x + side * half * nx, y + side * half * ny))
        return out
    return offset(1) + offset(-1)[::-1]


def arc_outline(cx, cy, radius, start, end, width, steps=24):
    """The outline of an arc of a circle drawn |width| wide with square-cut
    ends; angles in degrees, clockwise from the x axis as on screen."""
    half = width / 2.0
    angles = [math.radians(start + (end - start) * i / steps) for i in range(steps + 1)]
    outer = [(cx + (radius + half) * math.cos(a), cy + (radius + half) * math.sin(a)) for a in angles]
    inner = [(cx + (radius - half) * math.cos(a), cy + (radius - half) * math.sin(a)) for a in angles]
    return outer + inner[::-1]


def polygon(points):
    return "polygon " + " ".join("%.2f,%.2f" % p for p in points)


def check_mark_outline():
    """The finish page's check mark as a polygon in 100 % coordinates."""
    cx, cy = CHECK_MARK_CENTRE
    return stroke_outline([(cx + x, cy + y) for x, y in CHECK_MARK], CHECK_MARK_WIDTH)


def to_scale(points, scale):
    """100 % coordinates at |scale|: a pixel centre goes to the centre of the
    block of pixels it becomes."""
    shift = (scale - 1) / 2.0
    return [(scale * x + shift, scale * y + shift) for x, y in points]


class Painter:
    def __init__(self, work, scale=1):
        self.work = work
        self.count = 0
        self.scale = scale

    def px(self, v):
        """A 100 % length in pixels of this drawing."""
        return int(round(v * self.scale))

    def canvas(self, w, h):
        return "%dx%d" % (self.px(w), self.px(h))

    def crop(self, w, h, x, y):
        return "%dx%d+%d+%d" % (self.px(w), self.px(h), self.px(x), self.px(y))

    def mvg(self, cmd, stroked=False):
        """A drawing primitive in 100 % coordinates.

        A plain (round)rectangle is mapped pixel for pixel: filled, its
        corners name its first and last pixel, so it grows to cover all the
        pixels those become; stroked, its outline runs through pixel centres,
        which move to the centres of the larger pixels. A plain polygon's
        corners move the same way. Anything else is transformed as a shape
        (strokes scale with it)."""
        if self.scale == 1:
            return cmd
        if cmd.startswith("polygon "):
            points = [(float(x), float(y)) for x, y in POINT.findall(cmd)]
            return polygon(to_scale(points, self.scale))
        box = RECTANGLE.match(cmd)
        if not box:
            return "scale %g,%g %s" % (self.scale, self.scale, cmd)
        s = self.scale
        x0, y0, x1, y1 = (float(v) for v in box.group(2, 3, 4, 5))
        if stroked:
            shift = (s - 1) / 2
            corners = (s * x0 + shift, s * y0 + shift, s * x1 + shift, s * y1 + shift)
        else:
            corners = (s * x0, s * y0, s * x1 + s - 1, s * y1 + s - 1)
        out = "%srectangle %g,%g %g,%g" % ((box.group(1) or "",) + corners)
        if box.group(6):
            out += " %g,%g" % (s * float(box.group(7)), s * float(box.group(8)))
        return out

    def tmp(self, name):
        self.count += 1
        return os.path.join(self.work, "%03d_%s.png" % (self.count, name))

    @staticmethod
    def run(*args):
        subprocess.run(["convert"] + [str(a) for a in args], check=True)

    @staticmethod
    def size(path):
        out = subprocess.run(["identify", "-format", "%w %h", path], check=True,
                             capture_output=True, text=True).stdout.split()
        return int(out[0]), int(out[1])

    def text(self, text, points, colour, bold=False):
        """Renders a text on a transparent canvas; returns (path, w, h) with
        w and h in 100 % pixels."""
        path = self.tmp("text")
        stroke = ["-stroke", colour, "-strokewidth", "%g" % (0.8 * self.scale)] if bold else []
        self.run("-background", "none", "-fill", colour, *stroke, "-font", FONT,
                 "-pointsize", "%g" % (points * self.scale), "label:" + text, path)
        w, h = self.size(path)
        if self.scale == 1:
            return path, w, h
        return path, w / self.scale, h / self.scale

    def over(self, base, layer, x, y):
        """Composites layer onto base (in place) at x,y (100 % pixels)."""
        self.run(base, layer, "-geometry", "+%d+%d" % (self.px(x), self.px(y)), "-composite", base)

    def primitives(self, primitives):
        """-draw arguments of (fill, stroke, strokewidth, cmd) tuples."""
        args = []
        for fill, stroke, width, cmd in primitives:
            stroked = stroke != "none" and float(width) > 0
            if stroked and RECTANGLE.match(cmd):
                width = "%g" % (float(width) * self.scale)  # mvg() does not scale this one
            args += ["-fill", fill, "-stroke", stroke, "-strokewidth", width, "-draw", self.mvg(cmd, stroked)]
        return args

    def draw(self, base, *primitives):
        """Applies -draw primitives (tuples of fill, stroke, strokewidth, cmd)."""
        self.run(base, *self.primitives(primitives), base)

    def save_bmp(self, src, dst):
        self.run(src, "-alpha", "off", "-type", "TrueColor", "BMP3:" + dst)


class Skin:
    def __init__(self, out, work, scale=1):
        self.out = os.path.join(out, "image")
        os.makedirs(self.out, exist_ok=True)
        self.scale = scale
        self.p = Painter(work, scale)
        self.sky = self.p.tmp("sky")
        # A 45 degree gradient: every row is its neighbour shifted by one
        # pixel, which keeps the bitmaps small once deflated.
        self.p.run("-size", self.p.canvas(WIDTH, HEIGHT), "-define", "gradient:angle=135",
                   "gradient:%s-%s" % (SKY_FROM, SKY_TO), self.sky)

    def bmp(self, name):
        if self.scale != 1:
            stem, ext = os.path.splitext(name)
            name = "%s@%gx%s" % (stem, self.scale, ext)
        return os.path.join(self.out, name)

    # ---- shared pieces -------------------------------------------------

    def logo(self, side):
        """The product mark: a white rounded tile with a blue screen and a T."""
        path = self.p.tmp("logo")
        side = self.p.px(side)
        r = max(3, side // 5)
        pad = max(2, side // 8)
        self.p.run("-size", "%dx%d" % (side, side), "xc:none",
                   "-fill", "white", "-draw", "roundrectangle 0,0 %d,%d %d,%d" % (side - 1, side - 1, r, r),
                   "-fill", BLUE, "-draw", "roundrectangle %d,%d %d,%d %d,%d" % (
                       pad, pad, side - 1 - pad, side - 1 - pad, r * 2 // 3, r * 2 // 3),
                   "-fill", "white", "-font", FONT, "-pointsize", int(side * 0.62),
                   "-gravity", "center", "-stroke", "white", "-strokewidth", max(1, side // 40),
                   "-annotate", "+0+0", "T", path)
        return path

    def hero(self, height, deco):
        """Sky of the given height over a white page, title bar, decorations."""
        base = self.p.tmp("hero")
        self.p.run(self.sky, "-fill", "white", "-draw",
                   self.p.mvg("rectangle 0,%d %d,%d" % (height, WIDTH - 1, HEIGHT - 1)), base)
        deco(base, height)
        self.title_bar(base)
        return base

    def title_bar(self, base):
        self.p.draw(base, ("#00000014", "none", 0, "rectangle 0,0 %d,%d" % (WIDTH - 1, TITLE_BAR - 1)))
        self.p.over(base, self.logo(18), 10, 7)
        name, _, h = self.p.text("Tarnis模拟器 安装向导", 12, "#FFFFFFE6")
        self.p.over(base, name, 34, 16 - h // 2)

    def bubbles(self, base, height, seed):
        """Soft translucent circles; none reaches the title bar's right end."""
        spots = [(70, 200, 90), (560, 220, 110), (300, 40, 60), (180, 120, 40),
                 (460, 120, 30), (610, 40, 40), (20, 60, 50)]
        prims = []
        for i, (x, y, r) in enumerate(spots[seed % 3:] + spots[:seed % 3]):
            if y - r > height:
                continue
            if x + r > 520 and y - r < TITLE_BAR:
                continue  # keeps the window buttons' ground plain
            prims.append(("#FFFFFF%02X" % (10 + 4 * (i % 3)), "none", 0,
                          "circle %d,%d %d,%d" % (x, y, x + r, y)))
        self.p.draw(base, *prims)

    def phone(self, base, cx, cy, w, h, angle, alpha=0x40, screen=True):
        """An outlined phone silhouette with an app grid, rotated about its centre."""
        hw, hh = w // 2, h // 2
        prims = [("#FFFFFF1C", "#FFFFFF%02X" % alpha, 2,
                  "translate %d,%d rotate %d roundrectangle %d,%d %d,%d 9,9" % (cx, cy, angle, -hw, -hh, hw, hh)),
                 ("#FFFFFF%02X" % alpha, "none", 0,
                  "translate %d,%d rotate %d roundrectangle %d,%d %d,%d 2,2" % (cx, cy, angle, -8, -hh + 5, 8, -hh + 8))]
        if screen:
            cell = max(6, w // 6)
            for row in range(3):
                for col in range(3):
                    x0 = -hw + 8 + col * (cell + 5)
                    y0 = -hh + 18 + row * (cell + 6)
                    prims.append(("#FFFFFF%02X" % (alpha // 2 + 8), "none", 0,
                                  "translate %d,%d rotate %d roundrectangle %d,%d %d,%d 2,2" % (
                                      cx, cy, angle, x0, y0, x0 + cell, y0 + cell)))
        self.p.draw(base, *prims)

    def tablet(self, base, cx, cy, w, h, angle, alpha=0x38):
        hw, hh = w // 2, h // 2
        self.p.draw(base,
                    ("#FFFFFF14", "#FFFFFF%02X" % alpha, 2,
                     "translate %d,%d rotate %d roundrectangle %d,%d %d,%d 10,10" % (cx, cy, angle, -hw, -hh, hw, hh)),
                    ("#FFFFFF10", "none", 0,
                     "translate %d,%d rotate %d roundrectangle %d,%d %d,%d 4,4" % (
                         cx, cy, angle, -hw + 9, -hh + 9, hw - 9, hh - 9)),
                    ("#FFFFFF%02X" % alpha, "none", 0,
                     "translate %d,%d rotate %d circle %d,0 %d,0" % (cx, cy, angle, hw - 5, hw - 3)))

    def headline(self, base, title, subtitle, centre_y, logo_side=0, title_points=34):
        """Centres [logo] title and a subtitle line under it."""
        t, tw, th = self.p.text(title, title_points, "white", bold=True)
        gap = 12 if logo_side else 0
        total = logo_side + gap + tw
        x = (WIDTH - total) // 2
        if logo_side:
            self.p.over(base, self.logo(logo_side), x, centre_y - logo_side // 2)
        self.p.over(base, t, x + logo_side + gap, centre_y - th // 2)
        if subtitle:
            s, sw, sh = self.p.text(subtitle, 14, "#FFFFFFD9")
            self.p.over(base, s, (WIDTH - sw) // 2, centre_y + max(th, logo_side) // 2 + 12)

    # ---- page backgrounds ------------------------------------------------

    def welcome_background(self):
        def deco(base, height):
            self.bubbles(base, height, 0)
            self.tablet(base, 92, 150, 120, 160, -10)
            self.phone(base, 520, 152, 70, 128, 12)
            self.phone(base, 460, 180, 50, 92, -6, alpha=0x30, screen=False)
            self.headline(base, "Tarnis模拟器", "在电脑上畅玩安卓手游与应用", 118, logo_side=56)
        # The lower part stays plain white: the installing page shows its
        # status line and progress bar on the same background.
        base = self.hero(WELCOME_HERO, deco)
        self.p.save_bmp(base, self.bmp("bg_install_step1.bmp"))

    def options_background(self):
        def deco(base, height):
            self.bubbles(base, height, 1)
            self.phone(base, 80, 120, 56, 104, -12, alpha=0x34)
            self.tablet(base, 530, 122, 104, 136, 8, alpha=0x30)
            self.headline(base, "Tarnis模拟器", "自定义安装：选择安装位置与附加选项", 96,
                          logo_side=44, title_points=28)
        base = self.hero(OPTIONS_HERO, deco)
        self.p.save_bmp(base, self.bmp("bg_install_step2.bmp"))

    def finish_background(self):
        def deco(base, height):
            self.bubbles(base, height, 2)
            self.phone(base, 96, 150, 66, 120, -10, alpha=0x30)
            self.phone(base, 518, 150, 66, 120, 10, alpha=0x30)
            (cx, cy), r = CHECK_MARK_CENTRE, 38
            self.p.draw(base,
                        ("#FFFFFF30", "none", 0, "circle %d,%d %d,%d" % (cx, cy, cx + r + 9, cy)),
                        ("white", "none", 0, "circle %d,%d %d,%d" % (cx, cy, cx + r, cy)),
                        (CHECK_MARK_COLOUR, "none", 0, polygon(check_mark_outline())))
            t, tw, th = self.p.text("安装完成", 28, "white", bold=True)
            self.p.over(base, t, (WIDTH - tw) // 2, 148)
            s, sw, _ = self.p.text("Tarnis模拟器已成功安装到您的电脑，立即开启精彩安卓之旅", 14, "#FFFFFFD9")
            self.p.over(base, s, (WIDTH - sw) // 2, 148 + th + 10)
        base = self.hero(FINISH_HERO, deco)
        self.p.save_bmp(base, self.bmp("bg_install_success.bmp"))

    # ---- installing page pictures ---------------------------------------

    def slide(self, index, title, subtitle, art):
        base = self.p.tmp("slide")
        self.p.run(self.sky, "-crop", self.p.crop(WIDTH, LOADING_HEIGHT, 0, LOADING_TOP),
                   "+repage", base)
        self.bubbles(base, LOADING_HEIGHT, index + 1)
        art(base)
        t, _, th = self.p.text(title, 30, "white", bold=True)
        s, _, _ = self.p.text(subtitle, 15, "#FFFFFFD9")
        self.p.over(base, t, 318, 70)
        self.p.over(base, s, 320, 70 + th + 12)
        # Page dots: which of the three pictures is showing.
        prims = []
        for i in range(3):
            x = WIDTH // 2 - 20 + i * 20
            colour = "white" if i == index else "#FFFFFF60"
            prims.append((colour, "none", 0, "circle %d,210 %d,210" % (x, x + 4)))
        self.p.draw(base, *prims)
        self.p.save_bmp(base, self.bmp("loading_pic%d.bmp" % (index + 1)))

    def slides(self):
        def game(base):
            # A phone held sideways with a game pad on screen.
            self.p.draw(base,
                        ("#FFFFFF26", "#FFFFFFB0", 3, "roundrectangle 70,58 280,166 16,16"),
                        ("#FFFFFF1A", "none", 0, "roundrectangle 88,70 262,154 6,6"),
                        ("white", "none", 0, "rectangle 114,104 146,116"),
                        ("white", "none", 0, "rectangle 124,94 136,126"),
                        ("#FFD75E", "none", 0, "circle 224,100 231,100"),
                        ("#FF7A8A", "none", 0, "circle 240,116 247,116"),
                        ("#7CF0C0", "none", 0, "circle 208,116 215,116"),
                        ("#9FD0FF", "none", 0, "circle 224,132 231,132"))
            self.p.draw(base, ("#FFFFFF70", "none", 0, polygon(arc_outline(78, 72, 32, 190, 260, 2))),
                        ("#FFFFFF50", "none", 0, polygon(arc_outline(78, 72, 48, 190, 260, 2))))

        def multi(base):
            self.phone(base, 118, 112, 66, 124, -14, alpha=0x70)
            self.phone(base, 262, 112, 66, 124, 14, alpha=0x70)
            self.phone(base, 190, 104, 76, 140, 0, alpha=0xC0)

        def keys(base):
            prims = [("#FFFFFF26", "#FFFFFFB0", 3, "roundrectangle 50,82 232,162 10,10")]
            for row in range(3):
                for col in range(8):
                    x0, y0 = 62 + col * 20, 94 + row * 18
                    prims.append(("#FFFFFF70", "none", 0, "roundrectangle %d,%d %d,%d 2,2" % (x0, y0, x0 + 15, y0 + 13)))
            prims.append(("#FFFFFFA0", "none", 0, "roundrectangle 98,148 184,156 2,2"))
            prims += [("#FFFFFF26", "#FFFFFFB0", 3, "roundrectangle 250,88 294,152 22,22"),
                      ("none", "#FFFFFFB0", 2, "line 272,90 272,112"),
                      ("none", "#FFFFFFB0", 2, "line 252,112 292,112")]
            self.p.draw(base, *prims)

        self.slide(0, "极速引擎", "手游畅玩不卡顿，高帧率稳定运行", game)
        self.slide(1, "多开分身", "多个游戏与账号同时在线，互不干扰", multi)
        self.slide(2, "键鼠操控", "键盘鼠标精准映射，操作随心自如", keys)

    # ---- state strips -----------------------------------------------------

    def slot(self, w, h, ground, prims):
        path = self.p.tmp("slot")
        self.p.run("-size", self.p.canvas(w, h), "xc:" + ground, *self.p.primitives(prims), path)
        return path

    def save_strip(self, slots, name):
        self.p.run(*slots, "-append", "-alpha", "off", "-type", "TrueColor",
                   "BMP3:" + self.bmp(name))

    def filled_button(self, name, w, h, radius):
        """Primary buttons: a solid pill on the white page; the window draws the text."""
        def s(colour):
            return self.slot(w, h, "white", [(colour, "none", 0, "roundrectangle 0,0 %d,%d %d,%d" % (
                w - 1, h - 1, radius, radius))])
        normal = s(BLUE)
        self.save_strip([normal, s(BLUE_HOT), s(BLUE_PUSHED), s(GREY_DISABLED), normal], name)

    def outline_button(self, name, w, h):
        """Secondary buttons: white with a grey rim, blue when hovered."""
        box = "roundrectangle 0,0 %d,%d 4,4" % (w - 1, h - 1)
        normal = self.slot(w, h, "white", [("white", BORDER, 1, box)])
        hot = self.slot(w, h, "white", [(BLUE_HOT, BLUE_HOT, 1, box)])
        pushed = self.slot(w, h, "white", [(BLUE_PUSHED, BLUE_PUSHED, 1, box)])
        disabled = self.slot(w, h, "white", [(LIGHT_FILL, "#DDE1E6", 1, box)])
        self.save_strip([normal, hot, pushed, disabled, normal], name)

    def window_buttons(self):
        w, h = WINDOW_BUTTON
        ground = {}
        for name, (x, y) in (("mini", MINI_POS), ("close", CLOSE_POS)):
            path = self.p.tmp("ground_" + name)
            self.p.run(self.sky, "-crop", self.p.crop(w, h, x, y), "+repage",
                       "-fill", "#00000014", "-draw",
                       "rectangle 0,0 %d,%d" % (self.p.px(w), self.p.px(h)), path)
            ground[name] = path

        def glyph(name, colour):
            if name == "mini":
                return [(colour, "none", 0, "rectangle 5,7 13,8")]
            return [("none", colour, 1.6, "line 5,3 13,11"), ("none", colour, 1.6, "line 13,3 5,11")]

        for name, hot_fill, pushed_fill in (("mini", "#FFFFFF38", "#00000030"),
                                            ("close", "#E5484D", "#C0353A")):
            def s(fill, colour):
                path = self.p.tmp("wb")
                args = [ground[name]]
                if fill:
                    args += ["-fill", fill, "-draw", self.p.mvg("roundrectangle 0,0 %d,%d 3,3" % (w - 1, h - 1))]
                args += self.p.primitives(glyph(name, colour))
                self.p.run(*args, path)
                return path
            normal = s(None, "#FFFFFFE6")
            self.save_strip([normal, s(hot_fill, "white"), s(pushed_fill, "white"),
                             s(None, "#FFFFFF55"), normal], name + ".bmp")

    def check_boxes(self):
        box = "roundrectangle 1,1 13,13 2,2"
        tick = polygon(stroke_outline(TICK, TICK_WIDTH))

        def checked(fill):
            return self.slot(15, 15, "white", [(fill, fill, 1, box), ("white", "none", 0, tick)])

        def empty(fill, rim):
            return self.slot(15, 15, "white", [(fill, rim, 1, box)])

        on = checked(BLUE)
        self.save_strip([on, checked(BLUE_HOT), checked(BLUE_PUSHED), checked(GREY_DISABLED), on],
                        "checkbox.bmp")
        off = empty("white", "#9AA4B2")
        self.save_strip([off, empty("white", BLUE), empty("#EAF2FD", BLUE_PUSHED),
                         empty(LIGHT_FILL, "#D5D9DF"), off], "uncheckbox.bmp")

    def path_field(self):
        """Frame of the path field. The window stretches each 286 x 40 slot to
        510 x 34 without corner handling: the top and bottom rims are two rows
        thick so that shrinking 40 rows to 34 cannot drop a whole rim, while
        the side rims stay one column thick because widening only repeats
        columns."""
        w, h = 286, 40

        def s(rim, fill):
            return self.slot(w, h, fill, [(rim, "none", 0, "rectangle 0,0 %d,1" % (w - 1)),
                                          (rim, "none", 0, "rectangle 0,%d %d,%d" % (h - 2, w - 1, h - 1)),
                                          (rim, "none", 0, "rectangle 0,0 0,%d" % (h - 1)),
                                          (rim, "none", 0, "rectangle %d,0 %d,%d" % (w - 1, w - 1, h - 1))])
        normal = s("#CDD3DC", "white")
        self.save_strip([normal, s("#8FBAF3", "white"), s(BLUE, "white"), s("#DDE0E5", LIGHT_FILL), normal],
                        "input.bmp")

    def progress(self):
        self.p.run("-size", self.p.canvas(10, 5), "xc:#E3E8EF", "-alpha", "off", "-type", "TrueColor",
                   "BMP3:" + self.bmp("progress_bg.bmp"))
        self.p.run("-size", self.p.canvas(10, 5), "gradient:#58A2F8-%s" % BLUE, "-alpha", "off",
                   "-type", "TrueColor", "BMP3:" + self.bmp("progress_pr.bmp"))


def main(out):
    if not os.path.exists(FONT):
        sys.exit("draw_images.py: font %s not found (Debian package fonts-wqy-microhei)" % FONT)
    if shutil.which("convert") is None:
        sys.exit("draw_images.py: ImageMagick's convert not found (Debian package imagemagick)")
    work = tempfile.mkdtemp(prefix="tn_skin_")
    try:
        for scale in SCALES:
            skin = Skin(out, work, scale)
            skin.welcome_background()
            skin.options_background()
            skin.finish_background()
            skin.slides()
            skin.filled_button("install.bmp", 180, 46, 23)
            skin.filled_button("invoker.bmp", 130, 46, 23)
            skin.outline_button("browser.bmp", 53, 35)
            skin.outline_button("return.bmp", 60, 30)
            skin.window_buttons()
            skin.check_boxes()
            skin.path_field()
            skin.progress()
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: draw_images.py OUT_DIR")
    main(sys.argv[1])
