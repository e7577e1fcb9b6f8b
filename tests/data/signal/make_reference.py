#!/usr/bin/python3
"""Writes the reference values the signal tests compare against.

numpy and scipy compute them independently of our code; the files are
committed so that the tests need no Python. Run from this folder after a
change of inputs: /usr/bin/python3 make_reference.py
"""
import numpy as np
from scipy.signal import get_window
from scipy.signal.windows import general_cosine

rng = np.random.default_rng(20240611)


def write(name, arrays):
    with open(name, "w") as f:
        for key, values in arrays.items():
            values = np.atleast_1d(np.asarray(values, dtype=float))
            f.write(key + ":" + "".join(" " + repr(float(v)) for v in values) + "\n")


# Transforms: odd, even and prime lengths; the inverse of an arbitrary spectrum.
fft = {}
for n in (7, 12, 13):
    re, im = rng.standard_normal(n), rng.standard_normal(n)
    f = np.fft.fft(re + 1j * im)
    g = np.fft.ifft(re + 1j * im)
    fft.update({f"re{n}": re, f"im{n}": im, f"fre{n}": f.real, f"fim{n}": f.imag,
                f"ire{n}": g.real, f"iim{n}": g.imag})
x = rng.standard_normal(9)
r = np.fft.fft(x)
fft.update({"real9": x, "rre9": r.real, "rim9": r.imag})
write("fft.txt", fft)

# Periodic (DFT-even) windows.
win = {}
for n in (8, 9, 16):
    win[f"bartlett{n}"] = get_window("bartlett", n, fftbins=True)
    win[f"hanning{n}"] = get_window("hann", n, fftbins=True)
    win[f"hamming{n}"] = get_window("hamming", n, fftbins=True)
    win[f"blackmanharris{n}"] = general_cosine(n, [0.42323, 0.49755, 0.07922], sym=False)
write("windows.txt", win)

# Histogram: values on interval edges, on both limits and outside the range.
data = np.concatenate([rng.standard_normal(60), [-2.0, -1.0, 0.0, 0.5, 1.0, 2.0, -2.5, 2.5]])
hist = {"data": data}
for m, lo, hi in ((8, -2.0, 2.0), (5, -1.5, 1.0)):
    counts, edges = np.histogram(data, bins=m, range=(lo, hi))
    hist[f"counts{m}"] = counts
    hist[f"centres{m}"] = 0.5 * (edges[:-1] + edges[1:])
    hist[f"range{m}"] = [lo, hi]
write("histogram.txt", hist)

# Polynomial fits on amplitudes in 0..1, as the AM/AM and AM/PM curves are.
xs = np.sort(rng.random(200))
ys = np.tanh(2.5 * xs) / np.tanh(2.5) + 0.05 * np.sin(7 * xs) + 1e-3 * rng.standard_normal(200)
fit = {"x": xs, "y": ys}
for order in (3, 9, 19):
    p = np.polynomial.Polynomial.fit(xs, ys, order)
    fitted = p(xs)
    fit[f"fitted{order}"] = fitted
    fit[f"mse{order}"] = np.mean((ys - fitted) ** 2)
fit["coeff3"] = np.polynomial.polynomial.polyfit(xs, ys, 3)
write("polyfit.txt", fit)

# Phase unwrapping: a phase ramp that wraps several times, noise, jumps of
# exactly pi.
ph = np.angle(np.exp(1j * np.cumsum(rng.uniform(-0.5, 2.5, 40))))
ph = np.concatenate([ph, [0.0, np.pi, 0.0, -np.pi]])
write("unwrap.txt", {"phase": ph, "unwrapped": np.unwrap(ph)})
