#!/usr/bin/python3
"""Computes, from the simulated bench's truth, the absolute levels a run on it
should show: the amplifier's true curves (--truth-file), the waveforms it was
sent (--waveform-dir) and the settings the instruments received. It reads
nothing Quillon computed except the gridded curves, whose fit errors it
computes and which it holds against the truth.

Prints one "name value" line per result (dBm, dB, dBm/Hz, degrees, ns).
"""
import argparse
import glob
import os
import re

import numpy as np


def truth_table(path):
    rows = np.array([[float(v) for v in line.split()] for line in open(path)
                     if line.strip() and not line.startswith("#")])
    params = {}
    for line in open(path):
        if line.startswith("# model="):
            params = dict(word.split("=") for word in line[2:].split())
    return rows, params


def waveform(folder, name):
    """Full-scale samples (1.0 = full scale) of an uploaded waveform."""
    [path] = [p for p in glob.glob(os.path.join(folder, "*.iq")) if name in os.path.basename(p)]
    values = np.fromfile(path, dtype="<f8")
    return values[0::2] + 1j * values[1::2]


def full_scale(level, samples, level_is_rms):
    """Peak envelope power (dBm) of a waveform's full scale on the generator.
    One that reads its level as the RMS level puts full scale the crest
    factor (peak over RMS) of the waveform's samples higher; the tag Quillon
    writes beside them is its own claim, which must agree."""
    if not level_is_rms:
        return level
    magnitude = np.abs(samples)
    return level + 20 * np.log10(magnitude.max() / np.sqrt(np.mean(magnitude ** 2)))


def played_levels(path):
    """The generator levels (dBm) each waveform was played at, from the command
    log of the RF generator: the last and the highest while the output was on
    with the waveform selected. A generator apart from its modulation source
    selects nothing: its last level is filed under None."""
    level, selected, output, levels = None, None, False, {}
    for line in open(path):
        line = line.strip()
        chosen = re.match(r"ARB:WAV:SEL '(?:D:\\)?([^']*)'", line)
        switched = re.match(r"OUTP(?::STAT)? (ON|OFF)$", line)
        if line.startswith("SOUR:POW:LEV "):
            level = float(line[len("SOUR:POW:LEV "):].removesuffix("dBm"))
        elif chosen:
            selected = chosen.group(1)
        elif switched:
            output = switched.group(1) == "ON"
        if output and selected is not None and level is not None:
            highest = levels.get(selected, (level, level))[1]
            levels[selected] = (level, max(highest, level))
    levels[None] = (level, level)
    return levels


def played_level(levels, name, highest=False):
    return levels.get(name, levels[None])[1 if highest else 0]


def input_dbm(envelope):
    """The power (dBm) of each sample of an envelope (sqrt(mW))."""
    return 10 * np.log10(np.maximum(np.abs(envelope) ** 2, 1e-300))


def amplify(envelope, rows):
    """The amplifier's output envelope (sqrt(mW)) by its truth table."""
    pin = input_dbm(envelope)
    gain = np.interp(pin, rows[:, 0], rows[:, 2])
    phase = np.interp(pin, rows[:, 0], rows[:, 3])
    return envelope * 10 ** (gain / 20) * np.exp(1j * np.radians(phase))


def dbm(power_mw):
    return 10 * np.log10(power_mw)


def band_power(envelope, clock_hz, bandwidth_hz):
    """Power (mW) of the cyclic envelope within +-bandwidth/2 of its centre."""
    n = len(envelope)
    spectrum = np.abs(np.fft.fft(envelope)) ** 2 / n ** 2
    return spectrum[np.abs(np.fft.fftfreq(n, 1 / clock_hz)) <= bandwidth_hz / 2].sum()


def adjacent_ratio(envelope, clock_hz, main_bw_hz, space_hz, bw_hz):
    """Power of the two adjacent channels over the main channel's, dB."""
    n = len(envelope)
    spectrum = np.abs(np.fft.fft(envelope)) ** 2
    f = np.fft.fftfreq(n, 1 / clock_hz)
    main = spectrum[np.abs(f) <= main_bw_hz / 2].sum()
    adjacent = spectrum[np.abs(np.abs(f) - space_hz) <= bw_hz / 2].sum()
    return 10 * np.log10(adjacent / main)


def rms_residual(x, y, order):
    residual = y - np.polyval(np.polyfit(x, y, order), x)
    return np.sqrt(np.mean(residual ** 2))


def curve_file(path):
    """The AM/AM and AM/PM value pairs of a curve file."""
    sections, pairs = [], None
    for line in open(path, encoding="latin-1"):
        if "curve data as value pairs" in line:
            pairs = []
            sections.append(pairs)
        elif pairs is not None and "|" in line and "[" not in line and "amplitude" not in line:
            pairs.append([float(v.replace(",", ".")) for v in line.split("|")])
    return [np.array(s) for s in sections]


def worst(error):
    """The largest size of the errors; NaN when there are none."""
    return np.abs(error).max() if error.size else np.nan


def curve_truth(amam, ampm, rows, input_full_scale, output_full_scale, mean_phase):
    """The gridded curves against the truth over the top 20 dB of input power:
    input amplitude 1 is the input's full scale, output amplitude 1 the
    output's. The AM/PM's shape is held with its mean offset taken out, and
    its offset apart: the curve is the phase difference less its mean over the
    record, so the truth's is its AM/PM less the mean over the record's
    samples (mean_phase, degrees)."""
    out = {}
    x, y = amam[:, 0], amam[:, 1]
    top = (x >= 0.1) & (y > 0)
    pin = input_full_scale + 20 * np.log10(x[top])
    gain = output_full_scale + 20 * np.log10(y[top]) - pin
    true_gain = np.interp(pin, rows[:, 0], rows[:, 2])
    out["amam_truth_error"] = worst(gain - true_gain)
    out["curve_points"] = top.sum()
    out["curve_compression"] = np.ptp(true_gain) if top.any() else np.nan
    top = ampm[:, 0] >= 0.1
    pin = input_full_scale + 20 * np.log10(ampm[top, 0])
    true_phase = np.interp(pin, rows[:, 0], rows[:, 3])
    error = np.degrees(ampm[top, 1]) - true_phase
    out["ampm_truth_error"] = worst(error - error.mean()) if top.any() else np.nan
    out["ampm_offset_error"] = error.mean() + mean_phase if top.any() else np.nan
    out["curve_phase_swing"] = np.ptp(true_phase) if top.any() else np.nan
    return out


def main():
    a = argparse.ArgumentParser()
    a.add_argument("--truth", required=True)
    a.add_argument("--waveforms", required=True)
    a.add_argument("--reference", required=True, help="name of the test signal's waveform")
    a.add_argument("--predistorted", required=True, help="name of the AM+PM variant's waveform")
    a.add_argument("--variants", nargs="*", default=[], help="names of every variant's waveform")
    a.add_argument("--rf-log", required=True, help="command log of the RF generator")
    a.add_argument("--level-is-rms", action="store_true")
    a.add_argument("--clock", type=float, required=True, help="Hz")
    a.add_argument("--main-bw", type=float, required=True, help="Hz")
    a.add_argument("--acp-space", type=float, required=True, help="first adjacent channel, Hz")
    a.add_argument("--acp-bw", type=float, required=True, help="Hz")
    a.add_argument("--depth", type=int, required=True, help="samples of the reference record")
    a.add_argument("--attenuation", type=float, required=True, help="analyzer attenuation, dB")
    a.add_argument("--ref-level", type=float, required=True, help="analyzer reference level, dBm")
    a.add_argument("--trigger-latency", type=float, required=True,
                   help="samples from the marker edge to the capture")
    a.add_argument("--danl", type=float, required=True, help="analyzer noise, dBm/Hz at 0 dB")
    a.add_argument("--curves", required=True)
    a.add_argument("--amam-order", type=int, required=True)
    a.add_argument("--ampm-order", type=int, required=True)
    o = a.parse_args()

    rows, params = truth_table(o.truth)
    out = {}
    levels = played_levels(o.rf_log)
    w = waveform(o.waveforms, o.reference)
    pep = full_scale(played_level(levels, o.reference), w, o.level_is_rms)
    x = w * np.sqrt(10 ** (pep / 10))
    y = amplify(x, rows)
    out["full_scale"] = pep
    out["input_rms"] = dbm(np.mean(np.abs(x) ** 2))
    out["output"] = dbm(np.mean(np.abs(y) ** 2))
    out["gain"] = out["output"] - out["input_rms"]
    out["main_reference"] = dbm(band_power(x, o.clock, o.main_bw))
    out["main_amplifier"] = dbm(band_power(y, o.clock, o.main_bw))
    magnitude = np.abs(w[: o.depth])
    out["crest_in"] = 20 * np.log10(magnitude.max() / magnitude.mean())
    # The captures hold the whole cyclic waveform: its peak and mean amplitude.
    out_magnitude = np.abs(y[: o.depth])
    out["crest_out"] = 20 * np.log10(out_magnitude.max() / out_magnitude.mean())
    out["dynamic_margin"] = o.ref_level - dbm(out_magnitude.max() ** 2)
    # The gridded output is divided by the least-squares gain through the
    # origin of output against input amplitude: its 1 lies that gain above
    # the input's full scale.
    # The capture starts the trigger latency after the waveform's start: the
    # delay it sees is the amplifier's less that.
    out["group_delay"] = (float(params["delay_samples"]) - o.trigger_latency) / o.clock * 1e9
    in_magnitude = np.abs(x[: o.depth])
    gain = np.sum(in_magnitude * out_magnitude) / np.sum(in_magnitude ** 2)
    out["output_full_scale"] = pep + 20 * np.log10(gain)

    for name in o.variants:
        wv = waveform(o.waveforms, name)
        # Never above the reference's, not even for a moment.
        level = played_level(levels, name, highest=True)
        out["full_scale_" + name] = full_scale(level, wv, o.level_is_rms)

    wp = waveform(o.waveforms, o.predistorted)
    xp = wp * np.sqrt(10 ** (full_scale(played_level(levels, o.predistorted), wp,
                                        o.level_is_rms) / 10))
    yp = amplify(xp, rows)
    out["main_predistorted"] = dbm(band_power(yp, o.clock, o.main_bw))
    # How far the predistortion lowers the adjacent channels below the main
    # one, against the amplifier driven by the reference.
    acp = [adjacent_ratio(v, o.clock, o.main_bw, o.acp_space, o.acp_bw) for v in (y, yp)]
    out["acp_improvement"] = acp[0] - acp[1]

    # Analyzer noise (rising with the attenuation) and the amplifier's own.
    amplifier_noise = -174 + float(params["nf_db"]) + float(params["gain_db"])
    out["noise_density"] = dbm(10 ** ((o.danl + o.attenuation) / 10) + 10 ** (amplifier_noise / 10))

    amam, ampm = curve_file(o.curves)
    mean_phase = np.mean(np.interp(input_dbm(x[: o.depth]), rows[:, 0], rows[:, 3]))
    out.update(curve_truth(amam, ampm, rows, pep, out["output_full_scale"], mean_phase))
    out["amam_error"] = 20 * np.log10(rms_residual(amam[:, 0], amam[:, 1], o.amam_order))
    out["amam_inverse_error"] = 20 * np.log10(rms_residual(amam[:, 1], amam[:, 0], o.amam_order))
    out["ampm_error"] = np.degrees(rms_residual(ampm[:, 0], ampm[:, 1], o.ampm_order))
    for key, value in out.items():
        print(key, repr(float(value)))


main()
