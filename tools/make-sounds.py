#!/usr/bin/env python3
"""Synthesises the four feedback sounds of the program into data/.

  Seikai.WAV    correct answer: a bright three-note chime
  Machigai.WAV  wrong answer: a short low buzz
  MusMax.WAV    more items right than at the last check: a quick rising figure
  MusMin.WAV    no more items right than last time: a quick falling figure

All four are 16-bit PCM, mono, 22050 Hz, generated from scratch with the
standard library only, so running the script again gives the same bytes.
Every note has a soft attack and release, and each sound is normalised to a
fixed peak well below full scale.

Usage: tools/make-sounds.py
"""

import math
import os
import struct
import wave

RATE = 22050
PEAK = 0.70  # of full scale

TOOLS_DIR = os.path.dirname(os.path.abspath(__file__))
DATA_DIR = os.path.join(os.path.dirname(TOOLS_DIR), "data")


def note_frequency(name):
    """Frequency of a note such as 'C6' or 'F#4' (A4 = 440 Hz)."""
    steps = {"C": -9, "D": -7, "E": -5, "F": -4, "G": -2, "A": 0, "B": 2}
    letter, rest = name[0], name[1:]
    semitone = steps[letter]
    if rest.startswith("#"):
        semitone += 1
        rest = rest[1:]
    elif rest.startswith("b"):
        semitone -= 1
        rest = rest[1:]
    octave = int(rest)
    return 440.0 * 2 ** ((semitone + 12 * (octave - 4)) / 12)


def envelope(t, length, attack, release, decay=0.0):
    """Gain at time t of a note: linear-cosine attack, optional exponential
    decay, and a cosine release that reaches zero exactly at the end."""
    if t < 0 or t >= length:
        return 0.0
    if t < attack:
        gain = 0.5 - 0.5 * math.cos(math.pi * t / attack)
    else:
        gain = 1.0
    if decay > 0:
        gain *= math.exp(-decay * t)
    left = length - t
    if left < release:
        gain *= 0.5 - 0.5 * math.cos(math.pi * left / release)
    return gain


def mix_note(buffer, start, length, tone, attack, release, decay=0.0, level=1.0):
    """Adds one note to the buffer. tone(t) gives the raw waveform."""
    first = int(start * RATE)
    count = int(length * RATE)
    for i in range(count):
        at = first + i
        if at >= len(buffer):
            break
        t = i / RATE
        buffer[at] += level * envelope(t, length, attack, release, decay) * tone(t)


def bell(freq):
    """A bright, slightly glassy tone: fundamental, octave and a soft twelfth."""
    def tone(t):
        return (math.sin(2 * math.pi * freq * t)
                + 0.35 * math.sin(2 * math.pi * 2 * freq * t) * math.exp(-6 * t)
                + 0.12 * math.sin(2 * math.pi * 3 * freq * t) * math.exp(-10 * t))
    return tone


def mellow(freq):
    """A soft, rounded tone for the short figures: sine with a little third harmonic."""
    def tone(t):
        return (math.sin(2 * math.pi * freq * t)
                + 0.18 * math.sin(2 * math.pi * 3 * freq * t)
                + 0.08 * math.sin(2 * math.pi * 2 * freq * t))
    return tone


def buzz(freq, detune):
    """A low, rough tone: two slightly detuned band-limited sawtooths."""
    harmonics = 12

    def saw(f, t):
        return sum(math.sin(2 * math.pi * k * f * t) / k for k in range(1, harmonics + 1))

    def tone(t):
        wobble = 1.0 + 0.01 * math.sin(2 * math.pi * 7 * t)
        return 0.5 * saw(freq * wobble, t) + 0.5 * saw((freq + detune) * wobble, t)
    return tone


def normalise(buffer):
    top = max(abs(s) for s in buffer) or 1.0
    return [s * PEAK / top for s in buffer]


def write_wav(name, samples):
    path = os.path.join(DATA_DIR, name)
    frames = bytearray()
    for s in samples:
        value = int(round(s * 32767))
        value = max(-32768, min(32767, value))
        frames += struct.pack("<h", value)
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(bytes(frames))
    print(f"data/{name}: {len(samples) / RATE:.2f} s")


def seikai():
    # A rising major arpeggio that rings on: C6 - E6 - G6, the last note longest.
    total = 0.95
    buf = [0.0] * int(total * RATE)
    notes = [("C6", 0.00, 0.55), ("E6", 0.11, 0.55), ("G6", 0.22, 0.73)]
    for name, start, length in notes:
        mix_note(buf, start, length, bell(note_frequency(name)),
                 attack=0.006, release=0.12, decay=3.2, level=0.8)
    return normalise(buf)


def machigai():
    # Two short low buzzes, the second a little lower: "bu-buu".
    total = 0.62
    buf = [0.0] * int(total * RATE)
    mix_note(buf, 0.00, 0.20, buzz(123.5, 3.0), attack=0.015, release=0.05)
    mix_note(buf, 0.26, 0.34, buzz(110.0, 2.5), attack=0.015, release=0.09, decay=1.0)
    return normalise(buf)


def mus_max():
    # Quick rising figure, G5 A5 B5 D6, the top note held a little.
    total = 0.62
    buf = [0.0] * int(total * RATE)
    notes = [("G5", 0.00, 0.12), ("A5", 0.10, 0.12), ("B5", 0.20, 0.12), ("D6", 0.30, 0.32)]
    for name, start, length in notes:
        mix_note(buf, start, length, mellow(note_frequency(name)),
                 attack=0.008, release=0.05, decay=1.5)
    return normalise(buf)


def mus_min():
    # Quick falling figure, E5 C5 A4, ending soft and low.
    total = 0.58
    buf = [0.0] * int(total * RATE)
    notes = [("E5", 0.00, 0.14), ("C5", 0.12, 0.14), ("A4", 0.24, 0.34)]
    for name, start, length in notes:
        mix_note(buf, start, length, mellow(note_frequency(name)),
                 attack=0.010, release=0.08, decay=2.5)
    return normalise(buf)


def main():
    os.makedirs(DATA_DIR, exist_ok=True)
    write_wav("Seikai.WAV", seikai())
    write_wav("Machigai.WAV", machigai())
    write_wav("MusMax.WAV", mus_max())
    write_wav("MusMin.WAV", mus_min())


if __name__ == "__main__":
    main()
