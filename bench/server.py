#!/usr/bin/env python3
"""velmora-server on one machine for N = 1, 2, 3 processes (or those given): the time to
answer an isosurface and a request for 100 path lines, each process's peak resident memory,
and the bytes sent to the client; the results checked against local velmora-batch.

    bench/server.py BUILD DATADIR [--sizes 1 2 3] [--threads T]

BUILD holds velmora-server and velmora-batch. Every connection stays on loopback.
"""

import argparse
import os
import re
import signal
import struct
import subprocess
import sys
import tempfile
import time


def field_middle(folder, field):
    with open(os.path.join(folder, "volume.kav"), "rb") as f:
        head = f.read(152)
    lo = struct.unpack("<9d", head[4:76])
    hi = struct.unpack("<9d", head[76:148])
    k = {"density": 3, "energy": 4, "momentum": 8}[field]
    return lo[k] + 0.5 * (hi[k] - lo[k])


def children(pid):
    out = []
    for p in os.listdir("/proc"):
        if p.isdigit():
            try:
                with open("/proc/%s/stat" % p) as f:
                    stat = f.read()
            except OSError:
                continue
            if int(stat[stat.rindex(")") + 2:].split()[1]) == pid:
                out.append(int(p))
    return sorted(out)


def peak_mib(pid):
    with open("/proc/%d/status" % pid) as f:
        return int(re.search(r"VmHWM:\s+(\d+) kB", f.read()).group(1)) / 1024


def run(command):
    start = time.time()
    done = subprocess.run(command, capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit("%s failed: %s" % (command, done.stderr))
    return time.time() - start, done.stdout + done.stderr


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("data")
    parser.add_argument("--sizes", type=int, nargs="+", default=[1, 2, 3])
    parser.add_argument("--threads", type=int, default=0, help="per process (0: cores / N)")
    parser.add_argument("--source", default="-200 100 -200 100")
    a = parser.parse_args()
    batch = os.path.join(a.build, "velmora-batch")
    server = os.path.join(a.build, "velmora-server")
    iso = ["iso", "density", repr(field_middle(a.data, "density"))]
    lines = ["pathlines"] + a.source.split() + ["100"]
    scratch = tempfile.mkdtemp(prefix="velmora-bench-server-")
    local = {}
    for name, job in (("iso", iso), ("lines", lines)):
        out = os.path.join(scratch, "local-%s.vtp" % name)
        seconds, text = run(["/usr/bin/time", "-f", "peak %M kB", batch, a.data] + job
                            + ["--out", out])
        local[name] = open(out, "rb").read()
        print("local velmora-batch %s: %.3f s wall (load included); %s"
              % (name, seconds, text.strip().splitlines()[-1]))
    env = dict(os.environ, OMPI_MCA_btl_tcp_if_include="lo", OMPI_MCA_oob_tcp_if_include="lo")
    cores = os.cpu_count()
    for n in a.sizes:
        threads = a.threads or max(1, cores // n)
        log = tempfile.TemporaryFile()
        proc = subprocess.Popen(["mpirun", "--allow-run-as-root", "--oversubscribe", "-np", str(n),
                                 server, "--port", "0", "--threads", str(threads), a.data],
                                stdout=log, stderr=subprocess.STDOUT, env=env,
                                start_new_session=True)
        try:
            start = time.time()
            while True:
                log.seek(0)
                said = log.read().decode(errors="replace")
                port = re.search(r"Listening on \S+:(\d+)", said)
                if port or proc.poll() is not None:
                    break
                time.sleep(0.05)
            if not port:
                sys.exit("no server: " + said)
            print("\nN=%d, %d thread(s) each: loaded and listening after %.2f s"
                  % (n, threads, time.time() - start))
            address = "127.0.0.1:" + port.group(1)
            for name, job in (("iso", iso), ("lines", lines)):
                for attempt in range(2):  # the first request, then a warm one
                    out = os.path.join(scratch, "n%d-%s.vtp" % (n, name))
                    seconds, said = run([batch, "--connect", address, "--quiet"] + job
                                        + ["--out", out])
                    answer = float(re.search(r"seconds=([0-9.]+)", said).group(1))
                    same = open(out, "rb").read() == local[name]
                    log.seek(0)
                    summary = log.read().decode(errors="replace").strip().splitlines()[-1]
                    print("  %s (%s): answered in %.3f s (client wall %.3f s with start and "
                          "--out); server: %s; --out %s"
                          % (name, "first" if attempt == 0 else "again", answer, seconds,
                             summary, "identical" if same else "DIFFERS"))
            ranks = children(proc.pid)
            print("  peak resident memory per process (MiB): "
                  + ", ".join("%.1f" % peak_mib(r) for r in ranks))
        finally:
            os.killpg(proc.pid, signal.SIGTERM)
            proc.wait()


if __name__ == "__main__":
    main()
