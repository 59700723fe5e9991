// What the feed has told so far, the ply the reader looks at, and what the
// page reads from them: positions, the engines' thinking at a ply, scores in
// White's view, the engines' arrows, the opening and move labels.
import {FEN} from "./vendor/cm-chessboard/src/Chessboard.js"
import {playLine, readFen, withEnPassant} from "./lines.js"
import {sideToMove} from "./format.js"

// What the feed has told so far. `version` is that of the last message applied.
export const feed = {
    run: null,
    version: 0,
    site: "",
    game: emptyGame(),
    clock: null,          // {white, black} in centiseconds, or null
    clockSince: 0,        // performance.now() when `clock` was last set
    pv: {white: null, black: null},
    pvPly: {white: -1, black: -1},   // the ply after which each side's `pv` came
    users: [],
    webViewers: 0,
    chat: [],
    chatAllowed: false,
}
// shownPly: the ply shown on the board; null: the game's last (live). earlier:
// an earlier game of this run the reader opened (#game=N), shown instead of
// the live one; null: the live game.
export const view = {shownPly: null, earlier: null}

// The game on the page: the live one, or the earlier one opened.
export function shownGame() {
    return view.earlier ?? feed.game
}

// The engines' latest thinking in the game shown (an earlier game's is in its moves).
const NO_THINKING = {pv: {white: null, black: null}, pvPly: {white: -1, black: -1}}
export function latestThinking() {
    return view.earlier ? NO_THINKING : feed
}

function emptyGame() {
    return {game: 0, white: "", black: "", level: "", timeControl: "", startFen: FEN.start,
        result: "", reason: "", moves: []}
}

export const otherSide = (side) => side === "white" ? "black" : "white"

// The position after the last move of `game` (the one shown).
export function lastFen(game = shownGame()) {
    return game.moves.length ? game.moves.at(-1).fen : game.startFen
}

// The ply on the board: the shown one, else the last.
export function currentPly() {
    return view.shownPly ?? shownGame().moves.length
}

// The position after `ply` moves (0: the start position).
export function fenAfter(ply) {
    return ply === 0 ? shownGame().startFen : shownGame().moves[ply - 1].fen
}

// The position after `ply` moves for playing lines on (null when unreadable),
// with the en-passant square the feed's positions leave out.
export function positionAt(ply) {
    const move = ply > 0 ? shownGame().moves[ply - 1] : null
    const position = readFen(fenAfter(ply))
    return move ? withEnPassant(position, move.from, move.to) : position
}

// What the engine on move at the position after `ply` thought there ({pv,
// score}, its own view): the thinking a move carries, or for the live
// position the latest line, when it came after the last move. A line whose
// first move is no move of that position was thought elsewhere (a GUI may
// log an engine's last words of a game in the next): none then.
function thinkingAt(ply) {
    const moves = shownGame().moves
    const side = sideToMove(fenAfter(ply))
    const thinking = ply < moves.length ? moves[ply]
        : latestThinking().pvPly[side] === ply ? latestThinking().pv[side] : null
    if (!thinking || typeof thinking.pv !== "string") return null
    const position = positionAt(ply)
    return position && playLine(position, thinking.pv).length ? thinking : null
}

// What `side`'s engine last said of the game by the position after `ply`,
// from White's view (centipawns), or null: its thinking there when it is on
// move, else the score its last move carried. Each engine keeps its own, so
// that their views do not take turns.
export function engineScoreAt(side, ply) {
    for (let k = ply; k >= 0; k--) {
        if (sideToMove(fenAfter(k)) !== side) continue
        const thinking = k === ply ? thinkingAt(k) : shownGame().moves[k]
        if (thinking && typeof thinking.score === "number") return side === "white" ? thinking.score : -thinking.score
    }
    return null
}

// The engines' best moves at the position after `ply`: the engine on move's
// first move, and the reply the other engine expected when its line began with
// the move it played.
export function engineArrows(ply) {
    const arrows = []
    const toMove = sideToMove(fenAfter(ply))
    const now = thinkingAt(ply), here = positionAt(ply)
    const [best] = now && here ? playLine(here, now.pv) : []
    if (best) arrows.push({side: toMove, from: best.from, to: best.to})
    const before = ply > 0 ? thinkingAt(ply - 1) : null, there = before ? positionAt(ply - 1) : null
    if (before && there) {
        const played = shownGame().moves[ply - 1]
        const line = playLine(there, before.pv)
        if (line.length >= 2 && line[0].from === played.from && line[0].to === played.to)
            arrows.push({side: otherSide(toMove), from: line[1].from, to: line[1].to})
    }
    return arrows
}

// The opening the deepest named position up to `ply` belongs to, or null.
export function openingAt(ply) {
    for (let k = ply; k > 0; k--) {
        const move = shownGame().moves[k - 1]
        if (typeof move.eco === "string" && typeof move.opening === "string") return move
    }
    return null
}

// The move number and side of ply `ply` (1-based) of the current game.
export function moveLabel(ply) {
    const [, side, , , , fullMove] = shownGame().startFen.split(" ")
    const half = ply - 1 + (side === "b" ? 1 : 0)
    return {number: (Number(fullMove) || 1) + Math.floor(half / 2), white: half % 2 === 0}
}

// "12... Nf6" for ply `ply`.
export function moveText(ply) {
    const label = moveLabel(ply)
    return `${label.number}${label.white ? "." : "..."} ${shownGame().moves[ply - 1].san}`
}

// A player's name, or the colour's until the GUI names it.
export function playerName(side) {
    return shownGame()[side] || (side === "white" ? "White" : "Black")
}
