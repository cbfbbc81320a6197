#!/usr/bin/env python3
"""Cross-checks the endgame tables with the engine's own search: every mate
the search announces without the tables must be a win in the tables for the
side it names, and its length no shorter than the tables' distance to mate.

Usage: egbb-matecheck.py ENGINE POSITIONS [SECONDS] [THREADS]
POSITIONS holds lines "FEN ; MATERIAL score S" (korvan-egbbsample --any), S
the library's answer for the side to move (20000 - 40 * plies for a win).
The engine searches each position SECONDS (default 10) with THREADS threads
(default 2), no book and no tables. Prints one line per position and a
summary; exits with 1 when an announced mate contradicts the tables.
"""
import re
import subprocess
import sys


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    engine, positions = sys.argv[1], sys.argv[2]
    seconds = float(sys.argv[3]) if len(sys.argv) > 3 else 10
    threads = int(sys.argv[4]) if len(sys.argv) > 4 else 2
    lines = [l.strip() for l in open(positions) if l.strip() and not l.startswith("#")]
    p = subprocess.Popen([engine], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
                         bufsize=1)

    def send(line):
        p.stdin.write(line + "\n")
        p.stdin.flush()

    def wait_for(prefix):
        seen = []
        for line in p.stdout:
            seen.append(line.strip())
            if line.startswith(prefix):
                return seen
        sys.exit("the engine stopped")

    send("uci")
    wait_for("uciok")
    for option in (f"Threads value {threads}", "OwnBook value false",
                   "Bitbases Path value /nonexistent"):
        send("setoption name " + option)
    mates = wrong = shorter = 0
    for line in lines:
        fen, rest = (part.strip() for part in line.split(";", 1))
        material, _, stored = rest.split()
        stored = int(stored)
        send("ucinewgame")
        send("position fen " + fen)
        send("isready")
        wait_for("readyok")
        send(f"go movetime {int(seconds * 1000)}")
        mate = None
        for info in wait_for("bestmove"):
            found = re.search(r" score (cp|mate) (-?\d+)", info)
            if found:
                mate = int(found.group(2)) if found.group(1) == "mate" else None
        verdict = "no mate announced"
        if mate is not None:
            mates += 1
            table_plies = (20000 - abs(stored)) // 40 if stored else None
            if (mate > 0) != (stored > 0) or stored == 0:
                wrong += 1
                verdict = "CONTRADICTS the tables"
            elif mate > 0 and 2 * mate - 1 < table_plies:
                shorter += 1
                verdict = f"SHORTER than the tables' {table_plies} plies"
            else:
                verdict = f"agrees (tables: {table_plies} plies)"
        print(f"{material:8} {fen:45} tables {stored:6}  search mate {mate}  {verdict}",
              flush=True)
    send("quit")
    p.wait()
    print(f"{len(lines)} positions, {mates} mates announced, {wrong} contradict the tables, "
          f"{shorter} shorter than the tables' distance")
    sys.exit(1 if wrong or shorter else 0)


if __name__ == "__main__":
    main()
