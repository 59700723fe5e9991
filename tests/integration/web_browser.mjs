// The browser half of web_browser_test.sh: opens the page in headless Chromium,
// starts the replay of the recorded game, and checks what the page shows, the
// live PGN over HTTP and that HTML in names, chat and tournament tags stays text;
// then the single board's features (web_board_checks.mjs) in the same browser.
import {spawn} from "node:child_process"
import fs from "node:fs"
import {createRequire} from "node:module"
import path from "node:path"
import {parseArgs} from "node:util"
import {check, launchChromium, runChecks} from "./chromium.mjs"
import {checkBoardFeatures} from "./web_board_checks.mjs"

const {values: args} = parseArgs({options: Object.fromEntries(
    ["npm", "url", "work", "replay", "saved", "white", "black", "source"].map((name) => [name, {type: "string"}]))})
const require = createRequire(path.join(args.npm, "package.json"))
const puppeteer = require("puppeteer-core")
const {Chess} = require("chess.js")

const SCREENSHOT = process.env.LANTREL_SCREENSHOT
const CHAT_PAYLOAD = SCREENSHOT ? "Good luck to both!"
    : '<script>window.__xss=1</script><img src=x onerror="window.__xss=1">'
const LIST_PAYLOAD = "<svg onload=__xss=1>"
const GAME_SECONDS = 120

const placementAndSide = (fen) => fen.split(" ").slice(0, 2).join(" ")
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms))

// The game XBoard saved, with the names as the edited log gives them. chess.js
// reads no comment that follows another, and the moves are all that is needed.
const saved = new Chess()
saved.loadPgn(fs.readFileSync(args.saved, "utf8").replace(/\{[^}]*\}/g, ""))
const verbose = saved.history({verbose: true})
const expected = {
    white: args.white, black: args.black, result: saved.getHeaders().Result,
    sans: saved.history(), fens: verbose.map((move) => move.after),
    // chess.js names castling by the king's squares, as the feed does.
    moves: verbose.map((move) => ({uci: move.from + move.to + (move.promotion ?? ""), from: move.from, to: move.to})),
}

async function waitForServer() {
    for (let i = 0; i < 100; i++) {
        try {
            if ((await fetch(new URL("state.json", args.url))).ok) return
        } catch {
            // not listening yet
        }
        await sleep(100)
    }
    throw new Error(`no web listener at ${args.url}`)
}

function runReplay() {
    const replay = spawn(args.replay, ["--speed", "2", path.join(args.work, "rest.debug"),
        path.join(args.work, "gui.debug")], {stdio: "inherit"})
    return new Promise((resolve) => replay.on("exit", resolve))
}

async function checkLivePgn() {
    const reply = await fetch(new URL("games.pgn", args.url))
    const etag = reply.headers.get("etag")
    const text = await reply.text()
    check(reply.ok && etag, "/games.pgn answers with an ETag", reply.status)
    const live = new Chess()
    try {
        live.loadPgn(text)
    } catch (error) {
        check(false, "chess.js reads /games.pgn", `${error.message}\n${text}`)
        return
    }
    const tags = live.getHeaders()
    for (const [tag, want] of [["White", expected.white], ["Black", expected.black], ["Result", expected.result]])
        check(tags[tag] === want, `/games.pgn tag ${tag}`, tags[tag])
    check(JSON.stringify(live.history()) === JSON.stringify(expected.sans), "/games.pgn moves", live.history())
    check(text.trimEnd().endsWith(expected.result), "/games.pgn ends with the result")
    const again = await fetch(new URL("games.pgn", args.url), {headers: {"If-None-Match": etag ?? ""}})
    check(again.status === 304, "/games.pgn with If-None-Match is 304", again.status)
}

async function main() {
    await waitForServer()
    const browser = await launchChromium(puppeteer, args.work)
    try {
        const page = await browser.newPage()
        page.on("pageerror", (error) => check(false, "no script error on the page", error.message))
        await page.setViewport({width: 1280, height: 900})
        await page.goto(args.url)
        await page.waitForSelector("#connection.up")
        const text = (selector) => page.$eval(selector, (element) => element.textContent)
        const boardFen = () => page.$eval("#board", (element) => element.dataset.fen)
        // The squares the board marks as the last move's, in order.
        const markedSquares = () => page.$$eval("#board g[data-square]", (groups) => groups
            .filter((group) => group.querySelector(".marker-last-move")).map((group) => group.dataset.square).sort())

        // How far the drawn board falls behind, a figure for the log (frames
        // depend on the machine's load): at every animation frame, the pieces
        // drawn against the position the page is at, and the longest run of
        // frames they differ.
        await page.evaluate(() => {
            const lag = window.__boardLag = {worst: 0, run: 0}
            const placement = (fen) => fen.split(" ")[0]
            const drawn = () => {
                const pieces = {}
                for (const piece of document.querySelectorAll("#board g[data-piece][data-square]"))
                    pieces[piece.dataset.square] = piece.dataset.piece
                return [8, 7, 6, 5, 4, 3, 2, 1].map((rank) => [..."abcdefgh"].map((file) => {
                    const piece = pieces[file + rank]
                    return !piece ? "1" : piece[0] === "w" ? piece[1].toUpperCase() : piece[1]
                }).join("").replace(/1+/g, (ones) => String(ones.length))).join("/")
            }
            const frame = () => {
                lag.run = drawn() === placement(document.getElementById("board").dataset.fen) ? 0 : lag.run + 1
                lag.worst = Math.max(lag.worst, lag.run)
                requestAnimationFrame(frame)
            }
            requestAnimationFrame(frame)
        })

        // The game is played while the page watches; a chat line goes in meanwhile,
        // and a second one at once is refused (one line a second).
        const replayEnded = runReplay()
        await page.waitForSelector("#chat-form:not([hidden])")
        await page.type("#chat-name", "Tester")
        await page.evaluate((lines) => {
            for (const line of lines) {
                document.getElementById("chat-text").value = line
                document.getElementById("chat-form").requestSubmit()
            }
        }, [CHAT_PAYLOAD, "too soon"])
        await page.waitForSelector("#chat-error:not([hidden])", {timeout: 5000})
            .catch(() => check(false, "a refused chat line shows the server's answer"))

        const plies = expected.sans.length
        await page.waitForFunction((count) => document.querySelectorAll("#moves .move").length === count &&
            document.getElementById("result").textContent !== "", {timeout: GAME_SECONDS * 1000}, plies)
            .catch(() => check(false, "the page shows the whole game and its result"))
        const replayStatus = await replayEnded
        check(replayStatus === 0, "the replay ends well", replayStatus)
        const lag = await page.evaluate(() => window.__boardLag)
        console.log(`the drawn board was behind for at most ${lag.worst} frames in a row`)

        check(placementAndSide(await boardFen()) === placementAndSide(expected.fens[plies - 1]),
            "the board shows the final position", await boardFen())
        const shownSans = await page.$$eval("#moves .move", (buttons) => buttons.map((b) => b.textContent))
        check(JSON.stringify(shownSans) === JSON.stringify(expected.sans), "the move list", shownSans)
        check(await text("#result") === expected.result, "the result", await text("#result"))
        check(await text("#white-name") === expected.white, "White's name, as text", await text("#white-name"))
        check(await text("#black-name") === expected.black, "Black's name, as text", await text("#black-name"))
        for (const side of ["white", "black"]) {
            const line = await text(`#pv-${side} .pv-line`), stats = await text(`#pv-${side} .pv-stats`)
            check(line !== "" && stats.startsWith("last: depth ") && stats.includes("White's view"),
                `${side}'s last thinking, its score in White's view`, `${stats} / ${line}`)
        }
        const points = await page.$$eval("#eval-graph .eval-point", (circles) => circles.length)
        check(points >= plies / 2, "the eval graph has a point for most moves", points)
        if (SCREENSHOT) {
            await page.evaluate(() => document.activeElement.blur())
            await sleep(1000)  // the board's last move animation
            await page.screenshot({path: SCREENSHOT})
        }

        // Every move names its squares; the board marks those of the move it shows.
        const state = await (await fetch(new URL("state.json", args.url))).json()
        const told = state.moves.map(({uci, from, to}) => ({uci, from, to}))
        check(JSON.stringify(told) === JSON.stringify(expected.moves), "each move's uci, from and to", told)
        const squaresOf = (ply) => [state.moves[ply - 1].from, state.moves[ply - 1].to].sort()
        check(JSON.stringify(await markedSquares()) === JSON.stringify(squaresOf(plies)),
            "the last move's squares are marked", await markedSquares())

        // Browsing: a move of the list shows its position; Live goes back.
        await page.click('#moves .move[data-ply="10"]')
        check(placementAndSide(await boardFen()) === placementAndSide(expected.fens[9]),
            "clicking the 10th move shows its position", await boardFen())
        check(JSON.stringify(await markedSquares()) === JSON.stringify(squaresOf(10)),
            "the 10th move's squares are marked", await markedSquares())
        await page.click("#live")
        check(placementAndSide(await boardFen()) === placementAndSide(expected.fens[plies - 1]),
            "Live shows the final position again", await boardFen())

        // HTML from outside is shown as text: the chat line, the names (above), the game list.
        const chatLines = await page.$$eval("#chat-lines li", (items) =>
            items.map((item) => ({text: item.textContent, elements: item.childElementCount})))
        check(chatLines.some((line) => line.text === `[Tester (web)] - ${CHAT_PAYLOAD}` && line.elements === 0),
            "the chat line from the page, as text", chatLines)
        // The tournament's tables: the tags' HTML as the text of their cells.
        for (const button of ["#show-gamelist", "#show-crosstable"]) {
            await page.click(button)
            await page.waitForSelector("#tourney-table tbody td")
            const cells = await page.$$eval("#tourney-table tbody td, #tourney-table tbody th, #standings tbody th",
                (all) => all.map((cell) => ({text: cell.textContent, markup: cell.querySelectorAll(":not(a)").length})))
            check(cells.every((cell) => cell.markup === 0), `${button}: text in cells`, cells)
            check(SCREENSHOT || cells.some((cell) => cell.text === LIST_PAYLOAD), `${button}: the tag's name as written`, cells)
        }
        check(await page.evaluate(() => window.__xss === undefined), "no HTML from outside ran")

        await checkLivePgn()
        await checkBoardFeatures({browser, page, url: args.url, work: args.work, state, fens: expected.fens, Chess,
            sourceDir: args.source, check, screenshotDir: SCREENSHOT ? path.dirname(SCREENSHOT) : null})
    } finally {
        await browser.close()
    }
}

await runChecks(main)
