// The tournament's tables from the server's /tourney.json: the standings, the
// crosstable and the game list, as table elements (every text as text).
// Shared by the single page and the event page.

function cell(tag, text, className) {
    const element = document.createElement(tag)
    element.textContent = text
    if (className) element.className = className
    return element
}

function table(caption, headings, rows) {
    const element = document.createElement("table")
    element.className = "tourney-table"
    element.createCaption().textContent = caption
    const head = element.createTHead().insertRow()
    for (const [text, title] of headings) {
        const th = cell("th", text)
        th.scope = "col"
        if (title) th.title = title
        head.append(th)
    }
    element.createTBody().append(...rows)
    return element
}

function row(...cells) {
    const tr = document.createElement("tr")
    tr.append(...cells)
    return tr
}

// "2.5", "½" for half points: scores as people write them.
export function formatPoints(points) {
    const whole = Math.floor(points)
    return points - whole === 0.5 ? (whole ? `${whole}½` : "½") : String(points)
}

const TIE_BREAK = "Equal scores rank in the order the players first played in the tournament"

export function standingsTable(doc) {
    const rows = doc.standings.map((player) => row(cell("td", `${player.rank}`, "number"),
        cell("th", player.name), cell("td", formatPoints(player.score), "number"),
        cell("td", String(player.games), "number"), cell("td", String(player.firstGame), "number")))
    return table("Standings", [["#"], ["Player"], ["Score"], ["Games"], ["First game", TIE_BREAK]], rows)
}

export function crosstableTable(doc) {
    const rows = doc.standings.map((player, r) => row(cell("td", `${player.rank}`, "number"),
        cell("th", player.name), cell("td", formatPoints(player.score), "number"),
        ...player.results.map((results, c) => c === r ? cell("td", "", "self")
            : cell("td", results.replaceAll("=", "½"), "result"))))
    const columns = doc.standings.map((player) => [String(player.rank), player.name])
    return table("Crosstable", [["#"], ["Player"], ["Score"], ...columns], rows)
}

// The games, most recent first; a game of this server's run links to it.
export function gameListTable(doc) {
    const rows = doc.games.slice().reverse().map((game) => {
        const number = cell("td", "", "number")
        if (Number.isInteger(game.game)) {
            const link = cell("a", String(game.number))
            link.href = `#game=${game.game}`
            link.title = `Open game ${game.game} of this run`
            number.append(link)
        } else {
            number.textContent = String(game.number)
        }
        return row(number, cell("td", game.white), cell("td", game.black), cell("td", game.result, "result"))
    })
    return table("Games, the latest first", [["No."], ["White"], ["Black"], ["Result"]], rows)
}

// The server's /tourney.json at `url`, or null when it cannot be had or read.
export async function fetchTourney(url) {
    try {
        const reply = await fetch(url, {cache: "no-store"})
        if (!reply.ok) return null
        const doc = await reply.json()
        return Array.isArray(doc?.standings) && Array.isArray(doc.games) && Array.isArray(doc.earlierGames)
            ? doc : null
    } catch {
        return null
    }
}
