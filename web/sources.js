// Where the page takes the game from, as its address asks: this origin's
// feed, another server's (?feed=), or a NATS channel (?nats=); and the server
// behind the feed, for its PGN and tournament texts.
export const pageQuery = new URLSearchParams(location.search)
export const natsMode = pageQuery.has("nats")
export const overlayMode = pageQuery.get("overlay") === "1"

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

export const feedUrl = chooseFeedUrl(pageQuery.get("feed"))

// An address of the server whose feed the page follows (`games.pgn`,
// `crosstable.txt`), beside its /feed: the feed's own host over http(s).
export function serverUrl(name) {
    const base = new URL(feedUrl ?? location.href)
    if (base.protocol === "ws:") base.protocol = "http:"
    if (base.protocol === "wss:") base.protocol = "https:"
    return new URL(name, base)
}

// A link the query string asks for, when it is http(s) (relative ones are
// taken against this page); null for anything else (javascript:, data:...).
export function safeLink(text) {
    if (!text) return null
    try {
        const url = new URL(text, location.href)
        return url.protocol === "http:" || url.protocol === "https:" ? url.href : null
    } catch {
        return null
    }
}
