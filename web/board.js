// The board: the position shown with its last move marked, the engines'
// best moves as arrows, the evaluation bar beside it and the opening.
import {Chessboard, FEN} from "./vendor/cm-chessboard/src/Chessboard.js"
import {Markers} from "./vendor/cm-chessboard/src/extensions/markers/Markers.js"
import {Arrows} from "./vendor/cm-chessboard/src/extensions/arrows/Arrows.js"
import {formatScore, mateIn} from "./format.js"
import {$} from "./dom.js"
import {currentPly, engineArrows, engineScoreAt, shownGame, fenAfter, openingAt, playerName, view} from "./game.js"
import {KeptUpBoard} from "./kept_up_board.js"

export const LAST_MOVE_MARKER = {class: "marker-last-move", slice: "markerSquare"}
const SQUARE = /^[a-h][1-8]$/
const ENGINE_ARROW = {white: {class: "arrow-white"}, black: {class: "arrow-black"}}

const board = new Chessboard($("board"), {
    position: FEN.start,
    assetsUrl: "vendor/cm-chessboard/assets/",
    style: {animationDuration: 150},
    extensions: [{class: Markers, props: {autoMarkers: null}}, {class: Arrows}],
})
const drawing = new KeptUpBoard(board, markLastMove)

// The feed names each move's squares (castling as the king's move); a move
// without them (an older server's feed, through NATS) marks none. Marked once
// the piece stands on its square.
function markLastMove(ply) {
    board.removeMarkers(LAST_MOVE_MARKER)
    const move = ply > 0 ? shownGame().moves[ply - 1] : null
    if (move && SQUARE.test(move.from) && SQUARE.test(move.to)) {
        board.addMarker(LAST_MOVE_MARKER, move.from)
        board.addMarker(LAST_MOVE_MARKER, move.to)
    }
}

export function renderBoard(animated) {
    const ply = currentPly()
    const fen = fenAfter(ply)
    $("board").dataset.fen = fen
    $("board").dataset.ply = String(ply)
    drawing.show(fen, ply, animated)
    $("live").classList.toggle("active", view.shownPly === null)
    document.body.classList.toggle("browsing", view.shownPly !== null)
    const game = shownGame().game
    $("ply-link").href = game ? `#game=${game}&ply=${ply}` : `#ply=${ply}`
    renderEngineView(ply)
    renderOpening(ply)
}

// What the engines think of the position after `ply`: arrows and the bar.
export function renderEngineView(ply) {
    board.removeArrows()
    for (const arrow of engineArrows(ply)) board.addArrow(ENGINE_ARROW[arrow.side], arrow.from, arrow.to)
    renderEvalBar(ply)
}

// The bar has a column for each engine, White's on the left: each fills from
// below as White's chances grow in that engine's view, a centipawn score
// mapped onto 0..100 %, mates at the ends. One bar for both would take the
// engine on move's view, and jump between the two every ply.
function renderEvalBar(ply) {
    const bar = $("eval-bar")
    const said = []
    for (const side of ["white", "black"]) {
        const score = engineScoreAt(side, ply)
        let whiteShare = 50
        if (score !== null) {
            whiteShare = mateIn(score) !== null ? (score > 0 ? 100 : 0)
                : 50 + 50 * (2 / (1 + Math.exp(-0.00368208 * score)) - 1)
        }
        bar.dataset[`${side}Engine`] = score === null ? "" : String(score)
        const column = bar.querySelector(`.eval-engine[data-side=${side}]`)
        column.querySelector(".eval-fill").style.height = `${whiteShare.toFixed(1)}%`
        const text = score === null ? "" : formatScore(score)
        column.querySelector(".eval-text").textContent = text
        column.title = `${playerName(side)}: ${text || "no score yet"} (White's view)`
        $(`${side}-score`).textContent = text
        said.push(`${playerName(side)} ${text || "none yet"}`)
    }
    bar.setAttribute("aria-label", `Evaluation, White's view: ${said.join(", ")}`)
}

function renderOpening(ply) {
    const opening = openingAt(ply)
    $("opening-eco").textContent = opening ? opening.eco : ""
    $("opening-name").textContent = opening ? opening.opening : shownGame().variant === "chess960" ? "Chess960" : "-"
}
