// The evaluation graph: the score after each ply in White's view, a point a
// ply (its move and score as its title), the ply shown marked.
import {sideToMove} from "./format.js"
import {$, svgElement, svgTitle} from "./dom.js"
import {currentPly, feed, moveText} from "./game.js"

const GRAPH_LIMIT_PAWNS = 6        // the graph clamps larger scores (and mates) to this

// The evaluation after each ply from White's view: the feed gives the mover's.
function whiteScores() {
    return feed.game.moves.map((move, index) => {
        if (typeof move.score !== "number") return null
        const moverIsWhite = sideToMove(move.fen) === "black"
        const pawns = (moverIsWhite ? move.score : -move.score) / 100
        return {ply: index + 1, pawns, shown: Math.max(-GRAPH_LIMIT_PAWNS, Math.min(GRAPH_LIMIT_PAWNS, pawns))}
    }).filter(Boolean)
}

export function renderGraph() {
    const svg = $("eval-graph")
    const width = svg.clientWidth || 480, height = svg.clientHeight || 120, pad = 6
    const plies = Math.max(feed.game.moves.length, 2)
    const x = (ply) => pad + (ply - 1) * (width - 2 * pad) / (plies - 1)
    const y = (pawns) => height / 2 - pawns * (height / 2 - pad) / GRAPH_LIMIT_PAWNS
    const parts = [svgElement("line", {x1: 0, x2: width, y1: y(0), y2: y(0), class: "zero"})]
    const scores = whiteScores()
    if (scores.length) {
        const line = scores.map((s) => `${x(s.ply).toFixed(1)},${y(s.shown).toFixed(1)}`).join(" ")
        const first = scores[0], last = scores[scores.length - 1]
        parts.push(svgElement("polygon", {class: "area",
            points: `${x(first.ply).toFixed(1)},${y(0)} ${line} ${x(last.ply).toFixed(1)},${y(0)}`}))
        parts.push(svgElement("polyline", {class: "curve", points: line}))
    }
    const current = currentPly()
    if (current > 0) {
        parts.push(svgElement("line", {class: "cursor", x1: x(current), x2: x(current), y1: 0, y2: height}))
    }
    for (const s of scores) {
        const point = svgElement("circle", {class: "eval-point", cx: x(s.ply), cy: y(s.shown), r: 3, "data-ply": s.ply})
        point.append(svgTitle(`${moveText(s.ply)}  ${s.pawns >= 0 ? "+" : ""}${s.pawns.toFixed(2)}`))
        parts.push(point)
    }
    svg.setAttribute("viewBox", `0 0 ${width} ${height}`)
    svg.replaceChildren(...parts)
}
