// The engines' panel: each engine's latest line with its depth, score, nodes
// and time, and the line preview: pointing at a line (or focusing it) shows on
// a small board where it leads, to the end or to the move pointed at; a tap
// keeps it until the next.
import {Chessboard} from "./vendor/cm-chessboard/src/Chessboard.js"
import {Markers} from "./vendor/cm-chessboard/src/extensions/markers/Markers.js"
import {placement, playLine} from "./lines.js"
import {formatScore, sideToMove} from "./format.js"
import {$} from "./dom.js"
import {feed, fenAfter, playerName, positionAt} from "./game.js"
import {LAST_MOVE_MARKER} from "./board.js"

let previewBoard = null    // the small board of the line preview, made when first needed

function formatNodes(nodes) {
    if (nodes >= 1e9) return (nodes / 1e9).toFixed(1) + "G"
    if (nodes >= 1e6) return (nodes / 1e6).toFixed(1) + "M"
    if (nodes >= 1e3) return (nodes / 1e3).toFixed(0) + "k"
    return String(nodes)
}

export function renderPv() {
    for (const side of ["white", "black"]) {
        const block = $(`pv-${side}`)
        const thinking = feed.pv[side]
        block.querySelector(".pv-name").textContent = playerName(side)
        // Every score on the page is in White's view; once the game is over,
        // its engines' last lines stay, greyed, as what they last thought.
        const whiteView = thinking ? (side === "white" ? thinking.score : -thinking.score) : 0
        const stats = thinking
            ? [`depth ${thinking.depth}`, `${formatScore(whiteView)} White's view`, `${formatNodes(thinking.nodes)} nodes`,
                `${(thinking.time / 100).toFixed(1)} s`].join("  ·  ")
            : "no thinking yet"
        block.classList.toggle("ended", Boolean(feed.game.result))
        block.querySelector(".pv-stats").textContent = (feed.game.result && thinking ? "last: " : "") + stats
        // One element per word, so that pointing at a move previews the line up to it.
        const words = thinking ? String(thinking.pv).trim().split(/\s+/).filter(Boolean) : []
        block.querySelector(".pv-line").replaceChildren(...words.map((word, index) => {
            const span = document.createElement("span")
            span.className = "pv-word"
            span.dataset.index = String(index)
            span.textContent = word
            return span
        }))
    }
    renderPreview()
}

const preview = {side: null, upTo: null, kept: false}

// The engine line of `side` from the position it was thought in: null when
// that is unknown or the line's first word is no move there.
function lineOf(side) {
    const thinking = feed.pv[side], ply = feed.pvPly[side]
    if (!thinking || ply < 0 || ply > feed.game.moves.length || sideToMove(fenAfter(ply)) !== side) return null
    const start = positionAt(ply)
    const moves = start ? playLine(start, thinking.pv) : []
    return moves.length ? {start, moves} : null
}

export function renderPreview() {
    const line = preview.side ? lineOf(preview.side) : null
    $("pv-preview").hidden = !line
    for (const element of document.querySelectorAll(".pv-line"))
        element.classList.toggle("previewed", Boolean(line) && element.dataset.side === preview.side)
    if (!line) return
    const count = Math.min(line.moves.length, preview.upTo === null ? line.moves.length : preview.upTo + 1)
    const last = line.moves[count - 1]
    const fen = placement(last.position)
    $("pv-board").dataset.fen = fen
    if (!previewBoard) {
        previewBoard = new Chessboard($("pv-board"), {position: fen, assetsUrl: "vendor/cm-chessboard/assets/",
            style: {showCoordinates: false, animationDuration: 0},
            extensions: [{class: Markers, props: {autoMarkers: null}}]})
    } else {
        previewBoard.setPosition(fen, false)
    }
    previewBoard.removeMarkers(LAST_MOVE_MARKER)
    previewBoard.addMarker(LAST_MOVE_MARKER, last.from)
    previewBoard.addMarker(LAST_MOVE_MARKER, last.to)
    $("pv-caption").textContent = `${playerName(preview.side)}: after ${line.moves.slice(0, count).map((m) => m.word).join(" ")}`
}

function pointPreview(side, upTo) {
    preview.side = side
    preview.upTo = upTo
    renderPreview()
}

// Escape drops a preview, kept or not; true when there was one.
export function dropPreview() {
    if (!preview.side) return false
    preview.kept = false
    pointPreview(null, null)
    return true
}

for (const element of document.querySelectorAll(".pv-line")) {
    const side = element.dataset.side
    const wordAt = (event) => {
        const index = event.target.closest?.(".pv-word")?.dataset.index
        return index === undefined ? null : Number(index)
    }
    element.addEventListener("pointerover", (event) => { if (!preview.kept) pointPreview(side, wordAt(event)) })
    element.addEventListener("pointerleave", () => { if (!preview.kept) pointPreview(null, null) })
    element.addEventListener("focus", () => { if (!preview.kept) pointPreview(side, null) })
    element.addEventListener("blur", () => { if (!preview.kept) pointPreview(null, null) })
    // A tap keeps the preview (a touch screen has no pointing); the same tap again drops it.
    const keep = (upTo) => {
        const same = preview.kept && preview.side === side && preview.upTo === upTo
        preview.kept = !same
        pointPreview(same ? null : side, upTo)
    }
    element.addEventListener("click", (event) => keep(wordAt(event)))
    element.addEventListener("keydown", (event) => {
        if (event.key !== "Enter" && event.key !== " ") return
        event.preventDefault()
        keep(null)
    })
}
