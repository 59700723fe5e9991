#!/usr/bin/env python3
"""Builds an Arena-shaped debug log from a recorded XBoard debug log.

There is no Arena on Linux, so the Arena fixtures are made from the real XBoard
games: the same engines, the same moves at the same moments, written the way
Arena's debug log writes its engine traffic:

    2021-03-28 20:19:25.113**** Starting engine 1 Stockfish 15.1 - /usr/games/stockfish
    2021-03-28 20:19:25.114-->1:uci
    2021-03-28 20:19:25.120<--1:id name Stockfish 15.1
    2021-03-28 20:19:26.000-->1:ucinewgame
    2021-03-28 20:19:26.100-->1:position startpos moves e2e4 e7e5
    2021-03-28 20:19:26.100-->1:go wtime 9210 btime 9170 movestogo 39
    2021-03-28 20:19:26.900<--1:info depth 22 seldepth 33 multipv 1 score cp -34 nodes 12953759 ...
    2021-03-28 20:19:27.000<--1:bestmove g1f3 ponder b8c6
    2021-03-28 20:19:27.000*1*Found move:Ng1-f3

UCI engines (stockfish, run by XBoard through polyglot) get the UCI dialogue;
native WinBoard engines (fairymax, phalanx) keep their WinBoard dialogue behind
Arena's markers ("-->2:new", "<--2:move e7e5"), and Arena's "Found move" note
follows every move of either kind. Arena sends "result" only to WinBoard
engines. Every Nth "Found move" may be written in French ("Coup trouvé:",
Latin-1) to cover both languages.

The moves' piece letters and capture marks come from the recording's
expectation file (NAME.expected, SAN per ply), so each engine move of the log
must be one ply of the saved games, in order.

Games from an opening or a position: moves the GUI plays itself (XBoard's
opening moves sent to an engine, "usermove e2e4" or a bare "e2e4") are plies of
the game too. Arena gives them to a UCI engine only inside its
"position startpos moves e2e4 e7e5 ..." line (book moves), and to a WinBoard
engine as they are. A "setboard FEN" for a UCI engine becomes
"position fen FEN moves ...". With --uci-all every engine gets the UCI dialogue,
so the opening moves and the start position reach the log only through those
position lines.

Usage: make_arena_log.py XBOARD.debug XBOARD.expected OUTPUT.log [--french N] [--uci-all]
"""

import argparse
import datetime
import re
import sys

BASE = datetime.datetime(2021, 3, 28, 20, 19, 0)
STAMPED = re.compile(r"^(\d+) ([<>])(first |second): ?(.*)$")


def arena_stamp(ms):
    moment = BASE + datetime.timedelta(milliseconds=ms)
    return moment.strftime("%Y-%m-%d %H:%M:%S.") + "%03d" % (moment.microsecond // 1000)


def read_plies(expected_path):
    """(uci, san) of every ply of every game, in order, and the number of plies
    of each game."""
    plies, lengths = [], []
    with open(expected_path) as expected:
        for line in expected:
            fields = line.split()
            if fields and fields[0] == "game":
                lengths.append(0)
            elif fields and fields[0] == "ply":
                plies.append((fields[2], fields[3]))
                lengths[-1] += 1
    return plies, lengths


MOVE_WORD = re.compile(r"^[a-h][1-8][a-h][1-8][qrbn]?$")


def long_algebraic(uci, san):
    """Arena's move text: piece letter, from, "-" or "x", to, promotion piece
    (Ng1-f3, e4xd5, b7-b8Q); castling as O-O and O-O-O."""
    bare = san.rstrip("+#")
    if bare in ("O-O", "O-O-O"):
        return bare
    piece = bare[0] if bare[0] in "NBRQK" else ""
    text = piece + uci[0:2] + ("x" if "x" in bare else "-") + uci[2:4]
    if len(uci) == 5:
        text += uci[4].upper()
    return text


def uci_info(thinking, next_moves):
    """An xboard thinking line of polyglot (depth, score, time in centiseconds,
    nodes, seldepth, knps, tbhits, PV) as a UCI info line. The PV becomes the
    engine's coming move and the answer to it (coordinates, as UCI writes them)."""
    fields = thinking.split()
    if len(fields) < 6 or not all(re.match(r"^[+-]?\d+$", f) for f in fields[:6]):
        return None
    depth, score, centis, nodes = int(fields[0]), int(fields[1]), int(fields[2]), int(fields[3])
    seldepth = fields[4] if len(fields) > 4 and fields[4].isdigit() else str(depth)
    if abs(score) >= 99000:
        plies = abs(score) - 100000 if abs(score) >= 100000 else 1
        value = "mate %d" % ((1 if score > 0 else -1) * max(1, (plies + 1) // 2))
    else:
        value = "cp %d" % score
    time = centis * 10
    nps = nodes * 1000 // time if time > 0 else 0
    pv = " ".join(next_moves)
    return ("info depth %d seldepth %s multipv 1 score %s nodes %d nps %d hashfull 0 tbhits 0 "
            "time %d pv %s" % (depth, seldepth, value, nodes, nps, time, pv))


class Engine:
    def __init__(self, number, command, uci_all=False):
        self.number = number
        self.uci = uci_all or "polyglot" in command
        match = re.search(r'-ec "([^"]+)"', command)
        self.program = match.group(1) if match else command.split()[0]
        self.name = self.program
        self.playing = False    # UCI: told to think on its own moves (after "go")
        self.searching = False  # UCI: a search is running (between "go" and "bestmove")
        self.given = 0          # moves of the game the GUI has given it or it has played


def convert(debug_path, expected_path, french_every=0, uci_all=False):
    plies, lengths = read_plies(expected_path)
    with open(debug_path, encoding="latin-1") as log:
        lines = log.read().splitlines()

    # Names the engines give themselves (feature myname), known before the
    # engines are started so that the start notes and "id name" can carry them.
    names = {}
    for line in lines:
        match = STAMPED.match(line)
        if match and match.group(2) == "<":
            name = re.search(r'feature .*myname="([^"]*)"', match.group(4))
            if name:
                names.setdefault(match.group(3).strip(), name.group(1))

    out = []
    engines = {}
    moves = []        # moves of the current game, for "position startpos moves ..."
    start_fen = None  # the position the current game started from, None = startpos
    white_first = True
    game_index = 0    # game of the recording being played
    ply_index = 0     # next ply of the recording
    last_ms = 0
    clocks = {"first": 1000, "second": 1000}  # centiseconds, from "time"
    other = {"first": 1000, "second": 1000}   # from "otim"
    slots = []
    found_count = 0

    def emit(ms, text):
        out.append(arena_stamp(ms) + text)

    def coming_moves():
        return [uci for uci, _ in plies[ply_index:ply_index + 2]] or ["0000"]

    def go_line(slot):
        # Arena gives the clocks of both sides; which one is White's is known
        # from whose turn it is: the engine asked to move has the side to move.
        own, opp = clocks[slot] * 10, other[slot] * 10
        white, black = (own, opp) if (len(moves) % 2 == 0) == white_first else (opp, own)
        return "go wtime %d btime %d movestogo 40" % (white, black)

    for line in lines:
        if line.startswith("StartChildProcess"):
            command = line[line.index(")") + 2:]
            slot = "first" if "first" not in slots else "second"
            slots.append(slot)
            engine = Engine(1 if slot == "first" else 2, command, uci_all)
            engine.name = names.get(slot, engine.program)
            engines[slot] = engine
            emit(last_ms, "**** Starting engine %d %s - /usr/games/%s" %
                 (engine.number, engine.name, engine.program))
            continue
        match = STAMPED.match(line)
        if not match:
            continue
        ms, direction, slot, text = int(match.group(1)), match.group(2), match.group(3).strip(), match.group(4)
        last_ms = ms
        engine = engines.get(slot)
        if engine is None:
            continue
        n = engine.number
        if "usermove " in text:
            # XBoard's usermove lines repeat the stamp and marker before the move.
            text = "usermove " + text.split(": ")[-1].strip()
        word = text.split(" ")[0] if text else ""

        if direction == ">":
            if word == "time":
                clocks[slot] = int(text.split()[1])
            elif word == "otim":
                other[slot] = int(text.split()[1])
            if word == "new":
                # The next game begins once every ply of this one is played;
                # a "new" before that brings another engine into this game.
                if game_index < len(lengths) and moves and len(moves) == lengths[game_index]:
                    game_index += 1
                    moves, start_fen, white_first = [], None, True
                engine.given = 0
            if word == "setboard":
                start_fen = text[len("setboard "):].strip()
                white_first = start_fen.split()[1] == "w"
                engine.given = 0
            move_word = text.split()[-1] if word == "usermove" else word
            if MOVE_WORD.match(move_word) and (word == "usermove" or len(text.split()) == 1):
                if engine.given < len(moves):
                    # The GUI relays a move already played.
                    if moves[engine.given] != move_word:
                        sys.exit("relay %s to engine %d, the game has %s" %
                                 (move_word, n, moves[engine.given]))
                else:
                    # A move the GUI plays itself (an opening move).
                    uci = plies[ply_index][0] if ply_index < len(plies) else "?"
                    if uci != move_word:
                        sys.exit("opening move %s, the recording says %s" % (move_word, uci))
                    ply_index += 1
                    moves.append(uci)
                engine.given += 1
                if engine.uci and engine.playing:
                    word = "usermove"
            if not engine.uci:
                emit(ms, "-->%d:%s" % (n, text))
                continue
            if word == "xboard":
                emit(ms, "-->%d:uci" % n)
                emit(ms, "<--%d:id name %s" % (n, engine.name))
                emit(ms, "<--%d:id author the Stockfish developers" % n)
                emit(ms, "<--%d:uciok" % n)
            elif word == "new":
                engine.playing = engine.searching = False
                emit(ms, "-->%d:ucinewgame" % n)
                emit(ms, "-->%d:isready" % n)
                emit(ms, "<--%d:readyok" % n)
            elif word in ("force", "result", "quit"):
                engine.playing = False
                if engine.searching:
                    emit(ms, "-->%d:stop" % n)
                    engine.searching = False
                if word == "quit":
                    emit(ms, "-->%d:quit" % n)
            elif word == "go" or (word == "usermove" and engine.playing):
                engine.playing = True
                engine.searching = True
                position = ("position fen " + start_fen if start_fen else "position startpos") + \
                    (" moves " + " ".join(moves) if moves else "")
                emit(ms, "-->%d:%s" % (n, position))
                emit(ms, "-->%d:%s" % (n, go_line(slot)))
            continue

        # From an engine.
        if word == "move":
            uci, san = plies[ply_index] if ply_index < len(plies) else (text.split()[1], "?")
            said = text.split()[1]
            castling = {"O-O": ("e1g1", "e8g8"), "O-O-O": ("e1c1", "e8c8")}
            if uci != said.lower() and uci not in castling.get(said, ()):
                sys.exit("move %d of the log is %s, the recording says %s" %
                         (ply_index + 1, text.split()[1], uci))
            ponder = plies[ply_index + 1][0] if ply_index + 1 < len(plies) else None
            ply_index += 1
            moves.append(uci)
            engine.given = len(moves)
            if engine.uci:
                engine.searching = False
                emit(ms, "<--%d:bestmove %s%s" % (n, uci, " ponder " + ponder if ponder else ""))
            else:
                emit(ms, "<--%d:%s" % (n, text))
            found_count += 1
            note = "Found move:"
            if french_every and found_count % french_every == 0:
                note = "Coup trouv\xe9:"
            emit(ms, "*%d*%s%s" % (n, note, long_algebraic(uci, san)))
            continue
        if not engine.uci:
            emit(ms, "<--%d:%s" % (n, text))
            continue
        # UCI engines: only the thinking of a running search, as info lines.
        if "NNUE evaluation" in text:
            emit(ms, "<--%d:info string %s" % (n, text[text.index("NNUE"):]))
        elif engine.searching:
            info = uci_info(text.replace("\t", " "), coming_moves())
            if info:
                emit(ms, "<--%d:%s" % (n, info))
                if found_count % 7 == 3:
                    emit(ms, "<--%d:info nps %d" % (n, 1000000 + ms))
                    emit(ms, "<--%d:info currmove %s currmovenumber 1" % (n, coming_moves()[0]))

    if ply_index != len(plies):
        sys.exit("the log announced %d moves, the recording has %d plies" % (ply_index, len(plies)))
    return out


def main():
    parser = argparse.ArgumentParser(description="Builds an Arena-shaped log from an XBoard log.")
    parser.add_argument("debug")
    parser.add_argument("expected")
    parser.add_argument("output")
    parser.add_argument("--french", type=int, default=0,
                        help="write every Nth move note in French")
    parser.add_argument("--uci-all", action="store_true",
                        help="every engine speaks UCI (opening moves only in position lines)")
    args = parser.parse_args()
    lines = convert(args.debug, args.expected, args.french, args.uci_all)
    with open(args.output, "w", encoding="latin-1", newline="") as out:
        out.write("\r\n".join(lines) + "\r\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
