"""The four greeting cards: one large Chinese character each, in its own
decorative style, on a white ground. Glyph shapes come from installed CJK
fonts; the relief, colours and gloss are computed here."""

import colorsys

import numpy as np
from PIL import Image, ImageDraw, ImageFont
from scipy import ndimage

from render3d import smoothstep, to_uint8

SIZE = 400
SS = 2  # supersampling
NOTO_SANS_BOLD = ("/usr/share/fonts/opentype/noto/NotoSansCJK-Bold.ttc", 2)
NOTO_SERIF_BOLD = ("/usr/share/fonts/opentype/noto/NotoSerifCJK-Bold.ttc", 2)
UKAI = ("/usr/share/fonts/truetype/arphic/ukai.ttc", 0)


def glyph(char, font, height, centre=(0.5, 0.5)):
    """Coverage (0..1) of the character at supersampled size, its ink box
    scaled to `height` output pixels and centred."""
    path, index = font
    n = SIZE * SS
    f = ImageFont.truetype(path, int(height * SS * 1.2), index=index)
    img = Image.new("L", (n * 2, n * 2), 0)
    ImageDraw.Draw(img).text((n // 2, n // 2), char, font=f, fill=255)
    box = img.getbbox()
    ink = img.crop(box)
    s = height * SS / ink.height
    ink = ink.resize((max(1, round(ink.width * s)), round(ink.height * s)), Image.LANCZOS)
    out = Image.new("L", (n, n), 0)
    out.paste(ink, (round(n * centre[0] - ink.width / 2), round(n * centre[1] - ink.height / 2)))
    return np.asarray(out, np.float64) / 255.0


def inside_distance(mask):
    return ndimage.distance_transform_edt(mask > 0.5)


def normals_from_height(h, strength=1.0):
    gy, gx = np.gradient(h)
    n = np.stack([-gx * strength, -gy * strength, np.ones_like(h)], -1)
    return n / np.linalg.norm(n, axis=-1, keepdims=True)


LIGHT = np.array([-0.45, -0.55, 0.70])
LIGHT = LIGHT / np.linalg.norm(LIGHT)
HALF = LIGHT + np.array([0, 0, 1.0])
HALF = HALF / np.linalg.norm(HALF)


def light(n, spec_power=40.0):
    diff = np.clip(n @ LIGHT, 0, 1)
    spec = np.clip(n @ HALF, 0, 1) ** spec_power
    return diff, spec


def noise(shape, scale, seed, octaves=4):
    """Smooth value noise in 0..1 by blurring random fields."""
    rng = np.random.default_rng(seed)
    out = np.zeros(shape)
    amp, total = 1.0, 0.0
    for o in range(octaves):
        s = scale / 2 ** o
        field = ndimage.gaussian_filter(rng.standard_normal(shape), max(s, 0.7))
        field /= field.std() + 1e-9
        out += amp * field
        total += amp
        amp *= 0.5
    out /= total
    return 0.5 + 0.5 * np.tanh(out)


def compose(layers):
    """Paints (colour H x W x 3, coverage H x W) layers over white, in order,
    then box-filters down to the output size."""
    n = SIZE * SS
    img = np.ones((n, n, 3))
    for col, cov in layers:
        img = img * (1 - cov[..., None]) + col * cov[..., None]
    return img.reshape(SIZE, SS, SIZE, SS, 3).mean((1, 3))


def shadow(mask, offset, blur, strength):
    sh = ndimage.shift(mask, offset, order=1)
    sh = ndimage.gaussian_filter(sh, blur)
    return np.zeros(mask.shape + (3,)) + 0.35, np.clip(sh * strength, 0, 1)


def card_1():
    """生 in rainbow-coloured tube letters."""
    m = glyph("生", NOTO_SANS_BOLD, 318)
    # Round the stroke ends and corners so that every stroke reads as a tube.
    m = smoothstep(0.42, 0.58, ndimage.gaussian_filter(m, 7 * SS))
    n = m.shape[0]
    d = inside_distance(m)
    R = 24.0 * SS  # about half a stroke
    t = np.clip(d / R, 0, 1)
    h = np.sqrt(1 - (1 - t) ** 2) * R
    h = ndimage.gaussian_filter(h, 1.2)
    nrm = normals_from_height(h, 1.0)
    diff, spec = light(nrm, 60)
    yy, xx = np.mgrid[0:n, 0:n] / n
    hue = np.clip((0.7 * xx + 0.3 * yy - 0.14) / 0.72, 0, 1) * 0.80
    rgb = np.zeros((n, n, 3))
    for i, hv in enumerate(np.linspace(0, 1, 64, endpoint=False)):
        sel = (hue >= hv) & (hue < hv + 1 / 64)
        rgb[sel] = colorsys.hsv_to_rgb(hv + 1 / 128, 0.85, 1.0)
    rgb = ndimage.gaussian_filter(rgb, (3, 3, 0))
    body = rgb * (0.35 + 0.75 * diff)[..., None] + 0.9 * spec[..., None]
    # A second, softer highlight along each tube's crest.
    crest = smoothstep(0.75, 1.0, t) * 0.18
    body = np.clip(body + crest[..., None], 0, 0.985)
    outline_cov = np.clip(ndimage.grey_dilation(m, size=(2 * SS + 1, 2 * SS + 1)), 0, 1)
    outline = rgb * 0.45
    return [(to_uint8(compose([shadow(m, (6 * SS, 5 * SS), 4 * SS, 0.35), (outline, outline_cov),
                                (body, m)])), 0, 0)]


def turquoise_texture(n, seed):
    base = noise((n, n), 30 * SS, seed)
    fine = noise((n, n), 5 * SS, seed + 1, octaves=3)
    light_t = np.array([0.45, 0.86, 0.80])
    dark_t = np.array([0.10, 0.55, 0.55])
    col = dark_t + (light_t - dark_t) * (0.55 * base + 0.45 * fine)[..., None]
    # Spidery dark matrix veins where two noise fields cross zero.
    v1 = noise((n, n), 18 * SS, seed + 2, octaves=3)
    v2 = noise((n, n), 9 * SS, seed + 3, octaves=3)
    veins = np.exp(-((v1 - 0.5) / 0.018) ** 2) + 0.6 * np.exp(-((v2 - 0.5) / 0.014) ** 2)
    veins = np.clip(veins, 0, 1)
    matrix = np.array([0.25, 0.20, 0.14])
    return col * (1 - 0.85 * veins[..., None]) + matrix * 0.85 * veins[..., None]


def sparkle(shape, x, y, size, sharp=1.0):
    """Coverage of a four-pointed star glint centred at supersampled x, y."""
    yy, xx = np.mgrid[0:shape[0], 0:shape[1]]
    dx, dy = (xx - x) / size, (yy - y) / size
    rays = np.exp(-np.abs(dx) * 9 * sharp) * np.exp(-(dy * 1.4) ** 2 * 4) + \
        np.exp(-np.abs(dy) * 9 * sharp) * np.exp(-(dx * 1.4) ** 2 * 4)
    rays = np.minimum(rays * np.exp(-(dx ** 2 + dy ** 2) * 1.2), 1)
    glow = np.exp(-(dx ** 2 + dy ** 2) * 22)
    return np.clip(rays + glow, 0, 1)


def card_2():
    """日 in turquoise stone letters, with glints that come and go."""
    m = glyph("日", NOTO_SERIF_BOLD, 300)
    m = ndimage.grey_dilation(m, size=(7 * SS, 5 * SS))
    n = m.shape[0]
    d = inside_distance(m)
    R = 14.0 * SS
    # A chiselled edge: a flat face inside a sloping bevel.
    h = np.clip(d / R, 0, 1) ** 0.8 * R * 0.9
    h = ndimage.gaussian_filter(h, 1.0)
    nrm = normals_from_height(h, 1.0)
    diff, spec = light(nrm, 25)
    tex = turquoise_texture(n, 21)
    body = tex * (0.40 + 0.72 * diff)[..., None] + 0.35 * spec[..., None]
    # Polished face: a faint sheen across the flat top.
    yy, xx = np.mgrid[0:n, 0:n] / n
    sheen = 0.08 * np.exp(-((xx + yy - 0.75) / 0.18) ** 2) * smoothstep(0.9, 1.0, d / R)
    body = np.clip(body + sheen[..., None], 0, 0.985)
    outline_cov = np.clip(ndimage.grey_dilation(m, size=(2 * SS + 1, 2 * SS + 1)), 0, 1)
    outline = np.zeros((n, n, 3)) + np.array([0.05, 0.25, 0.26])
    layers = [shadow(m, (6 * SS, 6 * SS), 5 * SS, 0.4), (outline, outline_cov), (body, m)]
    first = compose(layers)
    frames = [(to_uint8(first), 0, 0)]
    # Glints for the animation, each frame a new set, inside the 249 x 269
    # window at 81, 55 that the later frames cover.
    glints = [[(115, 150, 46), (285, 72, 34)], [(286, 232, 48), (170, 192, 30)],
              [(118, 300, 40), (225, 76, 32), (292, 312, 28)]]
    for k, spots in enumerate(glints):
        cov = np.zeros((n, n))
        for (x, y, s) in spots:
            cov = np.maximum(cov, sparkle((n, n), x * SS, y * SS, s * SS))
        col = np.zeros((n, n, 3)) + np.array([0.93, 1.0, 0.98])
        img = compose(layers + [(col, np.clip(cov, 0, 1) * 0.95)])
        frames.append((to_uint8(img)[55:55 + 269, 81:81 + 249], 81, 55))
    return frames


def card_3():
    """快 in glossy green letters."""
    m = glyph("快", NOTO_SANS_BOLD, 316)
    n = m.shape[0]
    d = inside_distance(m)
    R = 16.0 * SS
    t = np.clip(d / R, 0, 1)
    h = np.sqrt(1 - (1 - t) ** 2) * R
    h = ndimage.gaussian_filter(h, 1.0)
    nrm = normals_from_height(h, 1.2)
    diff, spec = light(nrm, 90)
    yy, xx = np.mgrid[0:n, 0:n] / n
    top = np.array([0.50, 0.90, 0.30])
    bottom = np.array([0.02, 0.45, 0.10])
    grad = top + (bottom - top) * smoothstep(0.1, 0.9, yy)[..., None]
    body = grad * (0.45 + 0.65 * diff)[..., None] + 1.0 * spec[..., None]
    # The glossy band: a bright reflection over the upper part of every
    # stroke, fading out towards its lower edge.
    inner = ndimage.gaussian_filter((d > 0.35 * R).astype(float), 1.5)
    up = ndimage.shift(m, (-7 * SS, 0), order=1)
    band = inner * smoothstep(0.5, 1.0, up) * (1 - smoothstep(0.45, 0.75, yy % 1.0) * 0)
    light_band = band * (0.30 + 0.15 * (1 - yy))
    body = np.clip(body + light_band[..., None] * (np.array([1.0, 1.0, 1.0]) - body) * 0.9, 0, 0.985)
    outline_cov = np.clip(ndimage.grey_dilation(m, size=(3 * SS, 3 * SS)), 0, 1)
    outline = np.zeros((n, n, 3)) + np.array([0.0, 0.25, 0.05])
    return [(to_uint8(compose([shadow(m, (6 * SS, 5 * SS), 5 * SS, 0.35), (outline, outline_cov),
                                (body, m)])), 0, 0)]


def card_4():
    """乐 in black letters with a gold edge."""
    m = glyph("乐", UKAI, 318)
    n = m.shape[0]
    m = np.clip(ndimage.grey_dilation(m, size=(3 * SS, 3 * SS)) * 0.5 + m * 0.5, 0, 1)
    rim_w = 8 * SS
    outer_d = ndimage.distance_transform_edt(m < 0.5)
    ring_cov = np.clip((rim_w + 0.5 * SS - outer_d) / SS, 0, 1)
    ring_cov = np.maximum(ring_cov, m)
    # Gold: a rounded rim lit from the upper left, with a warm metal ramp.
    rr = np.clip(1 - np.abs(outer_d - rim_w / 2) / (rim_w / 2), 0, 1)
    hh = np.sqrt(np.clip(rr, 0, 1)) * rim_w * 0.8
    hh = ndimage.gaussian_filter(hh, 1.0)
    nrm = normals_from_height(hh, 1.0)
    diff, spec = light(nrm, 30)
    dark_gold = np.array([0.42, 0.26, 0.04])
    gold = np.array([0.86, 0.64, 0.16])
    pale = np.array([1.0, 0.92, 0.58])
    g = dark_gold + (gold - dark_gold) * smoothstep(0.0, 0.6, diff)[..., None]
    g = g + (pale - g) * smoothstep(0.55, 1.0, diff)[..., None]
    yy, xx = np.mgrid[0:n, 0:n] / n
    streak = 0.08 * np.sin((xx * 0.7 + yy) * 40)
    g = np.clip(g * (1 + streak)[..., None] + 0.6 * spec[..., None], 0, 0.985)
    # The black face: deep black with a faint cool sheen and a soft gloss.
    di = inside_distance(m)
    hf = np.clip(di / (10 * SS), 0, 1) * 10 * SS
    nf = normals_from_height(ndimage.gaussian_filter(hf, 1.5), 0.8)
    fd, fs = light(nf, 50)
    face = np.zeros((n, n, 3)) + np.array([0.04, 0.04, 0.05])
    face = face * (0.6 + 0.6 * fd)[..., None] + 0.30 * fs[..., None]
    face = face + 0.07 * np.exp(-((xx + yy - 0.7) / 0.12) ** 2)[..., None]
    edge_line = np.zeros((n, n, 3)) + np.array([0.30, 0.18, 0.02])
    edge_cov = np.clip(ndimage.grey_dilation(ring_cov, size=(2 * SS + 1, 2 * SS + 1)), 0, 1)
    return [(to_uint8(compose([shadow(m, (6 * SS, 6 * SS), 5 * SS, 0.35), (edge_line, edge_cov),
                                (g, ring_cov), (face, m)])), 0, 0)]


PICTURES = {"card_1": card_1, "card_2": card_2, "card_3": card_3, "card_4": card_4}
