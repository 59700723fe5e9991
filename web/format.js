// What the single page and the event page both show the same way: whose move
// a position is, an engine's score and a clock.

export const MATE_SCORE = 90000  // engines report mate in N as 100000 + N centipawns

export function sideToMove(fen) {
    return fen.split(" ")[1] === "b" ? "black" : "white"
}

export function formatScore(centipawns) {
    const sign = centipawns < 0 ? "-" : "+"
    const size = Math.abs(centipawns)
    if (size >= MATE_SCORE) return sign + "M" + Math.abs(size - 100000)
    return sign + (size / 100).toFixed(2)
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
