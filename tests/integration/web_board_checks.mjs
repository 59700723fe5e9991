// The single board's features, checked by web_browser.mjs in its browser once
// the recorded game is over: the opening's name, the engines' arrows and the
// evaluation bar at a #ply=N link, the level in words, keyboard steps, the
// PGN download, the overlay, spoiler-free viewing and the page's weight. Expected values are worked out here with
// chess.js from /state.json and the opening table, not with the page's code.
import fs from "node:fs"
import path from "node:path"
import {pathToFileURL} from "node:url"

const LINK_PLY = 10
const PAGE_WEIGHT_LIMIT = 300 * 1024

// The named positions of the opening table: "placement side castling" -> {eco, name}.
function openingTable(Chess, tablePath) {
    const named = new Map()
    for (const line of fs.readFileSync(tablePath, "utf8").split("\n").slice(1)) {
        const [eco, name, moves] = line.split("\t")
        if (!moves) continue
        const game = new Chess()
        for (const word of moves.split(" ").filter((w) => !/^\d+\.$/.test(w))) game.move(word)
        named.set(game.fen().split(" ").slice(0, 3).join(" "), {eco, name})
    }
    return named
}

// An engine's line as moves {from, to} from `fen`, as far as chess.js reads them;
// long notation ("Ng1-f3", "e4xd5") is turned into squares first.
function lineMoves(Chess, fen, pv) {
    const game = new Chess(fen.split(" ").length < 4 ? `${fen} - 0 1` : fen)
    const moves = []
    for (const word of String(pv).trim().split(/\s+/)) {
        if (/^\d+\.+$/.test(word)) continue
        const long = /^[NBRQK]?([a-h][1-8])[-x]?([a-h][1-8])=?([qrbnQRBN])?[+#]?$/.exec(word)
        try {
            const move = game.move(long ? {from: long[1], to: long[2], promotion: long[3]?.toLowerCase()} : word)
            moves.push({from: move.from, to: move.to, san: move.san})
        } catch {
            break
        }
    }
    return moves
}

export async function checkBoardFeatures({browser, page, url, work, state, fens, Chess, sourceDir, check, screenshotDir}) {
    const board = () => page.$eval("#board", (element) => ({ply: Number(element.dataset.ply), fen: element.dataset.fen}))
    const text = (selector) => page.$eval(selector, (element) => element.textContent)
    const placement = (fen) => fen.split(" ")[0]
    const plies = state.moves.length
    const tablePath = path.join(sourceDir, "src/web/openings/openings.tsv")

    // The page's own move applier against chess.js, on every position of the
    // game and every line the engines gave there.
    const lines = await import(pathToFileURL(path.join(sourceDir, "web/lines.js")).href)
    let linesPlayed = 0
    for (let ply = 0; ply < plies; ply++) {
        const fen = ply ? state.moves[ply - 1].fen : state.startFen
        const position = ply ? lines.withEnPassant(lines.readFen(fen), state.moves[ply - 1].from, state.moves[ply - 1].to)
            : lines.readFen(fen)
        const chessFen = ply ? fens[ply - 1] : `${fen} - 0 1`
        check(lines.legalMoves(position).length === new Chess(chessFen).moves().length, `legal moves after ply ${ply}`)
        const pv = state.moves[ply].pv ?? ""
        const mine = lines.playLine(position, pv).map((m) => `${m.from}${m.to} ${m.san}`)
        const theirs = lineMoves(Chess, chessFen, pv).map((m) => `${m.from}${m.to} ${m.san}`)
        check(JSON.stringify(mine) === JSON.stringify(theirs), `the line before ply ${ply + 1} played out, in SAN`,
            {pv, mine, theirs})
        if (mine.length > 1) linesPlayed++
        // The game's own move written as the server writes it.
        const played = state.moves[ply]
        const move = lines.findMove(position, played.uci)
        check(move && lines.sanOf(position, move) === played.san, `the SAN of ply ${ply + 1}`, played.san)
    }
    check(linesPlayed > plies / 2, "most of the engines' lines play out", linesPlayed)
    // Every notation the recorded engines write a line in, as SAN.
    const open = lines.readFen("r3k2r/pppq1ppp/2n1bn2/3pp3/3PP3/2N1BN2/PPPQ1PPP/R3K2R w KQkq")
    for (const [line, sans] of [["e1c1 e8g8 d4e5", "O-O-O O-O dxe5"], ["0-0-0 (O-O) <dxe5> 8. ... Nxe5", "O-O-O O-O dxe5 Nxe5"],
        ["Nf3-g5 Qd7-e7", "Ng5 Qe7"], ["d4e5 f6e4", "dxe5 Nxe4"]]) {
        const got = lines.playLine(open, line).map((m) => m.san).join(" ")
        check(got === sans, `the line "${line}" in SAN`, got)
    }
    // "h3" is the h-pawn's step, not the g-pawn taking on h3 (a stale line once drew that).
    check(lines.playLine(lines.readFen("7k/8/8/8/8/7n/6P1/6K1 w -"), "h3").length === 0, "h3 is no capture")

    // The charts: for each engine a point a move it searched, of this game
    // only (depth is in every move the recorded engines made out of book).
    const searched = (side) => state.moves.filter((move, index) => (index % 2 === 0) === (side === "white") &&
        move.depth > 0).length
    const charted = await page.evaluate(() => Object.fromEntries(["white", "black"].map((side) =>
        [side, document.querySelectorAll(`#chart-depth .point.${side}-engine`).length])))
    const timed = await page.$$eval("#chart-time .point", (all) => all.length)
    check(charted.white === searched("white") && charted.black === searched("black") && timed > plies / 2,
        "the depth and time charts: a point for each engine's move", {charted, timed})

    // The board keeps up: on a stand-in board whose changes end when told,
    // positions that come during a change leave only the latest to draw, at
    // once; only a single ply step on an idle board is animated; the last
    // move is marked once its position stands.
    const {KeptUpBoard} = await import(pathToFileURL(path.join(sourceDir, "web/kept_up_board.js")).href)
    const calls = [], marked = [], ends = []
    const standIn = {setPosition: (fen, animated) => {
        calls.push([fen, animated])
        return new Promise((resolve) => ends.push(resolve))
    }}
    const drawing = new KeptUpBoard(standIn, (ply) => marked.push(ply))
    const settle = () => new Promise((resolve) => setTimeout(resolve, 0))
    drawing.show("p0", 0, true)
    ends.shift()()
    await settle()
    drawing.show("p1", 1, true)
    for (const [fen, ply] of [["p2", 2], ["p3", 3], ["p4", 4]]) drawing.show(fen, ply, true)
    ends.shift()()
    await settle()
    ends.shift()()
    await settle()
    drawing.show("p6", 6, true)
    ends.shift()()
    await settle()
    check(JSON.stringify(calls) === JSON.stringify([["p0", false], ["p1", true], ["p4", false], ["p6", false]]) &&
        JSON.stringify(marked) === JSON.stringify([0, 4, 6]),
    "the board draws the latest position, animating a single step on an idle board only", {calls, marked})

    // The level as people say it: the recorded game's "level 40 0:10 0" on
    // the page, and the other shapes GUIs send.
    const {formatLevel, formatScore} = await import(pathToFileURL(path.join(sourceDir, "web/format.js")).href)
    // Scores, and mates in the codes the recorded engines give them: 100000 + N
    // (XBoard's engines), 100000, 32000, 30000 and 10000 less the plies to it
    // (HoiChess, Phalanx, GNU Chess), 1000000 less them and the root (Sjeng).
    for (const [centipawns, words] of [[197, "+1.97"], [-35, "-0.35"], [100003, "#3"], [-100001, "-#1"],
        [99999, "#1"], [-99996, "-#2"], [29999, "#1"], [31995, "#3"], [9999, "#1"], [999998, "#1"],
        [29744, "+297.44"], [999500, "+9995.00"]])
        check(formatScore(centipawns) === words, `the score ${centipawns} as "${words}"`, formatScore(centipawns))
    check(await text("#level") === "40 moves in 10 s", "the level in words", await text("#level"))
    for (const [level, words] of [["40 5 0", "40 moves in 5 min"], ["0 6 0.2", "6 min + 0.2 s"],
        ["1 90 30", "1 move in 1 h 30 min + 30 s"], ["0 0 1", "1 s a move"], ["st 1", "1 s a move"],
        ["st 90", "1 min 30 s a move"], ["0 1:05 0", "1 min 5 s"],
        ["40 5", ""], ["40 x 0", ""]])
        check(formatLevel(level) === words, `the level "${level}" in words`, formatLevel(level))

    // The opening: the deepest named position of the game, on the page and in the PGN.
    const named = openingTable(Chess, tablePath)
    const deepest = state.moves.map((move) => named.get(move.fen)).filter(Boolean).at(-1)
    check(deepest, "the game reaches a named opening")
    const shownOpening = `${await text("#opening-eco")} ${await text("#opening-name")}`
    check(deepest && shownOpening === `${deepest.eco} ${deepest.name}`, "the opening's name", shownOpening)
    const pgn = await (await fetch(new URL("games.pgn", url))).text()
    check(deepest && pgn.includes(`[ECO "${deepest.eco}"]\n[Opening "${deepest.name}"]\n`), "[ECO] and [Opening] in /games.pgn")

    // A #ply=N link opens there (a fresh load: the page waits for the game), with
    // the engines' arrows and the bar of that position.
    await page.goto("about:blank")
    await page.goto(new URL(`#ply=${LINK_PLY}`, url).href)
    await page.waitForFunction((ply) => document.getElementById("board").dataset.ply === String(ply), {}, LINK_PLY)
    check(placement((await board()).fen) === placement(fens[LINK_PLY - 1]), "#ply=N shows the position after ply N")
    const expectedArrows = []
    const mover = lineMoves(Chess, state.moves[LINK_PLY - 1].fen, state.moves[LINK_PLY].pv ?? "")
    if (mover.length) expectedArrows.push(`arrow-white:${mover[0].from}${mover[0].to}`)
    const before = lineMoves(Chess, state.moves[LINK_PLY - 2].fen, state.moves[LINK_PLY - 1].pv ?? "")
    const played = state.moves[LINK_PLY - 1]
    if (before.length >= 2 && before[0].from === played.from && before[0].to === played.to)
        expectedArrows.push(`arrow-black:${before[1].from}${before[1].to}`)
    const arrows = await page.$$eval("#board g[data-arrow]", (groups) =>
        groups.map((g) => `${g.getAttribute("class").replace("arrow ", "")}:${g.dataset.arrow}`))
    check(expectedArrows.length > 0 && JSON.stringify(arrows.sort()) === JSON.stringify(expectedArrows.sort()),
        "the engines' arrows at the linked ply", {arrows, expectedArrows})
    // White is on move after an even ply: its engine's own score is White's
    // view; Black's engine says what its last move carried, turned to White's.
    // Each keeps its column, and the graph a line for each engine.
    const bar = await page.$eval("#eval-bar", (element) => ({...element.dataset}))
    check(bar.whiteEngine === String(state.moves[LINK_PLY].score) &&
        bar.blackEngine === String(-state.moves[LINK_PLY - 1].score), "the evaluation bar, an engine a column", bar)
    const graph = await page.evaluate(() => ({
        white: document.querySelectorAll("#eval-graph .eval-point.white-engine").length,
        black: document.querySelectorAll("#eval-graph .eval-point.black-engine").length,
        legend: document.getElementById("eval-legend").textContent}))
    check(graph.white > plies / 4 && graph.black > plies / 4 && graph.legend.startsWith(
        `${state.white} ${state.black}`), "the graph: a line for each engine, named", graph)
    if (screenshotDir) {
        await page.evaluate(() => document.activeElement.blur())
        await page.screenshot({path: path.join(screenshotDir, "web-board.png")})
    }

    // Keyboard steps, each announced to screen readers.
    for (const [key, ply] of [["ArrowRight", LINK_PLY + 1], ["ArrowLeft", LINK_PLY], ["ArrowLeft", LINK_PLY - 1],
        ["Home", 0], ["ArrowRight", 1], ["End", plies]]) {
        await page.keyboard.press(key)
        const shown = await board()
        check(shown.ply === ply && placement(shown.fen) === placement(ply ? fens[ply - 1] : state.startFen),
            `${key} shows the position after ply ${ply}`, shown)
    }
    check((await text("#announcer")).includes(state.moves[plies - 1].san), "the shown move is announced",
        await text("#announcer"))

    // The download button saves what /games.pgn serves.
    const downloads = fs.mkdtempSync(path.join(work, "downloads-"))
    const cdp = await page.createCDPSession()
    await cdp.send("Browser.setDownloadBehavior", {behavior: "allow", downloadPath: downloads})
    await page.click("#download-pgn")
    const saved = path.join(downloads, "lantrel-games.pgn")
    for (let i = 0; i < 200 && !fs.existsSync(saved); i++) await new Promise((resolve) => setTimeout(resolve, 50))
    check(fs.existsSync(saved) && fs.readFileSync(saved, "utf8") === pgn, "the downloaded PGN is /games.pgn")

    // The overlay: board, players, clocks and bar alone, on a transparent page.
    const overlay = await browser.newPage()
    await overlay.setViewport({width: 640, height: 720})
    await overlay.goto(new URL("?overlay=1", url).href)
    await overlay.waitForSelector("#connection.up")
    const look = await overlay.evaluate(() => {
        const shown = (id) => document.getElementById(id).checkVisibility()
        const boardBox = document.getElementById("board").getBoundingClientRect()
        return {page: getComputedStyle(document.documentElement).backgroundColor,
            body: getComputedStyle(document.body).backgroundColor,
            shown: ["board", "eval-bar", "white-clock", "black-clock", "white-name", "board-result"].every(shown),
            words: ["board-result", "white-score", "black-score"].map((id) => document.getElementById(id).textContent),
            hidden: !shown("moves") && !shown("chat-lines") && !shown("site"),
            fits: boardBox.width > 300 && boardBox.right <= innerWidth &&
                document.getElementById("board-result").getBoundingClientRect().bottom <= innerHeight}
    })
    check(look.page === "rgba(0, 0, 0, 0)" && look.body === "rgba(0, 0, 0, 0)", "the overlay's background is transparent", look)
    check(look.shown && look.hidden && look.fits, "the overlay shows the board, clocks and bar only, in the window", look)
    // The result once there is one, and each engine's score as a number.
    check(look.words[0].startsWith(state.result) && look.words.slice(1).every((score) => /^-?(#\d+|\+?\d+\.\d\d)$/.test(score)),
        "the overlay's result and the engines' scores, readable", look.words)
    if (screenshotDir) await overlay.screenshot({path: path.join(screenshotDir, "web-overlay.png"), omitBackground: true})
    await overlay.close()

    // Spoiler-free: ?spoilers=0 hides the result, the evaluations and the
    // tournament's tables, and the page keeps the choice for the next visit;
    // its button shows them again, and that is kept too.
    const spoilers = await browser.newPage()
    const seen = () => spoilers.evaluate(() => Object.fromEntries(["result-row", "eval-bar", "eval-graph", "moves",
        "white-clock"].map((id) => [id, document.getElementById(id).checkVisibility()])
        .concat([["stats", document.querySelector(".pv-stats").checkVisibility()]])))
    const hidden = {"result-row": false, "eval-bar": false, "eval-graph": false, moves: true, "white-clock": true,
        stats: false}
    const visible = {...hidden, "result-row": true, "eval-bar": true, "eval-graph": true, stats: true}
    for (const [address, want, what] of [["?spoilers=0", hidden, "?spoilers=0 hides the spoilers"],
        ["", hidden, "the next visit keeps them hidden"], ["click", visible, "the button shows them"],
        ["", visible, "the next visit keeps them shown"]]) {
        if (address === "click") await spoilers.click("#spoilers")
        else await spoilers.goto(new URL(address, url).href).then(() => spoilers.waitForSelector("#connection.up"))
        const got = await seen()
        check(JSON.stringify(got) === JSON.stringify(want), what, got)
    }
    await spoilers.close()

    // The page's weight: everything a reader's browser fetches to show it.
    const fresh = await browser.newPage()
    await fresh.setCacheEnabled(false)
    const bodies = []
    fresh.on("response", (response) => {
        if (response.request().resourceType() !== "websocket") bodies.push(response.buffer().catch(() => Buffer.alloc(0)))
    })
    await fresh.setViewport({width: 390, height: 1100, isMobile: true})
    await fresh.goto(url, {waitUntil: "networkidle0"})
    const bytes = (await Promise.all(bodies)).reduce((sum, body) => sum + body.length, 0)
    check(bytes > 0 && bytes < PAGE_WEIGHT_LIMIT, `the page weighs under ${PAGE_WEIGHT_LIMIT} bytes`, bytes)
    console.log(`page weight: ${bytes} bytes`)
    if (screenshotDir) await fresh.screenshot({path: path.join(screenshotDir, "web-phone.png")})
    await fresh.close()
}
