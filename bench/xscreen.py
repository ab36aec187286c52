"""Reads rectangles of an X display's root window through libX11, cheaply
enough to poll every few milliseconds (a screenshot through ImageMagick
takes a quarter of a second and a core)."""
import ctypes
import ctypes.util

_ZPIXMAP = 2
_ALL_PLANES = ctypes.c_ulong(0xFFFFFFFF)


class _XImage(ctypes.Structure):
    _fields_ = [
        ("width", ctypes.c_int),
        ("height", ctypes.c_int),
        ("xoffset", ctypes.c_int),
        ("format", ctypes.c_int),
        ("data", ctypes.c_void_p),
        ("byte_order", ctypes.c_int),
        ("bitmap_unit", ctypes.c_int),
        ("bitmap_bit_order", ctypes.c_int),
        ("bitmap_pad", ctypes.c_int),
        ("depth", ctypes.c_int),
        ("bytes_per_line", ctypes.c_int),
        ("bits_per_pixel", ctypes.c_int),
    ]


_lib = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
_lib.XOpenDisplay.restype = ctypes.c_void_p
_lib.XOpenDisplay.argtypes = [ctypes.c_char_p]
_lib.XDefaultRootWindow.restype = ctypes.c_ulong
_lib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
_lib.XGetImage.restype = ctypes.POINTER(_XImage)
_lib.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                           ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
_lib.XDestroyImage.argtypes = [ctypes.POINTER(_XImage)]
_lib.XCloseDisplay.argtypes = [ctypes.c_void_p]


class Screen:
    def __init__(self, display_name):
        self._display = _lib.XOpenDisplay(display_name.encode())
        if not self._display:
            raise RuntimeError("cannot open X display %s" % display_name)
        self._root = _lib.XDefaultRootWindow(self._display)

    def grab(self, x, y, width, height):
        """The rectangle's pixels as bytes, 4 bytes a pixel, row by row."""
        image = _lib.XGetImage(self._display, self._root, x, y, width, height,
                               _ALL_PLANES, _ZPIXMAP)
        if not image:
            raise RuntimeError("XGetImage failed")
        try:
            info = image.contents
            rows = [ctypes.string_at(info.data + row * info.bytes_per_line,
                                     width * info.bits_per_pixel // 8)
                    for row in range(height)]
            return b"".join(rows)
        finally:
            _lib.XDestroyImage(image)

    def close(self):
        if self._display:
            _lib.XCloseDisplay(self._display)
            self._display = None


def changed_share(before, after):
    """The share of 4-byte pixels that differ between two grabs."""
    pixels = len(before) // 4
    if pixels == 0 or len(after) != len(before):
        return 1.0
    differ = sum(1 for i in range(0, len(before), 4) if before[i:i + 3] != after[i:i + 3])
    return differ / pixels
