#!/usr/bin/env python3
"""Records real games of the tournament runners cutechess-cli and fastchess as
fixtures for the game-feed tests.

Both runners are built from their source folders, then play short matches of
this machine's Debian engines with every line to and from the engines logged.
For every recording this script keeps, in tests/fixtures/cutechess/ or
tests/fixtures/fastchess/:

    NAME.log        the runner's log, exactly as written (cutechess-cli's
                    standard output with `-debug all`, fastchess's
                    `-log level=trace engine=true` file)
    NAME.pgn        the games as the runner saved them (`-pgnout`)
    NAME.expected   what a viewer must receive, worked out without our code by
                    record_xboard.py (see its format there)

Usage:
    record_runners.py --cutechess-src DIR --fastchess-src DIR [--build DIR]
                      [--out DIR] [--only NAME ...]
    record_runners.py --list

Needs cmake, Qt 6 (qt6-base-dev, qt6-svg-dev), g++, pgn-extract and the
engines listed in tools/record/README.md.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True  # no __pycache__ beside the scripts
from record_xboard import GAMES_DIR, HERE, pgn_games, write_expected

DEFAULT_OUT = os.path.normpath(os.path.join(HERE, "..", "..", "tests", "fixtures"))
FAULTY = os.path.join(HERE, "faulty_engine.py")

# Engines as cutechess-cli's -engine options. The names are the engines' own
# (UCI "id name", XBoard "myname") unless given.
CUTECHESS_ENGINES = {
    "stockfish": ["cmd=stockfish", "proto=uci"],
    "ethereal": ["cmd=ethereal-chess", "proto=uci"],
    "toga2": ["cmd=toga2", "proto=uci"],
    "fairymax": ["cmd=fairymax", "proto=xboard"],
    "phalanx": ["cmd=phalanx", "proto=xboard"],
    "sjeng": ["cmd=sjeng", "proto=xboard"],
    # faulty_engine.py runs a real engine and breaks it on purpose.
    "illegal": ["cmd=python3", "arg=" + FAULTY, "arg=--illegal-move", "arg=6",
                "arg=fairymax", "proto=xboard", "name=illegal"],
    "crashing": ["cmd=python3", "arg=" + FAULTY, "arg=--die-after", "arg=8",
                 "arg=phalanx", "proto=xboard", "name=crashing"],
}

# fastchess speaks UCI only; it names each engine as told.
FASTCHESS_ENGINES = {
    "stockfish": ["cmd=" + GAMES_DIR + "/stockfish", "name=Stockfish"],
    "ethereal": ["cmd=" + GAMES_DIR + "/ethereal-chess", "name=Ethereal"],
    "toga2": ["cmd=" + GAMES_DIR + "/toga2", "name=Toga2"],
    "fairy-stockfish": ["cmd=" + GAMES_DIR + "/fairy-stockfish", "name=Fairy-Stockfish"],
    "illegal": ["cmd=python3", "args=%s --illegal-move 6 %s/stockfish" % (FAULTY, GAMES_DIR),
                "name=illegal"],
    "crashing": ["cmd=python3", "args=%s --die-after 8 %s/ethereal-chess" % (FAULTY, GAMES_DIR),
                 "name=crashing"],
    "late": ["cmd=python3", "args=%s --late-move 10 %s/toga2" % (FAULTY, GAMES_DIR), "name=late"],
}

# Every recording: runner, name, engines, number of games, runner options
# (file names starting with "@" are in this folder), words the PGN must hold
# (the recording is made again until it does, `tries` times at most).
# Half a second a game and 10 ms a move keep the logs small (their size
# goes with the number of moves more than with the time); draws are
# adjudicated after 60 moves and lost games once the loser's own score stays
# below -10 for 3 moves, so every game ends with a result.
FAST = ["-each", "tc=0.5+0.01", "-maxmoves", "60"]
RESIGN = ["-resign", "movecount=3", "score=1000"]
RECORDINGS = [
    # (a) a round robin of both protocols, one game a pairing.
    ("cutechess", "round_robin",
     ["stockfish", "ethereal", "toga2", "fairymax", "phalanx", "sjeng"], 15,
     FAST + RESIGN + ["-games", "1", "-concurrency", "1",
                      "-draw", "movenumber=25", "movecount=6", "score=10"], [], 1),
    # (b) every engine thinking on its opponent's time. (Ethereal is left out:
    # told "stop" at once after "go ponder" it sometimes never answers again.)
    ("cutechess", "ponder", ["stockfish", "toga2", "phalanx"], 3,
     ["-each", "tc=0.5+0.01", "ponder", "-maxmoves", "60"] + RESIGN + ["-games", "1"], [], 3),
    # (c) games from EPD positions with an en-passant square and only some
    # castling rights, each position played with both colours.
    ("cutechess", "epd_openings", ["stockfish", "fairymax"], 4,
     FAST + RESIGN + ["-openings", "file=@ep_castling.epd", "format=epd", "order=sequential",
                      "-repeat", "-rounds", "2", "-games", "2"], [], 1),
    # (d) a loss on time (1 second for the game, no increment), an illegal
    # move and an engine that exits mid-game; -recover starts it again for its
    # next game.
    ("cutechess", "faults", ["fairymax", "phalanx", "illegal", "crashing"], 6,
     ["-each", "tc=1+0", "-games", "1", "-recover", "-maxmoves", "100"],
     ["on time", "illegal move", "disconnects"], 20),
    # (e) Fischer random, from positions cutechess-cli draws itself, each
    # played with both colours. (Not Fairy-Stockfish: cutechess-cli sets its
    # UCI_Variant to "chess960", a name Fairy-Stockfish 11.1 does not know,
    # and it then moves illegally.)
    ("cutechess", "chess960", ["stockfish", "ethereal"], 4,
     FAST + RESIGN + ["-variant", "fischerandom", "-repeat", "-rounds", "2", "-games", "2"], [], 1),
    # (f) two games at a time, their lines interleaved in one log.
    ("cutechess", "concurrency", ["stockfish", "ethereal", "fairymax", "phalanx"], 6,
     FAST + RESIGN + ["-games", "1", "-concurrency", "2"], [], 1),
    # (g) a round robin, one game a pairing.
    ("fastchess", "round_robin", ["stockfish", "ethereal", "toga2"], 3,
     FAST + RESIGN + ["-rounds", "1", "-games", "1", "-concurrency", "1"], [], 1),
    # An illegal move, an engine that exits mid-game and one that moves 3 s
    # late (faulty_engine.py on stockfish, ethereal and toga2).
    ("fastchess", "faults", ["stockfish", "illegal", "crashing", "late"], 6,
     FAST + RESIGN + ["-rounds", "1", "-games", "1", "-recover"],
     ["loses on time", "illegal move", "disconnects"], 3),
    # (h) Fischer random; fastchess needs its positions from a file.
    ("fastchess", "chess960", ["stockfish", "fairy-stockfish"], 2,
     FAST + RESIGN + ["-variant", "fischerandom", "-openings", "file=@frc_positions.epd", "format=epd",
             "order=sequential", "-rounds", "1", "-games", "2"], [], 1),
]


def niced(command, cwd=None, log=None):
    """Runs a build step at the lowest priority, its output into `log`."""
    with open(log, "a") as out:
        subprocess.run(["nice", "-n", "19"] + command, cwd=cwd, check=True,
                       stdout=out, stderr=subprocess.STDOUT)


def build_cutechess(src, build):
    """cutechess-cli alone (no GUI, no tests) with CMake; returns its path."""
    folder = os.path.join(build, "cutechess")
    log = os.path.join(build, "cutechess-build.log")
    print("building cutechess-cli in %s (log %s)" % (folder, log), flush=True)
    niced(["cmake", "-S", src, "-B", folder, "-DWITH_TESTS=OFF",
           "-DCMAKE_BUILD_TYPE=Release"], log=log)
    niced(["cmake", "--build", folder, "--target", "cli", "-j2"], log=log)
    return os.path.join(folder, "cutechess-cli")


def build_fastchess(src, build):
    """fastchess with its Makefile, in a copy of the source folder (it builds
    in place); returns its path."""
    folder = os.path.join(build, "fastchess")
    log = os.path.join(build, "fastchess-build.log")
    print("building fastchess in %s (log %s)" % (folder, log), flush=True)
    shutil.copytree(src, folder, dirs_exist_ok=True, ignore=shutil.ignore_patterns(".git"))
    niced(["make", "-j2"], cwd=folder, log=log)
    return os.path.join(folder, "fastchess")


def in_here(options):
    return [os.path.join(HERE, o[1:]) if o.startswith("@")
            else o.replace("=@", "=" + HERE + "/") for o in options]


def runner_command(runner, binary, engines, options, log, pgn):
    """The runner's command line; cutechess-cli's log is its standard output."""
    table = CUTECHESS_ENGINES if runner == "cutechess" else FASTCHESS_ENGINES
    command = ["nice", "-n", "10", binary]
    for engine in engines:
        command += ["-engine"] + table[engine]
    command += in_here(options)
    if runner == "cutechess":
        # A bare -debug is refused ("Empty value"); "all" also turns on the
        # UCI engines' own debug mode ("debug on").
        command += ["-pgnout", pgn, "-debug", "all"]
    else:
        command += ["-pgnout", "file=" + pgn,
                    "-log", "file=" + log, "level=trace", "engine=true", "append=false"]
    return command


def record(runner, binary, name, engines, games, options, must_hold, tries, out_root):
    folder = os.path.join(out_root, runner)
    os.makedirs(folder, exist_ok=True)
    target = os.path.join(folder, name)
    for attempt in range(1, tries + 1):
        with tempfile.TemporaryDirectory(prefix="runner-rec-") as work:
            log, pgn = os.path.join(work, "match.log"), os.path.join(work, "match.pgn")
            command = runner_command(runner, binary, engines, options, log, pgn)
            print("%s/%s (attempt %d): %s" % (runner, name, attempt, " ".join(command)), flush=True)
            env = dict(os.environ, PATH=os.environ.get("PATH", "") + ":" + GAMES_DIR)
            out_name = log if runner == "cutechess" else os.path.join(work, "stdout")
            with open(out_name, "w") as out:
                try:
                    subprocess.run(command, cwd=work, env=env, stdout=out,
                                   stderr=subprocess.DEVNULL, timeout=120 + 60 * games)
                except subprocess.TimeoutExpired:
                    print("  the runner did not finish in time", flush=True)
                    continue
            if not (os.path.exists(log) and os.path.exists(pgn)):
                print("  no log or PGN", flush=True)
                continue
            found = pgn_games(pgn, "san")
            results = [tags.get("Result", "*") for tags, _ in found]
            with open(pgn) as saved:
                text = saved.read()
            missing = [words for words in must_hold if words not in text]
            if len(found) != games or "*" in results or missing:
                print("  not kept: %d games, results %s, missing %s" %
                      (len(found), results, missing), flush=True)
                continue
            shutil.copyfile(log, target + ".log")
            shutil.copyfile(pgn, target + ".pgn")
            write_expected(target + ".pgn", target + ".expected")
            for option in options:
                if "@" in option:
                    data = option.split("@", 1)[1]
                    shutil.copyfile(os.path.join(HERE, data), os.path.join(folder, data))
            print("  %s/%s: %d games %s, %d plies, %d KB" %
                  (runner, name, len(found), results, sum(len(m) for _, m in found),
                   os.path.getsize(target + ".log") // 1024), flush=True)
            return True
    return False


def main():
    parser = argparse.ArgumentParser(description="Records cutechess-cli and fastchess games as test fixtures.")
    parser.add_argument("--cutechess-src", help="cutechess source folder")
    parser.add_argument("--fastchess-src", help="fastchess source folder")
    parser.add_argument("--build", help="build folder (default: a temporary one)")
    parser.add_argument("--out", default=DEFAULT_OUT,
                        help="fixture folder, holding cutechess/ and fastchess/")
    parser.add_argument("--only", nargs="*", help="names of the recordings to make (RUNNER/NAME or NAME)")
    parser.add_argument("--list", action="store_true", help="list the recordings and stop")
    args = parser.parse_args()
    if args.list:
        for runner, name, engines, games, options, _, _ in RECORDINGS:
            print("%s/%s %d games: %s %s" % (runner, name, games, " ".join(engines), " ".join(options)))
        return 0
    chosen = [r for r in RECORDINGS
              if not args.only or r[1] in args.only or r[0] + "/" + r[1] in args.only]
    runners = sorted({r[0] for r in chosen})
    for runner in runners:
        if not getattr(args, runner + "_src"):
            sys.exit("--%s-src is needed" % runner)
    build = args.build or tempfile.mkdtemp(prefix="runners-build-")
    os.makedirs(build, exist_ok=True)
    binaries = {}
    if "cutechess" in runners:
        binaries["cutechess"] = build_cutechess(os.path.abspath(args.cutechess_src), build)
    if "fastchess" in runners:
        binaries["fastchess"] = build_fastchess(os.path.abspath(args.fastchess_src), build)
    failed = []
    for runner, name, engines, games, options, must_hold, tries in chosen:
        if not record(runner, binaries[runner], name, engines, games, options, must_hold,
                      tries, args.out):
            failed.append(runner + "/" + name)
    if not args.build:
        shutil.rmtree(build, ignore_errors=True)
    if failed:
        print("failed: " + " ".join(failed), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
