// The browser half of nats_relay_test.sh: opens the page in NATS mode (read
// from a leaf-node edge over WebSocket) in headless Chromium and waits until it
// shows every move and the result; prints the position it shows last
// ("FEN ...") for the caller to compare with the origin's. With --event, an
// event page whose one board follows the same channel then shows that position too.
//   node nats_browser.mjs --npm DIR --url PAGE_URL --work DIR --plies N [--timeout S] [--event URL]
import {createRequire} from "node:module"
import path from "node:path"
import {parseArgs} from "node:util"
import {launchChromium} from "./chromium.mjs"

const {values: args} = parseArgs({options: Object.fromEntries(
    ["npm", "url", "work", "plies", "timeout", "event"].map((name) => [name, {type: "string"}]))})
const puppeteer = createRequire(path.join(args.npm, "package.json"))("puppeteer-core")

const browser = await launchChromium(puppeteer, args.work)
let failed = false
try {
    const page = await browser.newPage()
    page.on("pageerror", (error) => {
        console.log(`script error on the page: ${error.message}`)
        failed = true
    })
    await page.goto(args.url)
    const plies = Number(args.plies)
    await page.waitForFunction((count) => document.querySelectorAll("#moves .move").length === count &&
        document.getElementById("result").textContent !== "",
    {timeout: Number(args.timeout || 120) * 1000}, plies)
    const fen = await page.$eval("#board", (board) => board.dataset.fen)
    console.log(`FEN ${fen}`)
    if (await page.$eval("#chat-form", (form) => !form.hidden)) {
        console.log("the chat form is offered in NATS mode")
        failed = true
    }
    if (args.event) {
        await page.goto(args.event)
        await page.waitForFunction((count) => document.querySelector(".event-board")?.dataset.ply === String(count) &&
            document.querySelector(".event-board").dataset.result !== "", {timeout: 30000}, plies)
        const board = await page.$eval(".event-board", (card) => ({fen: card.dataset.fen, href: card.href}))
        if (board.fen !== fen || !board.href.includes("nats=")) {
            console.log(`the event page's board differs: ${JSON.stringify(board)}`)
            failed = true
        }
    }
} catch (error) {
    console.log(`the page did not end with the whole game: ${error.message}`)
    failed = true
} finally {
    await browser.close()
}
console.log(failed ? "browser: FAILED" : "browser: the whole game")
process.exit(failed ? 1 : 0)
