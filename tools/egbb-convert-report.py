#!/usr/bin/env python3
"""Report of the conversion benchmark (tools/egbb-convert.sh).

Usage: egbb-convert-report.py POSITIONS SUMMARY_JSON

POSITIONS holds the lines of korvan-egbbsample ("FEN ; MATERIAL dtm PLIES"),
SUMMARY_JSON is match.mjs's --json output of the games played from them. Per
material: games, wins, draws and losses of the side to move (the winning
side), games with a fault, and over the won games the average length in plies
against the table's distance to mate. Exits with 1 unless every position was
played and won.
"""
import json
import re
import sys

LINE = re.compile(r"^(\S+ ([wb]) .*?)\s*;\s*(\S+)\s+dtm\s+(\d+)\s*$")


def main(positions_file, summary_file):
    positions = {}  # line number -> (material, side to move, distance)
    with open(positions_file) as f:
        for number, line in enumerate(f, 1):
            m = LINE.match(line.strip())
            if m:
                positions[number] = (m.group(3), m.group(2), int(m.group(4)))
    with open(summary_file) as f:
        summary = json.load(f)
    faulty = {fault["round"] for fault in summary["faultList"]}

    rows = {}
    played = set()
    for game in summary["games"]:
        material, side, distance = positions[game["openingLine"]]
        played.add(game["openingLine"])
        row = rows.setdefault(material, dict(games=0, w=0, d=0, l=0, faults=0, plies=0, dtm=0))
        row["games"] += 1
        row["faults"] += game["round"] in faulty
        win, loss = ("1-0", "0-1") if side == "w" else ("0-1", "1-0")
        if game["result"] == win:
            row["w"] += 1
            row["plies"] += game["plies"]
            row["dtm"] += distance
        elif game["result"] == loss:
            row["l"] += 1
        elif game["result"] == "1/2-1/2":
            row["d"] += 1

    order = list(dict.fromkeys(p[0] for p in positions.values()))
    total = dict(games=0, w=0, d=0, l=0, faults=0, plies=0, dtm=0)
    print(f"{'material':<9} {'games':>5} {'wins':>5} {'draws':>5} {'losses':>6} {'faults':>6}"
          f" {'plies':>7} {'dtm':>7} {'excess':>7}")

    def show(name, r):
        plies = r["plies"] / r["w"] if r["w"] else float("nan")
        dtm = r["dtm"] / r["w"] if r["w"] else float("nan")
        print(f"{name:<9} {r['games']:>5} {r['w']:>5} {r['d']:>5} {r['l']:>6} {r['faults']:>6}"
              f" {plies:>7.1f} {dtm:>7.1f} {plies - dtm:>+7.1f}")

    for material in order:
        row = rows.get(material, dict(games=0, w=0, d=0, l=0, faults=0, plies=0, dtm=0))
        show(material, row)
        for key in total:
            total[key] += row[key]
    show("total", total)
    print("(plies: average length of the won games; dtm: the tables' distance to mate of the same"
          " positions; excess: plies - dtm)")

    missing = len(positions) - len(played)
    if missing:
        print(f"{missing} position(s) not played")
    return 0 if not missing and total["w"] == total["games"] else 1


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2]))
