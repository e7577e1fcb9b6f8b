#!/usr/bin/python3
"""Measures how quillon's memory grows over a campaign of runs driven by the remote control.

Starts the simulated bench and quillon (remote control on a free port, files
and registry in a temporary folder), sends "SETUP;" once, then "START;" after
"START;" as a test executive does, never "CLOSEALL;". Before each START and
after it, "FINISHED?;" is asked until it answers "FINISHED:1;". After each
run the resident size (VmRSS of /proc/<pid>/status) is read; the figures of
every run are printed, then those after the first, the tenth and the last run
and the growth from the tenth on.

    /usr/bin/python3 benchmarks/campaign_memory.py [--build-dir build/release] [--runs 60]

Extra options for the bench follow "--", for example "-- --analyzer DANE".
"""
import argparse
import os
import sys
import time

from finished_latency import bench_and_quillon, set_up


def resident_mb(pid):
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024.0
    raise RuntimeError("no VmRSS for process %d" % pid)


def wait_finished(client, patience):
    until = time.monotonic() + patience
    while client.ask("FINISHED?;") != "FINISHED:1;":
        if time.monotonic() > until:
            raise RuntimeError("no FINISHED:1; within %d s" % patience)
        time.sleep(0.05)


def captures(logs):
    """How many I/Q records the bench's analyzer has delivered: each run verifies with some."""
    count = 0
    for name in os.listdir(logs):
        with open(os.path.join(logs, name), "rb") as f:
            count += f.read().count(b"TRAC:IQ:DATA?")
    return count


def campaign(build, extra, runs, patience):
    """The resident size in MB after each run."""
    sizes = []
    with bench_and_quillon(build, extra) as (logs, program, client):
        set_up(client, patience)
        for run in range(1, runs + 1):
            # A START sent while the last run is still ending may be refused.
            wait_finished(client, patience)
            before, started = captures(logs), time.monotonic()
            client.sock.sendall(b"START;")
            wait_finished(client, patience)
            took = time.monotonic() - started
            if captures(logs) == before:
                raise RuntimeError("run %d captured nothing: the START was refused" % run)
            sizes.append(resident_mb(program.pid))
            print("run %3d: %.1f s, VmRSS %.1f MB" % (run, took, sizes[-1]), flush=True)
    return sizes


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build-dir", default="build/release")
    parser.add_argument("--runs", type=int, default=60)
    parser.add_argument("--patience", type=int, default=300,
                        help="seconds a run or the set-up may take")
    parser.add_argument("bench", nargs=argparse.REMAINDER, help="-- options for simbench")
    args = parser.parse_args()
    extra = [a for a in args.bench if a != "--"]
    sizes = campaign(args.build_dir, extra, args.runs, args.patience)
    for run in sorted({1, min(10, len(sizes)), len(sizes)}):
        print("after run %d: %.1f MB" % (run, sizes[run - 1]))
    if len(sizes) > 10:
        print("growth from run 10 to run %d: %.1f MB (%.2f MB per run)" %
              (len(sizes), sizes[-1] - sizes[9], (sizes[-1] - sizes[9]) / (len(sizes) - 10)))


if __name__ == "__main__":
    sys.exit(main())
