// The engines' panel: each engine's latest line with its depth, score, nodes
// and time, and the line preview: pointing at a line (or focusing it) shows on
// a small board where it leads, to the end or to the move pointed at; a tap
// keeps it until the next.
import {Chessboard} from "./vendor/cm-chessboard/src/Chessboard.js"
import {Markers} from "./vendor/cm-chessboard/src/extensions/markers/Markers.js"
import {MOVE_NUMBER, placement, playLine} from "./lines.js"
import {formatScore, sideToMove} from "./format.js"
import {$} from "./dom.js"
import {shownGame, fenAfter, latestThinking, moveLabel, playerName, positionAt} from "./game.js"
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
        const thinking = latestThinking().pv[side]
        block.querySelector(".pv-name").textContent = playerName(side)
        // Every score on the page is in White's view; once the game is over,
        // its engines' last lines stay, greyed, as what they last thought.
        const whiteView = thinking ? (side === "white" ? thinking.score : -thinking.score) : 0
        const stats = thinking
            ? [`depth ${thinking.depth}`, `${formatScore(whiteView)} White's view`, `${formatNodes(thinking.nodes)} nodes`,
                `${(thinking.time / 100).toFixed(1)} s`].join("  ·  ")
            : "no thinking yet"
        block.classList.toggle("ended", Boolean(shownGame().result))
        block.querySelector(".pv-stats").textContent = (shownGame().result && thinking ? "last: " : "") + stats
        block.querySelector(".pv-line").replaceChildren(...lineWords(side, thinking))
    }
    renderPreview()
}

function wordSpan(text, className, index) {
    const span = document.createElement("span")
    span.className = className
    if (index !== undefined) span.dataset.index = String(index)
    span.textContent = text
    return span
}

// The engine's line as SAN played from the position it was thought in, with
// the moves' numbers, one element a move (so that pointing at a move
// previews the line up to it, and a narrow screen breaks the line between
// moves only); words past the last move that plays are shown as they came,
// greyed. A line whose first move is no move of that position (thought in
// the one before, or for the other side) is all greyed, as that position's.
function lineWords(side, thinking) {
    const words = thinking ? String(thinking.pv).trim().split(/\s+/).filter(Boolean) : []
    const line = lineOf(side)
    if (!line) return words.length ? [wordSpan(words.join(" "), "pv-rest stale")] : []
    const spans = line.moves.map((move, index) => {
        const label = moveLabel(latestThinking().pvPly[side] + index + 1)
        const number = label.white ? `${label.number}. ` : index === 0 ? `${label.number}... ` : ""
        return wordSpan(number + move.san, "pv-word", index)
    })
    // The words after the last one played.
    let played = 0, last = -1
    for (let i = 0; i < words.length && played < line.moves.length; i++) {
        if (!MOVE_NUMBER.test(words[i])) [played, last] = [played + 1, i]
    }
    const rest = words.slice(last + 1)
    if (rest.length) spans.push(wordSpan(rest.join(" "), "pv-rest"))
    return spans
}

const preview = {side: null, upTo: null, kept: false}

// The engine line of `side` from the position it was thought in: null when
// that is unknown or the line's first word is no move there.
function lineOf(side) {
    const thinking = latestThinking().pv[side], ply = latestThinking().pvPly[side]
    if (!thinking || ply < 0 || ply > shownGame().moves.length || sideToMove(fenAfter(ply)) !== side) return null
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
    $("pv-caption").textContent = `${playerName(preview.side)}: after ${line.moves.slice(0, count).map((m) => m.san).join(" ")}`
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
