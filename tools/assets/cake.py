"""The centre picture: a round cream birthday cake topped with strawberries,
kiwi slices, blueberries and chocolate, on a lace doily and a gold cake
board, seen from slightly above."""

import math

import numpy as np

from plants import place
from render3d import Renderer, Surface, mix, rot_x, rot_y, rot_z, smoothstep, to_uint8

WIDTH, HEIGHT = 1010, 737
CREAM = np.array([0.99, 0.95, 0.84])
CREAM_DEEP = np.array([0.95, 0.86, 0.68])
CHOC = np.array([0.24, 0.12, 0.06])
CHOC_LIGHT = np.array([0.42, 0.24, 0.12])
GOLD = np.array([0.83, 0.66, 0.30])


def _noise(u, v, seed, fu, fv, n=4):
    r = np.random.default_rng(seed)
    out = 0.0
    for k in range(n):
        out = out + np.sin(u * fu * r.uniform(0.6, 1.4) * (k + 1) + v * fv * r.uniform(0.6, 1.4) * (k + 1)
                           + r.uniform(0, 6.3)) / (k + 1)
    return out / 2.1


def solid(colour):
    c = np.asarray(colour, np.float64)
    return lambda u, v, front, P, N: np.broadcast_to(c, u.shape + (3,))


def disc(radius, z, albedo, spec=0.1, shininess=10, edge=None):
    """A flat disc facing up (u: 0 centre .. 1 rim, v: angle)."""

    def fn(u, v):
        th = np.pi * v
        r = radius * u * (1 if edge is None else edge(th))
        return r * np.cos(th), r * np.sin(th), np.full_like(u, z)

    return Surface(fn, albedo, spec=spec, shininess=shininess)


def band(radius, z0, z1, albedo, spec=0.1, shininess=10):
    """The side wall of a cylinder (u: bottom .. top, v: angle)."""

    def fn(u, v):
        th = np.pi * v
        return radius * np.cos(th), radius * np.sin(th), z0 + (z1 - z0) * u

    return Surface(fn, albedo, spec=spec, shininess=shininess)


def revolution(radius_fn, z_fn, albedo, spec=0.2, shininess=20, ao=None):
    """A solid of revolution about +z: radius_fn(u, theta), z_fn(u)."""

    def fn(u, v):
        th = np.pi * v
        r = radius_fn(u, th)
        return r * np.cos(th), r * np.sin(th), z_fn(u) + 0 * th

    return Surface(fn, albedo, spec=spec, shininess=shininess, ao=ao)


def rosette(size=0.12, height=0.13, twist=5.0, ridges=8, colour=CREAM):
    """A swirl of piped cream."""

    def rad(u, th):
        base = size * np.sqrt(np.clip(1 - u ** 1.6, 0, 1)) * (1 - 0.25 * u)
        return base * (1 + 0.16 * np.sin(ridges * th + twist * u * 2 * np.pi) * (1 - u) ** 0.3)

    def z(u):
        return height * u

    def albedo(u, v, front, P, N):
        return mix(CREAM_DEEP, colour, 0.55 + 0.45 * np.sin(ridges * np.pi * v + twist * u * 2 * np.pi))

    return revolution(rad, z, albedo, spec=0.25, shininess=25,
                      ao=lambda u, v: 0.8 + 0.2 * (0.5 + 0.5 * np.sin(ridges * np.pi * v + twist * u * 2 * np.pi)))


def strawberry(length=0.2, width=0.13, seed=1):
    """A whole strawberry, tip along -z from the calyx at the origin."""
    rng = np.random.default_rng(seed)
    lean = rng.uniform(-0.15, 0.15)

    def rad(u, th):
        # u: 0 at the calyx, 1 at the tip.
        return width * np.sin(np.pi * np.clip(u, 0, 1) ** 0.75 * 0.98 + 0.05) ** 0.9 * (1 - 0.35 * u ** 2) * \
            (1 + 0.05 * np.sin(3 * th + lean * 10))

    def z(u):
        return -length * u

    def albedo(u, v, front, P, N):
        base = mix(np.array([0.95, 0.10, 0.10]), np.array([0.70, 0.02, 0.05]), 0.5 + 0.5 * _noise(u, v, seed, 9, 5))
        base = mix(np.array([0.90, 0.55, 0.45]), base, smoothstep(0.0, 0.18, u))
        # Seeds in a staggered grid of little pits.
        su, sv = u * 9, v * 11 + (np.floor(u * 9) % 2) * 0.5
        d = np.hypot((su % 1) - 0.5, (sv % 1) - 0.5)
        seedmask = (d < 0.17) & (u > 0.12) & (u < 0.95)
        pit = (d < 0.3) & (u > 0.12)
        col = np.where(pit[..., None], base * 0.8, base)
        return np.where(seedmask[..., None], np.array([0.95, 0.82, 0.35]), col)

    body = revolution(rad, z, albedo, spec=0.55, shininess=50)
    leaves = []
    for i in range(6):
        phi = i * math.pi / 3 + rng.uniform(-0.2, 0.2)
        L = width * rng.uniform(0.8, 1.1)

        def fn(u, v, phi=phi, L=L):
            r = L * u
            w = 0.28 * L * np.sin(np.pi * u) * v
            z = 0.02 * L - 0.25 * L * u ** 2 + 0.0 * v
            return r * np.cos(phi) - w * np.sin(phi), r * np.sin(phi) + w * np.cos(phi), z

        leaves.append(Surface(fn, solid((0.22, 0.48, 0.12)), spec=0.15, shininess=15))
    stalk = revolution(lambda u, th: 0.012 + 0 * u, lambda u: 0.06 * width / 0.13 * u,
                       solid((0.30, 0.50, 0.18)), spec=0.1)
    return [body, stalk] + leaves


def kiwi_slice(radius=0.16, thick=0.03, seed=3):
    """A kiwi slice lying in the x-y plane, cut face up."""
    rng = np.random.default_rng(seed)
    ph = rng.uniform(0, 6.3)

    def face_albedo(u, v, front, P, N):
        flesh = mix(np.array([0.96, 0.95, 0.72]), np.array([0.45, 0.70, 0.10]), smoothstep(0.15, 0.5, u))
        flesh = mix(flesh, np.array([0.36, 0.58, 0.08]), smoothstep(0.8, 0.97, u))
        rays = 0.5 + 0.5 * np.sin(v * np.pi * 40 + ph)
        flesh = flesh * (1 + 0.08 * rays * smoothstep(0.3, 0.6, u))[..., None]
        ring = (u > 0.26) & (u < 0.36)
        seedpos = np.abs(((v * 22 + ph) % 1.0) - 0.5) < 0.16
        seed_m = ring & seedpos
        col = np.where(seed_m[..., None], np.array([0.08, 0.06, 0.04]), flesh)
        skin = u > 0.97
        return np.where(skin[..., None], np.array([0.45, 0.33, 0.15]), col)

    top = disc(radius, thick, face_albedo, spec=0.5, shininess=45)
    side = band(radius, 0.0, thick, solid((0.42, 0.30, 0.14)), spec=0.1)
    return [top, side]


def blueberry(radius=0.045, seed=0):
    def rad(u, th):
        return radius * np.sin(np.pi * u)

    def z(u):
        return -radius * np.cos(np.pi * u)

    def albedo(u, v, front, P, N):
        bloom = 0.5 + 0.5 * _noise(u, v, seed, 5, 4)
        col = mix(np.array([0.10, 0.12, 0.30]), np.array([0.32, 0.36, 0.55]), bloom * 0.6)
        crown = (u > 0.88)
        return np.where(crown[..., None], np.array([0.15, 0.10, 0.15]), col)

    return [revolution(rad, z, albedo, spec=0.35, shininess=30)]


def choc_triangle(size=0.32, thick=0.02):
    """A thin chocolate plate: a triangle standing on its point."""

    def fn(u, v):
        # u from the point (0) to the top edge (1); v across.
        x = v * size * 0.45 * u
        z = size * u
        return x, np.zeros_like(u) + 0 * v, z

    face = Surface(fn, lambda u, v, f, P, N: mix(CHOC, CHOC_LIGHT, 0.3 + 0.3 * _noise(u, v, 5, 4, 6)),
                   spec=0.6, shininess=60)
    back = Surface(lambda u, v: (v * size * 0.45 * u, np.full_like(u, thick), size * u),
                   solid(CHOC * 0.9), spec=0.4, shininess=40)
    return [face, back]


def choc_stick(length=0.35, radius=0.022, seed=0):
    """A rolled chocolate cigarette, lightly ridged."""
    rng = np.random.default_rng(seed)
    ph = rng.uniform(0, 6.3)

    def rad(u, th):
        return radius * (1 + 0.08 * np.sin(th * 3 + ph + u * 8))

    def z(u):
        return length * u

    def albedo(u, v, front, P, N):
        stripe = 0.5 + 0.5 * np.sin(v * np.pi * 3 + u * 8 + ph)
        return mix(CHOC * 0.8, CHOC_LIGHT, stripe * 0.7)

    return [revolution(rad, z, albedo, spec=0.7, shininess=70)]


def choc_curl(radius=0.06, length=0.2, seed=0):
    """A chocolate curl: a rolled ribbon."""
    rng = np.random.default_rng(seed)
    turns = rng.uniform(1.3, 1.9)

    def fn(u, v):
        a = turns * 2 * np.pi * u
        r = radius * (0.6 + 0.4 * u)
        return r * np.cos(a), length * 0.5 * v, r * np.sin(a)

    return [Surface(fn, lambda u, v, f, P, N: mix(CHOC, CHOC_LIGHT, 0.35 + 0.3 * np.sin(v * 12 + u * 5)),
                    spec=0.55, shininess=45)]


def put(r, parts, R=None, t=(0, 0, 0)):
    place(parts, R, t)
    for p in parts:
        r.add(p)


def centrepiece():
    rng = np.random.default_rng(2024)
    r = Renderer(WIDTH, HEIGHT, ss=2, elevation=30, light=(-0.45, -0.7, 0.8), ambient=0.46, diffuse=0.72)
    top_z = 0.62
    # Gold cake board with a shallow rim.
    board_r = 1.62

    def board_albedo(u, v, front, P, N):
        sheen = 0.5 + 0.5 * _noise(u, v, 1, 3, 2)
        return GOLD * (0.88 + 0.12 * sheen)[..., None]

    put(r, [disc(board_r, 0.0, board_albedo, spec=0.7, shininess=35)])
    put(r, [band(board_r, -0.07, 0.0, solid(GOLD * 0.85), spec=0.6, shininess=30)])

    # Lace doily: scalloped edge, openwork rings that show the board.
    def scallop(th):
        return 1.0 + 0.035 * np.abs(np.sin(th * 14))

    def doily_albedo(u, v, front, P, N):
        th = np.pi * v
        rr = u * scallop(th)
        lace = np.full(u.shape + (3,), 0.975)
        ring1 = (rr > 0.78) & (rr < 0.93)
        petal = np.abs(np.sin(th * 28)) * 0.6 + 0.4
        hole1 = ring1 & (np.abs((rr - 0.855) / 0.06) < petal * 0.8) & (np.abs(np.sin(th * 56)) > 0.3)
        ring2 = (rr > 0.965)
        hole2 = ring2 & (np.abs(np.sin(th * 14 * 3)) < 0.45)
        dots = (np.abs(rr - 0.745) < 0.012) & (np.abs(np.sin(th * 84)) > 0.6)
        hole = hole1 | hole2 | dots
        lace = lace * (1 - 0.05 * (np.abs(np.sin(th * 28)) * (rr > 0.7)))[..., None]
        return np.where(hole[..., None], GOLD * 0.7, lace)

    put(r, [disc(1.45, 0.004, doily_albedo, spec=0.15, shininess=12, edge=scallop)])

    # The cake: cream sides with palette-knife strokes, and the top.
    def side_albedo(u, v, front, P, N):
        strokes = 0.5 + 0.5 * _noise(u * 0.5, v, 11, 2, 7)
        return mix(CREAM_DEEP, CREAM, 0.55 + 0.45 * strokes)

    put(r, [band(1.0, 0.004, top_z, side_albedo, spec=0.12, shininess=14)])

    def top_albedo(u, v, front, P, N):
        swirl = 0.5 + 0.5 * np.sin(u * 25 + v * 3 + 2 * _noise(u, v, 12, 3, 4))
        return mix(CREAM_DEEP, CREAM, 0.65 + 0.35 * swirl)

    put(r, [disc(1.0, top_z, top_albedo, spec=0.12, shininess=14)])
    # A rounded lip where side meets top.
    put(r, [revolution(lambda u, th: 1.0 - 0.03 + 0.03 * np.sin(np.pi / 2 * (1 - u)) + 0 * th,
                       lambda u: top_z - 0.03 + 0.03 * u, side_albedo, spec=0.12, shininess=14)])

    # Piped shells around the foot and around the top edge.
    for i in range(28):
        a = 2 * np.pi * i / 28
        put(r, [rosette(0.085, 0.09, twist=1.2, ridges=7)], rot_z(a * 3), (1.02 * np.cos(a), 1.02 * np.sin(a), 0.0))
    n_top = 16
    for i in range(n_top):
        a = 2 * np.pi * (i + 0.5) / n_top
        put(r, [rosette(0.13, 0.15, twist=1.0, ridges=8)], rot_z(a * 5), (0.86 * np.cos(a), 0.86 * np.sin(a), top_z))
        if i % 2 == 0:
            s = strawberry(0.22, 0.13, seed=i)
            tilt = rot_x(-2.2 + rng.uniform(-0.2, 0.2))  # tip up and outward
            put(r, s, rot_z(a - np.pi / 2) @ tilt, (0.86 * np.cos(a), 0.86 * np.sin(a), top_z + 0.17))
        else:
            put(r, choc_triangle(0.30), rot_z(a + np.pi / 2) @ rot_x(0.25),
                ((0.80) * np.cos(a), 0.80 * np.sin(a), top_z + 0.05))

    # Kiwi slices leaning outwards in an inner ring, blueberries between.
    for i in range(7):
        a = 2 * np.pi * i / 7 + 0.2
        put(r, kiwi_slice(0.17, 0.03, seed=i), rot_z(a) @ rot_y(-1.05),
            (0.55 * np.cos(a), 0.55 * np.sin(a), top_z + 0.11))
        b = a + np.pi / 7
        for k in range(3):
            off = np.array([np.cos(b), np.sin(b)]) * (0.52 + 0.06 * (k - 1)) + rng.uniform(-0.03, 0.03, 2)
            put(r, blueberry(0.05, seed=10 * i + k), rot_z(rng.uniform(0, 6)),
                (off[0], off[1], top_z + 0.045))

    # The centre: strawberries ringed by chocolate sticks and curls.
    for k, (x, y, rot) in enumerate([(-0.12, 0.05, 0.3), (0.12, 0.08, 2.5), (0.0, -0.12, 4.2)]):
        put(r, strawberry(0.26, 0.15, seed=40 + k), rot_z(rot) @ rot_x(-2.6),
            (x, y, top_z + 0.2))
    for k in range(4):
        a = 2 * np.pi * k / 4 + 0.75
        put(r, choc_stick(0.40, 0.024, seed=k), rot_z(a) @ rot_y(0.45),
            (0.33 * np.cos(a), 0.33 * np.sin(a), top_z - 0.02))
    for k in range(6):
        a = 2 * np.pi * k / 6 + 0.2
        put(r, choc_curl(0.03, 0.10, seed=k), rot_z(a + 1.2) @ rot_x(0.2),
            (0.36 * np.cos(a), 0.36 * np.sin(a), top_z + 0.03))

    r.fit(margin=6)
    img = r.render(ao_strength=0.45, ao_radius=3.0, highlight_cap=1.0)
    return to_uint8(img)
