#!/usr/bin/env python3
"""Draws the program's own animated pointer and writes assets/uc.ani.

The pointer is an arrow (white fill, black outline, soft shadow) with its tip
at pixel (0, 0), and below it to the right a small red pennant on a pole that
waves through eight frames. Each frame is a one-image CUR file holding a
32x32 32-bit BGRA DIB with its AND mask; the frames go into a RIFF "ACON"
file with an INFO list, an anih header, a rate chunk and a seq chunk.

Run by hand when the picture changes; the result is kept in the repository.
Usage: make-cursor.py [OUTPUT]   (default: assets/uc.ani beside this folder)
"""

import math
import os
import struct
import sys

SIZE = 32
FRAMES = 8
JIFFIES_PER_FRAME = 6  # 1/10 s per frame, a full wave in 0.8 s
SUPERSAMPLE = 4
HOTSPOT = (0, 0)

# The arrow's fill outline, tip first, in pixel units; the black outline is
# drawn around it, so the fill starts one pixel in from the tip pixel.
ARROW = [(1.2, 1.2), (1.2, 18.2), (5.2, 14.4), (8.2, 21.0), (10.9, 19.8),
         (8.0, 13.4), (13.6, 13.4)]
OUTLINE = 1.15  # width of the black line around every shape
SHADOW_OFFSET = (1.0, 1.4)
SHADOW_ALPHA = 0.28

POLE_X = 19.0
POLE_TOP = 14.5
POLE_BOTTOM = 30.5
FLAG_LENGTH = 10.5
FLAG_HEIGHT = 6.5

WHITE = (255, 255, 255)
BLACK = (0, 0, 0)
RED = (206, 38, 38)
POLE = (110, 72, 36)
GOLD = (232, 178, 58)


# ---- Geometry --------------------------------------------------------------

def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / length2))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def inside_polygon(px, py, points):
    inside = False
    n = len(points)
    for i in range(n):
        (ax, ay), (bx, by) = points[i], points[(i + 1) % n]
        if (ay > py) != (by > py) and px < ax + (py - ay) * (bx - ax) / (by - ay):
            inside = not inside
    return inside


def polygon_distance(px, py, points):
    """Signed distance to a polygon's edge: negative inside."""
    n = len(points)
    d = min(segment_distance(px, py, *points[i], *points[(i + 1) % n]) for i in range(n))
    return -d if inside_polygon(px, py, points) else d


def capsule_distance(px, py, ax, ay, bx, by, radius):
    return segment_distance(px, py, ax, ay, bx, by) - radius


def circle_distance(px, py, cx, cy, radius):
    return math.hypot(px - cx, py - cy) - radius


def pennant(phase):
    """The waving pennant as a polygon: top edge out to the point, bottom back."""
    steps = 12
    top, bottom = [], []
    for i in range(steps + 1):
        u = i / steps
        x = POLE_X + 0.6 + u * FLAG_LENGTH
        # The wave grows from nothing at the pole to full at the tip.
        wave = 2.0 * u * math.sin(2 * math.pi * (0.9 * u) - phase)
        half = FLAG_HEIGHT / 2 * (1 - u) + 0.35 * u
        mid = POLE_TOP + 0.5 + FLAG_HEIGHT / 2 + wave
        top.append((x, mid - half))
        bottom.append((x, mid + half))
    return top + bottom[::-1]


# ---- Drawing ---------------------------------------------------------------

class Layer:
    """One shape: a signed distance function, a fill colour and an outline."""

    def __init__(self, distance, fill, outline=OUTLINE):
        self.distance = distance
        self.fill = fill
        self.outline = outline


def over(dst, color, alpha):
    """Straight-alpha 'over' of one sample onto (r, g, b, a) floats."""
    r, g, b, a = dst
    out_a = alpha + a * (1 - alpha)
    if out_a <= 0:
        return (0.0, 0.0, 0.0, 0.0)
    mix = [(c * alpha + d * a * (1 - alpha)) / out_a for c, d in zip(color, (r, g, b))]
    return (mix[0], mix[1], mix[2], out_a)


def render(phase):
    """Returns SIZE*SIZE straight-alpha (r, g, b, a) pixels, top row first."""
    flag = pennant(phase)
    layers = [
        Layer(lambda x, y: capsule_distance(x, y, POLE_X, POLE_TOP, POLE_X, POLE_BOTTOM, 0.8), POLE),
        Layer(lambda x, y: polygon_distance(x, y, flag), RED),
        Layer(lambda x, y: circle_distance(x, y, POLE_X, POLE_TOP - 0.4, 1.3), GOLD),
        Layer(lambda x, y: polygon_distance(x, y, ARROW), WHITE),
    ]
    sx, sy = SHADOW_OFFSET
    pixels = []
    n = SUPERSAMPLE
    for py in range(SIZE):
        for px in range(SIZE):
            acc = [0.0, 0.0, 0.0, 0.0]
            for j in range(n):
                for i in range(n):
                    x = px + (i + 0.5) / n
                    y = py + (j + 0.5) / n
                    sample = (0.0, 0.0, 0.0, 0.0)
                    # The shadow: every shape with its outline, moved down right.
                    if any(layer.distance(x - sx, y - sy) <= layer.outline for layer in layers):
                        sample = over(sample, BLACK, SHADOW_ALPHA)
                    for layer in layers:
                        d = layer.distance(x, y)
                        if d <= 0:
                            sample = over(sample, layer.fill, 1.0)
                        elif d <= layer.outline:
                            sample = over(sample, BLACK, 1.0)
                    # Premultiplied sums, divided out below.
                    acc[0] += sample[0] * sample[3]
                    acc[1] += sample[1] * sample[3]
                    acc[2] += sample[2] * sample[3]
                    acc[3] += sample[3]
            a = acc[3] / (n * n)
            if a < 1 / 255:
                pixels.append((0, 0, 0, 0))
            else:
                pixels.append(tuple(round(c / acc[3]) for c in acc[:3]) + (round(a * 255),))
    return pixels


# ---- Writing ---------------------------------------------------------------

def dib(pixels):
    """A 32-bit BGRA DIB with its AND mask: header, bottom-up rows, mask rows."""
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = bytearray()
    mask = bytearray()
    for y in range(SIZE - 1, -1, -1):
        bits = 0
        for x in range(SIZE):
            r, g, b, a = pixels[y * SIZE + x]
            rows += bytes((b, g, r, a))
            if a == 0:
                bits |= 1 << (SIZE - 1 - x)
        mask += bits.to_bytes(SIZE // 8, 'big')  # 32 pixels: already 4-byte aligned
    return header + bytes(rows) + bytes(mask)


def cur_file(image, hotspot):
    directory = struct.pack('<HHH', 0, 2, 1)
    entry = struct.pack('<BBBBHHII', SIZE, SIZE, 0, 0, hotspot[0], hotspot[1], len(image), 6 + 16)
    return directory + entry + image


def chunk(fourcc, body):
    data = fourcc + struct.pack('<I', len(body)) + body
    return data + (b'\0' if len(body) % 2 else b'')


def list_chunk(kind, chunks):
    return chunk(b'LIST', kind + b''.join(chunks))


def ani_file(frames):
    steps = len(frames)
    af_icon, af_sequence = 1, 2
    anih = struct.pack('<9I', 36, len(frames), steps, 0, 0, 0, 0, JIFFIES_PER_FRAME, af_icon | af_sequence)
    info = list_chunk(b'INFO', [chunk(b'INAM', b'Vexillo pointer\0'), chunk(b'IART', b'Vexillo\0')])
    rate = chunk(b'rate', struct.pack('<%dI' % steps, *([JIFFIES_PER_FRAME] * steps)))
    seq = chunk(b'seq ', struct.pack('<%dI' % steps, *range(steps)))
    fram = list_chunk(b'fram', [chunk(b'icon', f) for f in frames])
    body = b'ACON' + info + chunk(b'anih', anih) + rate + seq + fram
    return b'RIFF' + struct.pack('<I', len(body)) + body


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    output = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, 'assets', 'uc.ani')
    frames = [cur_file(dib(render(2 * math.pi * k / FRAMES)), HOTSPOT) for k in range(FRAMES)]
    with open(output, 'wb') as f:
        f.write(ani_file(frames))


if __name__ == '__main__':
    main()
