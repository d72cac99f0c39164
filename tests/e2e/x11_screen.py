#!/usr/bin/env python3
"""What an operator does at an X screen, for the window's end-to-end run under Wine:
look at it (Xvfb's frame buffer, written with -fbdir, as PNG) and press keys (XTest).

  x11_screen.py shot FRAMEBUFFER OUT.png   the screen as a picture
  x11_screen.py drawn FRAMEBUFFER          exit 0 when a window is drawn on the screen
  x11_screen.py key KEY [KEY...]           presses each key over the screen's middle;
                                           KEY is an X keysym name, after "ctrl+", "alt+"
                                           or "shift+" to hold those, or
                                           "click:X,Y" to click the left button there
Only the standard library and the system's libX11 and libXtst.
"""
import ctypes
import os
import struct
import sys
import zlib


def read_xwd(path):
    with open(path, "rb") as f:
        data = f.read()
    fields = struct.unpack(">25I", data[:100])
    header_size, width, height = fields[0], fields[4], fields[5]
    byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
    ncolors = fields[19]
    if bits_per_pixel != 32:
        raise SystemExit("x11_screen: only 32-bit screens (Xvfb -screen 0 WxHx24)")
    start = header_size + 12 * ncolors
    # Where red, green and blue sit in a pixel: B G R X with the least significant byte first.
    red_green_blue = (2, 1, 0) if byte_order == 0 else (1, 2, 3)
    rows = []
    for y in range(height):
        line = data[start + y * bytes_per_line:start + y * bytes_per_line + 4 * width]
        rgb = bytearray(3 * width)
        for channel, offset in enumerate(red_green_blue):
            rgb[channel::3] = line[offset::4]
        rows.append(bytes(rgb))
    return width, height, rows


def write_png(path, width, height, rows):
    def chunk(kind, body):
        block = kind + body
        return struct.pack(">I", len(body)) + block + struct.pack(">I", zlib.crc32(block))

    raw = b"".join(b"\0" + row for row in rows)
    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
           + chunk(b"IDAT", zlib.compress(raw, 6)) + chunk(b"IEND", b""))
    with open(path + ".part", "wb") as f:
        f.write(png)
    os.replace(path + ".part", path)


def press(keys):
    x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
    xtst = ctypes.cdll.LoadLibrary("libXtst.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XStringToKeysym.restype = ctypes.c_ulong
    x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
    for f in (xtst.XTestFakeKeyEvent, xtst.XTestFakeButtonEvent, xtst.XTestFakeMotionEvent):
        f.argtypes = [ctypes.c_void_p] + [ctypes.c_int] * (4 if f is xtst.XTestFakeMotionEvent else 3)
    x11.XFlush.argtypes = [ctypes.c_void_p]
    x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
    display = x11.XOpenDisplay(None)
    if not display:
        raise SystemExit("x11_screen: no display")
    # Focus follows the pointer on a screen without a window manager.
    xtst.XTestFakeMotionEvent(display, -1, 683, 400, 0)
    modifiers = {"ctrl": b"Control_L", "alt": b"Alt_L", "shift": b"Shift_L"}
    for key in keys:
        if key.startswith("click:"):
            x, y = (int(v) for v in key[len("click:"):].split(","))
            xtst.XTestFakeMotionEvent(display, -1, x, y, 0)
            xtst.XTestFakeButtonEvent(display, 1, 1, 30)
            xtst.XTestFakeButtonEvent(display, 1, 0, 30)
            x11.XSync(display, 0)
            continue
        *mods, key = key.split("+")
        held = [x11.XKeysymToKeycode(display, x11.XStringToKeysym(modifiers[m])) for m in mods]
        code = x11.XKeysymToKeycode(display, x11.XStringToKeysym(key.encode()))
        if code == 0:
            raise SystemExit("x11_screen: no key " + key)
        for c in held:
            xtst.XTestFakeKeyEvent(display, c, 1, 0)
        xtst.XTestFakeKeyEvent(display, code, 1, 0)
        xtst.XTestFakeKeyEvent(display, code, 0, 30)
        for c in held:
            xtst.XTestFakeKeyEvent(display, c, 0, 0)
        x11.XSync(display, 0)


def main(argv):
    if len(argv) >= 3 and argv[1] == "shot":
        write_png(argv[3], *read_xwd(argv[2]))
    elif len(argv) == 3 and argv[1] == "drawn":
        # A tenth of the rows, so that the pointer alone (Xvfb draws it into the frame
        # buffer) does not count as a window.
        _, _, rows = read_xwd(argv[2])
        first = rows[0][:3]
        plain = first * (len(rows[0]) // 3)
        return 0 if sum(row != plain for row in rows) * 10 >= len(rows) else 1
    elif len(argv) >= 3 and argv[1] == "key":
        press(argv[2:])
    else:
        print(__doc__, file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
