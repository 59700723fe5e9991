// Follows a channel that lantrel-relay publishes into NATS (docs/RELAY.md).
// The page uses it in NATS mode (with nats.ws) and
// tests/integration/nats_follow.mjs and bench/nats_subscribers.mjs over TCP
// (with nats): each hands in its connection and a function that takes each
// message of the feed.
//
// Everything comes through plain subscriptions, so a NATS node sends one copy
// to each of its followers and one copy to each node below it, however many
// follow, and a follower sends nothing at all: the live messages on
// lantrel.<NAME>.events, and, while it joins or after it missed something,
// the snapshot the relay sends about every second on lantrel.<NAME>.snapshot.
// The live messages wait until a snapshot has come; those after it are then
// applied.
//
// What arrives is checked all the same: a message counts only with the relay's
// headers and the shape of a feed message. Anything else is dropped, and never
// makes the follower start again.

const HELD_MOST = 10000      // live messages kept while a snapshot is awaited
const SNAPSHOT_LATE_MS = 5000

export const CHANNEL_NAME = /^[A-Za-z0-9_-]{1,32}$/

// Follows `channel` on the connection `nc` until it closes.
//  take(message, run): takes one message (`run` is the run it belongs to) and
//    answers "applied", "skipped" (already in the state) or "gap" (it does not
//    follow the state: wait for the next snapshot).
//  onState(text, live): "live" once the follower is up to date, else why not.
export async function followChannel(nc, channel, take, onState = () => {}) {
    const subject = `lantrel.${channel}.events`
    const snapshotSubject = `lantrel.${channel}.snapshot`
    let held = []            // live messages that wait for a snapshot; null when live
    let snapshots = null     // the snapshot subscription while one is awaited
    let lateTimer = null

    // Hands one message to `take`; "ignored" when it is no feed message as the
    // relay publishes it, or `snapshotOnly` and no snapshot.
    const takeMsg = (m, snapshotOnly = false) => {
        const run = m.headers?.get("Lantrel-Run") ?? ""
        const message = feedMessage(m, run)
        if (!message || (snapshotOnly && message.type !== "snapshot")) return "ignored"
        try {
            return take(message, run)
        } catch {
            return "gap"        // it did not fit the state: wait for the next snapshot
        }
    }
    const awaitSnapshot = () => {
        held ??= []
        onState("catching up", false)
        clearTimeout(lateTimer)
        lateTimer = setTimeout(() => onState("waiting: no snapshot from the relay yet", false), SNAPSHOT_LATE_MS)
        if (snapshots) return
        try {
            snapshots = nc.subscribe(snapshotSubject, {callback: (error, m) => {
                if (!error && held) takeSnapshot(m)
            }})
        } catch {
            // closed already
        }
    }
    // A snapshot, then the live messages held meanwhile: live when they follow on.
    const takeSnapshot = (m) => {
        if (["ignored", "gap"].includes(takeMsg(m, true))) return
        const waiting = held
        held = null
        for (const w of waiting) {
            if (takeMsg(w) === "gap") {
                awaitSnapshot()     // a live message was missed: the next snapshot
                return
            }
        }
        clearTimeout(lateTimer)
        snapshots?.unsubscribe()
        snapshots = null
        onState("live", true)
    }

    nc.subscribe(subject, {callback: (error, m) => {
        if (error || m.headers?.has("Nats-Stream")) return    // a stored message's copy: never the relay's
        if (held) {
            held.push(m)
            if (held.length > HELD_MOST) held.shift()        // older than any snapshot to come
        } else if (takeMsg(m) === "gap") {
            awaitSnapshot()
            held.push(m)
        }
    }})
    ;(async () => {
        for await (const status of nc.status()) {
            if (status.type === "reconnect") awaitSnapshot()   // what came meanwhile is lost
        }
    })()
    try {
        await nc.flush()    // the live subscription stands before the snapshot's
    } catch {
        // closed already
    }
    awaitSnapshot()
    await nc.closed()
    clearTimeout(lateTimer)
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
        typeof message.run === "string" && message.run === run &&
        isCount(message.version) && Array.isArray(message.moves)
}
