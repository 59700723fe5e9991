// What the single page and the event page both show the same way: whose move
// a position is, an engine's score and a clock.

export function sideToMove(fen) {
    return fen.split(" ")[1] === "b" ? "black" : "white"
}

// Mates further off than this are taken for ordinary scores: a large material
// advantage (Toga's +297.44) lies that close below some of the codes.
const FARTHEST_MATE_PLIES = 200
// The codes engines give a mate as, in centipawns, less the plies to it;
// Sjeng counts the root as a ply.
const MATE_CODES = [{code: 1000000, rootPlies: 1}, {code: 100000, rootPlies: 0}, {code: 32000, rootPlies: 0},
    {code: 30000, rootPlies: 0}, {code: 10000, rootPlies: 0}]

// The moves to a mate a score tells (negative: being mated), or null when it
// tells none: 100000 + N (mate in N moves, the XBoard engines' way), or one
// of MATE_CODES less the plies to the mate.
export function mateIn(centipawns) {
    const size = Math.abs(centipawns), sign = centipawns < 0 ? -1 : 1
    if (size >= 100000 && size - 100000 <= FARTHEST_MATE_PLIES / 2) return sign * (size - 100000)
    for (const {code, rootPlies} of MATE_CODES) {
        if (size > code || size + FARTHEST_MATE_PLIES <= code) continue
        const plies = code - size
        if (plies < rootPlies) continue
        // The mating side makes the last move: mate in N moves takes 2N - 1
        // plies, being mated in N takes 2N.
        return sign * Math.floor((plies - rootPlies + 1) / 2)
    }
    return null
}

// "+1.97", "-0.35", "#3" (mates in 3), "-#3" (is mated in 3).
export function formatScore(centipawns) {
    const mate = mateIn(centipawns)
    if (mate !== null) return (centipawns < 0 ? "-" : "") + "#" + Math.abs(mate)
    return (centipawns < 0 ? "-" : "+") + (Math.abs(centipawns) / 100).toFixed(2)
}

// Hours only when there are any; tenths in the last ten seconds.
export function formatClock(centiseconds) {
    const tenths = Math.max(0, Math.floor(centiseconds / 10))
    const seconds = Math.floor(tenths / 10)
    const h = Math.floor(seconds / 3600), m = Math.floor(seconds / 60) % 60, s = seconds % 60
    const ss = String(s).padStart(2, "0")
    if (h > 0) return `${h}:${String(m).padStart(2, "0")}:${ss}`
    if (seconds < 10) return `${m}:${ss}.${tenths % 10}`
    return `${m}:${ss}`
}

// A duration of the GUI's level in the words people use: "10 s", "5 min",
// "1 min 30 s", "2 h", "1 h 30 min".
function formatDuration(seconds) {
    const h = Math.floor(seconds / 3600), m = Math.floor(seconds / 60) % 60, s = seconds % 60
    const parts = [h && `${h} h`, m && `${m} min`, s && `${Number(s.toFixed(3))} s`].filter(Boolean)
    return parts.length ? parts.join(" ") : "0 s"
}

// The GUI's level ("40 5 0": moves per session, base time in minutes or
// minutes:seconds, increment in seconds) as {moves, base, increment}, times
// in seconds, or its fixed time a move ("st 1") as {perMove}; null when it
// is of neither shape.
export function readLevel(level) {
    const fixed = /^st\s+(\d+)$/.exec(level.trim())
    if (fixed) return {perMove: Number(fixed[1])}
    const words = level.replace(/^level\s+/, "").trim().split(/\s+/)
    const match = words.length === 3 && /^(\d+)$/.test(words[0]) && /^(\d+)(?::(\d{1,2}))?$/.exec(words[1])
    if (!match || !/^\d+(\.\d+)?$/.test(words[2])) return null
    return {moves: Number(words[0]), base: Number(match[1]) * 60 + Number(match[2] ?? 0), increment: Number(words[2])}
}

// The level as people say it: "40 moves in 5 min", "6 min + 0.2 s". Empty
// when it is no level of that shape.
export function formatLevel(level) {
    const read = readLevel(level)
    if (!read) return ""
    const {moves, base, increment, perMove} = read
    if (perMove !== undefined) return `${formatDuration(perMove)} a move`
    if (moves === 0 && base === 0 && increment > 0) return `${formatDuration(increment)} a move`
    const time = formatDuration(base) + (increment > 0 ? ` + ${formatDuration(increment)}` : "")
    return moves > 0 ? `${moves} move${moves === 1 ? "" : "s"} in ${time}` : time
}
