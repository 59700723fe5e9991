#!/usr/bin/env python3
"""Compares what a raw viewer printed with the games of an expectation file.

Usage: compare_viewer_game.py VIEWER_OUTPUT EXPECTED

VIEWER_OUTPUT is the output of `lantrel-viewer --raw`: one datagram per line,
numbered ones as "<n>text" (re-sends repeat a number; only its first arrival
counts). EXPECTED is written by tools/record/record_xboard.py --expect from the
PGN the GUI saved. Every game that ended with a result must match: each move
message ("WMOVE: 1. e4", SAN without check marks), the position that came with
it (placement, side to move, castling), the players and the result.
Exit status 0 when everything matches, 1 otherwise (the differences on stderr).
"""

import re
import sys


def read_expected(path):
    games = []
    for line in open(path):
        fields = line.rstrip("\n").split(" ", 1)
        key, rest = fields[0], fields[1] if len(fields) > 1 else ""
        if key == "game":
            games.append({"plies": []})
        elif key in ("white", "black", "result", "start", "final") and games:
            games[-1][key] = rest
        elif key == "ply" and games:
            number, uci, san, fen = rest.split(" ", 3)
            games[-1]["plies"].append((uci, san, fen))
    return games


def viewer_messages(path):
    seen = set()
    for line in open(path, encoding="latin-1"):
        line = line.rstrip("\n")
        match = re.match(r"^< ?(-?\d+)>(.*)$", line)
        if match:
            if match.group(1) in seen:
                continue
            seen.add(match.group(1))
            line = match.group(2)
        yield line


def seen_games(messages):
    games, current = [], {"moves": []}
    white = black = fen = previous_fen = ""
    for text in messages:
        if text.startswith("FEN: "):
            # Back to the position before the last move: the GUI refused that move.
            if current["moves"] and current["moves"][-1][2] == text[5:]:
                current["moves"].pop()
            previous_fen, fen = fen, text[5:]
        elif text.startswith("WPLAYER: "):
            white = text[9:]
        elif text.startswith("BPLAYER: "):
            black = text[9:]
        elif text.startswith("WMOVE:") or text.startswith("BMOVE:"):
            current["moves"].append((text, fen, previous_fen))
        elif text.startswith("result "):
            current.update(white=white, black=black, result=text[7:])
            games.append(current)
            current = {"moves": []}
    return games


def move_message(ply, san):
    return "%s %d. %s" % ("WMOVE:" if ply % 2 else "BMOVE:", (ply + 1) // 2, san.rstrip("+#"))


def same_move(got, ply, san, uci):
    want = move_message(ply, san)
    if got == want:
        return True
    # A move found among the pseudo-legal moves may name its starting file or
    # rank where standard SAN does not (a pinned twin piece): accept that extra
    # text when it names the real starting square.
    prefix = want[:want.index(". ") + 2]
    bare = san.rstrip("+#")
    if not got.startswith(prefix) or bare[0] not in "NBRQK":
        return False
    got_san = got[len(prefix):]
    rest = bare[1:]
    if len(got_san) <= len(bare) or got_san[0] != bare[0] or not got_san.endswith(rest):
        return False
    extra = got_san[1:len(got_san) - len(rest)]
    return extra in (uci[0], uci[1], uci[0:2])


def same_position(server, full):
    s, f = server.split(" "), full.split(" ")
    placement, side = s[0], s[1] if len(s) > 1 else ""
    castling = s[2] if len(s) > 2 else ""
    if placement != f[0] or side != f[1]:
        return False
    full_castling = "" if f[2] == "-" else f[2]
    squares = "".join(" " * int(c) if c.isdigit() else c for c in placement.replace("/", ""))
    corners = {"K": ("R", 63), "Q": ("R", 56), "k": ("r", 7), "q": ("r", 0)}
    for letter, (rook, index) in corners.items():
        mine, theirs = letter in castling, letter in full_castling
        # The server keeps a castling letter when the rook was taken on its corner.
        if mine != theirs and not (mine and squares[index] != rook):
            return False
    return True


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    expected = read_expected(sys.argv[2])
    games = seen_games(viewer_messages(sys.argv[1]))
    errors = []
    if len(games) != len(expected):
        errors.append("the viewer saw %d finished games, the PGN has %d" % (len(games), len(expected)))
    for number, (got, want) in enumerate(zip(games, expected), start=1):
        for key in ("white", "black", "result"):
            if got[key] != want[key]:
                errors.append("game %d: %s '%s', the PGN says '%s'" % (number, key, got[key], want[key]))
        if len(got["moves"]) != len(want["plies"]):
            errors.append("game %d: %d moves, the PGN has %d" %
                          (number, len(got["moves"]), len(want["plies"])))
        # A game from a position with Black to move numbers its plies from
        # there: "BMOVE: 1. Bb4", "WMOVE: 1. e3", "BMOVE: 2. c5", the messages of
        # plies 2, 1, 4, 3, ... of a game that White starts.
        black_starts = len(want.get("start", "").split()) > 1 and want["start"].split()[1] == "b"
        for ply, ((message, fen, _), (uci, san, full)) in enumerate(zip(got["moves"], want["plies"]), 1):
            number = (ply + 1 if ply % 2 else ply - 1) if black_starts else ply
            if not same_move(message, number, san, uci):
                errors.append("game %d ply %d: '%s', the PGN has %s (%s)" % (number, ply, message, san, uci))
                break
            if not same_position(fen, full):
                errors.append("game %d ply %d: position '%s', stockfish says '%s'" % (number, ply, fen, full))
                break
    for error in errors:
        print(error, file=sys.stderr)
    if not errors:
        print("viewer saw %d game(s), %d moves, exactly as saved" %
              (len(games), sum(len(g["moves"]) for g in games)))
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
