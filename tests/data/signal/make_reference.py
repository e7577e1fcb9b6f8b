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
for order in (3, 9, 15, 16, 17, 18, 19):
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

# Timing alignment on an even and an odd length: the centred cross spectrum,
# the weighted phase-slope fit over the exact bin frequencies, and the
# frequency-domain shift (a whole-number shift is a rotation).
TWO_PI = 6.28318530717958
align = {}
for n in (64, 63):
    i1, q1, i2, q2 = (rng.standard_normal(n) for _ in range(4))
    # Record 2 is record 1 moved by 0.6 samples under noise 20 dB down: a
    # shift to find (unrelated records have a phase with no line to fit).
    late = np.fft.ifft(np.fft.fft(i1 + 1j * q1) * np.exp(1j * TWO_PI * 0.6 * np.fft.fftfreq(n)))
    i2, q2 = late.real + 0.1 * i2, late.imag + 0.1 * q2
    p = np.fft.fftshift(np.conj(np.fft.fft(i1 + 1j * q1)) * np.fft.fft(i2 + 1j * q2))
    mag, phase = np.abs(p), np.angle(p)
    f = (np.arange(n) - n // 2) / n
    w = (mag / mag.max() + 1e-7) ** 2
    s, sx, sy, sxx, sxy = w.sum(), (w * f).sum(), (w * phase).sum(), (w * f * f).sum(), (w * f * phase).sum()
    slope = (s * sxy - sy * sx) / (s * sxx - sx * sx)
    moved = np.fft.ifft(np.fft.fft(i1 + 1j * q1) * np.exp(1j * TWO_PI * 0.3 * np.fft.fftfreq(n)))
    align.update({f"i1_{n}": i1, f"q1_{n}": q1, f"i2_{n}": i2, f"q2_{n}": q2,
                  f"mag{n}": mag, f"phase{n}": phase, f"shift{n}": slope / TWO_PI,
                  f"moved_i{n}": moved.real, f"moved_q{n}": moved.imag})
write("alignment.txt", align)

# Windowed records (the square root of the weight on each sample), the
# cosine taper, channel powers and the FFT correlation.
spectra = {}
for n in (16, 15):
    i, q = rng.standard_normal(n), rng.standard_normal(n)
    spectra[f"i{n}"], spectra[f"q{n}"] = i, q
    for name, w in (("bartlett", get_window("bartlett", n, fftbins=True)),
                    ("hanning", get_window("hann", n, fftbins=True)),
                    ("hamming", get_window("hamming", n, fftbins=True)),
                    ("blackmanharris", general_cosine(n, [0.42323, 0.49755, 0.07922], sym=False))):
        spectra[f"{name}_i{n}"] = np.sqrt(w) * i
        spectra[f"{name}_q{n}"] = np.sqrt(w) * q


def taper(n):
    c = np.float32(n) / np.float32(2)
    e = np.rint(float(c) * 0.5)
    d = np.rint(np.abs(np.arange(n) - float(c)))
    return np.where(d > e, 0.5 * np.cos((d - e) * 3.14159265358979 / (float(c) - e)) + 0.5, 1.0)


for n in (8, 11, 256):
    spectra[f"taper{n}"] = taper(n)

# Channel power: rate, centre, bandwidth (MHz), window code; coherent gain and
# noise bandwidth from the correction table (code 5: the taper's mean).
gain = {0: 1.0, 1: 0.5, 2: 0.5, 3: np.float32(0.54), 4: np.float32(0.42), 5: taper(256).mean(),
        6: 1.0}
enbw = {0: 1.0, 1: np.float32(1.33), 2: 1.5, 3: np.float32(1.36), 4: np.float32(1.73),
        5: np.float32(1.93), 6: 1.0}
spectrum = np.abs(rng.standard_normal(256)) * 1e-3
spectra["spectrum"] = spectrum
cases = [(16.0, 0.0, 3.84, 0), (16.0, 5.0, 3.84, 2), (16.0, -5.0, 3.84, 3), (16.0, 2.5, 1.0, 4),
         (16.0, -7.0, 2.0, 1), (16.0, 0.0, 8.0, 5), (16.0, 3.0, 2.0, 6), (16.0, 0.0, 40.0, 0),
         (16.0, 30.0, 2.0, 2)]
powers = []
for rate, centre, bw, code in cases:
    n = spectrum.size
    lo = int(np.rint((rate / 2 + centre - bw / 2) / rate * n))
    hi = int(np.rint((rate / 2 + centre + bw / 2) / rate * n))
    lo = min(max(lo, 0), n - 1)
    hi = max(min(hi, n - 1), 0)
    noise_bin = rate * 1e6 / n * float(enbw[code])
    watts = bw * 1e6 / noise_bin * np.mean(spectrum[lo:hi + 1] ** 2 / 50.0)
    coher = float(np.float32(-20 * np.log10(float(np.float32(gain[code])))))
    powers.append(10 * np.log10(watts) + 30 + coher)
spectra["power_cases"] = np.array(cases).ravel()
spectra["powers"] = powers

x, y = rng.standard_normal(5), rng.standard_normal(4)
length = 16  # next power of two above 5 + 4 - 1
xp = np.concatenate([np.zeros(length - 5), x])
yp = np.concatenate([y, np.zeros(length - 4)])
spectra["corr_x"], spectra["corr_y"] = x, y
spectra["fftcorr"] = np.abs(np.fft.fft(np.fft.fft(xp) * np.conj(np.fft.fft(yp)))) / length
write("spectrum.txt", spectra)
