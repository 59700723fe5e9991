// The live game page: follows the server's WebSocket feed (a snapshot, then
// numbered deltas) and shows the board with an evaluation bar and the
// engines' best moves as arrows, clocks, the opening, moves, the engines'
// thinking (each line previewed on a small board), an evaluation graph and
// the chat. #ply=N opens the page at the position after ply N, #game=N (and
// #game=N&ply=M) at an earlier game of this run; ?overlay=1
// shows the board, clocks, players and evaluation bar alone on a transparent
// background, for a stream. Every text that comes from the server is
// put on the page as text (textContent), never parsed as HTML.
// Opened with ?nats=wss://HOST:PORT&channel=NAME it follows the same feed
// through NATS instead (docs/RELAY.md), read only. Opened with
// ?feed=ws://HOST:PORT/feed it follows that server's feed instead of its own
// origin's, and takes that server's PGN and tournament texts; &back=URL adds a
// link back to the page that sent the reader here (an event's grid).
// This file applies the feed's messages and ties the page's parts together:
// each part (board, moves, engines, graph, players, chat, tournament, sounds)
// is a module of its own.
import {FEN} from "./vendor/cm-chessboard/src/Chessboard.js"
import {CHANNEL_NAME, followChannel} from "./nats_follow.js"
import {sideToMove} from "./format.js"
import {$, announce, setConnection} from "./dom.js"
import {feedUrl, natsMode, overlayMode, pageQuery, safeLink, serverUrl} from "./sources.js"
import {currentPly, feed, lastFen, moveText, otherSide, shownGame, view} from "./game.js"
import {renderBoard, renderEngineView} from "./board.js"
import {renderMoves} from "./moves.js"
import {dropPreview, renderPreview, renderPv} from "./engines.js"
import {renderGraph} from "./graph.js"
import {renderCharts} from "./charts.js"
import {renderClocks, renderPlayers} from "./players.js"
import {CHAT_LINES_KEPT, renderChat, renderViewers, showChatError, takeChatForm} from "./chat.js"
import {playSound} from "./sounds.js"
import {takeSpoilerChoice} from "./spoilers.js"
import {earlierGames, refreshTourney} from "./tourney.js"

const RETRY_FIRST_MS = 1000
const RETRY_LAST_MS = 15000
const LINK = /^#(?:game=(\d{1,6}))?(?:&?ply=(\d{1,5}))?$/

let socket = null
let pendingLink = linkInAddress()   // shown once the game is there
let retryMs = RETRY_FIRST_MS
const fetchedGames = new Map()      // this run's earlier games read so far, by number

// #ply=N, #game=N or #game=N&ply=M: {game, ply}, either null; null for none.
function linkInAddress() {
    const match = LINK.exec(location.hash)
    if (!match || (!match[1] && !match[2])) return null
    return {game: match[1] ? Number(match[1]) : null, ply: match[2] ? Number(match[2]) : null}
}

// Shows the position after `ply` of the game shown (its last one from the
// last ply on), keeps the address in step with it, and tells screen readers
// which it is.
function showPly(ply) {
    const last = shownGame().moves.length
    view.shownPly = ply >= last ? null : Math.max(0, ply)
    renderBoard(false)
    renderMoves()
    renderGraph()
    const at = view.shownPly === null ? "" : `ply=${view.shownPly}`
    const hash = view.earlier ? `#game=${view.earlier.game}${at && "&" + at}` : at && `#${at}`
    history.replaceState(null, "", location.pathname + location.search + hash)
    const shown = currentPly()
    const live = view.shownPly === null && !view.earlier ? "Live: " : ""
    announce(shown === 0 ? "Start position" : `${live}${moveText(shown)}`)
}

// The earlier game numbered `number` of this run, from the server (null when
// it has none such, or cannot be reached).
async function earlierGame(number) {
    if (fetchedGames.has(number)) return fetchedGames.get(number)
    try {
        const reply = await fetch(serverUrl(`games/${number}.json`), {cache: "no-cache"})
        const game = reply.ok ? await reply.json() : null
        if (!game || game.game !== number || !Array.isArray(game.moves)) return null
        game.startFen ||= FEN.start
        fetchedGames.set(number, game)
        return game
    } catch {
        return null
    }
}

// Shows game `number` of this run at `ply` (null: its last position); the
// live game for its own number or null.
async function openGame(number, ply = null) {
    let game = null
    if (number !== null && number !== feed.game.game) {
        game = await earlierGame(number)
        if (!game) {
            announce(`Game ${number} is not available here`)
            $("shown-game").textContent = `Game ${number}: not available`
            return
        }
    }
    view.earlier = game
    view.shownPly = null
    renderAll()
    showPly(ply ?? shownGame().moves.length)
}

// This run's games, as numbers, oldest first: the earlier ones the server
// lists (or every number before the live one while it has told none) and the live one.
function runGameNumbers() {
    const listed = earlierGames().map((game) => game.game).filter((n) => n < feed.game.game)
    const before = listed.length ? listed : Array.from({length: Math.max(0, feed.game.game - 1)}, (_, k) => k + 1)
    return [...before, feed.game.game]
}

function stepGame(step) {
    const numbers = runGameNumbers()
    const at = numbers.indexOf(shownGame().game)
    const next = numbers[at === -1 ? numbers.length - 1 : at + step]
    if (next !== undefined && next !== shownGame().game) openGame(next)
}

// Which game is shown, and the note and buttons that go with an earlier one.
function renderGameChoice() {
    const game = shownGame()
    $("shown-game").textContent = game.game ? `Game ${game.game}${view.earlier ? "" : " (live)"}` : ""
    $("earlier-note").hidden = !view.earlier
    if (view.earlier) $("earlier-title").textContent = `Game ${game.game}, ${game.white.trim()} - ${game.black.trim()}`
    const numbers = runGameNumbers()
    $("previous-game").disabled = numbers.indexOf(game.game) === 0
    $("next-game").disabled = !view.earlier
}

function renderAll() {
    renderGameChoice()
    renderPlayers()
    renderBoard(false)
    renderMoves()
    renderClocks()
    renderPv()
    renderGraph()
    renderCharts()
    renderViewers()
    renderChat()
}

// --- the feed -------------------------------------------------------------------------

// A reader browsing a game stays where they are: on the same game (new names,
// a time control) at the same ply, and when a new game begins on the one
// before, as an earlier game. One who followed live goes on to the new one.
function takeGame(message) {
    const sameGame = message.game === feed.game.game
    if (!sameGame && !view.earlier && view.shownPly !== null && feed.game.game) {
        view.earlier = feed.game
        fetchedGames.set(feed.game.game, feed.game)
    }
    feed.game = {game: message.game, white: message.white, black: message.black, level: message.level,
        timeControl: message.timeControl, startFen: message.startFen || FEN.start, variant: message.variant ?? "standard",
        result: message.result,
        reason: message.reason, moves: message.moves}
    if (!sameGame) {
        feed.pv = {white: null, black: null}
        feed.pvPly = {white: -1, black: -1}
        feed.clock = null
    }
    const stillThere = sameGame && view.shownPly !== null && view.shownPly < message.moves.length
    if (!view.earlier && !stillThere) view.shownPly = null
}

function applySnapshot(message) {
    if (message.run !== feed.run) fetchedGames.clear()
    feed.run = message.run
    feed.version = message.version
    feed.site = message.site
    takeGame(message)
    feed.clock = message.clock
    feed.clockSince = performance.now()
    feed.pv = message.pv
    // The engine on move thinks in the live position; the other one last
    // thought before its move.
    const plies = feed.game.moves.length, toMove = sideToMove(lastFen(feed.game))
    feed.pvPly = {[toMove]: plies, [otherSide(toMove)]: plies - 1}
    feed.users = message.users
    feed.webViewers = message.webViewers
    feed.chat = message.chat.slice(-CHAT_LINES_KEPT)
    feed.chatAllowed = message.chatAllowed
    renderAll()
    refreshTourney()
    if (pendingLink) openGame(pendingLink.game, pendingLink.ply)
    pendingLink = null
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
    if (!view.earlier && view.shownPly !== null && view.shownPly >= ply) view.shownPly = null
    renderBoard(view.shownPly === null && !view.earlier)
    renderMoves()
    renderGraph()
    renderCharts()
    renderClocks()
    renderPreview()
    playSound(String(move.san).includes("x"))
    if (view.shownPly === null && !view.earlier) announce(moveText(ply))
    return true
}

// The GUI refused the last move: it leaves the game. False when that is not
// the last move here.
function applyTakeback(message) {
    const moves = feed.game.moves
    if (message.ply !== moves.length) return false
    moves.pop()
    if (!view.earlier && view.shownPly !== null && view.shownPly >= moves.length) view.shownPly = null
    renderBoard(view.shownPly === null && !view.earlier)
    renderMoves()
    renderGraph()
    renderCharts()
    return true
}

// Applies one delta; false when the client's game no longer fits it.
function applyDelta(message) {
    switch (message.type) {
        case "move":
            return applyMove(message)
        case "takeback":
            return applyTakeback(message)
        case "clock": {
            feed.clock = {white: message.white, black: message.black}
            feed.clockSince = performance.now()
            // It is also the clock of the move before, as a snapshot would
            // have it: the move came before the GUI told the time.
            const last = feed.game.moves.at(-1)
            if (last && last.clock == null) {
                last.clock = sideToMove(last.fen) === "black" ? message.white : message.black
                renderCharts()
            }
            renderClocks()
            break
        }
        case "pv":
            if (message.side !== "white" && message.side !== "black") break
            feed.pv[message.side] = message
            feed.pvPly[message.side] = feed.game.moves.length
            renderPv()
            if (view.shownPly === null && !view.earlier) renderEngineView(feed.game.moves.length)
            break
        case "result":
            feed.game.result = message.result
            feed.game.reason = message.reason
            renderPlayers()
            renderClocks()
            renderPv()
            if (!document.body.classList.contains("no-spoilers") && !view.earlier)
                announce(`Result ${message.result} ${message.reason}`.trim())
            refreshTourney(feed.game.game)
            break
        case "game": {
            const before = feed.game.game
            takeGame(message)
            renderAll()
            if (before && before !== feed.game.game) refreshTourney(before)
            break
        }
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
$("previous").addEventListener("click", () => showPly(currentPly() - 1))
$("next").addEventListener("click", () => showPly(currentPly() + 1))
$("live").addEventListener("click", () => view.earlier ? openGame(null) : showPly(feed.game.moves.length))
$("to-live-game").addEventListener("click", (event) => {
    event.preventDefault()
    openGame(null)
})
$("previous-game").addEventListener("click", () => stepGame(-1))
$("next-game").addEventListener("click", () => stepGame(1))
// Left and right step through the game, Home and End go to its start and to
// the live position, [ and ] to the game before and after; typing in the
// chat form is left alone.
document.addEventListener("keydown", (event) => {
    if (event.target instanceof HTMLInputElement || event.altKey || event.ctrlKey || event.metaKey) return
    const button = {ArrowLeft: "previous", ArrowRight: "next", Home: "first", End: "live",
        "[": "previous-game", "]": "next-game"}[event.key]
    if (button) {
        event.preventDefault()
        $(button).click()
    } else if (event.key === "Escape") {
        dropPreview()
    }
})
window.addEventListener("hashchange", () => {
    const link = linkInAddress()
    if (!link) return
    if (feed.run === null) pendingLink = link
    else if (link.game === null && !view.earlier) showPly(link.ply)
    else openGame(link.game ?? shownGame().game, link.ply)
})

takeChatForm(() => socket)

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

takeSpoilerChoice($("spoilers"))
new ResizeObserver(() => {
    renderGraph()
    renderCharts()
}).observe($("eval-graph"))
setInterval(renderClocks, 100)
renderAll()
if (natsMode) followNats()
else if (feedUrl) connect()
else setConnection("needs ?feed=ws://HOST:PORT/feed", false)
