"""Turns a true-colour picture into 256 palette indices.

The palette is fitted to each picture (median cut refined by k-means) and
keeps fixed entries where the catalogue wants them: the white that the
ground uses, and unused entries such as a black transparency colour.
Exact white pixels go to the white entry and to nothing else, so the ground
stays exactly white while every other pixel maps to a non-white colour.
"""

import numpy as np
from PIL import Image

# Weights that make distances roughly perceptual in gamma-encoded RGB.
_W = np.array([0.55, 1.0, 0.45], dtype=np.float32)


def _nearest(pixels, centres, chunk=65536):
    """Index of the nearest centre for each pixel (weighted RGB)."""
    pw = pixels.astype(np.float32) * _W
    cw = centres.astype(np.float32) * _W
    cn = (cw * cw).sum(1)
    out = np.empty(len(pixels), dtype=np.int32)
    for i in range(0, len(pixels), chunk):
        p = pw[i:i + chunk]
        d = cn[None, :] - 2.0 * p @ cw.T
        out[i:i + chunk] = np.argmin(d, axis=1)
    return out


def _fit_colours(pixels, count, iterations=8, seed=1):
    """Up to `count` representative colours of `pixels` (N x 3 uint8)."""
    if len(pixels) == 0:
        return np.zeros((0, 3), np.float32)
    unique = np.unique(pixels, axis=0)
    if len(unique) <= count:
        return unique.astype(np.float32)
    rng = np.random.default_rng(seed)
    sample = pixels
    if len(sample) > 250000:
        sample = sample[rng.choice(len(sample), 250000, replace=False)]
    # Median cut for a start.
    img = Image.fromarray(sample.reshape(1, -1, 3).astype(np.uint8), "RGB")
    q = img.quantize(colors=count, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE)
    pal = np.array(q.getpalette()[:count * 3], dtype=np.float32).reshape(-1, 3)
    centres = pal
    samples = sample.astype(np.float32)
    for _ in range(iterations):
        labels = _nearest(samples, centres)
        sums = np.zeros_like(centres)
        np.add.at(sums, labels, samples)
        counts = np.bincount(labels, minlength=len(centres)).astype(np.float32)
        used = counts > 0
        centres[used] = sums[used] / counts[used, None]
        # Re-seed empty centres at the worst-served pixels.
        empty = np.flatnonzero(~used)
        if len(empty):
            err = ((samples - centres[labels]) ** 2 * _W).sum(1)
            worst = np.argsort(err)[-len(empty):]
            centres[empty] = samples[worst]
    return centres


def quantise(rgb, white_index=None, reserved=None, dither=0.0, seed=1):
    """rgb: H x W x 3 uint8. white_index: the palette entry that is white and
    receives every exact-white pixel (None if the picture has no white).
    reserved: {index: (r, g, b)} entries the palette must hold that receive
    no pixel at all.

    Returns (palette as 256 tuples, indices as H x W uint8)."""
    fixed = dict(reserved or {})
    h, w, _ = rgb.shape
    flat = rgb.reshape(-1, 3)
    is_white = np.all(flat == 255, axis=1)
    if white_index is None:
        assert not is_white.any(), "picture has white pixels but no white entry"
    free = [i for i in range(256) if i not in fixed and i != white_index]
    colours = _fit_colours(flat[~is_white], len(free), seed=seed)
    # Keep fitted colours strictly non-white so only the ground is white.
    colours = np.clip(np.rint(colours), 0, 255)
    colours[np.all(colours >= 255, axis=1)] = 254
    palette = [(0, 0, 0)] * 256
    for i, c in fixed.items():
        palette[i] = tuple(int(x) for x in c)
    if white_index is not None:
        palette[white_index] = (255, 255, 255)
    slots = free[:len(colours)]
    for i, c in zip(slots, colours):
        palette[i] = tuple(int(x) for x in c)
    # Unused free slots repeat the first fitted colour.
    for i in free[len(colours):]:
        palette[i] = palette[slots[0]] if slots else (0, 0, 0)
    indices = np.zeros(h * w, dtype=np.uint8)
    if white_index is not None:
        indices[is_white] = white_index
    src = flat[~is_white].astype(np.float32)
    if dither > 0 and len(src):
        # Light ordered dither: a 4x4 Bayer offset of +/- dither levels.
        bayer = np.array([[0, 8, 2, 10], [12, 4, 14, 6], [3, 11, 1, 9], [15, 7, 13, 5]],
                         np.float32) / 16.0 - 0.47
        ys, xs = np.divmod(np.arange(h * w), w)
        off = bayer[ys % 4, xs % 4][~is_white]
        src = np.clip(src + off[:, None] * dither, 0, 254.0)
    pal = np.array([palette[i] for i in slots], np.float32)
    if len(src):
        indices[~is_white] = np.array(slots, np.uint8)[_nearest(src, pal)]
    return palette, indices.reshape(h, w)
