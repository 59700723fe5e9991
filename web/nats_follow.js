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

    const takeMsg = (m) => {
        let message
        try {
            message = m.json()
        } catch {
            return "skipped"    // not JSON: the version after it tells whether anything is missing
        }
        return take(message, m.headers?.get("Lantrel-Run") ?? "")
    }
    const catchUpAgain = () => {
        held ??= []
        catchUpWanted = true
        wake()
    }
    // A message of a stream by a direct get; null when there is none.
    const directGet = async (streamName, request) => {
        const m = await nc.request(`$JS.API.DIRECT.GET.${streamName}`, encoder.encode(JSON.stringify(request)),
            {timeout: REQUEST_TIMEOUT_MS})
        if (m.headers?.code === 404) return null
        if (m.headers?.hasError) throw new Error(`${m.headers.code} ${m.headers.description}`)
        return m
    }
    const catchUp = async () => {
        const entry = await directGet("KV_lantrel", {last_by_subj: `$KV.lantrel.${channel}.snapshot`})
        if (!entry) throw new Error("no snapshot of this channel yet")
        const {sequence, snapshot} = entry.json()
        take(snapshot, snapshot.run)
        for (let seq = sequence + 1; ; seq++) {
            const m = await directGet(stream, {seq, next_by_subj: subject})
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
        if (error) return
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
