// The move list: a button for each ply, the one shown marked.
import {$} from "./dom.js"
import {currentPly, shownGame, moveLabel, view} from "./game.js"

export function renderMoves() {
    const list = $("moves")
    const current = currentPly()
    const rows = []
    shownGame().moves.forEach((move, index) => {
        const ply = index + 1
        const label = moveLabel(ply)
        if (label.white || rows.length === 0) {
            const row = document.createElement("li")
            const number = document.createElement("span")
            number.className = "move-number"
            number.textContent = label.white ? `${label.number}.` : `${label.number}...`
            row.append(number)
            rows.push(row)
        }
        const button = document.createElement("button")
        button.type = "button"
        button.className = "move" + (ply === current ? " current" : "")
        button.dataset.ply = String(ply)
        button.textContent = move.san
        rows[rows.length - 1].append(button)
    })
    list.replaceChildren(...rows)
    const currentButton = list.querySelector(".current")
    if (view.shownPly === null) list.scrollTop = list.scrollHeight
    else if (currentButton) currentButton.scrollIntoView({block: "nearest"})
}
