// The event page: many live boards on one page, each following its own feed,
// from a lantrel-server's /feed on any host or from a NATS channel through an
// edge (docs/WEB.md). The boards come from event.json beside the page, or from
// the address given with ?event=URL:
//   {"title": "Club championship, round 3",
//    "boards": [{"name": "Board 1", "feed": "ws://192.168.1.21:8080/feed"},
//               {"name": "Board 2", "feed": {"nats": "wss://edge.example.org:443", "channel": "board2"}}]}
// A board opens in full on the single-board page. Each board connects, resumes
// and reconnects on its own: one whose server stops says so while the others
// go on. Every text from event.json or a feed goes on the page as text.
import {Chessboard, FEN} from "./vendor/cm-chessboard/src/Chessboard.js"
import {Markers} from "./vendor/cm-chessboard/src/extensions/markers/Markers.js"
import {CHANNEL_NAME, followChannel} from "./nats_follow.js"
import {formatClock, formatScore, sideToMove} from "./format.js"
import {KeptUpBoard} from "./kept_up_board.js"
import {takeSpoilerChoice} from "./spoilers.js"
import {fetchTourney, standingsTable} from "./tourney_tables.js"

const MAX_BOARDS = 64
const MAX_NAME = 80
const RETRY_FIRST_MS = 1000
const RETRY_LAST_MS = 15000
const BAR_LIMIT_PAWNS = 6
const LAST_MOVE_MARKER = {class: "marker-last-move", slice: "markerSquare"}
const SQUARE = /^[a-h][1-8]$/
const PLACEMENT_AND_SIDE = /^([pnbrqkPNBRQK1-8]{1,8}\/){7}[pnbrqkPNBRQK1-8]{1,8} [wb](\s|$)/
const pageQuery = new URLSearchParams(location.search)

const text = (value, limit = MAX_NAME) => (typeof value === "string" ? value : "").slice(0, limit)

// A feed's WebSocket address: ws:// or wss://, or the address of a server's
// page (http:// or https://), whose feed is "feed" beside it. Null for
// anything else.
function feedUrl(address) {
    let url
    try {
        url = new URL(address)
    } catch {
        return null
    }
    if (url.protocol === "http:" || url.protocol === "https:") {
        url = new URL("feed", url)
        url.protocol = url.protocol === "https:" ? "wss:" : "ws:"
    }
    // With a user name, the single-board page would refuse it: refused here too.
    return (url.protocol === "ws:" || url.protocol === "wss:") && !url.username && !url.password ? url : null
}

// One board of the event: its card on the page and the game its feed tells.
class EventBoard {
    constructor(spec, card) {
        this.card = card
        this.part = (name) => card.querySelector(name)
        this.part(".event-board-name").textContent = text(spec.name) || "Board"
        this.chessboard = new Chessboard(this.part(".board"), {
            position: FEN.start,
            assetsUrl: "vendor/cm-chessboard/assets/",
            style: {animationDuration: 0, showCoordinates: false},
            extensions: [{class: Markers, props: {autoMarkers: null}}],
        })
        this.drawing = new KeptUpBoard(this.chessboard, (ply) => this.markLastMove(ply))
        this.run = null
        this.version = 0
        this.game = {number: 0, white: "", black: "", startFen: FEN.start, result: "", reason: "", moves: []}
        this.clock = null
        this.clockSince = 0
        // What each engine last said, in centipawns from White's view, or null.
        this.scores = {white: null, black: null}
        this.retryMs = RETRY_FIRST_MS
        this.blocked = false
        this.render()
    }

    setState(state, words) {
        this.card.dataset.state = state
        this.part(".event-board-status").textContent = words
        this.part(".event-board-status").classList.toggle("up", state === "live")
    }

    // --- the game --------------------------------------------------------------

    fen() {
        const moves = this.game.moves
        return moves.length ? moves[moves.length - 1].fen : this.game.startFen
    }

    takeGame(message) {
        const moves = message.moves.map((move) => this.checkedMove(move))
        if (message.game !== this.game.number) this.clock = null
        this.game = {number: message.game, white: text(message.white), black: text(message.black), moves,
            startFen: this.checkedFen(message.startFen || FEN.start),
            result: text(message.result, 8), reason: text(message.reason)}
        this.scores = {white: null, black: null}
        for (const move of moves) this.takeScore(move)
    }

    checkedFen(fen) {
        if (typeof fen !== "string" || !PLACEMENT_AND_SIDE.test(fen)) throw new Error("not a position")
        return fen
    }

    checkedMove(move) {
        return {fen: this.checkedFen(move.fen), san: text(move.san, 12),
            from: SQUARE.test(move.from) ? move.from : "", to: SQUARE.test(move.to) ? move.to : "",
            score: Number.isFinite(move.score) ? move.score : null}
    }

    // The score a move carried (its mover's own view), as its engine's latest.
    takeScore(move) {
        const mover = sideToMove(move.fen) === "black" ? "white" : "black"
        if (move.score !== null) this.takeThinking(mover, move.score)
    }

    takeThinking(side, score) {
        if (Number.isFinite(score)) this.scores[side] = side === "white" ? score : -score
    }

    // Applies a delta; false when the game here no longer fits it.
    applyDelta(message) {
        const moves = this.game.moves
        switch (message.type) {
            case "move": {
                if (message.ply > moves.length + 1 || message.ply < 1) return false
                const move = this.checkedMove(message)
                const mover = sideToMove(move.fen) === "white" ? "black" : "white"
                if (this.clock && Number.isFinite(message.clock)) this.clock[mover] = message.clock
                this.clockSince = performance.now()
                moves.length = message.ply - 1       // a move taken back is replaced
                moves.push(move)
                this.takeScore(move)
                return true
            }
            case "takeback":
                if (message.ply !== moves.length) return false
                moves.pop()
                return true
            case "clock":
                this.clock = {white: message.white, black: message.black}
                this.clockSince = performance.now()
                return true
            case "pv":
                if (message.side === "white" || message.side === "black") this.takeThinking(message.side, message.score)
                return true
            case "result":
                this.game.result = text(message.result, 8)
                this.game.reason = text(message.reason)
                readStandingsSoon()
                return true
            case "game":
                this.takeGame(message)
                return true
        }
        return true       // chat and viewers: not shown here
    }

    // Takes one message of the feed, as the single-board page does: a snapshot
    // replaces the state, a delta of the same run and the next version is
    // applied, an older one is in the state already, anything else is a gap
    // (start again: resume, or a snapshot).
    take(message, run) {
        if (message === null || typeof message !== "object") return "skipped"
        if (message.type === "snapshot") {
            if (typeof message.run !== "string" || !Number.isSafeInteger(message.version)) return "gap"
            this.takeGame(message)
            const toMove = sideToMove(this.fen())
            this.takeThinking(toMove, message.pv?.[toMove]?.score)
            this.run = message.run
            this.version = message.version
            this.clock = message.clock && {white: message.clock.white, black: message.clock.black}
            this.clockSince = performance.now()
        } else if (this.run === null || run !== this.run || message.version !== this.version + 1) {
            if (this.run !== null && run === this.run && message.version <= this.version) return "skipped"
            return "gap"
        } else if (this.applyDelta(message)) {
            this.version = message.version
        } else {
            this.run = null
            return "gap"
        }
        this.render()
        return "applied"
    }

    // A message that does not have the shape it should is a gap too.
    takeSafely(message, run) {
        try {
            return this.take(message, run)
        } catch {
            this.run = null
            return "gap"
        }
    }

    // --- showing it ----------------------------------------------------------------

    render() {
        const {game} = this
        const fen = this.fen()
        this.card.dataset.fen = fen
        this.card.dataset.ply = String(game.moves.length)
        this.card.dataset.result = game.result
        // Handed only the positions that changed, the board draws the latest.
        if (fen !== this.drawnFen) this.drawing.show(fen, game.moves.length, false)
        this.drawnFen = fen
        const last = game.moves[game.moves.length - 1]
        // Until its feed has told a game, a board shows its name and its
        // state, not players of nobody's naming.
        this.card.classList.toggle("no-game", this.run === null && game.number === 0)
        this.part(".white .name").textContent = game.white || "White"
        this.part(".black .name").textContent = game.black || "Black"
        this.part(".last-move").textContent = last ? this.moveText(game.moves.length, last.san) : ""
        this.part(".result").textContent = game.result
        this.part(".result").title = game.reason
        // A bar for each engine, White's above, each in White's view: one for
        // both would jump between their opinions every ply.
        const said = {white: "", black: ""}
        for (const side of ["white", "black"]) {
            const score = this.scores[side]
            said[side] = score === null ? "–" : formatScore(score)
            const pawns = score === null ? 0 : Math.max(-BAR_LIMIT_PAWNS, Math.min(BAR_LIMIT_PAWNS, score / 100))
            const bar = this.part(`.eval-bar[data-side=${side}]`)
            bar.querySelector(".eval-white").style.width = `${50 + 50 * pawns / BAR_LIMIT_PAWNS}%`
            bar.classList.toggle("unknown", score === null)
        }
        const known = this.scores.white !== null || this.scores.black !== null
        this.part(".eval").textContent = known ? `${said.white} · ${said.black}` : ""
        this.part(".eval").title = known ? `${game.white || "White"}: ${said.white}, ${game.black || "Black"}: ` +
            `${said.black} (White's view)` : ""
        this.card.setAttribute("aria-label", `${this.part(".event-board-name").textContent}: ` +
            `${game.white || "White"} - ${game.black || "Black"} ${game.result}`)
        this.renderClocks()
    }

    // Marked once the piece stands on its square.
    markLastMove(ply) {
        this.chessboard.removeMarkers(LAST_MOVE_MARKER)
        const move = this.game.moves[ply - 1]
        if (move?.from && move?.to) {
            this.chessboard.addMarker(LAST_MOVE_MARKER, move.from)
            this.chessboard.addMarker(LAST_MOVE_MARKER, move.to)
        }
    }

    // "23. Qh5" or "23... Qh5"; the feed's positions carry no move numbers, so
    // they count from the start position's (1 unless it names another).
    moveText(ply, san) {
        const [, side, , , , number] = this.game.startFen.split(" ")
        const half = ply - 1 + (side === "b" ? 1 : 0)
        const moveNumber = (Number(number) || 1) + Math.floor(half / 2)
        return `${moveNumber}${half % 2 === 0 ? "." : "..."} ${san}`
    }

    renderClocks() {
        const toMove = sideToMove(this.fen())
        const running = this.clock && !this.game.result && this.card.dataset.state === "live" ? toMove : null
        for (const side of ["white", "black"]) {
            let left = this.clock?.[side]
            if (Number.isFinite(left) && side === running) left -= (performance.now() - this.clockSince) / 10
            this.part(`.${side} .clock`).textContent = Number.isFinite(left) ? formatClock(left) : "-:--"
            this.part(`.${side} .clock`).classList.toggle("running", side === running)
            this.part(`.player.${side}`).classList.toggle("to-move", side === toMove && !this.game.result)
        }
    }

    // --- following a server's feed ---------------------------------------------------

    followFeed(url) {
        const address = new URL(url)
        if (this.run !== null) {
            address.searchParams.set("run", this.run)
            address.searchParams.set("since", String(this.version))
        }
        let socket, opened = false
        try {
            socket = new WebSocket(address)
        } catch (error) {
            this.setState("down", `cannot connect: ${error.message}`)
            return
        }
        socket.addEventListener("open", () => {
            opened = true
            this.retryMs = RETRY_FIRST_MS
            this.setState("live", "live")
        })
        socket.addEventListener("message", (event) => {
            let message
            try {
                message = JSON.parse(event.data)
            } catch {
                return
            }
            if (this.takeSafely(message, this.run) === "gap") socket.close()
        })
        socket.addEventListener("close", () => {
            if (this.blocked) return
            const seconds = Math.round(this.retryMs / 1000)
            this.setState("down", opened ? `connection lost, again in ${seconds} s`
                : `server not reached, again in ${seconds} s`)
            this.renderClocks()
            setTimeout(() => this.followFeed(url), this.retryMs)
            this.retryMs = Math.min(this.retryMs * 2, RETRY_LAST_MS)
        })
    }

    // A channel through NATS, with the follower the single-board page uses; the
    // NATS client loads only when a board needs it.
    async followNats(servers, channel) {
        try {
            const {connect} = await import("./vendor/nats.ws/esm/nats.js")
            const nc = await connect({servers, waitOnFirstConnect: true, maxReconnectAttempts: -1})
            ;(async () => {
                for await (const status of nc.status()) {
                    if (status.type === "disconnect") this.setState("down", "connection lost, reconnecting")
                }
            })()
            await followChannel(nc, channel, (message, run) => this.takeSafely(message, run),
                (words, live) => this.setState(live ? "live" : words === "catching up" ? "connecting" : "down", words))
        } catch (error) {
            this.setState("down", `NATS: ${error.message}`)
        }
    }
}



// The board's feed from event.json: {url} for a server's feed, {servers,
// channel} for a NATS channel, or {problem}.
function readFeed(feed) {
    if (feed === undefined || feed === null) return {problem: "it names no feed"}
    if (typeof feed === "string") {
        const url = feedUrl(feed)
        return url ? {url} : {problem: "its feed is no ws://, wss://, http:// or https:// address"}
    }
    const servers = typeof feed?.nats === "string" ? feed.nats.split(",") : feed?.nats
    if (!Array.isArray(servers) || servers.length === 0 ||
        !servers.every((server) => typeof server === "string" && /^wss?:\/\/[^\s]+$/.test(server)))
        return {problem: "its NATS servers are no ws:// or wss:// addresses"}
    if (!CHANNEL_NAME.test(feed.channel ?? "")) return {problem: "its NATS channel is no channel name"}
    return {servers, channel: feed.channel}
}

// Where a board opens in full: the single-board page on the same feed, with a
// way back here.
function fullViewHref(feed) {
    const query = feed.url ? {feed: feed.url.href} : {nats: feed.servers.join(","), channel: feed.channel}
    return "index.html?" + new URLSearchParams({...query, back: location.href})
}

async function loadEvent() {
    const status = document.getElementById("event-status")
    let source
    try {
        source = new URL(pageQuery.get("event") ?? "event.json", location.href)
    } catch {
        source = null
    }
    if (!source || !["http:", "https:"].includes(source.protocol)) {
        status.textContent = "?event= takes an http:// or https:// address"
        return
    }
    let event
    try {
        const reply = await fetch(source, {cache: "no-cache"})
        if (reply.status === 404 && !pageQuery.has("event")) {
            status.textContent = "No event here yet: the boards are listed in an event.json beside event.html."
            return
        }
        if (!reply.ok) throw new Error(`the server answered ${reply.status}`)
        event = await reply.json()
        if (event === null || typeof event !== "object" || !Array.isArray(event.boards))
            throw new Error("it lists no boards")
    } catch (error) {
        // A file of another site that the browser could not fetch: this
        // server's security policy lets the page read only what it names.
        const elsewhere = source.origin !== location.origin && error instanceof TypeError
        status.textContent = `${source.pathname.split("/").pop() || "event"} cannot be read: ` + (elsewhere
            ? `this server's page reads files of other sites only from those on its WEBEVENTFEEDS= (add ${source.origin} there), and that site must let other pages read it`
            : error.message)
        return
    }
    const title = text(event.title, 200) || "Lantrel event"
    document.getElementById("event-title").textContent = title
    document.title = title
    const specs = event.boards.slice(0, MAX_BOARDS)
    status.textContent = `the first ${MAX_BOARDS} of ${event.boards.length} boards`
    status.hidden = event.boards.length <= MAX_BOARDS
    // The NATS servers this server's operator lists (WEBNATS=), as for the single page.
    const feeds = specs.map((spec) => readFeed(spec?.feed))
    let natsAllowed = []
    if (feeds.some((feed) => feed.servers)) {
        try {
            natsAllowed = (await (await fetch("nats.json", {cache: "no-cache"})).json()).servers ?? []
        } catch {
            natsAllowed = []
        }
    }
    const template = document.getElementById("board-card")
    const grid = document.getElementById("event-grid")
    const boards = []
    specs.forEach((spec, index) => {
        const card = template.content.firstElementChild.cloneNode(true)
        grid.append(card)
        const board = new EventBoard(spec ?? {}, card)
        const feed = feeds[index]
        if (feed.problem) return board.setState("down", `not followed: ${feed.problem}`)
        if (feed.servers && !feed.servers.every((server) => natsAllowed.includes(server)))
            return board.setState("down", "not followed: this server does not list that NATS server")
        card.href = fullViewHref(feed)
        boards.push(board)
        board.feed = feed
        if (feed.url) board.followFeed(feed.url.href)
        else board.followNats(feed.servers, feed.channel)
    })
    // A feed this server's security policy does not let the page reach (it is
    // not on WEBEVENTFEEDS=): the board says so instead of trying again.
    document.addEventListener("securitypolicyviolation", (violation) => {
        for (const board of boards) {
            if (board.feed.url && violation.blockedURI.startsWith(board.feed.url.origin)) {
                board.blocked = true
                board.setState("down", `not allowed: add ${board.feed.url.origin} to WEBEVENTFEEDS= on this server`)
            }
        }
    })
    setInterval(() => boards.forEach((board) => board.renderClocks()), 250)
}

// The standings of this server's tournament (/tourney.json), under the
// boards: read at once, a moment after each result on any board (the
// server counts it once it has it, the GUI saves it a little later), and
// now and then.
const STANDINGS_AFTER_RESULT_MS = [1000, 5000]
const STANDINGS_REREAD_MS = 15000

async function readStandings() {
    const doc = await fetchTourney(new URL("tourney.json", location.href))
    if (!doc) return
    const section = document.getElementById("event-standings")
    section.hidden = doc.standings.length === 0
    section.replaceChildren(...(doc.standings.length ? [standingsTable(doc)] : []))
}

function readStandingsSoon() {
    for (const delay of STANDINGS_AFTER_RESULT_MS) setTimeout(readStandings, delay)
}

takeSpoilerChoice(document.getElementById("spoilers"))
loadEvent()
readStandings()
setInterval(readStandings, STANDINGS_REREAD_MS)
