#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) in build/fuzz and runs each for a bounded time.
#   scripts/fuzz.sh [--built DIR] [seconds] [target ...]
#                                   default: 20 seconds each, every target
# With --built the targets are taken from DIR, a build that has them already
# (the asan preset's, whose tests run them). Targets are the names of
# fuzz/*.cpp (feed_log, net_datagrams, ...). The corpus each run grows is kept
# in BUILD/corpus/<target>; it starts from the test fixtures and
# fuzz/corpus/<target>. A crash, hang, leak or sanitizer report stops that target
# with its input in BUILD/artifacts/ and fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/fuzz
built=false
if [ "${1:-}" = --built ]; then
    build=$2
    built=true
    shift 2
fi
seconds=${1:-20}
shift || true

if ! $built; then
    scripts/install-deps.sh clang libclang-rt-dev
    echo "== fuzz: configure and build ($build)"
    CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DLANTREL_FUZZ=ON -DLANTREL_BUILD_TESTS=OFF -DLANTREL_BUILD_BENCH=OFF >/dev/null
    cmake --build "$build" -j 2 --target fuzz_targets
fi

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for source in fuzz/*.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi

# Seeds from the fixtures, in a folder for each target (runs of different
# targets may go on at once). Game logs are cut into pieces of 300 lines, so
# that the middle and the end of a game (moves, results, a new game) are seeds
# too, not only the engines' start-up that opens every log.
seeds=$build/seeds
make_seeds() {
    local into=$seeds/$1
    rm -rf "$into"
    mkdir -p "$into"
    case $1 in
        feed_log)
            for log in tests/fixtures/xboard/*.debug tests/fixtures/xboard/openings/*.debug \
                tests/fixtures/arena/*.log; do
                [ -f "$log" ] || continue
                awk -v stem="$into/$(basename "$log")" \
                    'NR % 300 == 1 { if (out) close(out); out = sprintf("%s-%03d", stem, ++n) } { print > out }' "$log"
            done ;;
        tourney_pgn)
            for pgn in tests/fixtures/tourney/*.pgn tests/fixtures/xboard/*.pgn \
                tests/fixtures/xboard/openings/*.pgn; do
                [ -f "$pgn" ] && cp "$pgn" "$into/"
            done ;;
        app_config)
            for ini in demo/server.ini packaging/server.ini.sample; do
                [ -f "$ini" ] && cp "$ini" "$into/$(basename "$ini")"
            done ;;
    esac
}

max_len() {
    case $1 in
        feed_log | tourney_pgn) echo 32768 ;;
        chess_move_text) echo 4096 ;;
        *) echo 8192 ;;
    esac
}

mkdir -p "$build/artifacts" "$build/logs"
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
failed=()
summary=()
for target in "${targets[@]}"; do
    binary=$build/fuzz/fuzz_$target
    [ -x "$binary" ] || { echo "no fuzz target $target" >&2; exit 2; }
    corpus=$build/corpus/$target
    mkdir -p "$corpus"
    make_seeds "$target"
    args=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len="$(max_len "$target")"
          -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-")
    [ -f "fuzz/$target.dict" ] && args+=(-dict="fuzz/$target.dict")
    dirs=("$corpus")
    for d in "fuzz/corpus/$target" "$seeds/$target"; do
        [ -n "$(ls -A "$d" 2>/dev/null)" ] && dirs+=("$d")
    done
    log=$build/logs/$target.log
    echo "== fuzz: $target for $seconds s"
    if "$binary" "${args[@]}" "${dirs[@]}" >"$log" 2>&1; then
        status=ok
    else
        status=FAILED
        failed+=("$target")
        grep -E "ERROR|SUMMARY|runtime error|check failed|Test unit written" "$log" | head -20 || true
    fi
    done_line=$(grep -E "^#[0-9]+[[:space:]]+DONE" "$log" | tail -1 || true)
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    summary+=("$(printf '%-16s %-6s execs %-10s %s' "$target" "$status" "${execs:-?}" \
        "$(echo "$done_line" | grep -oE 'cov: [0-9]+ ft: [0-9]+ corp: [0-9]+/[0-9a-zA-Z]+' || true)")")
done

echo "== fuzz: summary ($seconds s per target; logs in $build/logs)"
printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz: ${#failed[@]} failed: ${failed[*]} (inputs in $build/artifacts)"
    exit 1
fi
echo "fuzz: ${#targets[@]} passed, 0 failed"
