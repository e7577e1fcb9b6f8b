#!/usr/bin/python3
"""Measures how long a test program's "FINISHED?;" waits for its answer during a remote run.

Starts the simulated bench and quillon (remote control on a free port, files
and registry in a temporary folder), sends "SETUP;" and "START;", then asks
"FINISHED?;" again and again until the run has ended, each question sent as
soon as the last one was answered. Prints the longest waits with the
commands the bench received meanwhile, which tell the step of the run they
fell in.

    /usr/bin/python3 benchmarks/finished_latency.py [--build-dir build/release] [--runs 1]
        [--together] [--fault FAULT ...]

With --together the first "FINISHED?;" travels in one packet with "START;",
as a test program that writes both at once sends them. Each --fault is one
of the bench's faults (`simbench --help`), for example "slow=analyzer,200"
for an analyzer that answers every command after 200 ms.

Extra options for the bench follow "--", for example "-- --analyzer DANE".
"""
import argparse
import contextlib
import os
import socket
import subprocess
import sys
import tempfile
import time


def free_port():
    # The settings keep the port as a 16-bit number: stay below 32768.
    for port in range(20000 + os.getpid() % 10000, 32768):
        with socket.socket() as s:
            try:
                s.bind(("127.0.0.1", port))
                return port
            except OSError:
                continue
    raise RuntimeError("no free port below 32768")


def start_bench(build, logs, extra):
    bench = subprocess.Popen([os.path.join(build, "simbench", "simbench"), "--log-dir", logs] +
                             extra, stdout=subprocess.PIPE, text=True)
    resources = []
    for line in bench.stdout:
        words = line.split()
        if words and words[0] == "READY":
            return bench, resources
        if len(words) == 4 and words[0] == "INSTRUMENT" and words[3] not in resources:
            resources.append(words[3])
    raise RuntimeError("the bench did not get ready")


def start_quillon(build, folder, resources, port):
    with open(os.path.join(folder, "registry.txt"), "w") as reg:
        reg.write("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korva&Tellin\\VISADeviceCache]\n")
        for n, resource in enumerate(resources, 1):
            reg.write('"DEVICE%d"=sz:"%s"\n' % (n, resource))
    with open(os.path.join(folder, "Quillon.INI"), "w", newline="") as ini:
        ini.write("[Measure]\r\nTCPIPActive=1\r\nTCPIPPort=%d\r\n" % port)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", QUILLON_FOLDER=folder,
               QUILLON_REGISTRY_FILE=os.path.join(folder, "registry.txt"),
               QUILLON_VISA_LAN_DISCOVERY="off")
    return subprocess.Popen([os.path.join(build, "app", "quillon")], env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def connect(port, program, patience=60):
    until = time.monotonic() + patience
    while time.monotonic() < until and program.poll() is None:
        try:
            return socket.create_connection(("127.0.0.1", port), timeout=5)
        except OSError:
            time.sleep(0.1)
    raise RuntimeError("quillon did not listen on port %d" % port)


class Client:
    def __init__(self, sock):
        self.sock = sock
        self.sock.settimeout(None)
        self.pending = b""

    def ask(self, query):
        self.sock.sendall(query.encode())
        while b";" not in self.pending:
            data = self.sock.recv(4096)
            if not data:
                raise RuntimeError("quillon closed the connection")
            self.pending += data
        reply, _, self.pending = self.pending.partition(b";")
        return reply.decode() + ";"


@contextlib.contextmanager
def bench_and_quillon(build, extra):
    """The bench and quillon on it, in a temporary folder: yields the bench's log
    folder, quillon's process and a client connected to its remote control; both
    programs end when the block does."""
    with tempfile.TemporaryDirectory() as folder:
        logs = os.path.join(folder, "logs")
        os.mkdir(logs)
        bench, resources = start_bench(build, logs, extra)
        port = free_port()
        program = start_quillon(build, folder, resources, port)
        try:
            yield logs, program, Client(connect(port, program))
        finally:
            program.terminate()
            program.wait(10)
            bench.terminate()
            bench.wait(10)


def set_up(client, patience=120):
    """Sends "SETUP;" and waits until quillon is ready to start."""
    client.ask("IS_READY?;")
    client.sock.sendall(b"SETUP;")
    until = time.monotonic() + patience
    while client.ask("IS_READY?;") != "IS_READY:1;":
        if time.monotonic() > until:
            raise RuntimeError("SETUP did not make quillon ready")
        time.sleep(0.05)


def log_lines(logs):
    """The number of commands each instrument of the bench has received."""
    counts = {}
    for name in sorted(os.listdir(logs)):
        with open(os.path.join(logs, name), "rb") as f:
            counts[name] = f.read().count(b"\n")
    return counts


def commands_between(logs, before, after, keep=4):
    out = []
    for name, end in after.items():
        start = before.get(name, 0)
        if end == start:
            continue
        with open(os.path.join(logs, name), "rb") as f:
            lines = f.read().decode("latin-1").split("\n")
        got = lines[start:end]
        shown = got if len(got) <= 2 * keep else got[:keep] + ["..."] + got[-keep:]
        out.append("%s (%d): %s" % (name[:-4], len(got), " | ".join(s[:60] for s in shown)))
    return out


def one_run(build, extra, show, together):
    """The longest wait of one run, after printing the run's figures."""
    with bench_and_quillon(build, extra) as (logs, _, client):
        set_up(client)
        started = time.monotonic()
        waits = []
        # The first question goes in the same packet as the START when asked.
        query = "START;FINISHED?;" if together else "FINISHED?;"
        if not together:
            client.sock.sendall(b"START;")
        while True:
            before, sent = log_lines(logs), time.monotonic()
            reply = client.ask(query)
            query = "FINISHED?;"
            answered = time.monotonic()
            waits.append((answered - sent, sent - started, before, log_lines(logs)))
            if reply == "FINISHED:1;" or answered - started > 900:
                break
        longest = sorted(waits, key=lambda w: w[0], reverse=True)
        print("%s after %.1f s, %d queries answered, median wait %.4f s" %
              (reply, answered - started, len(waits), sorted(w[0] for w in waits)[len(waits) // 2]))
        for wait, at, before, after in longest[:show]:
            print("  %.3f s, asked %.1f s into the run; meanwhile the bench received:" % (wait, at))
            for line in commands_between(logs, before, after) or ["nothing"]:
                print("    " + line)
        return longest[0][0]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build-dir", default="build/release")
    parser.add_argument("--runs", type=int, default=1)
    parser.add_argument("--show", type=int, default=5, help="longest waits shown per run")
    parser.add_argument("--together", action="store_true",
                        help='send the first "FINISHED?;" in one packet with "START;"')
    parser.add_argument("--fault", action="append", default=[],
                        help='a fault of the bench, e.g. "slow=analyzer,200" (repeatable)')
    parser.add_argument("bench", nargs=argparse.REMAINDER, help="-- options for simbench")
    args = parser.parse_args()
    extra = [a for a in args.bench if a != "--"]
    for fault in args.fault:
        extra += ["--fault", fault]
    worst = 0.0
    for run in range(1, args.runs + 1):
        print("run %d: " % run, end="")
        worst = max(worst, one_run(args.build_dir, extra, args.show, args.together))
    print("longest wait over %d run(s): %.3f s" % (args.runs, worst))


if __name__ == "__main__":
    sys.exit(main())
