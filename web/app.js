// The live game page: follows the server's WebSocket feed (a snapshot, then
// numbered deltas) and shows the board, clocks, moves, the engines' thinking,
// an evaluation graph and the chat. Every text that comes from the server is
// put on the page as text (textContent), never parsed as HTML.
// Opened with ?nats=wss://HOST:PORT&channel=NAME it follows the same feed
// through NATS instead (docs/RELAY.md), read only. Opened with
// ?feed=ws://HOST:PORT/feed it follows that server's feed instead of its own
// origin's, and takes that server's PGN and tournament texts; &back=URL adds a
// link back to the page that sent the reader here (an event's grid).
import {Chessboard, FEN} from "./vendor/cm-chessboard/src/Chessboard.js"
import {Markers} from "./vendor/cm-chessboard/src/extensions/markers/Markers.js"
import {CHANNEL_NAME, followChannel} from "./nats_follow.js"

const LAST_MOVE_MARKER = {class: "marker-last-move", slice: "markerSquare"}
const SQUARE = /^[a-h][1-8]$/
const GRAPH_LIMIT_PAWNS = 6        // the graph clamps larger scores (and mates) to this
const MATE_SCORE = 90000           // engines report mate in N as 100000 + N centipawns
const CHAT_LINES_KEPT = 200
const CHAT_ERROR_MS = 6000         // a refused chat line's answer shows this long
const RETRY_FIRST_MS = 1000
const RETRY_LAST_MS = 15000
const SVG_NS = "http://www.w3.org/2000/svg"

const $ = (id) => document.getElementById(id)

// What the feed has told so far. `version` is that of the last message applied.
const feed = {
    run: null,
    version: 0,
    site: "",
    game: emptyGame(),
    clock: null,          // {white, black} in centiseconds, or null
    clockSince: 0,        // performance.now() when `clock` was last set
    pv: {white: null, black: null},
    users: [],
    webViewers: 0,
    chat: [],
    chatAllowed: false,
}
let shownPly = null        // the ply shown on the board; null: follow the game live
let socket = null
const pageQuery = new URLSearchParams(location.search)
const natsMode = pageQuery.has("nats")
const feedUrl = chooseFeedUrl(pageQuery.get("feed"))
let retryMs = RETRY_FIRST_MS

function emptyGame() {
    return {game: 0, white: "", black: "", level: "", timeControl: "", startFen: FEN.start,
        result: "", reason: "", moves: []}
}

// --- where the feed comes from ------------------------------------------------

// The feed to follow: the one ?feed= names (ws: or wss: only, without user
// names or a query: resuming adds its own), else this origin's /feed. Null
// when ?feed= names nothing usable: the page then follows nothing rather than
// a feed the reader did not ask for.
function chooseFeedUrl(asked) {
    if (asked === null) {
        const own = new URL("feed", location.href)
        own.protocol = location.protocol === "https:" ? "wss:" : "ws:"
        own.search = ""
        own.hash = ""
        return own
    }
    try {
        const url = new URL(asked)
        if ((url.protocol !== "ws:" && url.protocol !== "wss:") || url.username || url.password) return null
        url.search = ""
        url.hash = ""
        return url
    } catch {
        return null
    }
}

// An address of the server whose feed the page follows (`games.pgn`,
// `crosstable.txt`), beside its /feed: the feed's own host over http(s).
function serverUrl(name) {
    const base = new URL(feedUrl ?? location.href)
    if (base.protocol === "ws:") base.protocol = "http:"
    if (base.protocol === "wss:") base.protocol = "https:"
    return new URL(name, base)
}

// A link the query string asks for, when it is http(s) (relative ones are
// taken against this page); null for anything else (javascript:, data:...).
function safeLink(text) {
    if (!text) return null
    try {
        const url = new URL(text, location.href)
        return url.protocol === "http:" || url.protocol === "https:" ? url.href : null
    } catch {
        return null
    }
}

// --- positions -------------------------------------------------------------

function sideToMove(fen) {
    return fen.split(" ")[1] === "b" ? "black" : "white"
}

function liveFen() {
    const moves = feed.game.moves
    return moves.length ? moves[moves.length - 1].fen : feed.game.startFen
}

// The position after `ply` moves (0: the start position).
function fenAfter(ply) {
    return ply === 0 ? feed.game.startFen : feed.game.moves[ply - 1].fen
}

// --- formatting --------------------------------------------------------------

function formatScore(centipawns) {
    const sign = centipawns < 0 ? "-" : "+"
    const size = Math.abs(centipawns)
    if (size >= MATE_SCORE) return sign + "M" + Math.abs(size - 100000)
    return sign + (size / 100).toFixed(2)
}

function formatNodes(nodes) {
    if (nodes >= 1e9) return (nodes / 1e9).toFixed(1) + "G"
    if (nodes >= 1e6) return (nodes / 1e6).toFixed(1) + "M"
    if (nodes >= 1e3) return (nodes / 1e3).toFixed(0) + "k"
    return String(nodes)
}

function formatClock(centiseconds) {
    const tenths = Math.max(0, Math.floor(centiseconds / 10))
    const seconds = Math.floor(tenths / 10)
    const h = Math.floor(seconds / 3600), m = Math.floor(seconds / 60) % 60, s = seconds % 60
    const ss = String(s).padStart(2, "0")
    if (h > 0) return `${h}:${String(m).padStart(2, "0")}:${ss}`
    if (seconds < 10) return `${m}:${ss}.${tenths % 10}`
    return `${m}:${ss}`
}

// The move number and side of ply `ply` (1-based) of the current game.
function moveLabel(ply) {
    const [, side, , , , fullMove] = feed.game.startFen.split(" ")
    const half = ply - 1 + (side === "b" ? 1 : 0)
    return {number: (Number(fullMove) || 1) + Math.floor(half / 2), white: half % 2 === 0}
}

// --- the board ------------------------------------------------------------------

const board = new Chessboard($("board"), {
    position: FEN.start,
    assetsUrl: "vendor/cm-chessboard/assets/",
    style: {animationDuration: 150},
    extensions: [{class: Markers, props: {autoMarkers: null}}],
})

function renderBoard(animated) {
    const ply = shownPly ?? feed.game.moves.length
    const fen = fenAfter(ply)
    $("board").dataset.fen = fen
    $("board").dataset.ply = String(ply)
    board.setPosition(fen, animated)
    board.removeMarkers(LAST_MOVE_MARKER)
    // The feed names each move's squares (castling as the king's move); a move
    // without them (an older server's feed, through NATS) marks none.
    const move = ply > 0 ? feed.game.moves[ply - 1] : null
    if (move && SQUARE.test(move.from) && SQUARE.test(move.to)) {
        board.addMarker(LAST_MOVE_MARKER, move.from)
        board.addMarker(LAST_MOVE_MARKER, move.to)
    }
    $("live").classList.toggle("active", shownPly === null)
    document.body.classList.toggle("browsing", shownPly !== null)
}

function showPly(ply) {
    const last = feed.game.moves.length
    shownPly = ply >= last ? null : Math.max(0, ply)
    renderBoard(false)
    renderMoves()
    renderGraph()
}

// --- panels -----------------------------------------------------------------------

function renderPlayers() {
    $("white-name").textContent = feed.game.white || "White"
    $("black-name").textContent = feed.game.black || "Black"
    $("game-number").textContent = feed.game.game ? String(feed.game.game) : ""
    const {level, timeControl} = feed.game
    // The GUI's own words are "level 40 5 0"; the keyword adds nothing here.
    const levelText = level.replace(/^level\s+/, "").trim()
    $("level").textContent = [levelText, timeControl && `(${timeControl})`].filter(Boolean).join(" ")
    $("result-row").hidden = !feed.game.result
    $("result").textContent = feed.game.result
    $("reason").textContent = feed.game.reason
    $("site").textContent = feed.site || "Lantrel"
    document.title = feed.game.white && feed.game.black
        ? `${feed.game.white} - ${feed.game.black}` : "Lantrel live game"
}

function clockRunningFor() {
    return feed.clock && !feed.game.result ? sideToMove(liveFen()) : null
}

function renderClocks() {
    const running = clockRunningFor()
    for (const side of ["white", "black"]) {
        const element = $(`${side}-clock`)
        let left = feed.clock ? feed.clock[side] : null
        if (left != null && side === running) left -= (performance.now() - feed.clockSince) / 10
        element.textContent = left == null ? "-:--" : formatClock(left)
        element.classList.toggle("running", side === running)
        $(`player-${side}`).classList.toggle("to-move", side === sideToMove(liveFen()) && !feed.game.result)
    }
}

function renderPv() {
    for (const side of ["white", "black"]) {
        const block = $(`pv-${side}`)
        const thinking = feed.pv[side]
        block.querySelector(".pv-name").textContent = feed.game[side] || (side === "white" ? "White" : "Black")
        const stats = thinking
            ? [`depth ${thinking.depth}`, formatScore(thinking.score), `${formatNodes(thinking.nodes)} nodes`,
                `${(thinking.time / 100).toFixed(1)} s`].join("  ·  ")
            : "no thinking yet"
        block.querySelector(".pv-stats").textContent = stats
        block.querySelector(".pv-line").textContent = thinking ? thinking.pv : ""
    }
}

function renderMoves() {
    const list = $("moves")
    const current = shownPly ?? feed.game.moves.length
    const rows = []
    feed.game.moves.forEach((move, index) => {
        const ply = index + 1
        const label = moveLabel(ply)
        if (label.white || rows.length === 0) {
            const row = document.createElement("li")
            const number = document.createElement("span")
            number.className = "move-number"
            number.textContent = label.white ? `${label.number}.` : `${label.number}...`
            row.append(number)
            rows.push(row)
        }
        const button = document.createElement("button")
        button.type = "button"
        button.className = "move" + (ply === current ? " current" : "")
        button.dataset.ply = String(ply)
        button.textContent = move.san
        rows[rows.length - 1].append(button)
    })
    list.replaceChildren(...rows)
    const currentButton = list.querySelector(".current")
    if (shownPly === null) list.scrollTop = list.scrollHeight
    else if (currentButton) currentButton.scrollIntoView({block: "nearest"})
}

// The evaluation after each ply from White's view: the feed gives the mover's.
function whiteScores() {
    return feed.game.moves.map((move, index) => {
        if (typeof move.score !== "number") return null
        const moverIsWhite = sideToMove(move.fen) === "black"
        const pawns = (moverIsWhite ? move.score : -move.score) / 100
        return {ply: index + 1, pawns, shown: Math.max(-GRAPH_LIMIT_PAWNS, Math.min(GRAPH_LIMIT_PAWNS, pawns))}
    }).filter(Boolean)
}

function svgElement(name, attributes) {
    const element = document.createElementNS(SVG_NS, name)
    for (const [key, value] of Object.entries(attributes)) element.setAttribute(key, String(value))
    return element
}

function renderGraph() {
    const svg = $("eval-graph")
    const width = svg.clientWidth || 480, height = svg.clientHeight || 120, pad = 6
    const plies = Math.max(feed.game.moves.length, 2)
    const x = (ply) => pad + (ply - 1) * (width - 2 * pad) / (plies - 1)
    const y = (pawns) => height / 2 - pawns * (height / 2 - pad) / GRAPH_LIMIT_PAWNS
    const parts = [svgElement("line", {x1: 0, x2: width, y1: y(0), y2: y(0), class: "zero"})]
    const scores = whiteScores()
    if (scores.length) {
        const line = scores.map((s) => `${x(s.ply).toFixed(1)},${y(s.shown).toFixed(1)}`).join(" ")
        const first = scores[0], last = scores[scores.length - 1]
        parts.push(svgElement("polygon", {class: "area",
            points: `${x(first.ply).toFixed(1)},${y(0)} ${line} ${x(last.ply).toFixed(1)},${y(0)}`}))
        parts.push(svgElement("polyline", {class: "curve", points: line}))
    }
    const current = shownPly ?? feed.game.moves.length
    if (current > 0) {
        parts.push(svgElement("line", {class: "cursor", x1: x(current), x2: x(current), y1: 0, y2: height}))
    }
    for (const s of scores) {
        const point = svgElement("circle", {class: "eval-point", cx: x(s.ply), cy: y(s.shown), r: 3, "data-ply": s.ply})
        const title = document.createElementNS(SVG_NS, "title")
        const label = moveLabel(s.ply)
        title.textContent = `${label.number}${label.white ? "." : "..."} ${feed.game.moves[s.ply - 1].san}  ` +
            `${s.pawns >= 0 ? "+" : ""}${s.pawns.toFixed(2)}`
        point.append(title)
        parts.push(point)
    }
    svg.setAttribute("viewBox", `0 0 ${width} ${height}`)
    svg.replaceChildren(...parts)
}

function renderViewers() {
    const count = feed.users.length + feed.webViewers
    $("viewers").textContent = `${count} watching`
    $("viewers").title = feed.users.length ? `Viewers: ${feed.users.join(", ")}` : ""
}

function renderChat() {
    const list = $("chat-lines")
    list.replaceChildren(...feed.chat.map((line) => {
        const item = document.createElement("li")
        item.textContent = line
        return item
    }))
    list.scrollTop = list.scrollHeight
    $("chat-form").hidden = !feed.chatAllowed || natsMode   // chat goes to the origin server only
}

let chatErrorTimer = 0

function showChatError(text) {
    $("chat-error").textContent = text
    $("chat-error").hidden = false
    clearTimeout(chatErrorTimer)
    chatErrorTimer = setTimeout(() => { $("chat-error").hidden = true }, CHAT_ERROR_MS)
}

function renderAll() {
    renderPlayers()
    renderBoard(false)
    renderMoves()
    renderClocks()
    renderPv()
    renderGraph()
    renderViewers()
    renderChat()
}

// --- the feed -------------------------------------------------------------------------

function takeGame(message) {
    const sameGame = message.game === feed.game.game
    feed.game = {game: message.game, white: message.white, black: message.black, level: message.level,
        timeControl: message.timeControl, startFen: message.startFen || FEN.start, result: message.result,
        reason: message.reason, moves: message.moves}
    if (!sameGame) {
        feed.pv = {white: null, black: null}
        feed.clock = null
    }
    shownPly = null
}

function applySnapshot(message) {
    feed.run = message.run
    feed.version = message.version
    feed.site = message.site
    takeGame(message)
    feed.clock = message.clock
    feed.clockSince = performance.now()
    feed.pv = message.pv
    feed.users = message.users
    feed.webViewers = message.webViewers
    feed.chat = message.chat.slice(-CHAT_LINES_KEPT)
    feed.chatAllowed = message.chatAllowed
    renderAll()
}

function applyMove(message) {
    const moves = feed.game.moves
    if (message.ply > moves.length + 1) return false
    const mover = sideToMove(message.fen) === "white" ? "black" : "white"
    if (feed.clock && feed.clock[mover] != null) {
        feed.clock[mover] = message.clock ?? Math.max(0, feed.clock[mover] - (performance.now() - feed.clockSince) / 10)
        feed.clockSince = performance.now()
    }
    moves.length = message.ply - 1     // a move taken back is replaced
    const {ply, type, version, ...move} = message
    moves.push(move)
    if (shownPly !== null && shownPly >= ply) shownPly = null
    renderBoard(shownPly === null)
    renderMoves()
    renderGraph()
    renderClocks()
    return true
}

// The GUI refused the last move: it leaves the game. False when that is not
// the last move here.
function applyTakeback(message) {
    const moves = feed.game.moves
    if (message.ply !== moves.length) return false
    moves.pop()
    if (shownPly !== null && shownPly >= moves.length) shownPly = null
    renderBoard(shownPly === null)
    renderMoves()
    renderGraph()
    return true
}

// Applies one delta; false when the client's game no longer fits it.
function applyDelta(message) {
    switch (message.type) {
        case "move":
            return applyMove(message)
        case "takeback":
            return applyTakeback(message)
        case "clock":
            feed.clock = {white: message.white, black: message.black}
            feed.clockSince = performance.now()
            renderClocks()
            break
        case "pv":
            feed.pv[message.side] = message
            renderPv()
            break
        case "result":
            feed.game.result = message.result
            feed.game.reason = message.reason
            renderPlayers()
            renderClocks()
            break
        case "game":
            takeGame(message)
            renderAll()
            break
        case "chat":
            feed.chat.push(message.line)
            feed.chat.splice(0, feed.chat.length - CHAT_LINES_KEPT)
            renderChat()
            break
        case "users":
            feed.users = message.users
            feed.webViewers = message.webViewers
            renderViewers()
            break
    }
    return true
}

// Takes one message of the feed, from either transport; `run` is the run it
// belongs to. A snapshot replaces the state; a delta of the same run and the
// next version is applied; one at or below the state's version is in it
// already. Anything else is a gap: the caller starts again (after a delta
// that no longer fits the game, from a snapshot).
function takeMessage(message, run) {
    if (message.type === "snapshot") {
        applySnapshot(message)
        return "applied"
    }
    if (feed.run === null || run !== feed.run) return "gap"
    if (message.version <= feed.version) return "skipped"
    if (message.version !== feed.version + 1) return "gap"
    if (!applyDelta(message)) {
        feed.run = null
        return "gap"
    }
    feed.version = message.version
    return "applied"
}

function onMessage(event) {
    let message
    try {
        message = JSON.parse(event.data)
    } catch {
        return
    }
    if (message.type === "error") {
        showChatError(message.text)
    } else if (takeMessage(message, feed.run) === "gap") {
        socket.close()              // resume from the last one applied, or start over
    }
}

function setConnection(text, live) {
    $("connection").textContent = text
    $("connection").classList.toggle("up", live)
}

function connect() {
    const url = new URL(feedUrl)
    if (feed.run !== null) {
        url.searchParams.set("run", feed.run)
        url.searchParams.set("since", String(feed.version))
    }
    socket = new WebSocket(url)
    socket.addEventListener("open", () => {
        retryMs = RETRY_FIRST_MS
        setConnection("live", true)
    })
    socket.addEventListener("message", onMessage)
    socket.addEventListener("close", () => {
        setConnection("reconnecting", false)
        setTimeout(connect, retryMs)
        retryMs = Math.min(retryMs * 2, RETRY_LAST_MS)
    })
}

// --- controls ---------------------------------------------------------------------------

$("moves").addEventListener("click", (event) => {
    const ply = event.target.closest("button.move")?.dataset.ply
    if (ply) showPly(Number(ply))
})
$("eval-graph").addEventListener("click", (event) => {
    const ply = event.target.closest(".eval-point")?.dataset.ply
    if (ply) showPly(Number(ply))
})
$("first").addEventListener("click", () => showPly(0))
$("previous").addEventListener("click", () => showPly((shownPly ?? feed.game.moves.length) - 1))
$("next").addEventListener("click", () => showPly((shownPly ?? feed.game.moves.length) + 1))
$("live").addEventListener("click", () => showPly(feed.game.moves.length))
document.addEventListener("keydown", (event) => {
    if (event.target instanceof HTMLInputElement) return
    if (event.key === "ArrowLeft") $("previous").click()
    if (event.key === "ArrowRight") $("next").click()
})

$("chat-name").value = localStorage.getItem("lantrel-chat-name") ?? ""
$("chat-form").addEventListener("submit", (event) => {
    event.preventDefault()
    const name = $("chat-name").value.trim(), text = $("chat-text").value.trim()
    if (!name || !text || !socket || socket.readyState !== WebSocket.OPEN) return
    localStorage.setItem("lantrel-chat-name", name)
    socket.send(JSON.stringify({type: "chat", name, text}))
    $("chat-text").value = ""
    $("chat-error").hidden = true
})

for (const button of document.querySelectorAll(".tourney-buttons button")) {
    button.addEventListener("click", async () => {
        const pre = $("tourney-text")
        if (!pre.hidden && pre.dataset.src === button.dataset.src) {
            pre.hidden = true
            return
        }
        pre.dataset.src = button.dataset.src
        pre.hidden = false
        pre.textContent = "Loading..."
        try {
            const reply = await fetch(serverUrl(button.dataset.src), {cache: "no-store"})
            pre.textContent = reply.ok ? await reply.text()
                : reply.status === 404 ? "This server has no tournament PGN." : `The server answered ${reply.status}.`
        } catch {
            pre.textContent = "The server cannot be reached."
        }
    })
}

// NATS mode: the feed from a NATS server's WebSocket listener. The chat form
// and the tournament texts stay with the origin server, so they are hidden.
async function followNats() {
    const servers = pageQuery.get("nats"), channel = pageQuery.get("channel") ?? ""
    $("transport").hidden = false
    document.querySelector(".tourney-buttons").closest(".panel").hidden = true
    if (!servers.split(",").every((url) => /^wss?:\/\//.test(url)) || !CHANNEL_NAME.test(channel)) {
        setConnection("needs ?nats=wss://HOST:PORT&channel=NAME", false)
        return
    }
    // Only towards the NATS servers this server's operator lists (WEBNATS=):
    // a link cannot send the page's readers to a feed of someone else's making.
    let allowed = []
    try {
        allowed = (await (await fetch("/nats.json", {cache: "no-cache"})).json()).servers ?? []
    } catch {
        allowed = []
    }
    if (!servers.split(",").every((url) => allowed.includes(url))) {
        setConnection("this server does not follow the feed on that NATS server", false)
        return
    }
    const {connect: connectNats} = await import("./vendor/nats.ws/esm/nats.js")
    try {
        // As the read-only user (the edge's default one). nats.ws reconnects by
        // itself; the follower catches up after each reconnection.
        const nc = await connectNats({servers: servers.split(","), waitOnFirstConnect: true,
            maxReconnectAttempts: -1})
        ;(async () => {
            for await (const status of nc.status()) {
                if (status.type === "disconnect") setConnection("reconnecting", false)
            }
        })()
        await followChannel(nc, channel, takeMessage, setConnection)
    } catch (error) {
        setConnection(`NATS: ${error.message}`, false)
    }
}

// The live PGN as the server serves it (a link, not a fetch: another
// server's PGN needs no cross-origin leave to be downloaded).
$("download-pgn").href = serverUrl("games.pgn").href
const backLink = safeLink(pageQuery.get("back"))
if (backLink) {
    $("back").href = backLink
    $("back").hidden = false
}

new ResizeObserver(() => renderGraph()).observe($("eval-graph"))
setInterval(renderClocks, 100)
renderAll()
if (natsMode) followNats()
else if (feedUrl) connect()
else setConnection("needs ?feed=ws://HOST:PORT/feed", false)
