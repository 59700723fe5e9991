// The browser half of web_event_test.sh: opens the first server's event page
// in headless Chromium, replays the three recorded games into the three
// servers' logs, stops the second server mid-game and starts it again, and
// checks each board against its recorded game; then follows boards in full.
import {spawn} from "node:child_process"
import fs from "node:fs"
import {createRequire} from "node:module"
import path from "node:path"
import {parseArgs} from "node:util"
import {check, launchChromium, runChecks} from "./chromium.mjs"

const {values: args} = parseArgs({options: Object.fromEntries(
    ["npm", "work", "server", "replay", "fixtures", "games", "ports"].map((name) => [name, {type: "string"}]))})
const require = createRequire(path.join(args.npm, "package.json"))
const puppeteer = require("puppeteer-core")
const {Chess} = require("chess.js")

const SCREENSHOT = process.env.LANTREL_SCREENSHOT
const SPEED = "5"
const RESTARTED = 1                 // the board whose server is stopped and started again
const STOP_AT_PLY = 8
const WAIT = {timeout: 20000}
const games = args.games.split(" ")
const ports = args.ports.split(" ")
const serverDir = (i) => path.join(args.work, `server${i}`)
const event = JSON.parse(fs.readFileSync(path.join(args.work, "page", "event.json"), "utf8"))

const placementAndSide = (fen) => fen.split(" ").slice(0, 2).join(" ")
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms))

// Each game as XBoard saved it: the final position and the result.
const expected = games.map((game) => {
    const chess = new Chess()
    chess.loadPgn(fs.readFileSync(path.join(args.fixtures, `${game}.pgn`), "utf8").replace(/\{[^}]*\}/g, ""))
    return {fen: placementAndSide(chess.fen()), result: chess.getHeaders().Result, plies: chess.history().length}
})

// Starts a program of the test; the shell script stops it at the end if it still runs.
function start(program, programArgs) {
    const child = spawn(program, programArgs, {stdio: ["ignore", "ignore", "inherit"]})
    fs.appendFileSync(path.join(args.work, "pids"), `${child.pid}\n`)
    child.ended = new Promise((resolve) => child.on("exit", (code) => resolve(code)))
    return child
}
const startServer = (i) => start(args.server, ["--headless", "--dir", serverDir(i)])

// The snapshot of server `i`, or null while it does not answer.
async function stateNow(i) {
    try {
        const reply = await fetch(`http://127.0.0.1:${ports[i]}/state.json`)
        return reply.ok ? await reply.json() : null
    } catch {
        return null
    }
}

// The same once the server answers, or once it no longer does (`gone`).
async function state(i, gone = false) {
    for (let attempt = 0; attempt < 200; attempt++) {
        const now = await stateNow(i)
        if ((now === null) === gone) return now
        await sleep(100)
    }
    throw new Error(`the web listener on port ${ports[i]} is ${gone ? "still there" : "not there"}`)
}

async function main() {
    for (const i of games.keys()) await state(i)
    const browser = await launchChromium(puppeteer, args.work)
    try {
        const page = await browser.newPage()
        page.on("pageerror", (error) => check(false, "no script error on the page", error.message))
        await page.setViewport({width: 1000, height: 800})
        // The bytes of every file the pages load (the event page, then the
        // single-board page it opens), once each.
        const loaded = new Map()
        page.on("response", async (response) => {
            const url = new URL(response.url())
            if (response.status() !== 200 || loaded.has(url.pathname)) return
            loaded.set(url.pathname, 0)
            loaded.set(url.pathname, (await response.buffer().catch(() => "")).length)
        })
        const eventUrl = `http://127.0.0.1:${ports[0]}/event.html`
        await page.goto(eventUrl)
        const cards = () => page.$$eval(".event-board", (all) => all.map((card) => ({
            state: card.dataset.state, fen: card.dataset.fen, ply: Number(card.dataset.ply),
            result: card.dataset.result, href: card.getAttribute("href"),
            name: card.querySelector(".event-board-name").textContent,
            nameElements: card.querySelector(".event-board-name").childElementCount,
            marked: [...card.querySelectorAll("g[data-square]")]
                .filter((group) => group.querySelector(".marker-last-move"))
                .map((group) => group.dataset.square).sort(),
        })))
        const waitForBoard = (i, test, what) => page.waitForFunction(test, WAIT, i, STOP_AT_PLY)
            .catch(async () => check(false, what, (await cards())[i]))
        // Ended: the board's position and result, and the pieces it has drawn
        // (what the reader sees) standing as in that position.
        const ended = (i) => page.waitForFunction((i, fen, result) => {
            const card = document.querySelectorAll(".event-board")[i]
            const pieces = {}
            for (const piece of card.querySelectorAll("g[data-piece][data-square]"))
                pieces[piece.dataset.square] = piece.dataset.piece
            const drawn = [8, 7, 6, 5, 4, 3, 2, 1].map((rank) => [..."abcdefgh"].map((file) => {
                const piece = pieces[file + rank]
                return !piece ? "1" : piece[0] === "w" ? piece[1].toUpperCase() : piece[1]
            }).join("").replace(/1+/g, (ones) => String(ones.length))).join("/")
            return card.dataset.fen.split(" ").slice(0, 2).join(" ") === fen && card.dataset.result === result &&
                drawn === fen.split(" ")[0]
        }, WAIT, i, expected[i].fen, expected[i].result)
            .catch(async () => check(false, `board ${i + 1} ends on its game's final position and result`,
                (await cards())[i]))

        // The title and the names of event.json are text, whatever they hold.
        await page.waitForFunction((count) => document.querySelectorAll(".event-board[data-state=live]").length === count,
            WAIT, games.length).catch(() => check(false, "every board is live before the games start"))
        const title = await page.$eval("#event-title", (h1) => ({text: h1.textContent, elements: h1.childElementCount}))
        check(title.text === event.title && title.elements === 0, "the title, as text", title)
        for (const [i, card] of (await cards()).entries()) {
            check(card.name === event.boards[i].name && card.nameElements === 0, "a name, as text", card)
            // A board whose feed is no feed's address is neither followed nor linked.
            if (i >= games.length) check(card.state === "down" && card.href === null, "a bad feed is refused", card)
        }

        const replays = games.map((game, i) => start(args.replay,
            ["--speed", SPEED, path.join(serverDir(i), "rest.debug"), path.join(serverDir(i), "gui.debug")]))

        // One server stops mid-game (its replay waits meanwhile): its board says
        // so, and the other two play their games to the end.
        await waitForBoard(RESTARTED, (i, ply) => Number(document.querySelectorAll(".event-board")[i].dataset.ply) >= ply,
            "the board of the server to restart follows its game")
        replays[RESTARTED].kill("SIGSTOP")
        const stoppedServerPid = fs.readFileSync(path.join(args.work, "pids"), "utf8").split("\n")[RESTARTED]
        process.kill(Number(stoppedServerPid), "SIGTERM")
        await waitForBoard(RESTARTED, (i) => document.querySelectorAll(".event-board")[i].dataset.state === "down",
            "the board of the stopped server says it lost its server")
        for (const i of games.keys()) if (i !== RESTARTED) await ended(i)
        await state(RESTARTED, true)     // its port is free for the server started again
        const whileDown = await cards()
        check(whileDown[RESTARTED].state === "down" && whileDown[RESTARTED].ply >= STOP_AT_PLY &&
            whileDown[RESTARTED].ply < expected[RESTARTED].plies, "the other games ended while it was down",
        whileDown[RESTARTED])

        // Started again on the same log, the server reads the game so far, and
        // the board takes its snapshot (a new run); the replay still waits, so
        // that game stays where the log ends. Then it goes on to the end.
        startServer(RESTARTED)
        let recovered = null
        for (let attempt = 0; attempt < 600 && !recovered?.ok; attempt++) {
            if (attempt > 0) await sleep(200)
            const [now, card] = [await state(RESTARTED), (await cards())[RESTARTED]]
            const fen = placementAndSide(now.moves.at(-1)?.fen ?? "")
            recovered = {ok: card.state === "live" && now.moves.length >= whileDown[RESTARTED].ply &&
                card.ply === now.moves.length && placementAndSide(card.fen) === fen, fen, card}
        }
        check(recovered.ok, "the board of the restarted server recovers the game so far", recovered)
        replays[RESTARTED].kill("SIGCONT")
        await ended(RESTARTED)
        for (const [i, replay] of replays.entries()) check(await replay.ended === 0, `replay ${i + 1} ends well`)

        // Every board marks the last move of its game.
        const shown = await cards()
        for (const i of games.keys()) {
            const last = (await state(i)).moves.at(-1)
            check(JSON.stringify(shown[i].marked) === JSON.stringify([last.from, last.to].sort()),
                `board ${i + 1} marks the last move`, shown[i].marked)
        }
        if (SCREENSHOT) {
            await sleep(500)
            const bottom = await page.$eval("#event-grid", (grid) => grid.getBoundingClientRect().bottom)
            await page.screenshot({path: SCREENSHOT, clip: {x: 0, y: 0, width: 1000, height: Math.ceil(bottom)}})
        }

        // A board opens in full on the single-board page, which follows that
        // board's server, and leads back to the grid; by click and by Enter.
        for (const [i, how] of [[2, "click"], [0, "Enter"]]) {
            const opened = page.waitForNavigation()
            if (how === "click") {
                await page.click(`.event-board:nth-child(${i + 1})`)
            } else {
                await page.focus(`.event-board:nth-child(${i + 1})`)
                await page.keyboard.press("Enter")
            }
            await opened
            const query = new URL(page.url()).searchParams
            check(query.get("feed") === `ws://127.0.0.1:${ports[i]}/feed` && query.get("back") === eventUrl,
                `${how} on board ${i + 1} opens its feed in full`, page.url())
            await page.waitForFunction((fen) => document.getElementById("board").dataset.fen
                .split(" ").slice(0, 2).join(" ") === fen, WAIT, expected[i].fen)
                .catch(() => check(false, `the full view of board ${i + 1} shows its game`))
            await Promise.all([page.waitForNavigation(), page.click("#back")])
            check(page.url() === eventUrl, "the full view leads back to the grid", page.url())
            await page.waitForSelector(".event-board[data-state=live]")
        }
        const bytes = [...loaded.values()].reduce((sum, size) => sum + size, 0)
        console.log(`The event page and the single-board page load ${loaded.size} files, ${bytes} bytes`)
        check(bytes < 300 * 1024 && loaded.has("/event.js") && loaded.has("/app.js"),
            "both pages with their libraries weigh under 300 KB", Object.fromEntries(loaded))
    } finally {
        await browser.close()
    }
}

await runChecks(main)
