// The players' bars: names, the game's number, the level, the result, and
// the clocks, the running one counting down between the feed's readings.
import {formatClock, formatLevel, sideToMove} from "./format.js"
import {$} from "./dom.js"
import {feed, liveFen, playerName} from "./game.js"

export function renderPlayers() {
    $("white-name").textContent = playerName("white")
    $("black-name").textContent = playerName("black")
    $("game-number").textContent = feed.game.game ? String(feed.game.game) : ""
    // In words people read; the GUI's own ("40 5 0") when they are of no
    // shape known, and as the title beside the PGN form.
    const {level, timeControl} = feed.game
    const gui = level.replace(/^level\s+/, "").trim()
    $("level").textContent = formatLevel(level) || gui
    $("level").title = [gui, timeControl && `(${timeControl})`].filter(Boolean).join(" ")
    $("result-row").hidden = !feed.game.result
    $("result").textContent = feed.game.result
    $("reason").textContent = feed.game.reason
    $("board-result").hidden = !feed.game.result
    $("board-result").textContent = [feed.game.result, feed.game.reason].filter(Boolean).join(" ")
    $("site").textContent = feed.site || "Lantrel"
    document.title = feed.game.white && feed.game.black
        ? `${feed.game.white} - ${feed.game.black}` : "Lantrel live game"
}

function clockRunningFor() {
    return feed.clock && !feed.game.result ? sideToMove(liveFen()) : null
}

export function renderClocks() {
    const running = clockRunningFor()
    for (const side of ["white", "black"]) {
        const element = $(`${side}-clock`)
        let left = feed.clock ? feed.clock[side] : null
        if (left != null && side === running) left -= (performance.now() - feed.clockSince) / 10
        element.textContent = left == null ? "-:--" : formatClock(left)
        element.classList.toggle("running", side === running)
        $(`player-${side}`).classList.toggle("to-move", side === sideToMove(liveFen()) && !feed.game.result)
    }
}
