// The charts engine broadcasts show beside the evaluation: time used, depth
// and speed for each move, a line for each engine, from what the moves of
// the game shown carry (so nothing of an earlier game). Time used is the
// mover's clock before the move less after it, plus the increment; speed is
// the search's nodes over that time.
import {readLevel, sideToMove} from "./format.js"
import {$, svgElement, svgTitle} from "./dom.js"
import {shownGame, moveText} from "./game.js"

const SIDES = ["white", "black"]
const CHARTS = [
    {id: "chart-time", value: (move) => move.used === null ? null : move.used / 100,
        text: (v) => `${v.toFixed(1)} s`},
    {id: "chart-depth", value: (move) => Number.isFinite(move.depth) && move.depth > 0 ? move.depth : null,
        text: (v) => `depth ${v}`},
    {id: "chart-speed", value: (move) => move.used > 0 && Number.isFinite(move.nodes) && move.nodes > 0
        ? move.nodes / (move.used / 100) / 1000 : null, text: (v) => `${Math.round(v).toLocaleString("en")} kN/s`},
]

// Each move with its mover, its ply and the time it used (null when unknown:
// a clock missing, or more time after the move than before, as a new
// session of moves brings; at a fixed time a move, where the GUI tells the
// engines that time and no clock).
function movesWithTimes() {
    const level = readLevel(shownGame().level)
    const fixedTime = level?.perMove !== undefined
    const base = level && !fixedTime ? level.base * 100 : null
    const increment = level && !fixedTime ? level.increment * 100 : 0
    const before = {white: base, black: base}
    return shownGame().moves.map((move, index) => {
        const side = sideToMove(move.fen) === "black" ? "white" : "black"
        const clock = Number.isFinite(move.clock) ? move.clock : null
        const used = !fixedTime && clock !== null && before[side] !== null ? before[side] - clock + increment : null
        before[side] = clock
        return {...move, side, ply: index + 1, used: used !== null && used >= 0 ? used : null}
    })
}

function renderChart(svg, chart, moves) {
    const width = svg.clientWidth || 480, height = svg.clientHeight || 64, pad = 5
    const points = moves.map((move) => ({move, value: chart.value(move)})).filter((p) => p.value !== null)
    const top = Math.max(...points.map((p) => p.value), 1e-9)
    const plies = Math.max(shownGame().moves.length, 2)
    const x = (ply) => pad + (ply - 1) * (width - 2 * pad) / (plies - 1)
    const y = (value) => height - pad - value * (height - 2 * pad) / top
    const parts = []
    for (const side of SIDES) {
        const own = points.filter((p) => p.move.side === side)
        if (own.length) parts.push(svgElement("polyline", {class: `curve ${side}-engine`,
            points: own.map((p) => `${x(p.move.ply).toFixed(1)},${y(p.value).toFixed(1)}`).join(" ")}))
        for (const p of own) {
            const point = svgElement("circle", {class: `point ${side}-engine`, cx: x(p.move.ply), cy: y(p.value), r: 2})
            point.append(svgTitle(`${moveText(p.move.ply)}  ${chart.text(p.value)}`))
            parts.push(point)
        }
    }
    svg.setAttribute("viewBox", `0 0 ${width} ${height}`)
    svg.replaceChildren(...parts)
}

export function renderCharts() {
    const moves = movesWithTimes()
    for (const chart of CHARTS) renderChart($(chart.id), chart, moves)
}
