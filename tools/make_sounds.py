#!/usr/bin/env python3
"""Writes Tolvo's interface sounds to assets/sounds/NAME.wav.

Every sound is synthesised here from sine partials, envelopes and a little
filtered noise; nothing is sampled. The output is deterministic (the noise is
seeded), 44.1 kHz 16-bit mono, short and soft. Clicks and toggles are quiet
ticks of a few dozen milliseconds; the goal, win and error sounds are longer
and tonal so that they stand apart from them.

Usage: tools/make_sounds.py [OUTPUT_FOLDER]   (default: assets/sounds)
"""

import math
import os
import random
import struct
import sys
import wave

RATE = 44100


def silence(seconds):
    return [0.0] * int(RATE * seconds)


def envelope(n, attack, release, decay=None):
    """Attack/release ramps in seconds; optional exponential decay time constant."""
    a = max(1, int(RATE * attack))
    r = max(1, int(RATE * release))
    env = []
    for i in range(n):
        v = 1.0
        if i < a:
            v = i / a
        if i > n - r:
            v *= max(0.0, (n - i) / r)
        if decay:
            v *= math.exp(-i / (RATE * decay))
        env.append(v)
    return env


def tone(freq, seconds, partials=((1, 1.0),), attack=0.005, release=0.03, decay=None,
         vibrato=0.0, glide_to=None):
    """A note made of harmonic partials (multiple, weight), optionally gliding."""
    n = int(RATE * seconds)
    env = envelope(n, attack, release, decay)
    out = []
    phase = 0.0
    total = sum(w for _, w in partials)
    for i in range(n):
        t = i / RATE
        f = freq if glide_to is None else freq + (glide_to - freq) * (i / n)
        if vibrato:
            f *= 1.0 + vibrato * math.sin(2 * math.pi * 5.5 * t)
        phase += 2 * math.pi * f / RATE
        s = sum(w * math.sin(m * phase) for m, w in partials) / total
        out.append(s * env[i])
    return out


def noise(seconds, seed, smooth=0.2, attack=0.005, release=0.05, decay=None, swell=False):
    """Low-passed white noise; smooth in (0, 1], smaller is darker."""
    rng = random.Random(seed)
    n = int(RATE * seconds)
    env = envelope(n, attack, release, decay)
    out = []
    y = 0.0
    for i in range(n):
        y += smooth * (rng.uniform(-1.0, 1.0) - y)
        v = env[i]
        if swell:
            v *= math.sin(math.pi * i / n)
        out.append(y * v * 2.0)
    return out


def mix(*layers):
    """layers: (start_seconds, samples, gain)."""
    length = max(int(RATE * start) + len(samples) for start, samples, _ in layers)
    out = [0.0] * length
    for start, samples, gain in layers:
        offset = int(RATE * start)
        for i, s in enumerate(samples):
            out[offset + i] += s * gain
    return out


def normalise(samples, peak):
    top = max(abs(s) for s in samples) or 1.0
    faded = list(samples)
    # A few milliseconds of fade at both ends so nothing starts or stops with a pop.
    edge = min(len(faded) // 2, int(RATE * 0.003))
    for i in range(edge):
        faded[i] *= i / edge
        faded[-1 - i] *= i / edge
    return [s * peak / top for s in faded]


def note(name):
    """'A4', 'C#5', 'Bb3' -> frequency."""
    names = {'C': -9, 'D': -7, 'E': -5, 'F': -4, 'G': -2, 'A': 0, 'B': 2}
    semitone = names[name[0]]
    rest = name[1:]
    if rest[0] == '#':
        semitone += 1
        rest = rest[1:]
    elif rest[0] == 'b':
        semitone -= 1
        rest = rest[1:]
    octave = int(rest)
    return 440.0 * 2 ** ((semitone + (octave - 4) * 12) / 12)


BELL = ((1, 1.0), (2, 0.35), (3, 0.12), (4.2, 0.06))
SOFT = ((1, 1.0), (2, 0.18))
BRASS = ((1, 1.0), (2, 0.6), (3, 0.4), (4, 0.25), (5, 0.12))
WOOD = ((1, 1.0), (2.76, 0.3), (5.4, 0.08))


def click():
    return normalise(mix((0, tone(1750, 0.035, WOOD, attack=0.001, release=0.01, decay=0.008), 1.0),
                         (0, noise(0.012, 1, smooth=0.6, attack=0.0005, release=0.006), 0.25)), 0.28)


def toggle():
    return normalise(mix((0, tone(note('E6'), 0.045, SOFT, attack=0.002, release=0.015, decay=0.02), 1.0),
                         (0.045, tone(note('A6'), 0.06, SOFT, attack=0.002, release=0.02, decay=0.025), 0.9)), 0.3)


def navigate():
    return normalise(mix((0, tone(520, 0.075, SOFT, attack=0.004, release=0.03, decay=0.03, glide_to=880), 1.0),
                         (0, noise(0.06, 2, smooth=0.08, attack=0.01, release=0.03), 0.35)), 0.26)


def refresh():
    return normalise(mix((0, tone(420, 0.16, SOFT, attack=0.01, release=0.05, glide_to=1100), 1.0),
                         (0.13, tone(note('E6'), 0.07, BELL, attack=0.002, release=0.04, decay=0.03), 0.6)), 0.28)


def favorite():
    return normalise(mix((0, tone(note('E6'), 0.09, BELL, attack=0.002, release=0.04, decay=0.05), 1.0),
                         (0.07, tone(note('B6'), 0.16, BELL, attack=0.002, release=0.08, decay=0.07), 0.9),
                         (0.07, noise(0.08, 3, smooth=0.9, release=0.06, decay=0.02), 0.05)), 0.34)


def unfavorite():
    return normalise(mix((0, tone(note('B5'), 0.08, SOFT, attack=0.002, release=0.04, decay=0.05), 1.0),
                         (0.07, tone(note('E5'), 0.13, SOFT, attack=0.002, release=0.07, decay=0.06), 0.9)), 0.3)


def thinking():
    layers = []
    for i, f in enumerate((520, 620, 740)):
        layers.append((i * 0.11, tone(f, 0.09, SOFT, attack=0.015, release=0.05, vibrato=0.004), 0.8 + 0.1 * i))
    return normalise(mix(*layers), 0.26)


def notify():
    return normalise(mix((0, tone(note('G5'), 0.3, BELL, attack=0.003, release=0.15, decay=0.16), 1.0),
                         (0.12, tone(note('D6'), 0.34, BELL, attack=0.003, release=0.2, decay=0.18), 0.85)), 0.36)


def success():
    layers = [(i * 0.07, tone(note(n), 0.28 - i * 0.02, BELL, attack=0.003, release=0.12, decay=0.12), 1.0)
              for i, n in enumerate(('C5', 'E5', 'G5'))]
    layers.append((0.21, tone(note('C6'), 0.36, BELL, attack=0.003, release=0.22, decay=0.2), 1.0))
    return normalise(mix(*layers), 0.4)


def error():
    # Odd harmonics give a soft reed-like buzz, low and unlike any click.
    buzz = ((1, 1.0), (3, 0.25), (5, 0.12), (7, 0.05))
    return normalise(mix((0, tone(note('A3'), 0.14, buzz, attack=0.004, release=0.04), 1.0),
                         (0.16, tone(note('F3'), 0.22, buzz, attack=0.004, release=0.1, decay=0.25), 1.0),
                         (0.16, tone(note('F3') * 1.01, 0.22, SOFT, attack=0.004, release=0.1, decay=0.25), 0.5)),
                     0.32)


def goal():
    # A quick rising fanfare into a held chord over a swelling crowd-like roar.
    layers = [(i * 0.075, tone(note(n), 0.14, BRASS, attack=0.006, release=0.05, decay=0.2), 0.8)
              for i, n in enumerate(('G4', 'C5', 'E5', 'G5'))]
    for n in ('C5', 'E5', 'G5', 'C6'):
        layers.append((0.3, tone(note(n), 0.75, BRASS, attack=0.02, release=0.35, vibrato=0.006), 0.45))
    layers.append((0.0, noise(1.05, 4, smooth=0.05, attack=0.2, release=0.4, swell=True), 0.5))
    return normalise(mix(*layers), 0.45)


def send():
    return normalise(mix((0, tone(600, 0.12, SOFT, attack=0.004, release=0.05, glide_to=1500), 1.0),
                         (0, noise(0.14, 5, smooth=0.25, attack=0.02, release=0.08, swell=True), 0.45)), 0.3)


def receive():
    return normalise(mix((0, tone(note('A5'), 0.08, BELL, attack=0.002, release=0.04, decay=0.05), 1.0),
                         (0.08, tone(note('E5'), 0.14, BELL, attack=0.002, release=0.08, decay=0.08), 0.9)), 0.32)


def delete():
    return normalise(mix((0, tone(700, 0.18, SOFT, attack=0.003, release=0.08, glide_to=180, decay=0.1), 1.0),
                         (0, noise(0.16, 6, smooth=0.35, attack=0.002, release=0.1, decay=0.05), 0.6)), 0.32)


def win_home():
    layers = [(i * 0.09, tone(note(n), 0.2, BRASS, attack=0.005, release=0.08, decay=0.25), 0.9)
              for i, n in enumerate(('C5', 'E5', 'G5'))]
    for n in ('C5', 'E5', 'G5', 'C6'):
        layers.append((0.27, tone(note(n), 0.45, BRASS, attack=0.01, release=0.25, vibrato=0.004), 0.4))
    return normalise(mix(*layers), 0.42)


def win_draw():
    # Two calm, even bells a fifth apart: neither side's fanfare.
    return normalise(mix((0, tone(note('D5'), 0.4, BELL, attack=0.006, release=0.2, decay=0.3), 1.0),
                         (0.18, tone(note('A5'), 0.42, BELL, attack=0.006, release=0.22, decay=0.3), 0.9),
                         (0.18, tone(note('D5'), 0.42, SOFT, attack=0.006, release=0.22, decay=0.3), 0.5)), 0.38)


def win_away():
    # The away fanfare runs down and back up in another key.
    layers = [(i * 0.09, tone(note(n), 0.2, BRASS, attack=0.005, release=0.08, decay=0.25), 0.9)
              for i, n in enumerate(('A5', 'E5', 'A5'))]
    for n in ('A4', 'C#5', 'E5', 'A5'):
        layers.append((0.27, tone(note(n), 0.45, SOFT, attack=0.01, release=0.25, vibrato=0.008), 0.45))
    return normalise(mix(*layers), 0.42)


SOUNDS = {
    'click': click, 'toggle': toggle, 'navigate': navigate, 'refresh': refresh,
    'favorite': favorite, 'unfavorite': unfavorite, 'thinking': thinking, 'notify': notify,
    'success': success, 'error': error, 'goal': goal, 'send': send, 'receive': receive,
    'delete': delete, 'win_home': win_home, 'win_draw': win_draw, 'win_away': win_away,
}


def write_wav(path, samples):
    with wave.open(path, 'wb') as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        frames = b''.join(struct.pack('<h', max(-32767, min(32767, int(round(s * 32767))))) for s in samples)
        out.writeframes(frames)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), '..', 'assets', 'sounds')
    os.makedirs(folder, exist_ok=True)
    for name, make in SOUNDS.items():
        samples = make()
        write_wav(os.path.join(folder, name + '.wav'), samples)
        print('%-11s %4d ms' % (name, 1000 * len(samples) // RATE))


if __name__ == '__main__':
    main()
