// Follows a channel that lantrel-relay publishes into NATS (docs/RELAY.md).
// The page uses it in NATS mode (with nats.ws) and
// tests/integration/nats_follow.mjs and bench/nats_subscribers.mjs over TCP
// (with nats): each hands in its connection and a function that takes each
// message of the feed.
//
// The live messages come through a plain subscription, so a NATS node sends
// one copy to each of its followers and one copy to each node below it, however
// many follow. What a follower missed (it joined, reconnected, or found a
// version missing) comes from the stream with direct gets: the bucket's
// snapshot, then each message after it, while the live ones wait. No follower
// makes a consumer, so a browser needs no right beyond reading.
//
// Nothing that arrives is taken on trust. Anyone in the audience's account can
// aim a direct get's answer at any subject of it, the channel's live subject
// and other followers' inboxes included (docs/RELAY.md): a live message counts
// only with the relay's headers and the shape of a feed message, and an answer
// only when it comes from the stream and subject asked for. Anything else is
// dropped, and never starts a catch-up.

const RETRY_FIRST_MS = 1000
const RETRY_LAST_MS = 15000
const REQUEST_TIMEOUT_MS = 5000

export const CHANNEL_NAME = /^[A-Za-z0-9_-]{1,32}$/

// Follows `channel` on the connection `nc` until it closes.
//  take(message, run): takes one message (`run` is the run it belongs to) and
//    answers "applied", "skipped" (already in the state) or "gap" (it does not
//    follow the state: catch up again from the bucket's snapshot).
//  onState(text, live): "live" once the follower is up to date, else why not.
export async function followChannel(nc, channel, take, onState = () => {}) {
    const stream = "LANTREL_" + channel.toUpperCase()
    const subject = `lantrel.${channel}.events`
    const encoder = new TextEncoder()
    let closed = false
    let held = []            // live messages that wait while catching up; null when live
    let catchUpWanted = true
    let wake = () => {}
    let retryTimer = null

    // Hands one message of the stream to `take`; "ignored" when it is no feed
    // message as the relay publishes it.
    const takeMsg = (m) => {
        const run = m.headers?.get("Lantrel-Run") ?? ""
        const message = feedMessage(m, run)
        if (!message) return "ignored"
        try {
            return take(message, run)
        } catch {
            return "gap"        // it did not fit the state: catch up from the snapshot
        }
    }
    const catchUpAgain = () => {
        held ??= []
        catchUpWanted = true
        wake()
    }
    // A message of `streamName` on `subjectName` by a direct get; null when there
    // is none. An answer from another stream or subject, or before `fromSeq`, is
    // refused (a stray or forged one).
    const directGet = async (streamName, subjectName, request, fromSeq = 0) => {
        const m = await nc.request(`$JS.API.DIRECT.GET.${streamName}`, encoder.encode(JSON.stringify(request)),
            {timeout: REQUEST_TIMEOUT_MS})
        if (m.headers?.code === 404) return null
        if (m.headers?.hasError) throw new Error(`${m.headers.code} ${m.headers.description}`)
        const seq = Number(m.headers?.get("Nats-Sequence"))
        if (m.headers?.get("Nats-Stream") !== streamName || m.headers.get("Nats-Subject") !== subjectName ||
            !Number.isSafeInteger(seq) || seq < fromSeq)
            throw new Error("an answer from elsewhere than asked")
        return m
    }
    const catchUp = async () => {
        const key = `$KV.lantrel.${channel}.snapshot`
        const entry = snapshotEntry(await directGet("KV_lantrel", key, {last_by_subj: key}))
        if (!entry) throw new Error("no snapshot of this channel yet")
        if (take(entry.snapshot, entry.snapshot.run) === "gap") throw new Error("the snapshot was not taken")
        for (let seq = entry.sequence + 1; ; seq++) {
            const m = await directGet(stream, subject, {seq, next_by_subj: subject}, seq)
            if (!m) break
            seq = Number(m.headers.get("Nats-Sequence"))
            if (takeMsg(m) === "gap") throw new Error("the stream does not go on from the snapshot")
        }
        // No await from here on: every live message is either held or comes after.
        const waiting = held
        held = null
        for (const m of waiting) {
            if (takeMsg(m) === "gap") {
                held = []
                throw new Error("a live message was missed")
            }
        }
    }

    nc.subscribe(subject, {callback: (error, m) => {
        if (error || m.headers?.has("Nats-Stream")) return    // a direct get's answer aimed here
        if (held) held.push(m)
        else if (takeMsg(m) === "gap") catchUpAgain()
    }})
    ;(async () => {
        for await (const status of nc.status()) {
            if (status.type === "reconnect") catchUpAgain()   // what came meanwhile is lost
        }
    })()
    nc.closed().then(() => {
        closed = true
        clearTimeout(retryTimer)
        wake()
    })
    let retryMs = RETRY_FIRST_MS
    try {
        await nc.flush()    // the subscription stands before the snapshot is read
    } catch {
        // closed already
    }
    while (!closed) {
        if (!catchUpWanted) {
            await new Promise((resolve) => (wake = resolve))
            continue
        }
        catchUpWanted = false
        try {
            onState("catching up", false)
            await catchUp()
            retryMs = RETRY_FIRST_MS
            onState("live", true)
        } catch (error) {
            if (closed) break
            onState(`waiting: ${error.message}`, false)
            await new Promise((resolve) => (retryTimer = setTimeout(wake = resolve, retryMs)))
            retryMs = Math.min(retryMs * 2, RETRY_LAST_MS)
            held ??= []
            catchUpWanted = true
        }
    }
    onState("closed", false)
}

const isCount = (value) => Number.isSafeInteger(value) && value >= 0

// The feed message a message of the stream carries, or null: JSON with a type
// and a version, under the relay's headers (Lantrel-Run, Lantrel-Version and
// the Nats-Msg-Id made of them); a snapshot names the same run.
function feedMessage(m, run) {
    const version = m.headers?.get("Lantrel-Version") ?? ""
    if (!run || !/^[0-9]{1,15}$/.test(version)) return null
    let message
    try {
        message = m.json()
    } catch {
        return null
    }
    if (message === null || typeof message !== "object" || typeof message.type !== "string" ||
        message.version !== Number(version))
        return null
    const snapshot = message.type === "snapshot"
    if (m.headers.get("Nats-Msg-Id") !== `${run}.${version}${snapshot ? ".snapshot" : ""}`) return null
    if (snapshot && !isSnapshot(message, run)) return null
    return message
}

function isSnapshot(message, run) {
    return message !== null && typeof message === "object" && message.type === "snapshot" &&
        typeof message.run === "string" && message.run !== "" && (run === undefined || message.run === run) &&
        isCount(message.version) && Array.isArray(message.moves)
}

// The bucket's entry ({"sequence":N,"snapshot":{...}}), or null when it has
// none; an entry of another shape is refused.
function snapshotEntry(m) {
    if (!m) return null
    let entry
    try {
        entry = m.json()
    } catch {
        throw new Error("the bucket's snapshot is no JSON")
    }
    if (entry === null || typeof entry !== "object" || !isCount(entry.sequence) || !isSnapshot(entry.snapshot))
        throw new Error("the bucket's snapshot is malformed")
    return entry
}
