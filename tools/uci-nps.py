#!/usr/bin/env python3
"""Searches the bench positions with any UCI engine to a fixed depth and prints
its total nodes, time and nodes per second, for side-by-side speed figures.

Usage: uci-nps.py ENGINE DEPTH [POSITIONS_FILE] [OPTION=VALUE ...]
ENGINE is the command that starts the engine, with its arguments if it needs
any (for example "gnuchess --uci").
"""
import os
import shlex
import subprocess
import sys
import time

def main():
    engine, depth = shlex.split(sys.argv[1]), int(sys.argv[2])
    here = os.path.dirname(os.path.abspath(__file__))
    positions = sys.argv[3] if len(sys.argv) > 3 and "=" not in sys.argv[3] else os.path.join(here, "data", "bench.fen")
    options = [a for a in sys.argv[3:] if "=" in a]
    fens = [l.strip() for l in open(positions) if l.strip() and not l.startswith("#")]
    p = subprocess.Popen(engine, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, bufsize=1)

    def send(line):
        p.stdin.write(line + "\n")
        p.stdin.flush()

    def wait_for(prefix):
        lines = []
        for line in p.stdout:
            lines.append(line.strip())
            if line.startswith(prefix):
                return lines
        raise SystemExit("engine ended early")

    send("uci")
    wait_for("uciok")
    for option in options:
        name, value = option.split("=", 1)
        send(f"setoption name {name} value {value}")
    total_nodes, total_time = 0, 0.0
    for fen in fens:
        send("ucinewgame")
        send("isready")
        wait_for("readyok")
        send(f"position fen {fen}")
        start = time.monotonic()
        send(f"go depth {depth}")
        lines = wait_for("bestmove")
        total_time += time.monotonic() - start
        nodes = 0
        for line in lines:
            words = line.split()
            if words[:1] == ["info"] and "nodes" in words:
                nodes = max(nodes, int(words[words.index("nodes") + 1]))
        total_nodes += nodes
    send("quit")
    p.wait()
    print(f"{os.path.basename(engine[0])} depth {depth}: {len(fens)} positions, "
          f"{total_nodes} nodes, {total_time:.2f} s, {int(total_nodes / total_time)} nodes/s")

if __name__ == "__main__":
    main()
