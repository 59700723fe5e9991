#!/usr/bin/env python3
"""Records engine-versus-engine games as fixtures for the chess-rules tests.

Engines from Debian's packages (stockfish, fairymax, phalanx) play each other.
Stockfish also serves as the referee: after every ply it is asked for the
position (`d`) and the legal moves (`go perft 1`), so every expectation in the
fixture comes from a program other than ours.

Output format (one game after another):

    game <n> <white engine> - <black engine> <result> <reason>
    <coordinate move> <SAN> <FEN after the move, as stockfish writes it>
    ...
    end

The SAN is the textbook form (minimal disambiguation among legal moves, "+"
for check, "#" for mate), written by this script from stockfish's facts:
the board before the move, its legal moves, and the checkers after it.

Usage: record_games.py OUTPUT [--games N] [--seed S]
"""

import argparse
import random
import subprocess
import sys

GAMES_DIR = "/usr/games"

HEADER = """\
# Engine games for the chess-rules tests, written by tools/record_games/record_games.py.
# Per game: "game <n> <white> - <black> <result> <reason>", then one line per ply:
# <coordinate move> <SAN, textbook form> <FEN after the move, from stockfish's d command>,
# then "end". Lines starting with # are comments.
"""


class Engine:
    """A chess engine on pipes; line-oriented I/O."""

    def __init__(self, argv):
        self.proc = subprocess.Popen(argv, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL, text=True, bufsize=1,
                                     cwd="/tmp")

    def send(self, line):
        self.proc.stdin.write(line + "\n")
        self.proc.stdin.flush()

    def read_until(self, predicate):
        lines = []
        while True:
            line = self.proc.stdout.readline()
            if not line:
                raise RuntimeError("engine closed its output")
            line = line.rstrip("\n")
            lines.append(line)
            if predicate(line):
                return lines

    def close(self):
        try:
            self.send("quit")
            self.proc.wait(timeout=5)
        except Exception:
            self.proc.kill()


class Referee(Engine):
    """Stockfish used only to describe positions."""

    def __init__(self):
        super().__init__([GAMES_DIR + "/stockfish"])
        self.send("uci")
        self.read_until(lambda l: l == "uciok")

    def _position(self, moves):
        self.send("position startpos moves " + " ".join(moves) if moves else "position startpos")

    def describe(self, moves):
        """(fen, checkers, legal moves) of the position after `moves`."""
        self._position(moves)
        self.send("d")
        lines = self.read_until(lambda l: l.startswith("Checkers:"))
        fen = next(l[5:] for l in lines if l.startswith("Fen: "))
        checkers = lines[-1][len("Checkers:"):].split()
        self.send("go perft 1")
        lines = self.read_until(lambda l: l.startswith("Nodes searched"))
        legal = [l.split(":")[0] for l in lines if ":" in l and not l.startswith("Nodes")]
        return fen, checkers, legal


class UciPlayer(Engine):
    def __init__(self, skill, nodes):
        super().__init__([GAMES_DIR + "/stockfish"])
        self.name = f"stockfish-skill{skill}"
        self.nodes = nodes
        self.send("uci")
        self.read_until(lambda l: l == "uciok")
        self.send(f"setoption name Skill Level value {skill}")
        self.send("ucinewgame")
        self.send("isready")
        self.read_until(lambda l: l == "readyok")

    def best_move(self, moves):
        self.send("position startpos moves " + " ".join(moves) if moves else "position startpos")
        self.send(f"go nodes {self.nodes}")
        line = self.read_until(lambda l: l.startswith("bestmove"))[-1]
        return line.split()[1]


class XboardPlayer(Engine):
    """fairymax or phalanx in xboard mode; the game is replayed for every move."""

    def __init__(self, name, argv, limits):
        super().__init__(argv)
        self.name = name
        self.limits = limits
        self.send("xboard")

    def best_move(self, moves):
        self.send("new")
        for limit in self.limits:
            self.send(limit)
        self.send("force")
        for move in moves:
            self.send(move)
        self.send("time 300")
        self.send("otim 300")
        self.send("go")
        lines = self.read_until(lambda l: l.startswith("move ") or "resign" in l.lower()
                                or l.startswith("Illegal") or l.startswith("Error"))
        last = lines[-1]
        if not last.startswith("move "):
            return None
        move = last.split()[1]
        # Some engines announce castling in SAN; the referee wants the king's move.
        rank = "1" if len(moves) % 2 == 0 else "8"
        if move.upper().replace("0", "O") == "O-O":
            return "e" + rank + "g" + rank
        if move.upper().replace("0", "O") == "O-O-O":
            return "e" + rank + "c" + rank
        return move


def make_player(kind, rng):
    if kind == "stockfish":
        return UciPlayer(rng.choice([0, 1, 3, 5, 8, 12]), rng.choice([2000, 5000, 20000]))
    if kind == "fairymax":
        depth = rng.choice([2, 3, 4])
        return XboardPlayer(f"fairymax-sd{depth}", [GAMES_DIR + "/fairymax"], [f"sd {depth}"])
    if kind == "phalanx":
        easy = rng.choice([0, 30, 60])
        return XboardPlayer(f"phalanx-e{easy}",
                            [GAMES_DIR + "/phalanx", "-l-", "-b-", "-e", str(easy), "-z", "40"],
                            ["level 0 1 0"])
    raise ValueError(kind)


def board_of(fen):
    """Square name -> piece letter for the placement field of a FEN."""
    cells = {}
    for i, row in enumerate(fen.split()[0].split("/")):
        rank = 8 - i
        file = 0
        for c in row:
            if c.isdigit():
                file += int(c)
            else:
                cells["abcdefgh"[file] + str(rank)] = c
                file += 1
    return cells


def textbook_san(fen, legal, move, checkers_after, legal_after):
    cells = board_of(fen)
    frm, to, promo = move[:2], move[2:4], move[4:]
    piece = cells[frm].upper()
    if piece == "K" and abs(ord(frm[0]) - ord(to[0])) == 2:
        san = "O-O" if to[0] == "g" else "O-O-O"
    elif piece == "P":
        san = (frm[0] + "x" + to) if frm[0] != to[0] else to
        if promo:
            san += "=" + promo.upper()
    else:
        rivals = [m[:2] for m in legal if m[2:4] == to and m[:2] != frm
                  and cells.get(m[:2], "").upper() == piece]
        mark = ""
        if rivals:
            if all(r[0] != frm[0] for r in rivals):
                mark = frm[0]
            elif all(r[1] != frm[1] for r in rivals):
                mark = frm[1]
            else:
                mark = frm
        san = piece + mark + ("x" if to in cells else "") + to
    if checkers_after:
        san += "#" if not legal_after else "+"
    return san


def insufficient(fen):
    pieces = [c for c in fen.split()[0] if c.isalpha() and c not in "Kk"]
    return not pieces or (len(pieces) == 1 and pieces[0] in "NBnb")


def play_game(referee, white, black, rng, max_plies=400):
    moves, plies = [], []
    fen, checkers, legal = referee.describe(moves)
    seen = {}
    opening = rng.randint(0, 4)
    result, reason = "*", "ply-limit"
    while len(moves) < max_plies:
        if not legal:
            if checkers:
                result = "0-1" if fen.split()[1] == "w" else "1-0"
                reason = "checkmate"
            else:
                result, reason = "1/2-1/2", "stalemate"
            break
        fields = fen.split()
        if int(fields[4]) >= 100:
            result, reason = "1/2-1/2", "fifty-moves"
            break
        key = " ".join(fields[:4])
        seen[key] = seen.get(key, 0) + 1
        if seen[key] >= 3:
            result, reason = "1/2-1/2", "repetition"
            break
        if insufficient(fen):
            result, reason = "1/2-1/2", "material"
            break
        mover = white if fields[1] == "w" else black
        if len(moves) < opening:
            move = rng.choice(legal)
        else:
            move = mover.best_move(moves)
        if move is None or move not in legal:
            result, reason = ("0-1" if fields[1] == "w" else "1-0"), "resigned-or-illegal"
            break
        new_fen, new_checkers, new_legal = referee.describe(moves + [move])
        plies.append((move, textbook_san(fen, legal, move, new_checkers, new_legal), new_fen))
        moves.append(move)
        fen, checkers, legal = new_fen, new_checkers, new_legal
    return plies, result, reason


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("output")
    parser.add_argument("--games", type=int, default=60)
    parser.add_argument("--seed", type=int, default=20261208)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    pairings = [("stockfish", "fairymax"), ("fairymax", "phalanx"), ("phalanx", "stockfish"),
                ("fairymax", "stockfish"), ("stockfish", "phalanx"), ("phalanx", "fairymax"),
                ("stockfish", "stockfish")]
    referee = Referee()
    with open(args.output, "w") as out:
        out.write(HEADER)
        for n in range(1, args.games + 1):
            kinds = pairings[(n - 1) % len(pairings)]
            white, black = make_player(kinds[0], rng), make_player(kinds[1], rng)
            try:
                plies, result, reason = play_game(referee, white, black, rng)
            finally:
                white.close()
                black.close()
            out.write(f"game {n} {white.name} - {black.name} {result} {reason}\n")
            for move, san, fen in plies:
                out.write(f"{move} {san} {fen}\n")
            out.write("end\n")
            out.flush()
            print(f"game {n}: {white.name} - {black.name} {result} {reason} "
                  f"({len(plies)} plies)", file=sys.stderr)
    referee.close()


if __name__ == "__main__":
    main()
