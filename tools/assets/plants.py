"""Rose parts as parametric surfaces: petals, whole blooms and buds,
sepals, leaves, stems, and dew drops drawn over a finished render."""

import math

import numpy as np

from render3d import Surface, mix, normalise, rot_x, rot_y, rot_z, smoothstep

DEG = math.pi / 180.0


def _hash_noise(u, v, seed, fu=7.0, fv=5.0):
    """Cheap smooth-ish pseudo noise from a few sines (deterministic)."""
    r = np.random.default_rng(seed)
    out = 0.0
    for k in range(4):
        a, b, p = r.uniform(0.5, 1.5) * fu * (k + 1), r.uniform(0.5, 1.5) * fv * (k + 1), r.uniform(0, 6.28)
        out = out + np.sin(u * a + v * b + p) / (k + 1)
    return out / 2.1


class PetalColours:
    """Colour of a petal's inner face at its base, middle and rim, and of
    its outer face (which shows where the rim rolls back)."""

    def __init__(self, base, middle, rim, back=None, vein=0.025):
        if back is None:
            back = tuple((np.asarray(middle) + np.asarray(rim)) / 2)
        self.base, self.middle, self.rim, self.back = (np.asarray(c, np.float64) for c in (base, middle, rim, back))
        self.vein = vein


def petal(colours, phi0, half_angle, r0, length, open0, open1, curl=0.0, roll=0.0,
          h0=0.0, seed=0, spec=0.18, shininess=18.0, wave=0.0, notch=0.0, ao_base=0.45,
          fan=46 * DEG, claw=0.22):
    """One petal rising from radius r0 at angle phi0 around the z axis.

    The flat petal is a rounded fan (parameters s: base to rim, a: across);
    it is bent so that its midline starts at open0 (radians above
    horizontal), turns to open1 at the rim and, with curl, bends back
    outwards near the rim. It spans +/- half_angle around the axis; roll
    rolls the upper edges outwards."""
    rng = np.random.default_rng(seed)
    tu = np.linspace(0.0, 1.0, 401)
    alpha = open0 + (open1 - open0) * tu ** 1.4 - curl * smoothstep(0.55, 1.0, tu) ** 1.5
    d_rho = np.cos(alpha) * length
    d_z = np.sin(alpha) * length
    rho_t = r0 + np.concatenate([[0], np.cumsum((d_rho[1:] + d_rho[:-1]) / 2 * (tu[1] - tu[0]))])
    z_t = h0 + np.concatenate([[0], np.cumsum((d_z[1:] + d_z[:-1]) / 2 * (tu[1] - tu[0]))])
    jit = rng.uniform(0, 6.28, 3)
    y_max = math.sin(fan)

    def outline(a):
        return (1.0 - 0.22 * a ** 4 - notch * np.exp(-(a * 5) ** 2)
                + wave * 0.035 * np.sin(a * 6 + jit[0]))

    def fn(s, a):
        R = outline(a) * s
        x = R * np.cos(a * fan)
        y = R * np.sin(a * fan) + claw * a * (1 - s) ** 2
        rho = np.interp(x, tu, rho_t)
        z = np.interp(x, tu, z_t)
        phi = phi0 + half_angle * y / y_max
        edge = smoothstep(0.35, 1.0, np.abs(a)) * smoothstep(0.45, 1.0, s)
        rolled = roll * edge * length * 0.22
        z2 = z - rolled * 0.5 + wave * 0.012 * length * np.sin(a * 9 + jit[1]) * s
        rr = rho + rolled
        return rr * np.cos(phi), rr * np.sin(phi), z2

    c = colours

    def albedo(s, a, front, P, N):
        inner = mix(mix(c.base, c.middle, smoothstep(0.0, 0.55, s)), c.rim, smoothstep(0.6, 1.0, s))
        outer = mix(c.back * 0.86, c.back, smoothstep(0.2, 1.0, s))
        col = np.where(front[..., None], inner, outer)
        vein = 1.0 + c.vein * np.sin(a * 60.0 + 2.0 * _hash_noise(s, a, seed, 3, 2)) * smoothstep(0.1, 0.5, s)
        tone = 1.0 + 0.04 * _hash_noise(s, a, seed + 7)
        return col * (vein * tone)[..., None]

    def ao(s, a):
        return ao_base + (1 - ao_base) * smoothstep(0.0, 0.75, s)

    return Surface(fn, albedo, spec=spec, shininess=shininess, ao=ao, u=(0.0, 1.0), v=(-1.0, 1.0))


def bloom(colours, seed=1, count=26, open_amount=1.0, size=1.0, centre_tight=1.0, petal_roll=0.7):
    """A rose in bloom, axis along +z, petals in a golden-angle spiral.
    open_amount 0..1 opens the outer rings further. Returns surfaces in
    local coordinates (add a transform with place())."""
    rng = np.random.default_rng(seed)
    out = []
    golden = 137.508 * DEG
    for i in range(count):
        t = i / (count - 1)  # 0 innermost, 1 outermost
        phi0 = i * golden + rng.uniform(-0.12, 0.12)
        r0 = (0.03 + 0.22 * t ** 1.2) * size
        length = (0.30 + 0.62 * t ** 0.9) * size * rng.uniform(0.93, 1.07)
        open0 = (88 - 50 * t ** (1.3 / open_amount)) * DEG
        open1 = (92 - 42 * t ** (1.1 / open_amount)) * DEG
        curl = (10 + 70 * t ** 1.5) * DEG * open_amount * rng.uniform(0.8, 1.2)
        half = max((1.6 - 0.8 * t ** 0.6) * centre_tight, 1.2 - 0.25 * t)
        h0 = (0.10 - 0.28 * t) * size
        out.append(petal(colours, phi0, half, r0, length, open0, open1, curl=curl,
                         roll=petal_roll * smoothstep(0.25, 0.9, t), h0=h0, seed=seed * 100 + i,
                         wave=0.25 * t, notch=0.05 * t, ao_base=0.25 + 0.45 * t))
    out.append(core(colours, 0.16 * size, 0.05 * size))
    out.append(bowl(colours, 0.34 * size, 0.0, -0.10 * size))
    return out[::-1]


def bowl(colours, radius, z_centre, z_rim):
    """The closed underside of a bloom, so that no gap between the outer
    petals shows the ground through the flower."""
    col = np.asarray(colours.back) * 0.8

    def fn(u, v):
        th = np.pi * v
        rr = radius * u
        return rr * np.cos(th), rr * np.sin(th), z_centre + (z_rim - z_centre) * u ** 2

    def albedo(u, v, front, P, N):
        return np.broadcast_to(col, u.shape + (3,))

    return Surface(fn, albedo, spec=0.05, shininess=8, u=(0.0, 1.0), v=(-1.0, 1.0))


def core(colours, radius, height):
    """A dark dome filling the heart of a bloom, seen between the inner petals."""
    deep = np.asarray(colours.base) * 0.7

    def fn(u, v):
        th = np.pi * v
        rr = radius * u
        return rr * np.cos(th), rr * np.sin(th), height * (1 - u ** 2)

    def albedo(u, v, front, P, N):
        return np.broadcast_to(deep, u.shape + (3,))

    return Surface(fn, albedo, spec=0.05, shininess=8, u=(0.0, 1.0), v=(-1.0, 1.0))


def bud(colours, seed=1, count=7, size=1.0, opening=0.0):
    """A tight, tall rosebud along +z; opening 0..1 loosens the outer petals."""
    rng = np.random.default_rng(seed)
    out = []
    golden = 137.508 * DEG
    for i in range(count):
        t = i / max(count - 1, 1)
        phi0 = i * golden + rng.uniform(-0.1, 0.1)
        r0 = (0.02 + 0.10 * t) * size
        length = (0.55 + 0.45 * t) * size * rng.uniform(0.95, 1.05)
        open0 = (86 - 10 * t * (0.5 + opening)) * DEG
        open1 = (95 - 12 * t - 25 * opening * t) * DEG
        curl = (5 + 45 * t * (0.4 + opening)) * DEG
        half = 1.75 - 0.5 * t
        h0 = (0.02 - 0.06 * t) * size
        out.append(petal(colours, phi0, half, r0, length, open0, open1, curl=curl,
                         roll=0.5 * t * (0.3 + opening), h0=h0, seed=seed * 100 + i,
                         wave=0.3 * t, ao_base=0.5))
    return out[::-1]


GREEN_SEPAL = ((0.20, 0.42, 0.14), (0.34, 0.56, 0.22))


def sepals(count=5, length=0.6, width=0.11, droop=-20 * DEG, seed=3, size=1.0, h0=0.0,
           r0=0.08, colours=GREEN_SEPAL, rise=None):
    """Narrow pointed green sepals below a flower, spreading out (droop < 0
    points them down) or clasping a bud (rise > 0 bends them up)."""
    rng = np.random.default_rng(seed)
    out = []
    dark, light = (np.asarray(c) for c in colours)
    for i in range(count):
        phi0 = i * 2 * math.pi / count + rng.uniform(-0.2, 0.2)
        L = length * size * rng.uniform(0.85, 1.15)
        W = width * size
        a0 = droop if rise is None else rise
        a1 = droop - 25 * DEG if rise is None else rise - 30 * DEG

        def fn(u, v, phi0=phi0, L=L, W=W, a0=a0, a1=a1):
            alpha = a0 + (a1 - a0) * u ** 1.5
            rho = r0 * size + L * u * np.cos((a0 + alpha) / 2)
            z = h0 * size + L * u * np.sin((a0 + alpha) / 2)
            hw = W * np.sin(np.pi * np.clip(u, 0, 1) ** 0.5) * (1 - u) ** 0.4
            lat = v * hw
            return (rho * np.cos(phi0) - lat * np.sin(phi0), rho * np.sin(phi0) + lat * np.cos(phi0),
                    z + 0.15 * np.abs(v) * hw)

        def albedo(u, v, front, P, N):
            c = mix(dark, light, smoothstep(0.0, 1.0, u))
            back = mix(light, (0.5, 0.62, 0.4), 0.4)
            return np.where(front[..., None], c, back)

        out.append(Surface(fn, albedo, spec=0.12, shininess=12))
    return out


LEAF_COLOURS = ((0.13, 0.33, 0.10), (0.22, 0.47, 0.16), (0.45, 0.62, 0.32))


def leaf(length=1.0, width=0.45, fold=0.25, bend=0.15, seed=5, colours=LEAF_COLOURS, serration=0.08,
         twist=0.0):
    """A rose leaflet in the x-y plane, midrib along +x from the origin."""
    dark, mid, vein = (np.asarray(c) for c in colours)
    rng = np.random.default_rng(seed)
    ph = rng.uniform(0, 6.28)

    def hw(u):
        base = np.sin(np.pi * np.clip(u, 0, 1) ** 0.8)
        saw = (u * 13 + ph) % 1.0
        return width * 0.5 * base * (1 - serration * saw)

    def fn(u, v):
        w = hw(u)
        x = length * u
        y = v * w
        z = fold * np.abs(v) * w * 1.6 - bend * length * u ** 2 + twist * v * w * u
        return x, y, z

    def albedo(u, v, front, P, N):
        base = mix(dark, mid, 0.5 + 0.5 * _hash_noise(u, v, seed, 5, 3))
        mid_rib = np.exp(-(v / 0.05) ** 2) * smoothstep(1.0, 0.2, u) * 0.8
        lateral = (np.abs(((u - 0.6 * np.abs(v)) * 8 + ph) % 1.0 - 0.5) < 0.06) * 0.35 * (np.abs(v) < 0.85)
        t = np.clip(mid_rib + lateral, 0, 1)
        c = mix(base, vein, t)
        back = mix(c, (0.55, 0.65, 0.45), 0.45)
        return np.where(front[..., None], c, back)

    return Surface(fn, albedo, spec=0.35, shininess=40)


def curve_tube(curve, radius, colours=((0.22, 0.40, 0.14), (0.36, 0.55, 0.22)), spec=0.25, taper=0.0):
    """A stem: a tube of the given radius along curve(u) (u in 0..1 ->
    x, y, z arrays)."""
    dark, light = (np.asarray(c) for c in colours)

    def frame(u):
        eps = 1e-3
        p0 = np.stack(curve(np.clip(u - eps, 0, 1)), -1)
        p1 = np.stack(curve(np.clip(u + eps, 0, 1)), -1)
        T = normalise(p1 - p0)
        ref = np.array([0.0, -1.0, 0.0])
        Nn = normalise(np.cross(T, ref) + 1e-9)
        B = np.cross(T, Nn)
        return T, Nn, B

    def fn(u, v):
        C = np.stack(curve(u), -1)
        _, Nn, B = frame(u)
        th = np.pi * v
        r = radius * (1 - taper * u)
        P = C + r[..., None] * (np.cos(th)[..., None] * Nn + np.sin(th)[..., None] * B) if np.ndim(r) else \
            C + r * (np.cos(th)[..., None] * Nn + np.sin(th)[..., None] * B)
        return P[..., 0], P[..., 1], P[..., 2]

    def albedo(u, v, front, P, N):
        streak = 0.5 + 0.5 * np.sin(v * 9.0)
        return mix(dark, light, 0.35 + 0.3 * streak)

    return Surface(fn, albedo, spec=spec, shininess=25, u=(0.0, 1.0), v=(-1.0, 1.0), wrap=0.4)


def bezier(p0, p1, p2, p3):
    p0, p1, p2, p3 = (np.asarray(p, np.float64) for p in (p0, p1, p2, p3))

    def c(u):
        u = np.asarray(u, np.float64)[..., None]
        P = ((1 - u) ** 3) * p0 + 3 * (1 - u) ** 2 * u * p1 + 3 * (1 - u) * u ** 2 * p2 + u ** 3 * p3
        return P[..., 0], P[..., 1], P[..., 2]

    return c


def place(surfaces, R=None, t=(0, 0, 0)):
    """Applies a further transform (rotation R then translation t) to
    surfaces that are already placed."""
    R = np.eye(3) if R is None else np.asarray(R)
    t = np.asarray(t, np.float64)
    for s in surfaces:
        s.R = R @ s.R
        s.t = R @ s.t + t
    return surfaces


def axis_to(direction):
    """Rotation taking +z to the given direction."""
    d = normalise(np.asarray(direction, np.float64))
    z = np.array([0.0, 0.0, 1.0])
    v = np.cross(z, d)
    s = np.linalg.norm(v)
    c = float(z @ d)
    if s < 1e-9:
        return np.eye(3) if c > 0 else rot_x(math.pi)
    vx = np.array([[0, -v[2], v[1]], [v[2], 0, -v[0]], [-v[1], v[0], 0]])
    return np.eye(3) + vx + vx @ vx * ((1 - c) / s ** 2)


def receptacle(radius=0.12, height=0.16, z0=-0.05, colours=GREEN_SEPAL):
    """The green swelling at the top of the stem under a bloom or bud."""
    dark, light = (np.asarray(c) for c in colours)

    def fn(u, v):
        th = np.pi * v
        a = np.pi * u
        return radius * np.sin(a) * np.cos(th), radius * np.sin(a) * np.sin(th), z0 - height * (1 - np.cos(a)) / 2

    def albedo(u, v, front, P, N):
        return mix(light, dark, u)

    return Surface(fn, albedo, spec=0.2, shininess=20, u=(0.0, 1.0), v=(-1.0, 1.0))


def auto_drops(count, radius, seed, predicate=None, margin=4):
    """Dew drops at random places of the rendered flower (where predicate of
    the pixel colour holds), none overlapping."""

    def overlay(r):
        rng = np.random.default_rng(seed)
        img = r.super_rgb
        ss = r.ss
        chosen = []
        tries = 0
        while len(chosen) < count and tries < 5000:
            tries += 1
            x = rng.uniform(margin, r.width - margin)
            y = rng.uniform(margin, r.height - margin)
            rad = rng.uniform(*radius)
            px, py = int(x * ss), int(y * ss)
            if not r.covered[py, px]:
                continue
            # The whole drop must sit on the flower.
            ok = True
            for ang in np.linspace(0, 2 * np.pi, 8, endpoint=False):
                qx, qy = int((x + 1.3 * rad * np.cos(ang)) * ss), int((y + 1.3 * rad * np.sin(ang)) * ss)
                if not (0 <= qx < r.W and 0 <= qy < r.H and r.covered[qy, qx]):
                    ok = False
            if not ok or (predicate is not None and not predicate(img[py, px])):
                continue
            if any(np.hypot(x - a, y - b) < (rad + c) * 1.6 for a, b, c in chosen):
                continue
            chosen.append((x, y, rad))
        dew_drops(chosen)(r)

    return overlay


def dew_drops(drops, seed=0):
    """An overlay adding water drops at output-pixel positions
    [(x, y, radius), ...]: darker rim, bright caustic below, a white glint."""

    def overlay(r):
        ss = r.ss
        H, W = r.H, r.W
        img = r.super_rgb
        for (x, y, rad) in drops:
            cx, cy, R = x * ss, y * ss, rad * ss
            x0, x1 = int(max(cx - R - 2, 0)), int(min(cx + R + 2, W))
            y0, y1 = int(max(cy - R - 2, 0)), int(min(cy + R + 2, H))
            if x0 >= x1 or y0 >= y1:
                continue
            yy, xx = np.mgrid[y0:y1, x0:x1]
            dx, dy = (xx + 0.5 - cx) / R, (yy + 0.5 - cy) / R
            d = np.hypot(dx, dy)
            inside = (d < 1.0) & r.covered[y0:y1, x0:x1]
            sub = img[y0:y1, x0:x1]
            # The drop magnifies and darkens what lies under it.
            rim = smoothstep(0.55, 1.0, d)
            caustic = np.exp(-((dx - 0.15) ** 2 + (dy - 0.45) ** 2) / 0.12)
            glint = np.exp(-((dx + 0.38) ** 2 + (dy + 0.38) ** 2) / 0.018)
            col = sub * (0.82 - 0.35 * rim)[..., None] + 0.30 * caustic[..., None] * (sub + 0.3)
            col = col + glint[..., None] * 0.95
            col = np.clip(col, 0, 0.985)
            # Soft shadow just outside the lower right of the drop.
            shadow = smoothstep(1.35, 1.0, np.hypot(dx - 0.18, dy - 0.22)) * (d >= 1.0)
            shade = sub * (1 - 0.25 * shadow)[..., None]
            img[y0:y1, x0:x1] = np.where(inside[..., None], col, np.where(r.covered[y0:y1, x0:x1, None], shade, sub))

    return overlay
