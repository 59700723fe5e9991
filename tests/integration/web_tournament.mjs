// The browser half of web_tournament_test.sh: the page watches a whole
// tournament being replayed; what it showed of each game when the game ended
// (its number, players, result and the GUI's words for it) must be the game
// the GUI saved, game by game in the order played, and so is the live PGN as a
// PGN reader that knows Chess960 reads it. The tournament PGN grows
// as the GUI's would, a game after each result: the standings never count a
// game twice and end as the saved games make them, the game list's rows open
// this run's games, each with the saved moves, and a reader browsing a game
// stays on it when the next one begins.
import {spawn} from "node:child_process"
import fs from "node:fs"
import {createRequire} from "node:module"
import path from "node:path"
import {pathToFileURL} from "node:url"
import {parseArgs} from "node:util"
import {check, launchChromium, runChecks} from "./chromium.mjs"
import {gameTexts, movesOf, shownStandings, standingsOf, tagOf} from "./saved_pgn.mjs"

const {values: args} = parseArgs({options: Object.fromEntries(
    ["npm", "url", "work", "replay", "saved"].map((name) => [name, {type: "string"}]))})
const puppeteer = createRequire(path.join(args.npm, "package.json"))("puppeteer-core")
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms))

const savedTexts = gameTexts(fs.readFileSync(args.saved, "utf8"))
const savedMoves = savedTexts.map(movesOf)

// Each saved game as "N|White|Black|Result|reason": the reason is the
// comment before the result.
const saved = savedTexts.map((game, index) => {
    const tag = (name) => tagOf(game, name)
    const reason = (game.match(/\{([^}]*)\}\s*(1-0|0-1|1\/2-1\/2)\s*$/) ?? [])[1] ?? ""
    return [index + 1, tag("White"), tag("Black"), tag("Result"), reason].join("|")
})

// The games the page's standings count (each counts for both its players).
function countedGames() {
    return [...document.querySelectorAll("#standings tbody td:nth-child(4)")]
        .reduce((sum, cell) => sum + Number(cell.textContent), 0) / 2
}

// The live PGN as a PGN reader that knows Chess960 reads it (chessops): every
// game the GUI saved, with its variant and start position, each move legal
// and the saved one.
async function checkLivePgn() {
    const module = (name) => import(pathToFileURL(path.join(args.npm, "node_modules/chessops/dist/esm", name)).href)
    const [{parsePgn, startingPosition}, {parseSan}] = await Promise.all([module("pgn.js"), module("san.js")])
    const games = parsePgn(await (await fetch(new URL("games.pgn", args.url))).text())
    check(games.length === savedTexts.length, "the live PGN holds every game", games.length)
    games.slice(0, savedTexts.length).forEach((game, g) => {
        const chess960 = tagOf(savedTexts[g], "Variant") === "fischerandom"
        check((game.headers.get("Variant") === "Chess960") === chess960, `live PGN game ${g + 1}: its variant`,
            game.headers.get("Variant") ?? "none")
        const start = startingPosition(game.headers)
        if (start.isErr) return check(false, `live PGN game ${g + 1}: its start position`, String(start.error))
        const position = start.value
        const sans = []
        for (const node of game.moves.mainline()) {
            const move = parseSan(position, node.san)
            if (!move) return check(false, `live PGN game ${g + 1}: ${node.san} is a legal move`, sans.length)
            position.play(move)
            sans.push(node.san)
        }
        check(JSON.stringify(sans) === JSON.stringify(savedMoves[g]), `live PGN game ${g + 1}: the saved moves`,
            {sans, saved: savedMoves[g]})
    })
}

const rowsOf = (page, selector) => page.$$eval(`${selector} tbody tr`, (rows) =>
    rows.map((row) => [...row.cells].map((cell) => cell.textContent)))

// The standings, the game list and the crosstable once every game is saved,
// and this run's games opened from the list, by link and by key.
async function checkTournament(page) {
    await page.waitForFunction(`(${countedGames})() === ${saved.length}`, {timeout: 25000})
    const standings = await shownStandings(page, "#standings")
    check(JSON.stringify(standings) === JSON.stringify(standingsOf(savedTexts)),
        "the standings as the saved games make them", {standings, saved: standingsOf(savedTexts)})
    await page.click("#show-gamelist")
    const list = await rowsOf(page, "#tourney-table")
    const expected = savedTexts.map((game, k) => [String(k + 1), tagOf(game, "White").trim(),
        tagOf(game, "Black").trim(), tagOf(game, "Result")]).reverse()
    check(JSON.stringify(list) === JSON.stringify(expected), "the game list as saved, the latest first", {list, expected})
    // Each earlier game from its row, with the moves the GUI saved.
    for (let k = 1; k < saved.length; k++) {
        await page.click(`#tourney-table a[href="#game=${k}"]`)
        await page.waitForFunction((k) => document.getElementById("game-number").textContent === String(k) &&
            !document.getElementById("earlier-note").hidden, {timeout: 10000}, k)
        const moves = await page.$$eval("#moves button.move", (buttons) => buttons.map((b) => b.textContent))
        check(JSON.stringify(moves) === JSON.stringify(savedMoves[k - 1]), `game ${k} opened has the saved moves`,
            {moves, saved: savedMoves[k - 1]})
    }
    // ] steps on to the live game, [ back; a link opens a game at a ply.
    await page.keyboard.press("]")
    await page.waitForFunction((n) => document.getElementById("game-number").textContent === String(n) &&
        document.getElementById("earlier-note").hidden, {timeout: 10000}, saved.length)
    await page.keyboard.press("[")
    await page.waitForFunction((n) => document.getElementById("game-number").textContent === String(n - 1),
        {timeout: 10000}, saved.length)
    await page.goto(new URL("#game=1&ply=3", args.url).href)
    await page.reload()
    await page.waitForFunction(() => document.getElementById("game-number").textContent === "1" &&
        document.getElementById("board").dataset.ply === "3", {timeout: 10000})
    await page.click("#show-crosstable")
    const cross = await rowsOf(page, "#tourney-table")
    const results = cross.map((cells) => cells.slice(3).join(" ").trim()).join(" | ")
    check(cross.length === standings.length && results.replaceAll("½", "=").split(/[ |]+/).join("").length === 2 * saved.length,
        "the crosstable holds each game once for each player", cross)
}

await runChecks(async () => {
    const browser = await launchChromium(puppeteer, args.work)
    try {
        const page = await browser.newPage()
        for (let i = 0; i < 100 && !(await fetch(new URL("state.json", args.url)).catch(() => null))?.ok; i++)
            await sleep(100)
        await page.goto(args.url)
        await page.waitForFunction(() => document.getElementById("game-number").textContent !== "")
        // Every state of the game's header the page shows, as it shows it.
        // Once game 2 has four moves the reader steps back to its second ply;
        // when the next game begins, what the page shows is noted and the
        // reader goes back to the live game.
        await page.evaluate(() => {
            window.shown = []
            const text = (id) => document.getElementById(id).textContent
            const note = () => {
                window.shown.push(
                    [text("game-number"), text("white-name"), text("black-name"), text("result"), text("reason")].join("|"))
                const second = document.querySelector('#moves button.move[data-ply="2"]')
                if (!window.browsed && text("game-number") === "2" && document.querySelector('#moves [data-ply="4"]')) {
                    window.browsed = true
                    second.click()
                }
                if (window.browsed && !window.kept && !document.getElementById("earlier-note").hidden) {
                    window.kept = {number: text("game-number"), ply: document.getElementById("board").dataset.ply}
                    document.getElementById("to-live-game").click()
                }
            }
            new MutationObserver(note).observe(document.body, {subtree: true, childList: true, characterData: true})
        })
        const replay = spawn(args.replay, ["--speed", "25", path.join(args.work, "rest.debug"),
            path.join(args.work, "gui.debug")], {stdio: "inherit"})
        const replayEnded = new Promise((resolve) => replay.on("exit", resolve))
        const ended = async () => (await page.evaluate(() => window.shown))
            .filter((state) => state.split("|")[3] !== "")
        // The GUI saves each game a moment after its result; the standings
        // count it from the result on, and once only.
        let written = 0
        const resultsShown = async () => new Set((await ended()).map((s) => s.split("|")[0])).size
        const gamesOver = async () => {
            const state = await (await fetch(new URL("state.json", args.url))).json()
            return state.game - 1 + (state.result ? 1 : 0)
        }
        for (let i = 0; i < 600 && written < saved.length; i++) {
            const counted = await page.evaluate(countedGames)
            const over = await gamesOver()
            check(counted <= over, "the standings count no game before its result, nor one twice", {counted, over})
            if (over > written) {
                await sleep(1500)
                fs.appendFileSync(path.join(args.work, "tourney.pgn"), savedTexts[written++] + "\n")
            }
            await sleep(100)
        }
        const status = await replayEnded
        check(status === 0, "the replay ends well", status)
        // The reader who browsed game 2 stayed on it, told it is an earlier one.
        const kept = await page.evaluate(() => window.kept)
        check(JSON.stringify(kept) === JSON.stringify({number: "2", ply: "2"}),
            "a reader browsing game 2 stays on it when game 3 begins", kept)
        for (let i = 0; i < 100 && (await resultsShown()) < saved.length; i++)
            await sleep(100)
        // The last state of each game with its result, in the order the games ended.
        const finals = new Map()
        for (const state of await ended()) finals.set(state.split("|")[0], state)
        check(JSON.stringify([...finals.values()]) === JSON.stringify(saved),
            "each game's number, players, result and reason as saved", {shown: [...finals.values()], saved})
        await checkTournament(page)
        await checkLivePgn()
    } finally {
        await browser.close()
    }
})
