"""The fifteen flower pictures, each a small scene of rose parts."""

import math

import numpy as np

from plants import (DEG, PetalColours, auto_drops, axis_to, bezier, bloom, bud, curve_tube, leaf, place,
                    receptacle, sepals)
from render3d import Renderer, rot_x, rot_y, rot_z

PINK = PetalColours(base=(0.60, 0.07, 0.24), middle=(0.93, 0.38, 0.56), rim=(1.0, 0.74, 0.82))
PALE_PINK = PetalColours(base=(0.84, 0.32, 0.46), middle=(0.99, 0.62, 0.72), rim=(1.0, 0.84, 0.88))
RED = PetalColours(base=(0.32, 0.0, 0.04), middle=(0.76, 0.04, 0.10), rim=(0.92, 0.20, 0.22),
                   back=(0.80, 0.16, 0.18))
DEEP_PINK = PetalColours(base=(0.42, 0.0, 0.18), middle=(0.84, 0.10, 0.42), rim=(0.96, 0.42, 0.66))
DARK_RED = PetalColours(base=(0.16, 0.0, 0.02), middle=(0.48, 0.02, 0.06), rim=(0.66, 0.07, 0.11),
                        back=(0.55, 0.06, 0.09))
YELLOW = PetalColours(base=(0.88, 0.42, 0.02), middle=(1.0, 0.76, 0.08), rim=(1.0, 0.92, 0.40))
PALE_YELLOW = PetalColours(base=(0.94, 0.58, 0.16), middle=(1.0, 0.86, 0.42), rim=(1.0, 0.95, 0.66))

# Pale petals must not reach pure white, or the white key would punch holes.
CAP = 0.972


def head(r, colours, at=(0, 0, 0), axis=(0, 0, 1), spin=0.0, size=1.0, seed=1, with_sepals=True, **kw):
    parts = bloom(colours, seed=seed, size=size, **kw)
    if with_sepals:
        parts += sepals(count=5, length=0.55, width=0.12, droop=-25 * DEG, size=size, h0=-0.08, r0=0.2,
                        seed=seed + 50)
        parts.append(receptacle(0.13 * size, 0.2 * size, -0.06 * size))
    place(parts, axis_to(axis) @ rot_z(spin), at)
    for p in parts:
        r.add(p)


def rosebud(r, colours, at=(0, 0, 0), axis=(0, 0, 1), spin=0.0, size=1.0, seed=1, opening=0.0,
            clasp=True):
    parts = bud(colours, seed=seed, size=size, opening=opening)
    if clasp:
        parts += sepals(count=5, length=0.75, width=0.16, size=size, h0=-0.02, r0=0.07, seed=seed + 50,
                        rise=62 * DEG)
    else:
        parts += sepals(count=5, length=0.6, width=0.13, droop=-10 * DEG, size=size, h0=-0.03, r0=0.09,
                        seed=seed + 50)
    parts.append(receptacle(0.14 * size, 0.28 * size, -0.02 * size))
    place(parts, axis_to(axis) @ rot_z(spin), at)
    for p in parts:
        r.add(p)


def stem(r, p0, p1, p2, p3, radius=0.035):
    r.add(curve_tube(bezier(p0, p1, p2, p3), radius))


def leaf_at(r, at, yaw, pitch=0.0, roll=40.0, length=0.8, width=0.42, seed=5, fold=0.25, bend=0.12):
    s = leaf(length=length, width=width, seed=seed, fold=fold, bend=bend)
    place([s], rot_z(yaw * DEG) @ rot_y(-pitch * DEG) @ rot_x(roll * DEG), at)
    r.add(s)


def finish(r, drops=None, cap=CAP, **fit):
    r.fit(**fit)
    if drops:
        r.overlays.append(drops)
    return r.render(highlight_cap=cap)


def is_petal(c):
    return c[0] > c[1] + 0.15


# -- the pictures ----------------------------------------------------------


def flower_01():
    r = Renderer(147, 163, elevation=28)
    head(r, PINK, axis=(0, -0.45, 1), seed=11, count=24)
    stem(r, (0, 0.02, -0.25), (0.02, 0, -0.8), (-0.06, 0, -1.2), (0.02, 0, -1.75))
    leaf_at(r, (0.0, 0.0, -0.95), yaw=200, pitch=15, roll=55, seed=3, length=0.75, width=0.40)
    leaf_at(r, (0.0, 0.0, -1.2), yaw=-15, pitch=20, roll=50, seed=4, length=0.7, width=0.38)
    return finish(r, margin=2)


def flower_02():
    r = Renderer(147, 90, elevation=25)
    head(r, PALE_PINK, axis=(-0.6, -0.6, 0.55), seed=21, count=22)
    stem(r, (0.12, 0.05, -0.12), (0.6, 0.05, -0.35), (0.95, 0.0, -0.4), (1.35, 0.0, -0.55))
    leaf_at(r, (0.85, 0.0, -0.40), yaw=60, pitch=25, roll=60, seed=7, length=0.55, width=0.32)
    return finish(r, margin=2)


def flower_03():
    r = Renderer(100, 77, elevation=38)
    head(r, RED, axis=(0.1, -0.35, 1), seed=31, count=22, with_sepals=False)
    return finish(r, margin=2)


def flower_04():
    r = Renderer(115, 115, elevation=25)
    rosebud(r, RED, at=(0.55, 0, 0.55), axis=(0.35, -0.2, 1), seed=41, size=1.15)
    stem(r, (0.52, 0.0, 0.45), (0.3, 0.0, 0.0), (-0.1, 0.0, -0.6), (-0.75, 0.0, -1.3), radius=0.022)
    leaf_at(r, (0.1, 0.0, -0.25), yaw=165, pitch=30, roll=55, seed=9, length=0.55, width=0.3)
    return finish(r, margin=2)


def flower_05():
    # Kept mostly in the top left: the picture button shows only that part.
    r = Renderer(125, 135, elevation=25)
    rosebud(r, RED, at=(0, 0, 0), axis=(0.15, -0.25, 1), seed=51, size=1.2, opening=0.35)
    stem(r, (0, 0, -0.15), (0.05, 0, -0.6), (-0.05, 0, -1.0), (0.05, 0, -1.55), radius=0.03)
    leaf_at(r, (0.02, 0, -0.55), yaw=20, pitch=25, roll=55, seed=12, length=0.8, width=0.44)
    leaf_at(r, (0.0, 0, -0.9), yaw=195, pitch=20, roll=55, seed=13, length=0.8, width=0.44)
    leaf_at(r, (0.02, 0, -1.3), yaw=-20, pitch=10, roll=50, seed=14, length=0.65, width=0.38)
    drops = auto_drops(6, (2.0, 3.2), seed=5, predicate=is_petal)
    return finish(r, drops=drops, margin=(3), zoom=0.93, align=(0.25, 0.2))


def flower_06():
    r = Renderer(147, 131, elevation=58)
    head(r, PINK, axis=(0, -0.15, 1), seed=61, count=28, open_amount=1.15)
    return finish(r, margin=2)


def flower_07():
    r = Renderer(130, 129, elevation=45)
    head(r, DEEP_PINK, axis=(0, -0.2, 1), seed=71, count=24, with_sepals=False)
    return finish(r, margin=2)


def flower_08():
    r = Renderer(147, 110, elevation=30)
    head(r, RED, axis=(0.2, -0.35, 1), seed=81, count=26, open_amount=1.1)
    return finish(r, margin=2)


def flower_09():
    r = Renderer(147, 125, elevation=40)
    head(r, PINK, axis=(-0.15, -0.3, 1), seed=91, count=25, with_sepals=True)
    return finish(r, margin=2)


def flower_10():
    r = Renderer(147, 139, elevation=35)
    head(r, PINK, at=(-0.55, 0.35, 0.15), axis=(-0.3, -0.3, 1), seed=101, count=24, size=1.0)
    head(r, PINK, at=(0.55, -0.3, -0.3), axis=(0.3, -0.5, 1), seed=102, count=22, size=0.95)
    leaf_at(r, (-0.3, 0.3, -0.4), yaw=215, pitch=0, roll=40, seed=15, length=0.85, width=0.45)
    leaf_at(r, (0.6, 0.1, -0.7), yaw=-30, pitch=0, roll=40, seed=16, length=0.8, width=0.42)
    return finish(r, margin=2)


def flower_11():
    r = Renderer(147, 102, elevation=30)
    rosebud(r, RED, at=(-0.6, 0.2, 0.2), axis=(-1, -0.1, 0.25), seed=111, size=0.8, opening=0.2, clasp=False)
    rosebud(r, RED, at=(0.1, -0.2, -0.25), axis=(-0.9, -0.3, -0.15), seed=112, size=0.85, opening=0.1,
            clasp=False)
    stem(r, (-0.45, 0.2, 0.15), (0.1, 0.2, 0.1), (0.6, 0.1, 0.0), (1.0, 0.0, 0.05), radius=0.03)
    stem(r, (0.25, -0.2, -0.28), (0.6, -0.15, -0.3), (0.9, 0.0, -0.2), (1.1, 0.0, -0.15), radius=0.03)
    return finish(r, margin=2)


def flower_12():
    # A close-up: the bloom fills the picture; the ground between petals is
    # deep shadow, never white.
    r = Renderer(147, 98, elevation=72, background=(0.16, 0.0, 0.03))
    head(r, DARK_RED, axis=(0, -0.1, 1), seed=121, count=30, with_sepals=False, open_amount=1.1)
    drops = auto_drops(12, (1.8, 3.6), seed=12, margin=2)
    return finish(r, drops=drops, cover=True, zoom=1.45, margin=0)


def flower_13():
    r = Renderer(147, 142, elevation=25)
    rosebud(r, RED, at=(-0.55, 0, 0.6), axis=(-0.3, -0.2, 1), seed=131, size=0.95, opening=0.2)
    rosebud(r, RED, at=(0.6, 0.1, 0.2), axis=(0.35, -0.2, 1), seed=132, size=0.9, opening=0.0)
    stem(r, (-0.52, 0, 0.5), (-0.4, 0, -0.2), (0.0, 0, -0.9), (0.2, 0, -1.6), radius=0.028)
    stem(r, (0.57, 0.1, 0.1), (0.5, 0.1, -0.4), (0.25, 0, -1.0), (0.2, 0, -1.6), radius=0.028)
    leaf_at(r, (-0.35, 0, -0.35), yaw=185, pitch=20, roll=55, seed=17, length=0.5, width=0.28)
    leaf_at(r, (-0.15, 0, -0.7), yaw=10, pitch=15, roll=50, seed=18, length=0.45, width=0.26)
    leaf_at(r, (0.45, 0, -0.45), yaw=-10, pitch=20, roll=55, seed=19, length=0.5, width=0.28)
    leaf_at(r, (0.28, 0, -1.0), yaw=170, pitch=10, roll=50, seed=20, length=0.45, width=0.26)
    return finish(r, margin=2)


def flower_14():
    r = Renderer(147, 134, elevation=40)
    head(r, YELLOW, axis=(0.1, -0.3, 1), seed=141, count=26)
    leaf_at(r, (-0.3, 0.2, -0.35), yaw=200, pitch=-5, roll=35, seed=21, length=0.7, width=0.4)
    leaf_at(r, (0.3, 0.2, -0.4), yaw=-25, pitch=-5, roll=35, seed=22, length=0.65, width=0.38)
    return finish(r, margin=2)


def flower_15():
    r = Renderer(147, 124, elevation=38)
    head(r, PALE_YELLOW, at=(-0.8, 0.3, 0.0), axis=(-0.35, -0.25, 1), seed=151, count=22, size=0.85)
    head(r, PALE_YELLOW, at=(0.8, 0.35, 0.05), axis=(0.35, -0.25, 1), seed=152, count=22, size=0.8)
    head(r, PALE_YELLOW, at=(0.0, -0.35, -0.25), axis=(0.0, -0.45, 1), seed=153, count=24, size=0.95)
    leaf_at(r, (-0.6, 0.3, -0.4), yaw=215, pitch=0, roll=40, seed=23, length=0.8, width=0.44)
    leaf_at(r, (0.6, 0.3, -0.4), yaw=-35, pitch=0, roll=40, seed=24, length=0.8, width=0.44)
    return finish(r, margin=2)


PICTURES = {f"flower_{i:02d}": globals()[f"flower_{i:02d}"] for i in range(1, 16)}
