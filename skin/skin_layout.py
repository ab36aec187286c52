"""A small, forgiving reader for the skin's layout files, for build-time tools
(preview rendering, package checks). The layout files are read the way the
window framework reads them: a byte-order mark is skipped, attribute pairs
need no separating blank, and a repeated attribute keeps its last value. It
is not a general XML parser: no comments inside tags, no CDATA, no DTD."""
import re
import struct

_TAG = re.compile(r"<(/?)([A-Za-z_][\w.-]*)((?:[^>\"']|\"[^\"]*\"|'[^']*')*?)(/?)>", re.S)
_ATTR = re.compile(r"([A-Za-z_][\w.-]*)\s*=\s*(?:\"([^\"]*)\"|'([^']*)')")
_REF = re.compile(r"&(#x[0-9A-Fa-f]+|#[0-9]+|amp|lt|gt|quot|apos);")
_NAMED = {"amp": "&", "lt": "<", "gt": ">", "quot": '"', "apos": "'"}


def unescape(text):
    def ref(m):
        name = m.group(1)
        if name.startswith("#x"):
            return chr(int(name[2:], 16))
        if name.startswith("#"):
            return chr(int(name[1:]))
        return _NAMED[name]
    return _REF.sub(ref, text)


class Element:
    def __init__(self, tag, attrs, parent=None):
        self.tag = tag
        self.attrs = attrs          # dict; the last of repeated names wins
        self.attr_list = []         # every (name, value) pair in file order
        self.parent = parent
        self.children = []

    def get(self, name, default=None):
        return self.attrs.get(name, default)

    def iter(self):
        yield self
        for child in self.children:
            yield from child.iter()

    def find(self, name):
        """Every element of this subtree whose name attribute is `name`."""
        return [e for e in self.iter() if e.get("name") == name]


def parse(data):
    """Parses layout bytes (UTF-8, optional BOM); returns the root Element.
    Raises ValueError on unbalanced tags."""
    text = data.decode("utf-8-sig")
    text = re.sub(r"<!--.*?-->", "", text, flags=re.S)
    text = re.sub(r"<\?.*?\?>", "", text, flags=re.S)
    root = None
    stack = []
    for m in _TAG.finditer(text):
        closing, tag, body, empty = m.groups()
        if closing:
            if not stack or stack[-1].tag != tag:
                raise ValueError("unexpected </%s>" % tag)
            stack.pop()
            continue
        element = Element(tag, {}, stack[-1] if stack else None)
        for am in _ATTR.finditer(body):
            value = unescape(am.group(2) if am.group(2) is not None else am.group(3))
            element.attr_list.append((am.group(1), value))
            element.attrs[am.group(1)] = value
        if stack:
            stack[-1].children.append(element)
        elif root is None:
            root = element
        else:
            raise ValueError("second root element <%s>" % tag)
        if not empty:
            stack.append(element)
    if root is None or stack:
        raise ValueError("missing or unclosed root element")
    return root


def rect(element):
    """(x, y, width, height) of a floating control: pos gives left and top."""
    x, y = (int(v) for v in element.get("pos", "0,0,0,0").split(",")[:2])
    return x, y, int(element.get("width", "0")), int(element.get("height", "0"))


def image_spec(value):
    """Splits an image attribute into (file, source rectangle or None).
    Accepts "image\\x.bmp" and "file='image\\x.bmp' source='l,t,r,b'"."""
    if value is None or value == "":
        return None
    if "=" not in value:
        return value, None
    parts = dict(re.findall(r"(\w+)\s*=\s*'([^']*)'", value))
    source = parts.get("source")
    box = tuple(int(v) for v in source.split(",")) if source else None
    return parts.get("file"), box


IMAGE_ATTRIBUTES = ("bkimage", "normalimage", "hotimage", "pushedimage", "disabledimage",
                    "focusedimage", "selectedimage", "selectedhotimage", "foreimage")


def bmp_info(data):
    """(width, height, bits per pixel, compression) of a Windows bitmap."""
    if len(data) < 54 or data[:2] != b"BM":
        raise ValueError("not a BMP file")
    width, height = struct.unpack_from("<ii", data, 18)
    bits, compression = struct.unpack_from("<HI", data, 28)
    return width, abs(height), bits, compression


def colour(value):
    """#AARRGGBB -> (r, g, b); the alpha byte is not used by text drawing."""
    v = value.lstrip("#")
    if len(v) != 8:
        raise ValueError("colour %r is not #AARRGGBB" % value)
    return int(v[2:4], 16), int(v[4:6], 16), int(v[6:8], 16)
