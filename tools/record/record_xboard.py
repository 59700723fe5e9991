#!/usr/bin/env python3
"""Records real XBoard games as fixtures for the game-feed tests.

XBoard (run headless under Xvfb) plays engine-versus-engine games with its
debug log switched on. For every recording this script keeps:

    NAME.debug      XBoard's debug log, exactly as XBoard wrote it
    NAME.pgn        the games as XBoard saved them
    NAME.expected   what a viewer must receive, worked out without our code:
                    pgn-extract turns the PGN into SAN and UCI moves, stockfish
                    (`position ... moves ...` then `d`) gives the FEN after
                    every ply; a Fischer random game ([Variant "fischerandom"] or
                    "Chess960") is played with UCI_Chess960 on

Format of NAME.expected, one game after another:

    game <n>
    white <name>
    black <name>
    result <1-0|0-1|1/2-1/2>
    start <FEN of the starting position>
    ply <n> <uci move> <SAN as in the PGN> <FEN after the move>
    ...
    final <FEN after the last move>
    end

Usage:
    record_xboard.py [--out DIR] [--only NAME ...] [--list]
    record_xboard.py --expect PGN OUTPUT      (only remake an expectation file)

Needs the Debian packages xboard, xvfb, stockfish, polyglot, fairymax,
phalanx and pgn-extract (tools/record/README.md).
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

GAMES_DIR = "/usr/games"
HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_OUT = os.path.normpath(os.path.join(HERE, "..", "..", "tests", "fixtures", "xboard"))
START_FEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"

# Engines as XBoard starts them: the command and whether it speaks UCI (then
# XBoard runs it through polyglot).
ENGINES = {
    "stockfish": ("stockfish", True),
    "fairymax": ("fairymax", False),
    "phalanx": ("phalanx", False),
    "fairy-stockfish": ("fairy-stockfish", True),
}

# Every recording: output name, first engine, second engine, games in the
# match (colours alternate; the first engine has White in game 1), extra
# XBoard options. File names in the options are relative to this folder.
RECORDINGS = [
    ("sf_fairymax", "stockfish", "fairymax", 1, []),
    ("phalanx_sf", "phalanx", "stockfish", 1, []),
    ("sf_sf", "stockfish", "stockfish", 1, []),
    ("sf_sf_draw", "stockfish", "stockfish", 1, []),
    ("fairymax_phalanx_match", "fairymax", "phalanx", 2, []),
    # A fixed time a move ("st 1" to the engines, no level).
    ("sf_fairymax_st", "stockfish", "fairymax", 1, ["-st", "0:01"]),
    # Fischer random: XBoard draws a start position for each game.
    ("frc_sf_fairysf", "stockfish", "fairy-stockfish", 8, ["-variant", "fischerandom"]),
    # Double Fischer random: each side its own back rank, the next position
    # of the file each game.
    ("dfrc_fairysf_sf", "fairy-stockfish", "stockfish", 3,
     ["-variant", "fischerandom", "-lpf", "@dfrc_positions.fen", "-lpi", "-1"]),
    ("openings/lgf_sf_phalanx", "stockfish", "phalanx", 2,
     ["-lgf", "@openings.pgn", "-lgi", "1"]),
    ("openings/lgf_fairymax_sf", "fairymax", "stockfish", 2,
     ["-lgf", "@openings.pgn", "-lgi", "2"]),
    ("openings/lpf_sf_fairymax", "stockfish", "fairymax", 2,
     ["-lpf", "@positions.fen", "-lpi", "1"]),
    ("openings/lpf_phalanx_sf", "phalanx", "stockfish", 2,
     ["-lpf", "@positions.fen", "-lpi", "2"]),
]

# Short games that always end with a result: 10 seconds for 40 moves, draws
# adjudicated after 80 moves, lost positions once both engines agree.
XBOARD_COMMON = [
    "-tc", "0:10", "-matchPause", "2000",
    "-adjudicateDrawMoves", "80", "-adjudicateLossThreshold", "-700",
    "-saveSettingsOnExit", "false", "-popupExitMessage", "false",
    "-popupMoveErrors", "false", "-soundProgram", "",
]


def engine_options(slot, engine):
    command, uci = ENGINES[engine]
    options = ["-" + slot + "cp", command]
    if uci:
        options.append("-" + slot + "UCI")
    return options


def xboard_command(debug, pgn, first, second, games, extra):
    command = ["xvfb-run", "-a", os.path.join(GAMES_DIR, "xboard")]
    command += engine_options("f", first) + engine_options("s", second)
    command += ["-mg", str(games), "-debug", "-nameOfDebugFile", debug, "-saveGameFile", pgn]
    command += XBOARD_COMMON
    command += [os.path.join(HERE, e[1:]) if e.startswith("@") else e for e in extra]
    return command


def run_xboard(command, workdir, seconds):
    """Runs XBoard in `workdir` with a private HOME, so no settings file of the
    user is read or written."""
    env = dict(os.environ, HOME=workdir, PATH=os.environ.get("PATH", "") + ":" + GAMES_DIR)
    with open(os.path.join(workdir, "xboard.out"), "w") as out:
        return subprocess.run(command, cwd=workdir, env=env, stdout=out,
                              stderr=subprocess.STDOUT, timeout=seconds).returncode


# ---- PGN facts through pgn-extract -------------------------------------------

def pgn_games(pgn_path, form):
    """Games of a PGN file as (tags, moves) with moves in `form` ("san" or "uci")."""
    out = subprocess.run(
        [os.path.join(GAMES_DIR, "pgn-extract"), "-W" + form, "-C", "-N", "-V", "-s",
         "-w", "100000", pgn_path],
        check=True, capture_output=True, text=True).stdout
    games = []
    tags, moves = {}, []
    for line in out.splitlines():
        match = re.match(r'^\[(\w+) "(.*)"\]$', line)
        if match:
            if moves:
                games.append((tags, moves))
                tags, moves = {}, []
            tags[match.group(1)] = match.group(2)
            continue
        for token in line.split():
            if re.match(r"^\d+\.+$", token) or token in ("1-0", "0-1", "1/2-1/2", "*"):
                continue
            token = re.sub(r"^\d+\.+", "", token)
            if token:
                moves.append(token)
    if tags:
        games.append((tags, moves))
    return games


class Referee:
    """Stockfish asked only for the FEN of positions."""

    def __init__(self):
        self.proc = subprocess.Popen([os.path.join(GAMES_DIR, "stockfish")], stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                     text=True, bufsize=1)
        self.send("uci")
        self.read_until(lambda line: line == "uciok")

    def send(self, line):
        self.proc.stdin.write(line + "\n")
        self.proc.stdin.flush()

    def read_until(self, done):
        lines = []
        while True:
            line = self.proc.stdout.readline()
            if not line:
                raise RuntimeError("stockfish closed its output")
            lines.append(line.rstrip("\n"))
            if done(lines[-1]):
                return lines

    def fen(self, start, moves):
        position = "startpos" if start == START_FEN else "fen " + start
        self.send("position " + position + (" moves " + " ".join(moves) if moves else ""))
        self.send("d")
        lines = self.read_until(lambda line: line.startswith("Checkers:"))
        return next(line[5:] for line in lines if line.startswith("Fen: "))

    def chess960(self, on):
        """Fischer random: Shredder-FEN out, castling as the king taking its rook in."""
        self.send("setoption name UCI_Chess960 value " + ("true" if on else "false"))

    def close(self):
        self.send("quit")
        self.proc.wait(timeout=5)


def castling_rook_move(fen, uci, san):
    """A Fischer random castling as UCI_Chess960 writes it, the king taking its
    own rook (pgn-extract gives the king's squares); any other move as it is.
    The rook is the one of the mover's Shredder-FEN castling letters (in `fen`,
    the position before the move) on the side the castling goes to."""
    if san.rstrip("+#") not in ("O-O", "O-O-O"):
        return uci
    white = fen.split()[1] == "w"
    king_file = uci[0]
    letters = [c.lower() for c in fen.split()[2] if c != "-" and c.isupper() == white]
    king_side = san.rstrip("+#") == "O-O"
    rook = [f for f in letters if (f > king_file) == king_side]
    return uci[:2] + rook[0] + uci[1]


def write_expected(pgn_path, out_path):
    san_games = pgn_games(pgn_path, "san")
    # UCI writes the promotion piece in lower case (pgn-extract gives "b7b8Q").
    uci_games = [(tags, [move.lower() for move in moves])
                 for tags, moves in pgn_games(pgn_path, "uci")]
    if len(san_games) != len(uci_games):
        raise RuntimeError("pgn-extract gave different game counts for " + pgn_path)
    referee = Referee()
    lines = ["# Worked out from %s with pgn-extract and stockfish." % os.path.basename(pgn_path)]
    for number, ((tags, sans), (_, ucis)) in enumerate(zip(san_games, uci_games), start=1):
        if len(sans) != len(ucis):
            raise RuntimeError("game %d: SAN and UCI move counts differ" % number)
        start = tags.get("FEN", START_FEN)
        # XBoard and cutechess-cli say "fischerandom", fastchess "Chess960".
        chess960 = tags.get("Variant", "").lower() in ("fischerandom", "chess960")
        referee.chess960(chess960)
        lines += ["game %d" % number, "white " + tags.get("White", ""),
                  "black " + tags.get("Black", ""), "result " + tags.get("Result", "*"),
                  "start " + referee.fen(start, [])]
        fen = referee.fen(start, [])
        played = []  # the moves as the referee reads them
        for ply in range(len(ucis)):
            played.append(castling_rook_move(fen, ucis[ply], sans[ply]) if chess960 else ucis[ply])
            fen = referee.fen(start, played)
            lines.append("ply %d %s %s %s" % (ply + 1, ucis[ply], sans[ply], fen))
        lines += ["final " + fen, "end"]
    referee.close()
    with open(out_path, "w") as out:
        out.write("\n".join(lines) + "\n")
    return san_games


# ---- Recording ---------------------------------------------------------------

def engine_moves_in_log(debug_path):
    """Moves the engines announced in a debug log (one per ply played by an engine)."""
    count = 0
    with open(debug_path, encoding="latin-1") as log:
        for line in log:
            if re.match(r"^\d+ <(first |second): ?move \S+", line):
                count += 1
    return count


def record(name, first, second, games, extra, out_dir, attempts=3):
    target = os.path.join(out_dir, name)
    os.makedirs(os.path.dirname(target), exist_ok=True)
    for attempt in range(1, attempts + 1):
        with tempfile.TemporaryDirectory(prefix="xboard-rec-") as work:
            debug, pgn = os.path.join(work, "game.debug"), os.path.join(work, "game.pgn")
            command = xboard_command(debug, pgn, first, second, games, extra)
            print("%s (attempt %d): %s" % (name, attempt, " ".join(command)), flush=True)
            try:
                run_xboard(command, work, 120 + 90 * games)
            except subprocess.TimeoutExpired:
                print("  XBoard did not finish in time", flush=True)
                continue
            if not (os.path.exists(debug) and os.path.exists(pgn)):
                print("  no debug log or PGN", flush=True)
                continue
            found = pgn_games(pgn, "san")
            results = [tags.get("Result", "*") for tags, _ in found]
            if len(found) != games or "*" in results:
                print("  unfinished: %d games, results %s" % (len(found), results), flush=True)
                continue
            shutil.copyfile(debug, target + ".debug")
            shutil.copyfile(pgn, target + ".pgn")
            write_expected(target + ".pgn", target + ".expected")
            size = os.path.getsize(target + ".debug")
            plies = sum(len(moves) for _, moves in found)
            print("  %s: %d games %s, %d plies (%d announced by engines), %d KB" %
                  (name, len(found), results, plies, engine_moves_in_log(target + ".debug"),
                   size // 1024), flush=True)
            return True
    return False


def main():
    parser = argparse.ArgumentParser(description="Records XBoard games as test fixtures.")
    parser.add_argument("--out", default=DEFAULT_OUT, help="fixture folder")
    parser.add_argument("--only", nargs="*", help="names of the recordings to make")
    parser.add_argument("--list", action="store_true", help="list the recordings and stop")
    parser.add_argument("--expect", nargs=2, metavar=("PGN", "OUTPUT"),
                        help="only write the expectation file of a PGN")
    args = parser.parse_args()
    if args.expect:
        write_expected(*args.expect)
        return 0
    if args.list:
        for name, first, second, games, extra in RECORDINGS:
            print(name, first, second, games, " ".join(extra))
        return 0
    for tool in ("xvfb-run", GAMES_DIR + "/xboard", GAMES_DIR + "/stockfish",
                 GAMES_DIR + "/pgn-extract"):
        if not shutil.which(tool):
            sys.exit("missing %s: apt-get install xboard xvfb stockfish polyglot fairymax "
                     "phalanx pgn-extract" % tool)
    failed = []
    for name, first, second, games, extra in RECORDINGS:
        if args.only and name not in args.only:
            continue
        if not record(name, first, second, games, extra, args.out):
            failed.append(name)
    for name, _, _, _, extra in RECORDINGS:
        for option in extra:
            if option.startswith("@") and (not args.only or name in args.only):
                folder = os.path.join(args.out, os.path.dirname(name))
                shutil.copyfile(os.path.join(HERE, option[1:]), os.path.join(folder, option[1:]))
    if failed:
        print("failed: " + " ".join(failed), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
