"""The two stored tunes, synthesised note by note.

intro_tune: the traditional "Happy Birthday" melody (public domain), four
verses with a light waltz accompaniment, 8-bit unsigned mono at 8 kHz.
main_song: a short piece of our own in G major, 44.1 kHz stereo, encoded to
MPEG-1 Layer III with lame.
"""

import os
import shutil
import struct
import subprocess
import tempfile
import wave

import numpy as np
from scipy.signal import fftconvolve

INTRO_RATE = 8000
INTRO_SAMPLES = 528837           # 66.1 s
SONG_RATE = 44100
SONG_SAMPLES = 4451895           # 100.95 s; lame makes 3866 frames of it


def midi_hz(n):
    return 440.0 * 2.0 ** ((n - 69) / 12.0)


def envelope(n, rate, attack, release, hold):
    """Attack ramp, then level 1 until `hold` seconds, then a release ramp."""
    t = np.arange(n) / rate
    env = np.minimum(1.0, t / max(attack, 1e-4))
    rel = np.clip(1.0 - (t - hold) / max(release, 1e-4), 0.0, 1.0)
    return env * np.where(t > hold, rel, 1.0) ** 2


def voice(kind, freq, dur, rate, vel=1.0):
    """One note as float samples. dur is the written length in seconds."""
    nyq = rate / 2 * 0.92
    if kind == "epiano":
        tail = 0.6
        parts = [(1, 1.0, 1.6), (2, 0.32, 3.0), (3, 0.12, 4.5), (4, 0.06, 6.0), (5, 0.02, 8.0)]
        attack, release = 0.006, 0.18
    elif kind == "musicbox":
        tail = 1.2
        parts = [(1, 1.0, 1.2), (2, 0.15, 2.5), (3.01, 0.25, 5.0), (5.4, 0.06, 9.0)]
        attack, release = 0.003, 0.5
    elif kind == "pad":
        tail = 0.5
        parts = [(1, 1.0, 0.0), (2, 0.25, 0.0), (3, 0.08, 0.0), (1.003, 0.6, 0.0)]
        attack, release = 0.18, 0.45
    elif kind == "bass":
        tail = 0.25
        parts = [(1, 1.0, 1.8), (2, 0.45, 3.0), (3, 0.18, 5.0)]
        attack, release = 0.008, 0.12
    elif kind == "pluck":
        tail = 0.3
        parts = [(1, 1.0, 5.0), (2, 0.4, 8.0), (3, 0.15, 11.0)]
        attack, release = 0.004, 0.1
    elif kind == "lead":
        tail = 0.3
        parts = [(k, 0.9 / k ** 1.6, 0.4 + 0.2 * k) for k in range(1, 8)]
        attack, release = 0.03, 0.22
    else:
        raise ValueError(kind)
    n = int((dur + tail) * rate)
    t = np.arange(n) / rate
    out = np.zeros(n)
    vib = 0.0
    if kind == "lead":
        vib = 0.004 * np.sin(2 * np.pi * 5.2 * t) * np.clip((t - 0.25) / 0.3, 0, 1)
    for mult, amp, decay in parts:
        f = freq * mult
        if f >= nyq:
            continue
        phase = 2 * np.pi * f * (t + (np.cumsum(vib) / rate if kind == "lead" else 0.0))
        out += amp * np.sin(phase) * np.exp(-decay * t)
    return out * envelope(n, rate, attack, release, dur) * vel


class Track:
    def __init__(self, rate, seconds, channels=1):
        self.rate = rate
        self.buf = np.zeros((int(seconds * rate) + rate * 3, channels))

    def add(self, kind, midi, start, dur, vel=1.0, pan=0.0):
        s = voice(kind, midi_hz(midi), dur, self.rate, vel)
        i = int(round(start * self.rate))
        seg = self.buf[i:i + len(s)]
        s = s[:len(seg)]
        if self.buf.shape[1] == 1:
            seg[:, 0] += s
        else:
            seg[:, 0] += s * np.sqrt(0.5 * (1 - pan))
            seg[:, 1] += s * np.sqrt(0.5 * (1 + pan))

    def add_samples(self, samples, start, pan=0.0):
        i = int(round(start * self.rate))
        seg = self.buf[i:i + len(samples)]
        s = samples[:len(seg)]
        if self.buf.shape[1] == 1:
            seg[:, 0] += s
        else:
            seg[:, 0] += s * np.sqrt(0.5 * (1 - pan))
            seg[:, 1] += s * np.sqrt(0.5 * (1 + pan))


def reverb(x, rate, seconds=1.2, wet=0.18, seed=7):
    rng = np.random.default_rng(seed)
    n = int(seconds * rate)
    t = np.arange(n) / rate
    out = np.empty_like(x)
    for c in range(x.shape[1]):
        ir = rng.standard_normal(n) * np.exp(-t * 6.9 / seconds)
        ir[: int(0.012 * rate)] = 0.0
        ir /= np.sqrt((ir ** 2).sum())
        out[:, c] = x[:, c] + wet * fftconvolve(x[:, c], ir)[: len(x)]
    return out


# -- Happy Birthday ----------------------------------------------------------

# (midi note in C, beats); a verse is 24 beats from its pickup.
HB_MELODY = [(67, .75), (67, .25), (69, 1), (67, 1), (72, 1), (71, 2),
             (67, .75), (67, .25), (69, 1), (67, 1), (74, 1), (72, 2),
             (67, .75), (67, .25), (79, 1), (76, 1), (72, 1), (71, 1), (69, 1),
             (77, .75), (77, .25), (76, 1), (72, 1), (74, 1), (72, 2)]
# Chord per beat of the verse, from the bar after the pickup (beat 1).
HB_BARS = ["C", "G7", "G7", "C", "C7", "F", "C-G7", "C"]
CHORDS = {  # bass, then the chord tones
    "C": (48, (60, 64, 67)), "G7": (43, (59, 62, 65)), "C7": (48, (58, 64, 67)),
    "F": (41, (60, 65, 69)), "G": (43, (59, 62, 67)),
}
C_MAJOR = [0, 2, 4, 5, 7, 9, 11]


def third_below(note):
    """The diatonic third below a note of C major."""
    pc, octv = note % 12, note // 12
    deg = C_MAJOR.index(pc)
    d2 = deg - 2
    return octv * 12 + C_MAJOR[d2 % 7] + (12 * (d2 // 7))


def intro_tune_samples():
    rate = INTRO_RATE
    beat = 0.6
    total = INTRO_SAMPLES / rate
    tr = Track(rate, total)
    t0 = 2 * 3 * beat - beat  # two bars of introduction, then the pickup
    # Introduction: a broken C chord on the music box.
    for i, n in enumerate([60, 64, 67, 72, 67, 64]):
        tr.add("musicbox", n + 12, i * beat * 5 / 6, beat * 1.5, 0.35)
    for verse in range(4):
        key = 0 if verse < 2 else 2
        start = t0 + verse * 24 * beat
        # Melody; the last verse slows down over its last bar.
        t = start
        for i, (n, b) in enumerate(HB_MELODY):
            stretch = 1.0
            if verse == 3 and i >= len(HB_MELODY) - 4:
                stretch = 1.35
            dur = b * beat * stretch
            hold = dur * (2.4 if verse == 3 and i == len(HB_MELODY) - 1 else 0.92)
            tr.add("epiano", n + key, t, hold, 0.55)
            if verse >= 2:
                tr.add("musicbox", third_below(n) + key + 12 if verse == 3 else third_below(n) + key, t, hold,
                       0.12 if verse == 3 else 0.16)
            t += dur
        # Accompaniment: pads in verse 1, a waltz (bass, chord, chord) after.
        for bar, name in enumerate(HB_BARS):
            bar_t = start + (1 + 3 * bar) * beat
            if verse == 3 and bar == 7:
                bar_t = start + (19 + 3 * 1.35) * beat
            slow = 1.35 if verse == 3 and bar >= 6 else 1.0
            names = name.split("-")
            for k in range(3):
                nm = names[0] if len(names) == 1 or k < 2 else names[1]
                bass, tones = CHORDS[nm]
                bt = bar_t + k * beat * slow
                if verse == 3 and bar == 7:
                    if k == 0:
                        for j, tn in enumerate(tones + (72,)):
                            tr.add("musicbox", tn + key + 12, bt + j * 0.09, 3.5, 0.16)
                        tr.add("bass", bass + key, bt, 3.0, 0.5)
                        tr.add("pad", tones[0] + key, bt, 3.6, 0.1)
                        tr.add("pad", tones[1] + key, bt, 3.6, 0.1)
                    continue
                if verse == 0:
                    if k == 0:
                        for tn in tones:
                            tr.add("pad", tn + key, bt, 3 * beat * 0.95, 0.09)
                else:
                    if k == 0:
                        tr.add("bass", bass + key, bt, beat * 0.9, 0.42)
                    else:
                        for tn in tones:
                            tr.add("pluck", tn + key, bt, beat * 0.45, 0.11)
    x = reverb(tr.buf, rate, 1.0, 0.22)[:INTRO_SAMPLES, 0]
    fade = np.ones(INTRO_SAMPLES)
    nf = int(1.5 * rate)
    fade[-nf:] = np.linspace(1, 0, nf) ** 2
    x = x * fade
    x = x - np.mean(x)
    return x / np.max(np.abs(x)) * 10 ** (-3.0 / 20)


def intro_tune_wav():
    x = intro_tune_samples()
    rng = np.random.default_rng(3)
    dither = (rng.random(len(x)) - rng.random(len(x)))  # TPDF, +/- 1 step
    u8 = np.clip(np.rint(128 + x * 128 + dither * 0.5), 0, 255).astype(np.uint8)
    u8[:40] = 128
    u8[-40:] = 128
    data = u8.tobytes()
    assert len(data) == INTRO_SAMPLES
    fmt = struct.pack("<HHIIHH", 1, 1, INTRO_RATE, INTRO_RATE, 1, 8)
    body = b"WAVE" + b"fmt " + struct.pack("<I", 16) + fmt + b"data" + struct.pack("<I", len(data)) + data
    # The odd data chunk is the last one and carries no pad byte.
    return b"RIFF" + struct.pack("<I", len(body)) + body


# -- the main song -------------------------------------------------------------

SONG_CHORDS = {  # root (bass), chord tones around middle C
    "G": (43, (59, 62, 67)), "D": (38, (57, 62, 66)), "Em": (40, (59, 64, 67)),
    "C": (36, (60, 64, 67)), "Bm": (47, (59, 62, 66)), "Am": (45, (57, 60, 64)),
}
A_CHORDS = ["G", "D", "Em", "C", "G", "D", "Em", "C-D"]
B_CHORDS = ["C", "D", "Bm", "Em", "C", "D", "G", "G"]
A_TUNE = [[(71, 1), (74, 1), (79, 1.5), (78, .5)], [(76, 1), (74, 2), (69, 1)],
          [(71, 1), (76, 1), (79, 1), (78, 1)], [(76, 3), (74, 1)],
          [(71, 1), (74, 1), (79, 1), (81, 1)], [(78, 1.5), (76, .5), (74, 2)],
          [(76, 1), (79, 1), (78, 1), (76, 1)], [(76, 2), (78, 2)]]
B_TUNE = [[(79, 1), (76, 1), (72, 1), (76, 1)], [(78, 1), (81, 1), (78, 1), (74, 1)],
          [(74, 1.5), (71, .5), (74, 1), (78, 1)], [(76, 4)],
          [(76, 1), (79, 1), (76, 1), (72, 1)], [(74, 1), (78, 1), (81, 2)],
          [(79, 3), (74, 1)], [(79, 4)]]


def drum(kind, rate, seed):
    rng = np.random.default_rng(seed)
    if kind == "kick":
        n = int(0.35 * rate)
        t = np.arange(n) / rate
        f = 50 + 90 * np.exp(-t * 30)
        return np.sin(2 * np.pi * np.cumsum(f) / rate) * np.exp(-t * 9)
    if kind == "snare":
        n = int(0.25 * rate)
        t = np.arange(n) / rate
        noise = rng.standard_normal(n)
        noise = np.convolve(noise, [0.5, -0.5], "same")
        return (0.5 * noise + 0.5 * np.sin(2 * np.pi * 190 * t)) * np.exp(-t * 18)
    n = int(0.06 * rate)
    t = np.arange(n) / rate
    noise = np.diff(rng.standard_normal(n + 1))
    return noise * np.exp(-t * 70)


def main_song_samples():
    rate = SONG_RATE
    beat = 60.0 / 96.0
    tr = Track(rate, SONG_SAMPLES / rate, channels=2)
    sections = [("intro", A_CHORDS[:4]), ("A", A_CHORDS), ("B", B_CHORDS), ("A2", A_CHORDS),
                ("B2", B_CHORDS), ("outro", ["C", "D", "G", "G"])]
    bar = 0
    for name, chords in sections:
        for i, ch in enumerate(chords):
            t = bar * 4 * beat
            halves = ch.split("-")
            for h, cn in enumerate(halves):
                root, tones = SONG_CHORDS[cn]
                length = 4 / len(halves)
                th = t + h * length * beat
                for tn in tones:
                    tr.add("pad", tn, th, length * beat, 0.07, pan=-0.3 if tn == tones[0] else 0.3)
                if name != "intro":
                    for k in range(int(length)):
                        tr.add("bass", root, th + k * beat, beat * (0.9 if k % 2 == 0 else 0.45),
                               0.32 if k % 2 == 0 else 0.22)
                # Arpeggio of eighth notes in the upper register.
                arp = [tones[0] + 12, tones[1] + 12, tones[2] + 12, tones[1] + 12]
                for k in range(int(length * 2)):
                    if name == "outro" and i == 3 and k > 2:
                        break
                    tr.add("musicbox", arp[k % 4], th + k * beat / 2, beat * 0.6,
                           0.08 if name != "intro" else 0.1, pan=0.5 if k % 2 else -0.2)
            if name in ("A", "B", "A2", "B2"):
                tune = (A_TUNE if name.startswith("A") else B_TUNE)[i]
                tt = t
                for n, b in tune:
                    tr.add("lead", n, tt, b * beat * 0.95, 0.30, pan=0.05)
                    if name in ("A2", "B2"):
                        tr.add("epiano", n - 12, tt, b * beat * 0.9, 0.12, pan=-0.4)
                    tt += b * beat
            if name not in ("intro",) and not (name == "outro" and i == 3):
                for k in range(4):
                    bt = t + k * beat
                    if k in (0, 2):
                        tr.add_samples(0.45 * drum("kick", rate, bar * 8 + k), bt)
                    else:
                        tr.add_samples(0.16 * drum("snare", rate, bar * 8 + k), bt, pan=0.1)
                    for e in range(2):
                        tr.add_samples(0.05 * drum("hat", rate, bar * 16 + 2 * k + e), bt + e * beat / 2,
                                       pan=0.45)
            bar += 1
    # The last bar: a held G chord.
    root, tones = SONG_CHORDS["G"]
    t = (bar - 1) * 4 * beat
    tr.add("epiano", 79, t, 3.0, 0.25)
    tr.add("bass", root, t, 3.0, 0.35)
    x = reverb(tr.buf, rate, 1.8, 0.2)[:SONG_SAMPLES]
    fade = np.ones(SONG_SAMPLES)
    nf = int(2.5 * rate)
    fade[-nf:] = np.linspace(1, 0, nf) ** 2
    x = x * fade[:, None]
    return x / np.max(np.abs(x)) * 10 ** (-1.0 / 20)


def main_song_mp3():
    x = main_song_samples()
    pcm = np.clip(np.rint(x * 32767), -32768, 32767).astype("<i2")
    assert pcm.shape == (SONG_SAMPLES, 2)
    tmp = tempfile.mkdtemp()
    try:
        wav = os.path.join(tmp, "song.wav")
        mp3 = os.path.join(tmp, "song.mp3")
        with wave.open(wav, "wb") as w:
            w.setnchannels(2)
            w.setsampwidth(2)
            w.setframerate(SONG_RATE)
            w.writeframes(pcm.tobytes())
        subprocess.run(["lame", "--quiet", "-b", "256", "--cbr", "-m", "s", "--noreplaygain", wav, mp3],
                       check=True)
        with open(mp3, "rb") as f:
            return f.read()
    finally:
        shutil.rmtree(tmp)
