// The players' bars: names, the game's number, the level, the result, and
// the clocks, the running one counting down between the feed's readings.
import {formatClock, formatLevel, sideToMove} from "./format.js"
import {$} from "./dom.js"
import {currentPly, feed, lastFen, playerName, shownGame, view} from "./game.js"

export function renderPlayers() {
    $("white-name").textContent = playerName("white")
    $("black-name").textContent = playerName("black")
    $("game-number").textContent = shownGame().game ? String(shownGame().game) : ""
    // In words people read; the GUI's own ("40 5 0") when they are of no
    // shape known, and as the title beside the PGN form.
    const {level, timeControl} = shownGame()
    const gui = level.replace(/^level\s+/, "").trim()
    $("level").textContent = formatLevel(level) || gui
    $("level").title = [gui, timeControl && `(${timeControl})`].filter(Boolean).join(" ")
    $("result-row").hidden = !shownGame().result
    $("result").textContent = shownGame().result
    $("reason").textContent = shownGame().reason
    $("board-result").hidden = !shownGame().result
    $("board-result").textContent = [shownGame().result, shownGame().reason].filter(Boolean).join(" ")
    $("site").textContent = feed.site || "Lantrel"
    document.title = shownGame().white && shownGame().black
        ? `${shownGame().white} - ${shownGame().black}` : "Lantrel live game"
}

function clockRunningFor() {
    return feed.clock && !view.earlier && !feed.game.result ? sideToMove(lastFen()) : null
}

// An earlier game's clocks: each side's time left after its last move up to
// the ply shown.
function earlierClock(side) {
    const moves = view.earlier.moves.slice(0, currentPly())
    const last = moves.findLast((move) => sideToMove(move.fen) !== side && move.clock != null)
    return last ? last.clock : null
}

export function renderClocks() {
    const running = clockRunningFor()
    for (const side of ["white", "black"]) {
        const element = $(`${side}-clock`)
        let left = view.earlier ? earlierClock(side) : feed.clock ? feed.clock[side] : null
        if (left != null && side === running) left -= (performance.now() - feed.clockSince) / 10
        element.textContent = left == null ? "-:--" : formatClock(left)
        element.classList.toggle("running", side === running)
        $(`player-${side}`).classList.toggle("to-move", side === sideToMove(lastFen()) && !shownGame().result)
    }
}
