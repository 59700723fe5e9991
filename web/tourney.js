// The tournament around the game: the standings, kept up as results come,
// and the crosstable and the game list under their buttons, from the server
// behind the feed (/tourney.json); and this run's earlier games, which the
// page steps between.
import {$} from "./dom.js"
import {serverUrl} from "./sources.js"
import {crosstableTable, fetchTourney, gameListTable, standingsTable} from "./tourney_tables.js"

let doc = null
let shownTable = null        // "crosstable", "gamelist" or null
const TABLES = {crosstable: crosstableTable, gamelist: gameListTable}
const RETRIES = 3

function render() {
    $("standings").replaceChildren(...(doc && doc.standings.length ? [standingsTable(doc)] : []))
    $("standings-none").hidden = Boolean(doc && doc.standings.length)
    $("tourney-table").hidden = !shownTable || !doc
    if (shownTable && doc) $("tourney-table").replaceChildren(TABLES[shownTable](doc))
    for (const button of document.querySelectorAll(".tourney-buttons button"))
        button.setAttribute("aria-pressed", String(button.dataset.table === shownTable))
}

// This run's earlier games as the server lists them, oldest first ([] before it told).
export function earlierGames() {
    return doc ? doc.earlierGames : []
}

// Reads the tournament again; with `expectedGame`, until it holds that game
// of this run (the server builds it a moment after the feed tells the result).
export async function refreshTourney(expectedGame = null) {
    for (let attempt = 0; attempt <= RETRIES; attempt++) {
        const read = await fetchTourney(serverUrl("tourney.json"))
        if (read) doc = read
        render()
        const known = !expectedGame || (doc && [...doc.games, ...doc.earlierGames].some((game) => game.game === expectedGame))
        if (known || attempt === RETRIES) return
        await new Promise((resolve) => setTimeout(resolve, 1000))
    }
}

for (const button of document.querySelectorAll(".tourney-buttons button")) {
    button.addEventListener("click", () => {
        shownTable = shownTable === button.dataset.table ? null : button.dataset.table
        render()
    })
}

// The GUI saves a game to the tournament PGN a moment after its result,
// with no word on the feed: the page reads the tournament again now and then.
const REREAD_MS = 10000
setInterval(() => {
    if (doc && document.visibilityState === "visible") refreshTourney()
}, REREAD_MS)
