#!/usr/bin/python3
"""Runs quillon_bench beside numpy/scipy versions of the same operations.

For every operation it prints the best time of each side, the ratio Quillon
time / numpy time (below 1: Quillon is faster) and the peak memory (maximum
resident set) of the process that ran it. Each operation runs in a process of
its own on both sides, so the peak belongs to that operation alone.

    /usr/bin/python3 benchmarks/compare.py [--build-dir build/release] [--repetitions 5]

The numpy side is written as a numpy user would write it for speed: whole-array
operations, in-place updates where they come naturally, scipy.fft for the
transforms.
"""
import argparse
import json
import os
import subprocess
import sys
import time

# (benchmark name, record length); quillon_bench uses the same lengths.
OPERATIONS = [
    ("AlignmentChain", 1 << 21),
    ("VerificationChain", 1 << 21),
    ("SignalNoise", 1 << 24),
    ("SignalDistore", 1 << 24),
    ("ArrayCrestIQ", 1 << 24),
    ("ArrayNormalizeIQ", 1 << 24),
    ("PackOffsetBinary", 1 << 24),
    ("PackSigned", 1 << 24),
    ("ReadIQFile", 1 << 24),
    # The curve half of one sweep point (curve_point below).
    ("CurvePoint16", 1 << 16),
    ("CurvePoint18", 1 << 18),
    ("PolyFit", 10 ** 6),  # order 9
    ("FFT", 1 << 21),  # the unit the alignment chain is counted in
]
# Timed on the Quillon side only: no numpy counterpart exists.
QUILLON_ONLY = [
    ("UploadToBench", 1 << 24),
]

TWO_PI = 6.28318530717958
BANDWIDTH = 4.0  # MHz of noise
CLOCK = 16.0     # MHz sample clock
HANNING = 2
NOISE_BW = {0: 1.0, 2: 1.5}
COHERENT_GAIN = {0: 1.0, 2: 0.5}
CENTRES = [0.0, 5.0, -5.0, 10.0, -10.0, 15.0, -15.0]
CHANNEL_BW = 3.84


# --- numpy versions of the operations -------------------------------------------

def noise(np, sfft, length, seed):
    rng = np.random.default_rng(seed)
    half = round(length * BANDWIDTH / CLOCK / 2)
    lo = max(round(length / 2 - half), 0)
    hi = min(round(length / 2 + half), length - 1)
    spectrum = np.zeros(length, complex)
    phase = (rng.random(hi - lo + 1, dtype=np.float32) - np.float32(0.5)).astype(float) * 360.0
    spectrum.real[lo:hi + 1] = np.cos(phase)
    spectrum.imag[lo:hi + 1] = np.sin(phase)
    x = sfft.ifft(sfft.ifftshift(spectrum), overwrite_x=True)
    x *= 1.0 / np.sqrt((x.real * x.real + x.imag * x.imag).max())
    return x.real, x.imag


def shift_service(np, sfft, i1, q1, i2, q2):
    a = sfft.fft(i1 + 1j * q1, overwrite_x=True)
    b = sfft.fft(i2 + 1j * q2, overwrite_x=True)
    np.conjugate(a, out=a)
    a *= b
    p = sfft.fftshift(a)
    return np.abs(p), np.angle(p)


def sample_shift_fdom(np, mag, phase):
    n = mag.size
    f = (np.arange(n) - n // 2) / n
    g = mag / mag.max()
    g += 1e-7
    w = g * g
    wf = w * f
    s, sx, sy = w.sum(), wf.sum(), w @ phase
    sxx, sxy = wf @ f, wf @ phase
    return (s * sxy - sy * sx) / (s * sxx - sx * sx) / TWO_PI


def shift_samples(np, sfft, i, q, shift):
    x = sfft.fft(i + 1j * q, overwrite_x=True)
    x *= np.exp((1j * TWO_PI * shift) * sfft.fftfreq(i.size))
    y = sfft.ifft(x, overwrite_x=True)
    i[:] = y.real
    q[:] = y.imag


def channel_power(np, mag, rate, centre, bw, window):
    n = mag.size
    noise_bin = rate * 1e6 / n * NOISE_BW[window]
    lo = int(np.rint((rate / 2 + centre - bw / 2) / rate * n))
    hi = int(np.rint((rate / 2 + centre + bw / 2) / rate * n))
    lo = min(max(lo, 0), n - 1)
    hi = max(min(hi, n - 1), 0)
    band = mag[lo:hi + 1]
    watts = bw * 1e6 / noise_bin * (band @ band / 50.0 / band.size)
    return 10 * np.log10(max(watts, 1e-100)) + 30 - 20 * np.log10(COHERENT_GAIN[window])


def detector_max(np, x, group):
    full = x.size // group * group
    out = x[:full].reshape(-1, group).max(axis=1)
    if full < x.size:
        out = np.append(out, x[full:].max())
    return out


def horner(np, x, coeff):
    y = np.full_like(x, coeff[-1])
    for c in coeff[-2::-1]:
        y *= x
        y += c
    return y


def am_curve():
    c, f = [0.0] * 20, 1.0
    for k in range(1, 20):
        c[k] = (1.0 if k % 2 else -1.0) * f
        f *= 0.3 / (k + 1)
    return c


def pm_curve():
    c, f = [0.0] * 20, 0.05
    for k in range(1, 20):
        c[k] = f
        f *= -0.5
    return c


def distore(np, i, q, am, pm, scale):
    mag = np.sqrt(i * i + q * q)
    phase = np.arctan2(q, i)
    mag *= scale
    amp = horner(np, mag, am)
    phase += horner(np, amp, pm)
    phase[phase > 180] -= 360
    phase[phase < -180] += 360
    np.multiply(amp, np.cos(phase), out=i)
    np.multiply(amp, np.sin(phase), out=q)


def crest(np, i, q):
    m2 = i * i
    m2 += q * q
    return 20 * np.log10(np.sqrt(m2.max()) / np.sqrt(m2.mean()))


def normalize(np, i, q, level):
    m2 = i * i
    m2 += q * q
    f = np.sqrt(level) / np.sqrt(m2.max())
    i *= f
    q *= f


def pack_offset_binary(np, i, q):
    out = np.empty((i.size, 2), np.uint16)
    clips = 0
    for c, x in enumerate((i, q)):
        v = np.rint(x * 32000.0 + 32768.0)
        clips += np.count_nonzero((v > 64768) | (v < 768) | np.isnan(v))
        np.clip(v, 768, 64768, out=v)
        v[np.isnan(v)] = 32768
        out[:, c] = v.astype(np.uint16) & 0xFFFC
    return out.astype("<u2").tobytes(), clips


def pack_signed(np, i, q):
    out = np.empty((i.size, 2), np.int16)
    clips = 0
    for c, x in enumerate((i, q)):
        clips += np.count_nonzero((x > 1) | (x < -1) | np.isnan(x))
        w = np.minimum(np.rint(x * 32767.0 + 0.5), 32767)
        w[x >= 1] = 32767
        w[x <= -1] = -32768
        w[np.isnan(x)] = 0
        out[:, c] = w.astype(np.int16)
    return out.astype("<i2").tobytes(), clips


def read_iq_file(np, path):
    with open(path, "rb") as f:
        header = np.frombuffer(f.read(40), np.uint8)
        length, pairs = header[:8].view("<i4")
        if length != 40 or pairs < 0:
            raise SystemExit("bad header")
        f.seek(length)
        values = np.fromfile(f, "<f4", 2 * pairs)
    if values.size != 2 * pairs:
        raise SystemExit("short file")
    return values[:pairs].astype(float), values[pairs:].astype(float)


# --- the curve half of one sweep point ---------------------------------------------

def curve_records(np, sfft, n):
    """1 MHz of noise at 16 MHz through a compressing amplifier, 3.37 samples late."""
    saved = BANDWIDTH
    globals()["BANDWIDTH"] = 1.0
    i, q = (a.copy() for a in noise(np, sfft, n, 1))
    globals()["BANDWIDTH"] = saved
    x = i + 1j * q
    a = np.abs(x)
    y = 3.0 * x / (1 + a ** 4) ** 0.25 * np.exp(0.1j * a * a)
    oi, oq = y.real.copy(), y.imag.copy()
    shift_samples(np, sfft, oi, oq, -3.37)
    return i, q, oi, oq


def wrapped(np, d):
    return (d + np.pi) % TWO_PI - np.pi


def point_sets(np, ri, rq, oi, oq):
    in_amp, in_ph = np.hypot(ri, rq), np.arctan2(rq, ri)
    out_amp, out_ph = np.hypot(oi, oq), np.arctan2(oq, oi)
    d = wrapped(np, out_ph - in_ph)
    m = d.mean()
    d -= m
    return in_amp, out_amp, out_ph - m, d, d * (180 / np.pi)


def density(np, x, y, ylo, yhi, ny):
    col = (np.clip(x, 0.0, 1.0) * 99).astype(np.intp)
    row = ((np.clip(y, ylo, yhi) - ylo) * ((ny - 1) / (yhi - ylo))).astype(np.intp)
    grid = np.bincount(col * ny + row, minlength=100 * ny).astype(float)
    grid *= 20.0 / grid.max()
    levels = np.ceil(grid - 1e-9)
    return [np.nonzero(levels == k)[0] for k in range(1, 21)]


def grid_average(np, x, y, n):
    lo, hi = x.min(), x.max()
    step = (hi - lo) / n
    b = np.clip(np.floor((x - lo) / step), 0, n - 1).astype(np.intp)
    count = np.bincount(b, minlength=n)
    used = count > 0
    return (np.bincount(b, x, n)[used] / count[used], np.bincount(b, y, n)[used] / count[used])


def curve_point(np, sfft, ri, rq, oi, oq):
    ri, rq = ri.copy(), rq.copy()
    n = ri.size
    in_amp, out_amp, _, _, deg = point_sets(np, ri, rq, oi, oq)
    density(np, in_amp, out_amp, 0.0, 1.0, 100)
    density(np, in_amp, deg, -22.5, 22.5, 360)
    c = sfft.irfft(np.conj(sfft.rfft(in_amp)) * sfft.rfft(out_amp), n)
    p = int(np.argmax(c))
    lag = -p if p <= n // 2 else n - p
    ri, rq = np.roll(ri, -lag), np.roll(rq, -lag)
    mag, phase = shift_service(np, sfft, ri, rq, oi, oq)
    fine = sample_shift_fdom(np, mag, np.unwrap(phase))
    shift_samples(np, sfft, ri, rq, fine)
    # The aligned records' cross spectrum: the residual, and the graphs.
    sample_shift_fdom(np, *shift_service(np, sfft, ri, rq, oi, oq))
    in_amp, out_amp, _, rad, deg = point_sets(np, ri, rq, oi, oq)
    out_amp *= 1.0 / ((in_amp @ out_amp) / (in_amp @ in_amp))
    density(np, in_amp, out_amp, 0.0, 1.0, 100)
    density(np, in_amp, deg, -22.5, 22.5, 360)
    ax, ay = grid_average(np, in_amp, out_amp, 50)
    px, py = grid_average(np, in_amp, rad, 50)
    poly = np.polynomial.polynomial
    am, pre, pm = poly.polyfit(ax, ay, 9), poly.polyfit(ay, ax, 9), poly.polyfit(px[1:], py[1:], 9)
    np.histogram(out_amp, 100, (0.0, 1.0))
    np.histogram(rad, 360, (-np.pi / 8, np.pi / 8))
    ramp = np.linspace(0.0, 1.0, 101)
    return poly.polyval(ramp, am), poly.polyval(ramp, pre), poly.polyval(ramp, pm)


def numpy_worker(name, n, repetitions):
    """Times one operation in this process; prints the best time in ms."""
    import numpy as np
    import scipy.fft as sfft
    from scipy.signal import get_window

    i, q = (a.copy() for a in noise(np, sfft, n, 1))
    if name == "AlignmentChain":
        i2, q2 = i.copy(), q.copy()
        shift_samples(np, sfft, i2, q2, 0.37)

        def run():
            mag, phase = shift_service(np, sfft, i, q, i2, q2)
            shift_samples(np, sfft, i, q, sample_shift_fdom(np, mag, phase))
    elif name == "VerificationChain":
        def run():
            w = np.sqrt(get_window("hann", n, fftbins=True))
            spectrum = sfft.fft(i * w + 1j * (q * w), overwrite_x=True)
            mag = np.abs(sfft.fftshift(spectrum))
            mag *= 1.0 / n
            total = sum(channel_power(np, mag, CLOCK, c, CHANNEL_BW, HANNING) for c in CENTRES)
            detector_max(np, mag, 8)
            return total
    elif name == "SignalNoise":
        def run():
            noise(np, sfft, n, 3)
    elif name == "SignalDistore":
        am, pm = am_curve(), pm_curve()

        def run():
            distore(np, i, q, am, pm, 1.0)
    elif name == "ArrayCrestIQ":
        def run():
            crest(np, i, q)
    elif name == "ArrayNormalizeIQ":
        levels = [1.0]

        def run():
            # Peaks 2 and 1 in turn, so that every call really scales the record.
            levels[0] = 4.0 if levels[0] == 1.0 else 1.0
            normalize(np, i, q, levels[0])
    elif name == "PackOffsetBinary":
        def run():
            pack_offset_binary(np, i, q)
    elif name == "PackSigned":
        def run():
            pack_signed(np, i, q)
    elif name == "ReadIQFile":
        import tempfile
        folder = tempfile.TemporaryDirectory()
        path = os.path.join(folder.name, "bench.ibn")
        header = np.zeros(40, np.uint8)
        header[:8].view("<i4")[:] = (40, n)
        header[28:36].view("<f8")[0] = 16e6
        with open(path, "wb") as f:
            f.write(header.tobytes())
            f.write(i.astype("<f4").tobytes())
            f.write(q.astype("<f4").tobytes())

        def run():
            read_iq_file(np, path)
    elif name.startswith("CurvePoint"):
        records = curve_records(np, sfft, n)

        def run():
            curve_point(np, sfft, *records)
    elif name == "FFT":
        def run():
            sfft.fft(i + 1j * q, overwrite_x=True)
    elif name == "PolyFit":
        rng = np.random.default_rng(12345)
        x = rng.random(n)
        y = np.tanh(2.5 * x) / np.tanh(2.5) + 1e-3 * (rng.random(n) - 0.5)

        def run():
            np.polyfit(x, y, 9)
    else:
        raise SystemExit("unknown operation " + name)
    run()  # first call outside the timing, as Google Benchmark's warm-up
    best = float("inf")
    for _ in range(repetitions):
        start = time.perf_counter()
        run()
        best = min(best, time.perf_counter() - start)
    print(json.dumps({"time_ms": best * 1e3}))


# --- driver ---------------------------------------------------------------------

def run_measured(cmd):
    """Runs cmd; returns its standard output and its peak resident set in MiB."""
    proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, text=True)
    out = proc.stdout.read()
    _, status, usage = os.wait4(proc.pid, 0)
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode != 0:
        raise SystemExit("failed: " + " ".join(cmd))
    return out, usage.ru_maxrss / 1024.0


def length_text(n):
    """2^k for a power of two, else the number itself."""
    return "2^%d" % (n.bit_length() - 1) if n & (n - 1) == 0 else str(n)


def quillon_time(bench, name, repetitions):
    out, peak = run_measured([bench, "--benchmark_filter=^BM_%s/" % name,
                              "--benchmark_repetitions=%d" % repetitions,
                              "--benchmark_format=json"])
    runs = [b for b in json.loads(out)["benchmarks"] if b.get("run_type") == "iteration"]
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}
    best = min(b["real_time"] * scale[b["time_unit"]] for b in runs)
    return best, peak


def main():
    top = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build-dir", default=os.path.join(top, "build", "release"),
                        help="build tree holding benchmarks/quillon_bench (default build/release)")
    parser.add_argument("--repetitions", type=int, default=5,
                        help="timed runs per side; the best counts (default 5)")
    parser.add_argument("--only", help="run just this operation")
    parser.add_argument("--worker", help=argparse.SUPPRESS)
    parser.add_argument("--size", type=int, help=argparse.SUPPRESS)
    args = parser.parse_args()

    if args.worker:
        numpy_worker(args.worker, args.size, args.repetitions)
        return

    bench = os.path.join(os.path.abspath(args.build_dir), "benchmarks", "quillon_bench")
    if not os.access(bench, os.X_OK):
        raise SystemExit("no benchmark program at %s: build it first (see benchmarks/README.md)"
                         % bench)
    print("%-18s %9s %11s %11s %7s %12s %12s" % ("operation", "length", "Quillon ms", "numpy ms",
                                                 "ratio", "Quillon MiB", "numpy MiB"))
    worst = 0.0
    for name, n in OPERATIONS:
        if args.only and name != args.only:
            continue
        q_ms, q_peak = quillon_time(bench, name, args.repetitions)
        out, n_peak = run_measured([sys.executable, os.path.abspath(__file__), "--worker", name,
                                    "--size", str(n), "--repetitions", str(args.repetitions)])
        n_ms = json.loads(out)["time_ms"]
        worst = max(worst, q_ms / n_ms)
        print("%-18s %9s %11.1f %11.1f %7.2f %12.0f %12.0f" % (name, length_text(n),
                                                               q_ms, n_ms, q_ms / n_ms, q_peak,
                                                               n_peak), flush=True)
    print("largest ratio: %.2f" % worst)
    for name, n in QUILLON_ONLY:
        if args.only and name != args.only:
            continue
        q_ms, q_peak = quillon_time(bench, name, args.repetitions)
        print("%-18s %9s %11.1f %11s %7s %12.0f %12s" % (name, "2^%d" % (n.bit_length() - 1),
                                                         q_ms, "-", "-", q_peak, "-"), flush=True)


if __name__ == "__main__":
    main()
