#!/usr/bin/env python3
"""Start-up time and memory of the engine: median time from launch to "uciok"
and to "readyok" over N launches, and the peak resident memory of the process.

Usage: startup-bench.py ENGINE [LAUNCHES]   (run from the folder the engine
should start in, e.g. build/, so that its book and tables are found)
"""
import statistics
import subprocess
import sys
import time

def launch(engine):
    start = time.monotonic()
    p = subprocess.Popen([engine], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, bufsize=1)
    p.stdin.write("uci\nisready\n")
    p.stdin.flush()
    uciok = readyok = None
    for line in p.stdout:
        if line.startswith("uciok"):
            uciok = time.monotonic() - start
        if line.startswith("readyok"):
            readyok = time.monotonic() - start
            break
    with open(f"/proc/{p.pid}/status") as status:
        peak = next(int(l.split()[1]) for l in status if l.startswith("VmHWM:"))
    p.stdin.write("quit\n")
    p.stdin.flush()
    p.wait()
    return uciok * 1000, readyok * 1000, peak / 1024

def main():
    engine = sys.argv[1]
    n = int(sys.argv[2]) if len(sys.argv) > 2 else 20
    runs = [launch(engine) for _ in range(n)]
    print(f"{n} launches: median uciok {statistics.median(r[0] for r in runs):.1f} ms, "
          f"median readyok {statistics.median(r[1] for r in runs):.1f} ms, "
          f"max readyok {max(r[1] for r in runs):.1f} ms, "
          f"peak resident memory {max(r[2] for r in runs):.1f} MB")

if __name__ == "__main__":
    main()
