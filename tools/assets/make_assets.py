#!/usr/bin/python3
"""Makes the program's stored pictures and sounds under assets/.

Usage: tools/assets/make_assets.py [--out DIR] [NAME ...]
With no names, makes all 22. Everything is drawn or synthesised here; the
same run always gives the same bytes.
"""

import argparse
import io
import os
import sys
import time

import numpy as np
from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import gif  # noqa: E402
from palette import quantise  # noqa: E402
from render3d import to_uint8  # noqa: E402

WHITE = (255, 255, 255)
BLACK = (0, 0, 0)

# How each picture's palette and graphic control block are laid out.
#   white: the palette entry that the white ground uses (None: no white)
#   transparent: the transparency index, or None for no transparency flag
#   reserved: entries that hold a fixed colour and are used by no pixel
PICTURE_LAYOUT = {
    "flower_01": dict(white=255, transparent=255),
    "flower_02": dict(white=255, transparent=None, delay=10, disposal=1),
    "flower_03": dict(white=255, transparent=None, delay=10, disposal=1),
    "flower_04": dict(white=255, transparent=255, trailing=b"\r\n"),
    "flower_05": dict(white=254, transparent=255, reserved={255: BLACK}, delay=10, disposal=1),
    "flower_12": dict(white=None, transparent=255, reserved={255: WHITE}),
    "card_3": dict(white=169, transparent=169),
    "card_4": dict(white=229, transparent=229),
}
for _n in [f"flower_{i:02d}" for i in range(1, 16)] + ["card_1", "card_2", "centrepiece"]:
    PICTURE_LAYOUT.setdefault(_n, dict(white=255, transparent=255))

PICTURES = [f"flower_{i:02d}" for i in range(1, 16)] + ["card_1", "card_2", "card_3", "card_4", "centrepiece"]
SOUNDS = ["intro_tune", "main_song"]


def draw(name):
    """The picture as a list of frames: (rgb uint8 H x W x 3, left, top)."""
    if name.startswith("flower_"):
        import flowers
        return [(to_uint8(flowers.PICTURES[name]()), 0, 0)]
    if name.startswith("card_"):
        import cards
        return cards.PICTURES[name]()
    if name == "centrepiece":
        import cake
        return [(cake.centrepiece(), 0, 0)]
    raise KeyError(name)


def encode_picture(name, frames):
    lay = PICTURE_LAYOUT[name]
    white = lay.get("white")
    transparent = lay.get("transparent")
    # One palette for all frames, fitted to all their pixels.
    stacked = np.concatenate([f[0].reshape(-1, 3) for f in frames])[:, None, :]
    palette, stacked_idx = quantise(stacked, white_index=white, reserved=lay.get("reserved"))
    stacked_idx = stacked_idx.ravel()
    out_frames = []
    pos = 0
    first = frames[0][0]
    h0, w0 = first.shape[:2]
    shown = None
    for k, (rgb, left, top) in enumerate(frames):
        h, w = rgb.shape[:2]
        idx = stacked_idx[pos:pos + h * w].reshape(h, w)
        pos += h * w
        if k == 0:
            shown = idx.copy()
            out = idx
        else:
            # Later frames only change what differs from what is on view.
            below = shown[top:top + h, left:left + w]
            out = np.where(idx == below, transparent, idx).astype(np.uint8)
            shown[top:top + h, left:left + w] = idx
        out_frames.append(gif.Frame(out.tobytes(), w, h, left, top, delay=lay.get("delay", 0 if len(frames) == 1 else 10),
                                    disposal=lay.get("disposal", 0 if len(frames) == 1 else 1),
                                    transparent=transparent))
    data = gif.write_gif(w0, h0, palette, out_frames, loop=0 if len(frames) > 1 else None,
                         background=white if white is not None else 0, trailing=lay.get("trailing", b""))
    check_picture(name, data, frames, palette, out_frames)
    return data


def check_picture(name, data, frames, palette, out_frames):
    """Decodes what we wrote, with our decoder and with PIL's, and compares."""
    pal = np.array(palette, np.uint8)
    im = Image.open(io.BytesIO(data))
    im.seek(0)
    first = np.array(im.convert("P")) if im.mode == "P" else None
    idx0 = np.frombuffer(out_frames[0].indices, np.uint8).reshape(out_frames[0].height, out_frames[0].width)
    if first is not None:
        assert np.array_equal(first, idx0), f"{name}: PIL reads other pixels"
    assert np.array_equal(gif.lzw_decode(gif.lzw_encode(out_frames[0].indices)), out_frames[0].indices)
    rgb = pal[idx0]
    err = np.abs(rgb.astype(int) - frames[0][0].astype(int)).mean()
    print(f"  {name}: {len(data)} bytes, mean colour error {err:.2f}")


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--out", default=os.path.normpath(os.path.join(HERE, "..", "..", "assets")))
    ap.add_argument("--png", help="also write each picture's first frame as PNG here")
    ap.add_argument("names", nargs="*")
    args = ap.parse_args()
    names = args.names or PICTURES + SOUNDS
    os.makedirs(args.out, exist_ok=True)
    for name in names:
        t = time.time()
        if name in SOUNDS:
            import music
            if name == "intro_tune":
                write(os.path.join(args.out, "intro_tune.wav"), music.intro_tune_wav())
            else:
                write(os.path.join(args.out, "main_song.mp3"), music.main_song_mp3())
        else:
            frames = draw(name)
            data = encode_picture(name, frames)
            write(os.path.join(args.out, name + ".gif"), data)
            if args.png:
                os.makedirs(args.png, exist_ok=True)
                Image.fromarray(frames[0][0]).save(os.path.join(args.png, name + ".png"))
        print(f"{name}: {time.time() - t:.1f} s", flush=True)


if __name__ == "__main__":
    main()
