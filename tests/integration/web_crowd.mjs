// The browser half of web_crowd_test.sh: forty browsers behind one address (a
// club, a school, an office) open the page over ten seconds while a game is
// played, each with a connection pool of its own as separate browsers have.
// Every one must load the page whole, follow the feed live, and show at the
// end the game the server has: every move and the final position.
import {spawn} from "node:child_process"
import {createRequire} from "node:module"
import path from "node:path"
import {parseArgs} from "node:util"
import {check, launchChromium, runChecks} from "./chromium.mjs"

const {values: args} = parseArgs({options: Object.fromEntries(
    ["npm", "url", "work", "replay", "browsers", "over"].map((name) => [name, {type: "string"}]))})
const puppeteer = createRequire(path.join(args.npm, "package.json"))("puppeteer-core")
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms))
const browsers = Number(args.browsers)
const opening = Number(args.over) * 1000 / browsers  // ms between two browsers

// What a page shows: its connection's word, the moves listed, the board.
const shown = (page) => page.evaluate(() => ({
    connection: document.getElementById("connection").textContent,
    moves: document.querySelectorAll("#moves button.move").length,
    fen: document.getElementById("board").dataset.fen,
}))

await runChecks(async () => {
    const chromium = await launchChromium(puppeteer, args.work)
    try {
        for (let i = 0; i < 100 && !(await fetch(new URL("state.json", args.url)).catch(() => null))?.ok; i++)
            await sleep(100)
        const replay = spawn(args.replay, ["--speed", "1", path.join(args.work, "rest.debug"),
            path.join(args.work, "gui.debug")], {stdio: "inherit"})
        const replayed = new Promise((resolve) => replay.on("exit", resolve))
        // Browser i starts at i times `opening`, whether or not the pages
        // before it have loaded yet, as the people behind the address would.
        const refused = []
        const open = async (i) => {
            await sleep(i * opening)
            const context = await chromium.createBrowserContext()
            const page = await context.newPage()
            page.on("requestfailed", (request) =>
                refused.push(`${i}: ${request.url()} ${request.failure()?.errorText}`))
            page.on("response", (response) => {
                if (response.status() >= 400) refused.push(`${i}: ${response.status()} ${response.url()}`)
            })
            const started = Date.now()
            try {
                // A guard against a page that never loads, not a measure:
                // forty pages at once on a machine that also builds can take
                // a minute and a half.
                await page.goto(args.url, {waitUntil: "load", timeout: 300000})
                console.log(`browser ${i + 1} of ${browsers}: the page loaded in ${Date.now() - started} ms`)
                return page
            } catch (error) {
                refused.push(`${i}: the page: ${error.message}`)
                return null
            }
        }
        const pages = (await Promise.all(Array.from({length: browsers}, (_, i) => open(i))))
            .filter((page) => page !== null)
        check(refused.length === 0, "every file of every page is served",
            {refused: refused.length, first: refused.slice(0, 10)})
        const status = await replayed
        check(status === 0, "the replay ends well", status)
        const state = await (await fetch(new URL("state.json", args.url))).json()
        const last = {moves: state.moves.length, fen: state.moves.at(-1)?.fen}
        let behind = pages.length < browsers ? [{loaded: pages.length}] : []
        for (let round = 0; round < 100 && pages.length === browsers; round++) {
            behind = []
            for (const [i, page] of pages.entries()) {
                const seen = await shown(page)
                if (seen.connection !== "live" || seen.moves !== last.moves || seen.fen !== last.fen)
                    behind.push({browser: i, ...seen})
            }
            if (behind.length === 0) break
            await sleep(100)
        }
        check(behind.length === 0, `all ${browsers} browsers live, at the game's ${last.moves} moves`,
            behind.slice(0, 5))
    } finally {
        await chromium.close()
    }
})
