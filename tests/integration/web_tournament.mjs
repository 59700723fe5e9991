// The browser half of web_tournament_test.sh: the page watches a whole
// tournament being replayed; what it showed of each game when the game ended
// (its number, players, result and the GUI's words for it) must be the game
// the GUI saved, game by game in the order played.
import {spawn} from "node:child_process"
import fs from "node:fs"
import {createRequire} from "node:module"
import path from "node:path"
import {parseArgs} from "node:util"
import {check, launchChromium, runChecks} from "./chromium.mjs"

const {values: args} = parseArgs({options: Object.fromEntries(
    ["npm", "url", "work", "replay", "saved"].map((name) => [name, {type: "string"}]))})
const puppeteer = createRequire(path.join(args.npm, "package.json"))("puppeteer-core")
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms))

// Each saved game as "N|White|Black|Result|reason": the reason is the
// comment before the result.
const saved = fs.readFileSync(args.saved, "utf8").split(/\n(?=\[Event )/).map((game, index) => {
    const tag = (name) => (game.match(new RegExp(`^\\[${name} "(.*)"\\]$`, "m")) ?? [])[1] ?? ""
    const reason = (game.match(/\{([^}]*)\}\s*(1-0|0-1|1\/2-1\/2)\s*$/) ?? [])[1] ?? ""
    return [index + 1, tag("White"), tag("Black"), tag("Result"), reason].join("|")
})

await runChecks(async () => {
    const browser = await launchChromium(puppeteer, args.work)
    try {
        const page = await browser.newPage()
        for (let i = 0; i < 100 && !(await fetch(new URL("state.json", args.url)).catch(() => null))?.ok; i++)
            await sleep(100)
        await page.goto(args.url)
        await page.waitForFunction(() => document.getElementById("game-number").textContent !== "")
        // Every state of the game's header the page shows, as it shows it.
        await page.evaluate(() => {
            window.shown = []
            const text = (id) => document.getElementById(id).textContent
            const note = () => window.shown.push(
                [text("game-number"), text("white-name"), text("black-name"), text("result"), text("reason")].join("|"))
            new MutationObserver(note).observe(document.body, {subtree: true, childList: true, characterData: true})
        })
        const replay = spawn(args.replay, ["--speed", "25", path.join(args.work, "rest.debug"),
            path.join(args.work, "gui.debug")], {stdio: "inherit"})
        const status = await new Promise((resolve) => replay.on("exit", resolve))
        check(status === 0, "the replay ends well", status)
        const ended = async () => (await page.evaluate(() => window.shown))
            .filter((state) => state.split("|")[3] !== "")
        for (let i = 0; i < 100 && new Set((await ended()).map((s) => s.split("|")[0])).size < saved.length; i++)
            await sleep(100)
        // The last state of each game with its result, in the order the games ended.
        const finals = new Map()
        for (const state of await ended()) finals.set(state.split("|")[0], state)
        check(JSON.stringify([...finals.values()]) === JSON.stringify(saved),
            "each game's number, players, result and reason as saved", {shown: [...finals.values()], saved})
    } finally {
        await browser.close()
    }
})
