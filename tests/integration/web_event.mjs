// The test of web_event_test.sh: starts three servers, the first serving the
// event page with the other two on WEBEVENTFEEDS=, opens the page in headless
// Chromium and replays one recorded game into each server's log. The second
// server is stopped mid-game (its replay waits) while the others play to the
// end, then started again on the same log. Every board must end on its game's
// final position and result; click and Enter open boards in full.
import {spawn} from "node:child_process"
import fs from "node:fs"
import {createRequire} from "node:module"
import path from "node:path"
import {parseArgs} from "node:util"
import {pathToFileURL} from "node:url"
import {check, launchChromium, runChecks} from "./chromium.mjs"
import {gameTexts, shownStandings, standingsOf} from "./saved_pgn.mjs"

const {values: args} = parseArgs({options: Object.fromEntries(
    ["npm", "work", "server", "replay", "source", "ports"].map((name) => [name, {type: "string"}]))})
const require = createRequire(path.join(args.npm, "package.json"))
const puppeteer = require("puppeteer-core")
const {Chess} = require("chess.js")

const SCREENSHOT = process.env.LANTREL_SCREENSHOT
const GAMES = ["sf_sf_draw", "phalanx_sf", "sf_fairymax"]
const RESTARTED = 1             // the board whose server is stopped and started again
const STOP_AT_PLY = 8
const WAIT = {timeout: 60000}
const fixtures = path.join(args.source, "tests/fixtures/xboard")
const {formatScore} = await import(pathToFileURL(path.join(args.source, "web/format.js")).href)
const [webPorts, udpPorts] = [0, 1].map((k) => args.ports.split(" ").filter((_, n) => n % 2 === k))
const dir = (i) => path.join(args.work, `server${i}`)
const feed = (i) => `ws://127.0.0.1:${webPorts[i]}/feed`
const eventUrl = `http://127.0.0.1:${webPorts[0]}/event.html`
const placementAndSide = (fen) => fen.split(" ").slice(0, 2).join(" ")
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms))

// Each game as XBoard saved it.
const expected = GAMES.map((game) => {
    const chess = new Chess()
    chess.loadPgn(fs.readFileSync(path.join(fixtures, `${game}.pgn`), "utf8").replace(/\{[^}]*\}/g, ""))
    return {fen: placementAndSide(chess.fen()), result: chess.getHeaders().Result, plies: chess.history().length}
})

// The event: names and title carry HTML, a fourth board a feed that is no
// feed's address (plain ones only for the picture).
const event = {title: SCREENSHOT ? "Club championship, round 3" : "Test event <b>round 1</b>",
    boards: GAMES.map((game, i) => ({name: `Board ${i + 1}` + (SCREENSHOT ? "" : ` <i>${game}</i>`), feed: feed(i)}))
        .concat(SCREENSHOT ? [] : [{name: "Board 4", feed: "javascript:alert(1)"}])}

const tournament = [1, 2, 0].map((i) => fs.readFileSync(path.join(fixtures, `${GAMES[i]}.pgn`), "utf8").trim() + "\n\n")
    .join("")

// The programs of the test; the shell script stops those still running.
function start(program, programArgs) {
    const child = spawn(program, programArgs, {stdio: ["ignore", "ignore", "inherit"]})
    fs.appendFileSync(path.join(args.work, "pids"), `${child.pid}\n`)
    child.ended = new Promise((resolve) => child.on("exit", resolve))
    return child
}
const startServer = (i) => start(args.server, ["--headless", "--dir", dir(i)])

// Each server's folder: the log up to the first "new" (the rest is replayed)
// and server.ini; the first serves a copy of the page with event.json.
function prepare(i) {
    fs.mkdirSync(dir(i))
    const log = fs.readFileSync(path.join(fixtures, `${GAMES[i]}.debug`), "utf8")
    const split = log.indexOf("\n", log.indexOf(" : new")) + 1
    fs.writeFileSync(path.join(dir(i), "gui.debug"), log.slice(0, split))
    fs.writeFileSync(path.join(dir(i), "rest.debug"), log.slice(split))
    let root = path.join(args.source, "web"), more = ""
    if (i === 0) {
        root = path.join(args.work, "page")
        fs.cpSync(path.join(args.source, "web"), root, {recursive: true})
        fs.writeFileSync(path.join(root, "event.json"), JSON.stringify(event))
        more = `WEBEVENTFEEDS=ws://127.0.0.1:${webPorts[1]}, ws://127.0.0.1:${webPorts[2]} not-an-origin`
    }
    // The first server's tournament PGN holds the three games, its own
    // saved last, as its GUI would have it.
    if (i === 0) fs.writeFileSync(path.join(dir(i), "tourney.pgn"), tournament)
    fs.writeFileSync(path.join(dir(i), "server.ini"), [`PATH=gui.debug`, "TOURNEYPGN=tourney.pgn", `PORT=${udpPorts[i]}`, "BIND=127.0.0.1",
        `WEBPORT=${webPorts[i]}`, "WEBBIND=127.0.0.1", `WEBROOT=${root}`, "DELAY=20", "DELAYAFTERMOVE=0", "DELAYAFTERGAME=0", more]
        .join("\n") + "\n")
}

// Server i's snapshot once it answers; with `gone`, null once it no longer does.
async function state(i, gone = false) {
    for (let attempt = 0; attempt < 300; attempt++) {
        const reply = await fetch(`http://127.0.0.1:${webPorts[i]}/state.json`).catch(() => null)
        if (!reply === gone) return reply && await reply.json()
        await sleep(100)
    }
    throw new Error(`the server on port ${webPorts[i]} is ${gone ? "still there" : "not there"}`)
}

async function main() {
    for (const i of GAMES.keys()) {
        prepare(i)
        startServer(i)
        await state(i)
    }
    check(fs.readFileSync(path.join(dir(0), "server.log"), "latin1")
        .includes('WEBEVENTFEEDS= leaves out "not-an-origin"'), "server.log names the word that is no origin")
    const browser = await launchChromium(puppeteer, args.work)
    try {
        const page = await browser.newPage()
        page.on("pageerror", (error) => check(false, "no script error on the page", error.message))
        await page.setViewport({width: 1000, height: 800})
        // The bytes of each file the pages load (this one, then the single-board page).
        const loaded = new Map()
        page.on("response", async (response) => {
            const url = new URL(response.url())
            if (response.status() !== 200 || loaded.has(url.pathname)) return
            loaded.set(url.pathname, 0)
            loaded.set(url.pathname, (await response.buffer().catch(() => "")).length)
        })
        await page.goto(eventUrl)
        // Each card as the test reads it: its data, its name, the pieces drawn
        // (as FEN's placement: what the reader sees) and the squares marked.
        const cards = () => page.$$eval(".event-board", (all) => all.map((card) => {
            const pieces = {}
            for (const piece of card.querySelectorAll("g[data-piece][data-square]"))
                pieces[piece.dataset.square] = piece.dataset.piece
            const drawn = [8, 7, 6, 5, 4, 3, 2, 1].map((rank) => [..."abcdefgh"].map((file) => {
                const piece = pieces[file + rank]
                return !piece ? "1" : piece[0] === "w" ? piece[1].toUpperCase() : piece[1]
            }).join("").replace(/1+/g, (ones) => String(ones.length))).join("/")
            const marked = [...card.querySelectorAll("g[data-square]")]
                .filter((group) => group.querySelector(".marker-last-move")).map((group) => group.dataset.square)
            const name = card.querySelector(".event-board-name")
            const players = getComputedStyle(card.querySelector(".player")).visibility
            const scores = card.querySelector(".eval").textContent
            return {...card.dataset, ply: Number(card.dataset.ply), href: card.getAttribute("href"), drawn, players, scores,
                marked: marked.sort(), name: name.textContent, nameElements: name.childElementCount}
        }))
        // Waits until board i passes `test` (which may be async); a failed
        // check names what the board shows.
        const waitFor = async (i, test, what) => {
            for (let attempt = 0; attempt < WAIT.timeout / 200; attempt++) {
                const card = (await cards())[i]
                if (await test(card)) return card
                await sleep(200)
            }
            check(false, what, (await cards())[i])
        }
        const ended = (i) => waitFor(i, (card) => placementAndSide(card.fen) === expected[i].fen &&
            card.drawn === expected[i].fen.split(" ")[0] && card.result === expected[i].result,
        `board ${i + 1} ends on its game's final position and result`)

        await page.waitForFunction(() => document.querySelectorAll(".event-board[data-state=live]").length === 3, WAIT)
        const title = await page.$eval("#event-title", (h1) => [h1.textContent, h1.childElementCount])
        check(title[0] === event.title && title[1] === 0, "the title, as text", title)
        for (const [i, card] of (await cards()).entries()) {
            check(card.name === event.boards[i].name && card.nameElements === 0, "a name, as text", card)
            if (i >= GAMES.length) {
                check(card.state === "down" && card.href === null, "a bad feed is refused", card)
                check(card.players === "hidden", "a board with no game shows no players", card)
            }
        }

        const replays = GAMES.map((game, i) =>
            start(args.replay, ["--speed", "5", path.join(dir(i), "rest.debug"), path.join(dir(i), "gui.debug")]))
        await waitFor(RESTARTED, (card) => card.ply >= STOP_AT_PLY, "the board follows its game")
        replays[RESTARTED].kill("SIGSTOP")
        const [stopped] = fs.readFileSync(path.join(args.work, "pids"), "utf8").split("\n").slice(RESTARTED)
        process.kill(Number(stopped), "SIGTERM")
        await waitFor(RESTARTED, (card) => card.state === "down", "the board of the stopped server says so")
        for (const i of GAMES.keys()) if (i !== RESTARTED) await ended(i)
        await state(RESTARTED, true)
        const whileDown = (await cards())[RESTARTED]
        check(whileDown.state === "down" && whileDown.ply < expected[RESTARTED].plies,
            "the others end while it is down", whileDown)

        // Started again on the same log, the server reads the game so far (the
        // replay still waits), and the board takes its snapshot, of a new run.
        startServer(RESTARTED)
        await waitFor(RESTARTED, async (card) => {
            const now = await state(RESTARTED)
            return card.state === "live" && card.ply >= whileDown.ply && card.ply === now.moves.length &&
                placementAndSide(card.fen) === placementAndSide(now.moves.at(-1).fen)
        }, "the board of the restarted server recovers the game so far")
        replays[RESTARTED].kill("SIGCONT")
        await ended(RESTARTED)
        for (const [i, replay] of replays.entries()) check(await replay.ended === 0, `replay ${i + 1} ends well`)
        for (const [i, card] of (await cards()).slice(0, 3).entries()) {
            const last = (await state(i)).moves.at(-1)
            check(`${card.marked}` === `${[last.from, last.to].sort()}`, `board ${i + 1} marks the last move`, card)
            // Each engine's latest score, White's view, in a place of its own.
            const mover = last.fen.split(" ")[1] === "b" ? "white" : "black"
            const moverScore = mover === "white" ? last.score : -last.score
            const shown = card.scores.split(" · ")
            check(shown.length === 2 && shown[mover === "white" ? 0 : 1] === formatScore(moverScore),
                `board ${i + 1}: a score for each engine, the last mover's as its move carried`, {card: card.scores, moverScore})
        }
        // The standings under the boards, as the tournament PGN makes them.
        const expectedStandings = standingsOf(gameTexts(tournament))
        await page.waitForFunction((n) => document.querySelectorAll("#event-standings tbody tr").length === n, WAIT,
            expectedStandings.length).catch(() => {})
        const standings = await shownStandings(page, "#event-standings")
        check(JSON.stringify(standings) === JSON.stringify(expectedStandings), "the event's standings",
            {standings, expectedStandings})
        if (SCREENSHOT) {
            const bottom = await page.$eval("#event-standings", (table) => table.getBoundingClientRect().bottom)
            await page.screenshot({path: SCREENSHOT, clip: {x: 0, y: 0, width: 1000, height: Math.ceil(bottom) + 16}})
        }

        // A board opens in full on the single-board page, on that board's feed,
        // which leads back to the grid.
        for (const [i, how] of [[2, "click"], [0, "Enter"]]) {
            const selector = `.event-board:nth-child(${i + 1})`
            // Back on the grid, the cards are built once the event file is in.
            await page.waitForSelector(selector, WAIT)
            await Promise.all([page.waitForNavigation(),
                how === "click" ? page.click(selector) : page.focus(selector).then(() => page.keyboard.press("Enter"))])
            const query = new URL(page.url()).searchParams
            check(query.get("feed") === feed(i) && query.get("back") === eventUrl, `${how}: board ${i + 1} in full`,
                page.url())
            await page.waitForFunction((fen) => document.getElementById("board").dataset.fen.startsWith(fen),
                WAIT, expected[i].fen).catch(() => check(false, `the full view of board ${i + 1} shows its game`))
            await Promise.all([page.waitForNavigation(), page.click("#back")])
            check(page.url() === eventUrl, "the full view leads back to the grid", page.url())
        }
        // An event file of a site this server does not list: the page names
        // the setting that would let it read the file.
        await page.goto(`${eventUrl}?event=${encodeURIComponent("http://127.0.0.9:9/event.json")}`)
        await page.waitForFunction(() => document.getElementById("event-status").textContent !== "loading", WAIT)
        const refusal = await page.$eval("#event-status", (status) => status.textContent)
        check(refusal.includes("add http://127.0.0.9:9 there") && refusal.includes("WEBEVENTFEEDS="),
            "an unlisted site's event file: the setting that allows it", refusal)

        // Spoiler-free, as on the single page: the boards' results and
        // evaluations hidden, their moves and clocks shown.
        await page.goto(`${eventUrl}?spoilers=0`)
        await page.waitForFunction(() => document.querySelector(".event-board[data-state=live]"), WAIT)
        const spoilerFree = await page.$eval(".event-board", (card) => ["eval-bars", "result", "eval", "clock",
            "last-move"].map((part) => card.querySelector(`.${part}`).checkVisibility())
            .concat(document.getElementById("event-standings").checkVisibility()))
        check(JSON.stringify(spoilerFree) === "[false,false,false,true,true,false]", "?spoilers=0 on the event page",
            spoilerFree)

        const bytes = [...loaded.values()].reduce((sum, size) => sum + size, 0)
        console.log(`The event page and the single-board page load ${loaded.size} files, ${bytes} bytes`)
        check(bytes < 300 * 1024 && loaded.has("/event.js") && loaded.has("/app.js"),
            "both pages with their libraries weigh under 300 KB", Object.fromEntries(loaded))
    } finally {
        await browser.close()
    }
}

await runChecks(main)
