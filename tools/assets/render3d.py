"""A tiny point-splatting renderer for parametric surfaces.

Each surface is a function of (u, v) giving world points; the renderer
samples it densely enough that neighbouring samples are under a
supersampled pixel apart, shades each sample (wrapped diffuse plus
specular, two-sided), keeps the nearest sample per pixel in a depth buffer,
darkens crevices from the depth buffer, and box-filters the supersampled
picture down onto the background.

World axes: x to the right, y away from the viewer, z up. The camera is
orthographic and looks down at `elevation` degrees.
"""

import math

import numpy as np
from scipy import ndimage


def rot_x(a):
    c, s = math.cos(a), math.sin(a)
    return np.array([[1, 0, 0], [0, c, -s], [0, s, c]], np.float64)


def rot_y(a):
    c, s = math.cos(a), math.sin(a)
    return np.array([[c, 0, s], [0, 1, 0], [-s, 0, c]], np.float64)


def rot_z(a):
    c, s = math.cos(a), math.sin(a)
    return np.array([[c, -s, 0], [s, c, 0], [0, 0, 1]], np.float64)


def normalise(v):
    n = np.linalg.norm(v, axis=-1, keepdims=True)
    return v / np.maximum(n, 1e-12)


def smoothstep(e0, e1, x):
    t = np.clip((x - e0) / (e1 - e0), 0.0, 1.0)
    return t * t * (3 - 2 * t)


def mix(a, b, t):
    a = np.asarray(a, np.float64)
    b = np.asarray(b, np.float64)
    t = np.asarray(t, np.float64)
    if t.ndim and (a.shape[-1:] == (3,) or b.shape[-1:] == (3,)):
        t = t[..., None]
    return a + (b - a) * t


class Surface:
    """fn(u, v) -> (x, y, z) arrays; albedo(u, v, front, P, N) -> H x W x 3.

    R, t place the surface in the world (P_world = R @ P + t). spec and
    shininess set the highlight; ao(u, v) (optional) darkens, 1 = none."""

    def __init__(self, fn, albedo, R=None, t=(0, 0, 0), u=(0.0, 1.0), v=(-1.0, 1.0),
                 spec=0.25, shininess=30.0, ao=None, wrap=0.35, max_step=0.55, emissive=0.0):
        self.fn, self.albedo, self.ao = fn, albedo, ao
        self.R = np.eye(3) if R is None else np.asarray(R, np.float64)
        self.t = np.asarray(t, np.float64)
        self.u, self.v = u, v
        self.spec, self.shininess, self.wrap = spec, shininess, wrap
        self.max_step = max_step
        self.emissive = emissive

    def points(self, nu, nv):
        u = np.linspace(self.u[0], self.u[1], nu)
        v = np.linspace(self.v[0], self.v[1], nv)
        U, V = np.meshgrid(u, v, indexing="ij")
        x, y, z = self.fn(U, V)
        P = np.stack(np.broadcast_arrays(x, y, z), -1).astype(np.float64)
        P = P @ self.R.T + self.t
        return U, V, P


class Renderer:
    def __init__(self, width, height, ss=4, elevation=50.0, background=(1.0, 1.0, 1.0),
                 light=(-0.5, -0.6, 0.75), ambient=0.32, diffuse=0.78):
        self.width, self.height, self.ss = width, height, ss
        self.W, self.H = width * ss, height * ss
        e = math.radians(elevation)
        self.right = np.array([1.0, 0.0, 0.0])
        self.up = np.array([0.0, math.sin(e), math.cos(e)])
        self.view = np.array([0.0, -math.cos(e), math.sin(e)])  # towards the camera
        self.background = np.asarray(background, np.float64)
        self.light = normalise(np.asarray(light, np.float64))
        self.half = normalise(self.light + self.view)
        self.ambient, self.diffuse = ambient, diffuse
        self.surfaces = []
        self.overlays = []
        self.scale = None
        self.offset = None

    def add(self, surface):
        self.surfaces.append(surface)
        return surface

    def project(self, P):
        sx = P @ self.right
        sy = -(P @ self.up)
        depth = -(P @ self.view)
        return sx, sy, depth

    def bounds(self):
        xs, ys = [], []
        for s in self.surfaces:
            _, _, P = s.points(40, 40)
            sx, sy, _ = self.project(P.reshape(-1, 3))
            xs += [sx.min(), sx.max()]
            ys += [sy.min(), sy.max()]
        return min(xs), min(ys), max(xs), max(ys)

    def fit(self, margin=1.5, cover=False, align=(0.5, 0.5), zoom=1.0, shift=(0.0, 0.0)):
        """Scales and centres the scene in the picture: the whole scene
        inside (cover=False) or the picture filled by it (cover=True)."""
        x0, y0, x1, y1 = self.bounds()
        bw, bh = x1 - x0, y1 - y0
        aw, ah = self.width - 2 * margin, self.height - 2 * margin
        s = (max if cover else min)(aw / bw, ah / bh) * zoom
        ox = margin + (aw - bw * s) * align[0] - x0 * s + shift[0]
        oy = margin + (ah - bh * s) * align[1] - y0 * s + shift[1]
        self.scale, self.offset = s, (ox, oy)

    def to_pixels(self, sx, sy):
        return ((sx * self.scale + self.offset[0]) * self.ss,
                (sy * self.scale + self.offset[1]) * self.ss)

    def world_to_pixel(self, P):
        """Output-picture pixel position of a world point."""
        sx, sy, _ = self.project(np.asarray(P, np.float64))
        return sx * self.scale + self.offset[0], sy * self.scale + self.offset[1]

    def _sample_counts(self, s):
        _, _, P = s.points(24, 24)
        sx, sy, _ = self.project(P)
        px, py = self.to_pixels(sx, sy)
        du = np.hypot(np.diff(px, axis=0), np.diff(py, axis=0)).sum(0).max()
        dv = np.hypot(np.diff(px, axis=1), np.diff(py, axis=1)).sum(1).max()
        nu = int(min(max(du / s.max_step, 8), 16000))
        nv = int(min(max(dv / s.max_step, 8), 16000))
        return nu, nv

    def render(self, ao_strength=0.55, ao_radius=2.2, ao_depth=None, highlight_cap=1.0):
        if self.scale is None:
            self.fit()
        W, H = self.W, self.H
        zbuf = np.full(H * W, np.inf)
        cbuf = np.zeros((H * W, 3))
        for s in self.surfaces:
            nu, nv = self._sample_counts(s)
            # Bound the memory of one pass by splitting along u.
            rows = max(2, int(2_000_000 / max(nv, 1)))
            u0, u1 = s.u
            start = 0
            while start < nu - 1:
                stop = min(nu - 1, start + rows)
                a = u0 + (u1 - u0) * start / (nu - 1)
                b = u0 + (u1 - u0) * stop / (nu - 1)
                part = Surface(s.fn, s.albedo, s.R, s.t, (a, b), s.v, s.spec, s.shininess, s.ao,
                               s.wrap, s.max_step, s.emissive)
                self._splat(part, stop - start + 1, nv, zbuf, cbuf)
                start = stop
        covered = np.isfinite(zbuf).reshape(H, W)
        rgb = cbuf.reshape(H, W, 3)
        if ao_strength > 0 and covered.any():
            z = np.where(covered, zbuf.reshape(H, W), 0.0)
            sig = ao_radius * self.ss
            m = ndimage.gaussian_filter(covered.astype(np.float64), sig)
            zb = ndimage.gaussian_filter(z, sig) / np.maximum(m, 1e-6)
            k = ao_depth if ao_depth is not None else 6.0 / (self.scale or 1.0)
            occ = np.clip((z - zb) / k, 0.0, 1.0)
            rgb = rgb * (1.0 - ao_strength * occ)[..., None]
        rgb = np.clip(rgb, 0.0, highlight_cap)
        self.covered = covered
        self.super_rgb = rgb
        self.zbuf = zbuf.reshape(H, W)
        for fn in self.overlays:
            fn(self)
        rgb = np.where(self.covered[..., None], self.super_rgb, self.background)
        out = rgb.reshape(self.height, self.ss, self.width, self.ss, 3).mean((1, 3))
        return out

    def _splat(self, s, nu, nv, zbuf, cbuf):
        U, V, P = s.points(nu, nv)
        Pu = np.gradient(P, axis=0)
        Pv = np.gradient(P, axis=1)
        N = normalise(np.cross(Pu, Pv))
        facing = N @ self.view
        front = facing >= 0
        Nf = np.where(front[..., None], N, -N)
        alb = s.albedo(U, V, front, P, Nf)
        ndl = Nf @ self.light
        diff = np.clip((ndl + s.wrap) / (1 + s.wrap), 0, 1)
        ndh = np.clip(Nf @ self.half, 0, 1)
        spec = s.spec * ndh ** s.shininess
        ao = 1.0 if s.ao is None else s.ao(U, V)
        light = (self.ambient + self.diffuse * diff) * ao
        col = alb * (light[..., None] * (1 - s.emissive) + s.emissive) + (spec * (ao if np.ndim(ao) else 1.0))[..., None]
        sx, sy, depth = self.project(P)
        px, py = self.to_pixels(sx, sy)
        ix = np.floor(px).astype(np.int64).ravel()
        iy = np.floor(py).astype(np.int64).ravel()
        d = depth.ravel()
        c = col.reshape(-1, 3)
        ok = (ix >= 0) & (ix < self.W) & (iy >= 0) & (iy < self.H)
        ix, iy, d, c = ix[ok], iy[ok], d[ok], c[ok]
        key = iy * self.W + ix
        order = np.lexsort((d, key))
        key, d, c = key[order], d[order], c[order]
        first = np.ones(len(key), bool)
        first[1:] = key[1:] != key[:-1]
        key, d, c = key[first], d[first], c[first]
        nearer = d < zbuf[key]
        key, d, c = key[nearer], d[nearer], c[nearer]
        zbuf[key] = d
        cbuf[key] = c


def to_uint8(rgb):
    return np.clip(np.rint(np.asarray(rgb) * 255.0), 0, 255).astype(np.uint8)
