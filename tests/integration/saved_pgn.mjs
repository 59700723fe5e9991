// What the page tests read from a PGN the GUI saved: its games' tags and
// moves, and the standings they make, worked out here, not with the page's code.

// The games of a PGN file's text, each as its own text.
export const gameTexts = (pgn) => pgn.split(/\n(?=\[Event )/).filter((game) => game.trim())

export const tagOf = (game, name) => (game.match(new RegExp(`^\\[${name} "(.*)"\\]$`, "m")) ?? [])[1] ?? ""

// A game's moves in SAN, as saved.
export const movesOf = (game) => game.split("\n\n").slice(1).join(" ").replace(/\{[^}]*\}/g, " ")
    .split(/\s+/).filter((word) => word && !/^\d+\.+$/.test(word) && !["1-0", "0-1", "1/2-1/2", "*"].includes(word))

// The standings the games make: [player, points, games], by points, equal
// points in the order the players first played (a game's White first); names
// without the blanks around them.
export function standingsOf(games) {
    const players = new Map()
    for (const game of games) {
        const result = tagOf(game, "Result")
        const white = result === "1-0" ? 1 : result === "0-1" ? 0 : 0.5
        for (const [name, points] of [[tagOf(game, "White").trim(), white], [tagOf(game, "Black").trim(), 1 - white]]) {
            const player = players.get(name) ?? [name, 0, 0]
            players.set(name, [name, player[1] + points, player[2] + 1])
        }
    }
    return [...players.values()].sort((a, b) => b[1] - a[1])
}

// The rows of the standings table in `selector` as [player, points, games].
export const shownStandings = (page, selector) => page.$$eval(`${selector} tbody tr`, (rows) => rows.map((row) =>
    [row.cells[1].textContent, Number(row.cells[2].textContent.replace(/^½$/, "0.5").replace("½", ".5")),
        Number(row.cells[3].textContent)]))
