// The evaluation graph: a line for each engine, the score each of its moves
// carried in White's view, a point a move (its move and score as its title,
// a click opens it), the ply shown marked, and a legend naming the engines.
import {sideToMove} from "./format.js"
import {$, svgElement, svgTitle} from "./dom.js"
import {currentPly, shownGame, moveText, playerName} from "./game.js"

const GRAPH_LIMIT_PAWNS = 6        // the graph clamps larger scores (and mates) to this

// The evaluation after each of `side`'s moves from White's view: the feed
// gives the mover's own.
function engineScores(side) {
    return shownGame().moves.map((move, index) => {
        const mover = sideToMove(move.fen) === "black" ? "white" : "black"
        if (mover !== side || typeof move.score !== "number") return null
        const pawns = (side === "white" ? move.score : -move.score) / 100
        return {ply: index + 1, pawns, shown: Math.max(-GRAPH_LIMIT_PAWNS, Math.min(GRAPH_LIMIT_PAWNS, pawns))}
    }).filter(Boolean)
}

export function renderGraph() {
    const svg = $("eval-graph")
    const width = svg.clientWidth || 480, height = svg.clientHeight || 120, pad = 6
    const plies = Math.max(shownGame().moves.length, 2)
    const x = (ply) => pad + (ply - 1) * (width - 2 * pad) / (plies - 1)
    const y = (pawns) => height / 2 - pawns * (height / 2 - pad) / GRAPH_LIMIT_PAWNS
    const parts = [svgElement("line", {x1: 0, x2: width, y1: y(0), y2: y(0), class: "zero"})]
    const current = currentPly()
    if (current > 0) {
        parts.push(svgElement("line", {class: "cursor", x1: x(current), x2: x(current), y1: 0, y2: height}))
    }
    for (const side of ["white", "black"]) {
        const scores = engineScores(side)
        const engine = `${side}-engine`
        if (scores.length) {
            const line = scores.map((s) => `${x(s.ply).toFixed(1)},${y(s.shown).toFixed(1)}`).join(" ")
            parts.push(svgElement("polyline", {class: `curve ${engine}`, points: line}))
        }
        for (const s of scores) {
            const point = svgElement("circle", {class: `eval-point ${engine}`, cx: x(s.ply), cy: y(s.shown), r: 3,
                "data-ply": s.ply})
            point.append(svgTitle(`${moveText(s.ply)}  ${s.pawns >= 0 ? "+" : ""}${s.pawns.toFixed(2)}`))
            parts.push(point)
        }
        document.querySelector(`#eval-legend .${engine}`).textContent = playerName(side)
    }
    svg.setAttribute("viewBox", `0 0 ${width} ${height}`)
    svg.replaceChildren(...parts)
}
