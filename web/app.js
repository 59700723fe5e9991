// The live game page: follows the server's WebSocket feed (a snapshot, then
// numbered deltas) and shows the board with an evaluation bar and the
// engines' best moves as arrows, clocks, the opening, moves, the engines'
// thinking (each line previewed on a small board), an evaluation graph and
// the chat. #ply=N opens the page at the position after ply N; ?overlay=1
// shows the board, clocks, players and evaluation bar alone on a transparent
// background, for a stream. Every text that comes from the server is
// put on the page as text (textContent), never parsed as HTML.
// Opened with ?nats=wss://HOST:PORT&channel=NAME it follows the same feed
// through NATS instead (docs/RELAY.md), read only. Opened with
// ?feed=ws://HOST:PORT/feed it follows that server's feed instead of its own
// origin's, and takes that server's PGN and tournament texts; &back=URL adds a
// link back to the page that sent the reader here (an event's grid).
import {Chessboard, FEN} from "./vendor/cm-chessboard/src/Chessboard.js"
import {Markers} from "./vendor/cm-chessboard/src/extensions/markers/Markers.js"
import {Arrows} from "./vendor/cm-chessboard/src/extensions/arrows/Arrows.js"
import {placement, playLine, readFen, withEnPassant} from "./lines.js"
import {CHANNEL_NAME, followChannel} from "./nats_follow.js"
import {MATE_SCORE, formatClock, formatScore, sideToMove} from "./format.js"

const LAST_MOVE_MARKER = {class: "marker-last-move", slice: "markerSquare"}
const SQUARE = /^[a-h][1-8]$/
const GRAPH_LIMIT_PAWNS = 6        // the graph clamps larger scores (and mates) to this
const CHAT_LINES_KEPT = 200
const CHAT_ERROR_MS = 6000         // a refused chat line's answer shows this long
const RETRY_FIRST_MS = 1000
const RETRY_LAST_MS = 15000
const SVG_NS = "http://www.w3.org/2000/svg"
const ENGINE_ARROW = {white: {class: "arrow-white"}, black: {class: "arrow-black"}}
const PLY_LINK = /^#ply=(\d{1,5})$/

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
    pvPly: {white: -1, black: -1},   // the ply after which each side's `pv` came
    users: [],
    webViewers: 0,
    chat: [],
    chatAllowed: false,
}
let shownPly = null        // the ply shown on the board; null: follow the game live
let socket = null
const pageQuery = new URLSearchParams(location.search)
const natsMode = pageQuery.has("nats")
const overlayMode = pageQuery.get("overlay") === "1"
let pendingPly = plyInLink()   // #ply=N, shown once the game is there
let soundOn = false
let audio = null               // the AudioContext, made on the first sound switched on
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

const otherSide = (side) => side === "white" ? "black" : "white"


function liveFen() {
    const moves = feed.game.moves
    return moves.length ? moves[moves.length - 1].fen : feed.game.startFen
}

// The position after `ply` moves (0: the start position).
function fenAfter(ply) {
    return ply === 0 ? feed.game.startFen : feed.game.moves[ply - 1].fen
}

// The position after `ply` moves for playing lines on (null when unreadable),
// with the en-passant square the feed's positions leave out.
function positionAt(ply) {
    const move = ply > 0 ? feed.game.moves[ply - 1] : null
    const position = readFen(fenAfter(ply))
    return move ? withEnPassant(position, move.from, move.to) : position
}

// What the engine on move at the position after `ply` thought there ({pv,
// score}, its own view): the thinking a move carries, or for the live
// position the latest line, when it came after the last move. A line whose
// first move is no move of that position was thought elsewhere (a GUI may
// log an engine's last words of a game in the next): none then.
function thinkingAt(ply) {
    const moves = feed.game.moves
    const side = sideToMove(fenAfter(ply))
    const thinking = ply < moves.length ? moves[ply]
        : feed.pvPly[side] === ply ? feed.pv[side] : null
    if (!thinking || typeof thinking.pv !== "string") return null
    const position = positionAt(ply)
    return position && playLine(position, thinking.pv).length ? thinking : null
}

// The evaluation of the position after `ply` from White's view (centipawns),
// or null: the engine on move's, else the last mover's before its move.
function whiteScoreAt(ply) {
    const toMove = sideToMove(fenAfter(ply))
    const thinking = thinkingAt(ply)
    if (thinking && typeof thinking.score === "number") return toMove === "white" ? thinking.score : -thinking.score
    const move = ply > 0 ? feed.game.moves[ply - 1] : null
    if (move && typeof move.score === "number") return toMove === "white" ? -move.score : move.score
    return null
}

// The engines' best moves at the position after `ply`: the engine on move's
// first move, and the reply the other engine expected when its line began with
// the move it played.
function engineArrows(ply) {
    const arrows = []
    const toMove = sideToMove(fenAfter(ply))
    const now = thinkingAt(ply), here = positionAt(ply)
    const [best] = now && here ? playLine(here, now.pv) : []
    if (best) arrows.push({side: toMove, from: best.from, to: best.to})
    const before = ply > 0 ? thinkingAt(ply - 1) : null, there = before ? positionAt(ply - 1) : null
    if (before && there) {
        const played = feed.game.moves[ply - 1]
        const line = playLine(there, before.pv)
        if (line.length >= 2 && line[0].from === played.from && line[0].to === played.to)
            arrows.push({side: otherSide(toMove), from: line[1].from, to: line[1].to})
    }
    return arrows
}

// The opening the deepest named position up to `ply` belongs to, or null.
function openingAt(ply) {
    for (let k = ply; k > 0; k--) {
        const move = feed.game.moves[k - 1]
        if (typeof move.eco === "string" && typeof move.opening === "string") return move
    }
    return null
}

function plyInLink() {
    const match = PLY_LINK.exec(location.hash)
    return match ? Number(match[1]) : null
}

// --- formatting --------------------------------------------------------------


function formatNodes(nodes) {
    if (nodes >= 1e9) return (nodes / 1e9).toFixed(1) + "G"
    if (nodes >= 1e6) return (nodes / 1e6).toFixed(1) + "M"
    if (nodes >= 1e3) return (nodes / 1e3).toFixed(0) + "k"
    return String(nodes)
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
    extensions: [{class: Markers, props: {autoMarkers: null}}, {class: Arrows}],
})
let previewBoard = null    // the small board of the line preview, made when first needed

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
    $("ply-link").href = `#ply=${ply}`
    renderEngineView(ply)
    renderOpening(ply)
}

// What the engines think of the position after `ply`: arrows and the bar.
function renderEngineView(ply) {
    board.removeArrows()
    for (const arrow of engineArrows(ply)) board.addArrow(ENGINE_ARROW[arrow.side], arrow.from, arrow.to)
    renderEvalBar(ply)
}

// The bar fills from White's side (below) as White's chances grow: a
// centipawn score mapped onto 0..100 %, mates at the ends.
function renderEvalBar(ply) {
    const score = whiteScoreAt(ply)
    const bar = $("eval-bar")
    let whiteShare = 50
    if (score !== null) {
        whiteShare = Math.abs(score) >= MATE_SCORE ? (score > 0 ? 100 : 0)
            : 50 + 50 * (2 / (1 + Math.exp(-0.00368208 * score)) - 1)
    }
    bar.dataset.score = score === null ? "" : String(score)
    bar.querySelector(".eval-fill").style.height = `${whiteShare.toFixed(1)}%`
    const text = score === null ? "" : formatScore(score)
    bar.querySelector(".eval-text").textContent = text
    bar.setAttribute("aria-label", `Evaluation, White's view: ${text || "none yet"}`)
}

function renderOpening(ply) {
    const opening = openingAt(ply)
    $("opening-eco").textContent = opening ? opening.eco : ""
    $("opening-name").textContent = opening ? opening.opening : "-"
}

// Shows the position after `ply` (the live one from the last ply on), keeps
// the address's #ply=N in step with it, and tells screen readers which it is.
function showPly(ply) {
    const last = feed.game.moves.length
    shownPly = ply >= last ? null : Math.max(0, ply)
    renderBoard(false)
    renderMoves()
    renderGraph()
    const address = location.pathname + location.search + (shownPly === null ? "" : `#ply=${shownPly}`)
    history.replaceState(null, "", address)
    const shown = shownPly ?? last
    announce(shown === 0 ? "Start position" : `${shownPly === null ? "Live: " : ""}${moveText(shown)}`)
}

// "12... Nf6" for ply `ply`.
function moveText(ply) {
    const label = moveLabel(ply)
    return `${label.number}${label.white ? "." : "..."} ${feed.game.moves[ply - 1].san}`
}

function announce(text) {
    $("announcer").textContent = text
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
        // One element per word, so that pointing at a move previews the line up to it.
        const words = thinking ? String(thinking.pv).trim().split(/\s+/).filter(Boolean) : []
        block.querySelector(".pv-line").replaceChildren(...words.map((word, index) => {
            const span = document.createElement("span")
            span.className = "pv-word"
            span.dataset.index = String(index)
            span.textContent = word
            return span
        }))
    }
    renderPreview()
}

// --- the line preview --------------------------------------------------------------
// Pointing at an engine's line (or focusing it) shows on a small board where it
// leads: to the end, or to the move pointed at. A tap keeps it until the next.

const preview = {side: null, upTo: null, kept: false}

// The engine line of `side` from the position it was thought in: null when
// that is unknown or the line's first word is no move there.
function lineOf(side) {
    const thinking = feed.pv[side], ply = feed.pvPly[side]
    if (!thinking || ply < 0 || ply > feed.game.moves.length || sideToMove(fenAfter(ply)) !== side) return null
    const start = positionAt(ply)
    const moves = start ? playLine(start, thinking.pv) : []
    return moves.length ? {start, moves} : null
}

function renderPreview() {
    const line = preview.side ? lineOf(preview.side) : null
    $("pv-preview").hidden = !line
    for (const element of document.querySelectorAll(".pv-line"))
        element.classList.toggle("previewed", Boolean(line) && element.dataset.side === preview.side)
    if (!line) return
    const count = Math.min(line.moves.length, preview.upTo === null ? line.moves.length : preview.upTo + 1)
    const last = line.moves[count - 1]
    const fen = placement(last.position)
    $("pv-board").dataset.fen = fen
    if (!previewBoard) {
        previewBoard = new Chessboard($("pv-board"), {position: fen, assetsUrl: "vendor/cm-chessboard/assets/",
            style: {showCoordinates: false, animationDuration: 0},
            extensions: [{class: Markers, props: {autoMarkers: null}}]})
    } else {
        previewBoard.setPosition(fen, false)
    }
    previewBoard.removeMarkers(LAST_MOVE_MARKER)
    previewBoard.addMarker(LAST_MOVE_MARKER, last.from)
    previewBoard.addMarker(LAST_MOVE_MARKER, last.to)
    const name = feed.game[preview.side] || (preview.side === "white" ? "White" : "Black")
    $("pv-caption").textContent = `${name}: after ${line.moves.slice(0, count).map((m) => m.word).join(" ")}`
}

function pointPreview(side, upTo) {
    preview.side = side
    preview.upTo = upTo
    renderPreview()
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

// --- sounds ---------------------------------------------------------------------------
// Made by the page (no sound files): a short tick for a move, a lower double
// knock for a capture. Off until the reader switches them on.

function playSound(capture) {
    if (!soundOn || !audio) return
    try {
        const start = audio.currentTime
        for (const [delay, frequency] of capture ? [[0, 220], [0.07, 165]] : [[0, 520]]) {
            const tone = audio.createOscillator(), level = audio.createGain()
            tone.type = "triangle"
            tone.frequency.value = frequency
            level.gain.setValueAtTime(0.0001, start + delay)
            level.gain.exponentialRampToValueAtTime(0.25, start + delay + 0.008)
            level.gain.exponentialRampToValueAtTime(0.0001, start + delay + 0.09)
            tone.connect(level).connect(audio.destination)
            tone.start(start + delay)
            tone.stop(start + delay + 0.1)
        }
    } catch {
        // no sound is better than a broken page
    }
}

// --- the feed -------------------------------------------------------------------------

function takeGame(message) {
    const sameGame = message.game === feed.game.game
    feed.game = {game: message.game, white: message.white, black: message.black, level: message.level,
        timeControl: message.timeControl, startFen: message.startFen || FEN.start, result: message.result,
        reason: message.reason, moves: message.moves}
    if (!sameGame) {
        feed.pv = {white: null, black: null}
        feed.pvPly = {white: -1, black: -1}
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
    // The engine on move thinks in the live position; the other one last
    // thought before its move.
    const plies = feed.game.moves.length, toMove = sideToMove(liveFen())
    feed.pvPly = {[toMove]: plies, [otherSide(toMove)]: plies - 1}
    feed.users = message.users
    feed.webViewers = message.webViewers
    feed.chat = message.chat.slice(-CHAT_LINES_KEPT)
    feed.chatAllowed = message.chatAllowed
    renderAll()
    if (pendingPly !== null) showPly(pendingPly)
    pendingPly = null
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
    renderPreview()
    playSound(String(move.san).includes("x"))
    if (shownPly === null) announce(moveText(ply))
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
            if (message.side !== "white" && message.side !== "black") break
            feed.pv[message.side] = message
            feed.pvPly[message.side] = feed.game.moves.length
            renderPv()
            if (shownPly === null) renderEngineView(feed.game.moves.length)
            break
        case "result":
            feed.game.result = message.result
            feed.game.reason = message.reason
            renderPlayers()
            renderClocks()
            announce(`Result ${message.result} ${message.reason}`.trim())
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
// that no longer fits the game, from a snapshot). A message of a shape the
// page cannot show counts as a gap too: it starts again from a snapshot.
function takeMessage(message, run) {
    try {
        return applyMessage(message, run)
    } catch {
        feed.run = null
        return "gap"
    }
}

function applyMessage(message, run) {
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
    if (!message || typeof message !== "object") return
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
// Left and right step through the game, Home and End go to its start and to
// the live position; typing in the chat form is left alone.
document.addEventListener("keydown", (event) => {
    if (event.target instanceof HTMLInputElement || event.altKey || event.ctrlKey || event.metaKey) return
    const button = {ArrowLeft: "previous", ArrowRight: "next", Home: "first", End: "live"}[event.key]
    if (button) {
        event.preventDefault()
        $(button).click()
    } else if (event.key === "Escape" && preview.side) {
        preview.kept = false
        pointPreview(null, null)
    }
})
window.addEventListener("hashchange", () => {
    const ply = plyInLink()
    if (ply === null) return
    if (feed.run === null) pendingPly = ply
    else showPly(ply)
})

$("sound").addEventListener("click", () => {
    soundOn = !soundOn
    try {
        audio ??= new AudioContext()
        audio.resume()
    } catch {
        soundOn = false
    }
    $("sound").setAttribute("aria-pressed", String(soundOn))
    $("sound").textContent = soundOn ? "Sound on" : "Sound off"
})

for (const element of document.querySelectorAll(".pv-line")) {
    const side = element.dataset.side
    const wordAt = (event) => {
        const index = event.target.closest?.(".pv-word")?.dataset.index
        return index === undefined ? null : Number(index)
    }
    element.addEventListener("pointerover", (event) => { if (!preview.kept) pointPreview(side, wordAt(event)) })
    element.addEventListener("pointerleave", () => { if (!preview.kept) pointPreview(null, null) })
    element.addEventListener("focus", () => { if (!preview.kept) pointPreview(side, null) })
    element.addEventListener("blur", () => { if (!preview.kept) pointPreview(null, null) })
    // A tap keeps the preview (a touch screen has no pointing); the same tap again drops it.
    const keep = (upTo) => {
        const same = preview.kept && preview.side === side && preview.upTo === upTo
        preview.kept = !same
        pointPreview(same ? null : side, upTo)
    }
    element.addEventListener("click", (event) => keep(wordAt(event)))
    element.addEventListener("keydown", (event) => {
        if (event.key !== "Enter" && event.key !== " ") return
        event.preventDefault()
        keep(null)
    })
}

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
document.body.classList.toggle("overlay", overlayMode)
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
