#!/usr/bin/env python3
"""An engine that misbehaves on purpose, for recordings of the accidents a
broadcast must survive. It runs a real engine (XBoard protocol or UCI) and
passes every line both ways, except:

    --illegal-move N   its Nth move is replaced by a rook move through its own
                       pawn (h1h5 as White, h8h4 as Black), which no position
                       early in a game allows
    --die-after N      after its Nth move it ends the engine and itself, as an
                       engine that crashes mid-game
    --late-move N      its Nth move is held back 3 seconds, longer than any
                       clock of the recordings gives, to lose on time

Usage: faulty_engine.py (--illegal-move N | --die-after N | --late-move N) ENGINE [ARG ...]
"""

import argparse
import os
import signal
import subprocess
import sys
import threading
import time


def main():
    parser = argparse.ArgumentParser()
    fault = parser.add_mutually_exclusive_group(required=True)
    fault.add_argument("--illegal-move", type=int, metavar="N")
    fault.add_argument("--die-after", type=int, metavar="N")
    fault.add_argument("--late-move", type=int, metavar="N")
    parser.add_argument("engine", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    # XBoard interrupts an engine that did not turn the signal off; the engine
    # behind this one never needs it.
    signal.signal(signal.SIGINT, signal.SIG_IGN)

    engine = subprocess.Popen(args.engine, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                              text=True, bufsize=1)
    # XBoard: the engine plays White in a game ("new" starts one) when its
    # first move comes before it has heard a move of its opponent. UCI: the
    # side to move of the last "position" ("ucinewgame" starts a game).
    state = {"moves": 0, "heard": False, "white": False}

    def from_gui():
        for line in sys.stdin:
            words = line.split()
            word = words[0] if words else ""
            if word in ("new", "ucinewgame"):
                state.update(moves=0, heard=False)
            elif word == "position":
                played = len(words) - words.index("moves") - 1 if "moves" in words else 0
                white = words[1] == "startpos" or words[3] == "w"
                state["white"] = white == (played % 2 == 0)
            elif word == "usermove" or (len(word) in (4, 5) and word[1].isdigit()
                                        and word[3].isdigit()):
                state["heard"] = True
            engine.stdin.write(line)
            engine.stdin.flush()
        engine.stdin.close()

    threading.Thread(target=from_gui, daemon=True).start()
    for line in engine.stdout:
        uci = line.startswith("bestmove ")
        if line.startswith("move ") or uci:
            state["moves"] += 1
            if state["moves"] == 1 and not uci:
                state["white"] = not state["heard"]
            if state["moves"] == args.illegal_move:
                line = ("bestmove " if uci else "move ") + ("h1h5" if state["white"] else "h8h4") + "\n"
            if state["moves"] == args.late_move:
                time.sleep(3)
            sys.stdout.write(line)
            sys.stdout.flush()
            if state["moves"] == args.die_after:
                engine.kill()
                os._exit(1)
            continue
        sys.stdout.write(line)
        sys.stdout.flush()


if __name__ == "__main__":
    main()
