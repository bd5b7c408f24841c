#!/usr/bin/env python3
"""The structure check of a window's screenshot against rendered frames.

Arguments: the screenshot (any size: it is scaled to 160 x 120) and a folder of
PNG frames rendered by wendril-capture. The screenshot's figures (share of lit
pixels, centre of the lit pixels, darkness of the border, blue to red ratio)
must lie within the frames' ranges, widened by margins. Prints each figure
beside its range; exit status 1 when one is out of range.
Used by the Linux window test and the Windows test under Wine.
"""
import os, subprocess, sys
shot_path, ref_dir = sys.argv[1:3]
W, H = 160, 120

def pictures(paths):
    """The pictures at 160 x 120 (box filter), in one ImageMagick run."""
    raw = subprocess.run(["convert", *paths, "-filter", "box", "-resize", "%dx%d!" % (W, H), "-depth", "8", "rgb:-"],
                         capture_output=True, check=True).stdout
    return [raw[i:i + W * H * 3] for i in range(0, len(raw), W * H * 3)]

def figures(rgb):
    lit = n = 0
    sx = sy = sr = sb = 0
    border = border_n = 0
    for y in range(H):
        for x in range(W):
            r, g, b = rgb[3 * (y * W + x):3 * (y * W + x) + 3]
            if x < W // 10 or x >= W - W // 10 or y < H // 10 or y >= H - H // 10:
                border += r + g + b
                border_n += 3
            if max(r, g, b) > 24:
                lit += 1
                sx += x
                sy += y
                sr += r
                sb += b
    lit = max(lit, 1)
    return {"lit": lit / (W * H), "x": 2 * sx / lit, "y": 2 * sy / lit,
            "border": border / border_n / 255, "blue/red": (sb + 1) / (sr + 1)}

names = sorted(n for n in os.listdir(ref_dir) if n.endswith(".png"))
refs = [figures(p) for p in pictures([os.path.join(ref_dir, n) for n in names])]
shot = figures(pictures([shot_path])[0])
# (low, high) allowed for each figure: the rendered frames' range widened.
allowed = {}
for k in shot:
    lo, hi = min(r[k] for r in refs), max(r[k] for r in refs)
    allowed[k] = {"lit": (lo * 0.7, hi * 1.3), "x": (lo - 6, hi + 6), "y": (lo - 6, hi + 6),
                  "border": (0, hi + 0.02), "blue/red": (lo * 0.9, hi * 1.1)}[k]
ok = True
for k, v in shot.items():
    lo, hi = allowed[k]
    good = lo <= v <= hi
    ok = ok and good
    print("  %-8s %8.3f   rendered frames %.3f .. %.3f%s" % (k, v, min(r[k] for r in refs), max(r[k] for r in refs),
                                                          "" if good else "   OUT OF RANGE"))
sys.exit(0 if ok else 1)
