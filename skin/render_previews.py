#!/usr/bin/env python3
"""Composes pictures of the installer's pages from a packed skin, the way the
window draws them: container background, then every floating control in file
order with its background colour, background image, state image and text.

usage: render_previews.py SKIN.zip OUT_DIR

Writes home.png, home_agreement.png (agreement shown, check box cleared),
custom.png, installing.png (at 57 percent), success.png and states.png (the
hot, pushed and disabled looks of the buttons)."""
import os
import shutil
import subprocess
import sys
import tempfile
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import skin_layout  # noqa: E402

FONT = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"
W, H = 610, 390


def convert(*args):
    subprocess.run(["convert"] + [str(a) for a in args], check=True)


def text_size(path):
    out = subprocess.run(["identify", "-format", "%w %h", path], check=True,
                         capture_output=True, text=True).stdout.split()
    return int(out[0]), int(out[1])


def im_literal(text):
    """ImageMagick expands backslash and percent escapes in label texts."""
    return text.replace("\\", "\\\\").replace("%", "%%")


class Page:
    def __init__(self, skin_dir, fonts, work):
        self.skin_dir = skin_dir
        self.fonts = fonts
        self.work = work
        self.n = 0

    def tmp(self):
        self.n += 1
        return os.path.join(self.work, "p%04d.png" % self.n)

    def image_path(self, name):
        return os.path.join(self.skin_dir, name.replace("\\", "/"))

    def paste(self, canvas, spec, box, fraction=1.0):
        """Draws an image attribute stretched into box (x, y, w, h)."""
        parsed = skin_layout.image_spec(spec)
        if not parsed:
            return
        name, source = parsed
        x, y, w, h = box
        piece = self.tmp()
        args = [self.image_path(name)]
        if source:
            l, t, r, b = source
            args += ["-crop", "%dx%d+%d+%d" % (r - l, b - t, l, t), "+repage"]
        # Stretched without filtering, like a plain StretchBlt.
        args += ["-sample", "%dx%d!" % (w, h)]
        if fraction < 1.0:
            args += ["-crop", "%dx%d+0+0" % (max(1, int(w * fraction)), h), "+repage"]
        convert(*args, piece)
        if fraction > 0:
            convert(canvas, piece, "-geometry", "+%d+%d" % (x, y), "-composite", canvas)

    def text(self, canvas, element, box, state, value=None):
        value = element.get("text", "") if value is None else value
        if not value:
            return
        font = self.fonts.get(element.get("font"), self.fonts.get("default"))
        colour_attr = {"hot": "hottextcolor", "pushed": "pushedtextcolor",
                       "disabled": "disabledtextcolor"}.get(state, "textcolor")
        colour = element.get(colour_attr) or element.get("textcolor", "#FF000000")
        r, g, b = skin_layout.colour(colour)
        fill = "#%02X%02X%02X" % (r, g, b)
        label = self.tmp()
        stroke = ["-stroke", fill, "-strokewidth", "0.6"] if font["bold"] else []
        convert("-background", "none", "-fill", fill, *stroke, "-font", FONT,
                "-pointsize", font["size"], "label:" + im_literal(value), label)
        tw, th = text_size(label)
        x, y, w, h = box
        pad = [int(v) for v in element.get("textpadding", "0,0,0,0").split(",")]
        # The padded rectangle may be inverted (a check box's caption padding
        # is wider than its box); aligning to its edges or middle still
        # places the caption beside the box, as the window does.
        left, right = x + pad[0], x + w - pad[2]
        align = element.get("align", "left" if element.tag in ("Label", "Edit") else "center")
        if align == "center":
            tx = (left + right - tw) // 2
        elif align == "right":
            tx = right - tw
        else:
            tx = left
        ty = y + pad[1] + (h - pad[1] - pad[3] - th) // 2
        underline = (max(tx, x), min(ty + th - 2, y + h - 1), min(tx + tw, x + w) - 1)
        if element.tag != "Option":
            # Text is clipped to its control, as DrawText does without DT_NOCLIP.
            clipped = self.tmp()
            convert("-size", "%dx%d" % (w, h), "xc:none", label, "-geometry",
                    "%+d%+d" % (tx - x, ty - y), "-composite", clipped)
            label, tx, ty = clipped, x, y
        convert(canvas, label, "-geometry", "+%d+%d" % (tx, ty), "-composite", canvas)
        if font["underline"]:
            ux0, uy, ux1 = underline
            convert(canvas, "-fill", fill, "-draw", "rectangle %d,%d %d,%d" % (ux0, uy, ux1, uy), canvas)

    def rich_text(self, canvas, element, box):
        x, y, w, h = box
        pad = [int(v) for v in element.get("textpadding", "0,0,0,0").split(",")]
        font = self.fonts.get(element.get("font"), self.fonts.get("default"))
        r, g, b = skin_layout.colour(element.get("textcolor", "#FF000000"))
        body = self.tmp()
        inner_w, inner_h = w - pad[0] - pad[2] - 12, h - pad[1] - pad[3]
        convert("-background", "none", "-fill", "#%02X%02X%02X" % (r, g, b), "-font", FONT,
                "-pointsize", font["size"], "-size", "%dx" % inner_w,
                # only what fits the box is needed
                "caption:" + im_literal(element.get("text", "")[:420]), "-crop", "%dx%d+0+0" % (inner_w, inner_h),
                "+repage", body)
        convert(canvas, body, "-geometry", "+%d+%d" % (x + pad[0], y + pad[1]), "-composite",
                # the scroll bar: track and a thumb at the top
                "-fill", "#EEF0F3", "-draw", "rectangle %d,%d %d,%d" % (x + w - 10, y + 2, x + w - 3, y + h - 3),
                "-fill", "#C1C7D0", "-draw", "roundrectangle %d,%d %d,%d 3,3" % (x + w - 10, y + 2, x + w - 3, y + 40),
                canvas)

    def control(self, canvas, element, overrides):
        state = overrides.get(element.get("name"), {}).get("state", "normal")
        if element.get("enabled") == "false":
            state = "disabled"
        box = skin_layout.rect(element)
        x, y, w, h = box
        bk = element.get("bkcolor")
        if bk and not bk.upper().startswith("#00"):
            r, g, b = skin_layout.colour(bk)
            convert(canvas, "-fill", "#%02X%02X%02X" % (r, g, b), "-draw",
                    "rectangle %d,%d %d,%d" % (x, y, x + w - 1, y + h - 1), canvas)
        self.paste(canvas, element.get("bkimage"), box)
        if element.tag == "Progress":
            value = int(overrides.get(element.get("name"), {}).get("value", element.get("value", "0")))
            span = int(element.get("max", "100")) - int(element.get("min", "0"))
            self.paste(canvas, element.get("foreimage"), box, value / span if span else 0)
        selected = element.get("selected") == "true"
        if "selected" in overrides.get(element.get("name"), {}):
            selected = overrides[element.get("name")]["selected"]
        image = element.get("normalimage")
        if element.tag == "Option" and selected:
            image = element.get("selectedimage") or image
        if state != "normal" and element.get(state + "image"):
            image = element.get(state + "image")
        self.paste(canvas, image, box)
        if element.tag == "RichEdit":
            self.rich_text(canvas, element, box)
        elif element.tag == "Edit" and not element.get("text"):
            hint = dict(element.attrs, text=element.get("tipvalue", ""),
                        textcolor=element.get("tipvaluecolor", "#FF999999"))
            self.text(canvas, skin_layout.Element("Edit", hint), box, "normal")
        else:
            self.text(canvas, element, box, state, overrides.get(element.get("name"), {}).get("text"))

    def render(self, root, out, overrides=None):
        overrides = overrides or {}
        canvas = self.tmp()
        convert("-size", "%dx%d" % (W, H), "xc:white", canvas)
        page = next(e for e in root.iter() if e.get("bkimage") and e.get("height") == "390")
        self.paste(canvas, page.get("bkimage"), (0, 0, W, H))
        for element in page.children:
            visible = overrides.get(element.get("name"), {}).get("visible", element.get("visible") != "false")
            if visible and element.get("float") == "true":
                self.control(canvas, element, overrides)
        shutil.copyfile(canvas, out)


def load_fonts(skin_dir):
    with open(os.path.join(skin_dir, "UIFont.xml"), "rb") as f:
        root = skin_layout.parse(f.read())
    fonts = {}
    for e in root.iter():
        if e.tag == "Font":
            font = {"size": int(e.get("size")), "bold": e.get("bold") == "true",
                    "underline": e.get("underline") == "true"}
            fonts[e.get("id")] = font
            if e.get("default") == "true":
                fonts["default"] = font
    return fonts


def main(zip_path, out_dir):
    os.makedirs(out_dir, exist_ok=True)
    work = tempfile.mkdtemp(prefix="tn_preview_")
    try:
        skin_dir = os.path.join(work, "skin")
        with zipfile.ZipFile(zip_path) as z:
            z.extractall(skin_dir)
        page = Page(skin_dir, load_fonts(skin_dir), work)

        def layout(name):
            with open(os.path.join(skin_dir, name), "rb") as f:
                return skin_layout.parse(f.read())

        home = layout("UI_HomePage.xml")
        page.render(home, os.path.join(out_dir, "home.png"))
        page.render(home, os.path.join(out_dir, "home_agreement.png"),
                    {"re_read": {"visible": True}, "btn_checkbox": {"selected": False}})
        page.render(layout("UI_CustomInstall.xml"), os.path.join(out_dir, "custom.png"),
                    {"btn_cb_Launchbar": {"selected": False}, "btn_browser": {"state": "hot"}})
        page.render(layout("UI_Installing.xml"), os.path.join(out_dir, "installing.png"),
                    {"p_progress": {"value": 57}, "l_percent": {"text": "57%"}})
        page.render(layout("UI_InstallSuccess.xml"), os.path.join(out_dir, "success.png"))
        states = []
        for state in ("hot", "pushed", "disabled"):
            path = os.path.join(work, "state_%s.png" % state)
            page.render(home, path, {"btn_install": {"state": state}, "btn_close": {"state": state},
                                     "btn_mini": {"state": state}})
            states.append(path)
        convert(*states, "-crop", "%dx%d+0+0" % (W, H), "+repage", "-append",
                os.path.join(out_dir, "states.png"))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: render_previews.py SKIN.zip OUT_DIR")
    main(sys.argv[1], sys.argv[2])
