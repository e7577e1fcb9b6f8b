#!/usr/bin/python3
"""Writes testsig.txt: what the amplifier simulation, the predistortion and
the dual tone must give, computed with numpy alone.

The model: every sample's magnitude is scaled, then mapped by the AM/AM
polynomial; the AM/PM polynomial (evaluated at the scaled input magnitude
when AM/PM comes first, at the AM/AM output otherwise) is added to the
sample's phase, folded once by 360 beyond +-180. Run from this folder after a
change of inputs: /usr/bin/python3 make_testsig_reference.py
"""
import numpy as np

rng = np.random.default_rng(31415)


def write(name, arrays):
    with open(name, "w") as f:
        for key, values in arrays.items():
            values = np.atleast_1d(np.asarray(values, dtype=float))
            f.write(key + ":" + "".join(" " + repr(float(v)) for v in values) + "\n")


def poly(c, x):
    # numpy's evaluation: coefficient k multiplies x**k
    return np.polynomial.polynomial.polyval(x, c)


def distort(z, amam, ampm, scale, am_first):
    mag = np.abs(z) * scale
    phase = np.angle(z)
    pm = None
    if am_first:
        if amam is not None:
            mag = poly(amam, mag)
        if ampm is not None:
            pm = poly(ampm, mag)
    else:
        if ampm is not None:
            pm = poly(ampm, mag)
        if amam is not None:
            mag = poly(amam, mag)
    if pm is not None:
        s = phase + pm
        phase = np.where(s > 180, s - 360, np.where(s < -180, s + 360, s))
    return mag * np.cos(phase) + 1j * mag * np.sin(phase)


def crest(z):
    m = np.abs(z)
    return 20 * np.log10(m.max() / np.sqrt(np.mean(m ** 2)))


n = 96
z = rng.uniform(0.05, 0.95, n) * np.exp(1j * rng.uniform(-np.pi, np.pi, n))
amam = np.array([0.0, 1.25, -0.3, -0.08])
ampm = np.array([0.02, -0.15, 0.45])
amam_pre = np.array([0.0, 0.82, 0.21, 0.09])
ampm_pre = np.array([-0.01, 0.12, -0.38])
scale = 1.07

out = {"I": z.real, "Q": z.imag, "amam": amam, "ampm": ampm, "amampre": amam_pre,
       "ampmpre": ampm_pre, "scale": [scale]}
for flag in (0, 1):
    am_first = bool(flag)
    # The amplifier alone: its curves with the order flag inverted.
    d = distort(z, amam, ampm, scale, not am_first)
    out[f"dut{flag}I"], out[f"dut{flag}Q"], out[f"dut{flag}crest"] = d.real, d.imag, [crest(d)]
    pre = {0: (amam_pre, None), 1: (None, ampm_pre), 2: (amam_pre, ampm_pre)}
    amp = {0: (amam, None), 1: (None, ampm), 2: (amam, ampm)}
    for mode in (0, 1, 2):
        p = distort(z, *pre[mode], scale, am_first)
        out[f"pre{flag}m{mode}I"], out[f"pre{flag}m{mode}Q"] = p.real, p.imag
        out[f"pre{flag}m{mode}crest"] = [crest(p)]
        s = distort(p, *amp[mode], scale, am_first)
        out[f"sim{flag}m{mode}I"], out[f"sim{flag}m{mode}Q"] = s.real, s.imag
        out[f"sim{flag}m{mode}crest"] = [crest(s)]
out["inputcrest"] = [crest(z)]

# Dual tone: NoiseLength 1000, clock 16 MHz, spacing 0.9 MHz: 28.125 periods
# of a real sine, normalised to a peak of 1.
length, clock, spacing = 1000, 16.0, 0.9
f = (length / clock) * (spacing / 2)
x = np.arange(length) / length
tone = np.sin((x + x) * 3.14159265358979 * f)
tone = tone / np.abs(tone).max()
out["dualI"] = tone
out["dualcrest"] = [crest(tone + 0j)]
write("testsig.txt", out)
