// The follower (web/nats_follow.js) on a stand-in connection: it joins with the
// first snapshot the relay sends and the live messages after it, waits for the
// next snapshot after a version missing or a reconnection, and takes only the
// relay's messages. Run with `node --test`.
import assert from "node:assert/strict"
import fs from "node:fs"
import test from "node:test"

const followerText = fs.readFileSync(new URL("../../web/nats_follow.js", import.meta.url), "utf8")
const {followChannel} = await import("data:text/javascript;base64," + Buffer.from(followerText).toString("base64"))

const RUN = "R1"
const EVENTS = "lantrel.final.events", SNAPSHOT = "lantrel.final.snapshot"

function message(headers, body) {
    const h = new Map(Object.entries(headers))
    return {headers: {get: (k) => h.get(k) ?? "", has: (k) => h.has(k)}, json: () => JSON.parse(body)}
}
// As the relay publishes it.
const published = (body, version = body.version, id = `${RUN}.${version}${body.type === "snapshot" ? ".snapshot" : ""}`) =>
    message({"Lantrel-Run": RUN, "Lantrel-Version": String(version), "Nats-Msg-Id": id}, JSON.stringify(body))
const snapshot = (version) => published({type: "snapshot", run: RUN, version, moves: []})
const move = (version) => published({type: "move", version, ply: version})

// Follows on a stand-in connection; `send(subject, m)` delivers a message to
// what the follower subscribes to, `status` a connection event.
async function follow() {
    const subscribed = new Map()
    let closeIt, statusIt
    const closed = new Promise((resolve) => (closeIt = resolve))
    const nc = {
        subscribe: (subject, {callback}) => {
            subscribed.set(subject, callback)
            return {unsubscribe: () => subscribed.delete(subject)}
        },
        flush: async () => {},
        status: async function* () {
            for (;;) yield await new Promise((resolve) => (statusIt = resolve))
        },
        closed: () => closed,
    }
    const f = {taken: [], states: [], subscribed, version: -1}
    const done = followChannel(nc, "final", (m) => {
        if (m.type !== "snapshot" && m.version <= f.version) return "skipped"
        if (m.type !== "snapshot" && m.version !== f.version + 1) return "gap"
        f.version = m.version
        f.taken.push(m.version)
        return "applied"
    }, (text) => f.states.push(text))
    await new Promise((resolve) => setImmediate(resolve))
    f.send = (subject, m) => subscribed.get(subject)?.(null, m)
    f.status = (type) => statusIt({type})
    f.close = async () => {
        closeIt()
        await done
    }
    return f
}

// Messages that are not the relay's as they are, on either subject.
const forged = [
    message({}, JSON.stringify({type: "snapshot", run: RUN, version: 9, moves: []})),   // no relay headers
    published({type: "snapshot", run: RUN, version: 9, moves: []}, 8),                // header and body disagree
    published({type: "snapshot", run: RUN, version: 9, moves: []}, 9, "R1.9"),        // a message id not its own
    published({type: "snapshot", run: "R2", version: 9, moves: []}),                  // another run than its header's
    published({type: "snapshot", run: RUN, version: 9, moves: "e4"}),                 // a snapshot without moves
    message({"Lantrel-Run": RUN, "Lantrel-Version": "9", "Nats-Msg-Id": "R1.9.snapshot"}, "{not json"),
]

test("joining: the first snapshot, then the live messages after it", async () => {
    const f = await follow()
    assert.ok(f.subscribed.has(SNAPSHOT))
    for (const v of [4, 5, 6]) f.send(EVENTS, move(v))           // held until a snapshot comes
    for (const m of [...forged, move(0)]) f.send(SNAPSHOT, m)    // no snapshot as the relay sends it
    assert.deepEqual(f.taken, [])
    f.send(SNAPSHOT, snapshot(5))
    assert.deepEqual(f.taken, [5, 6])
    assert.equal(f.states.at(-1), "live")
    assert.ok(!f.subscribed.has(SNAPSHOT))                       // no more snapshots once live
    for (const m of forged) f.send(EVENTS, m)
    const copy = move(7)
    copy.headers.has = (k) => k === "Nats-Stream"                 // a stored message's copy
    f.send(EVENTS, copy)
    assert.deepEqual(f.taken, [5, 6])
    f.send(EVENTS, move(7))
    assert.deepEqual(f.taken, [5, 6, 7])
    await f.close()
})

test("a version missing or a reconnection: wait for the next snapshot", async () => {
    for (const miss of [(f) => f.send(EVENTS, move(4)), (f) => f.status("reconnect")]) {
        const f = await follow()
        f.send(SNAPSHOT, snapshot(2))
        assert.equal(f.states.at(-1), "live")
        miss(f)
        await new Promise((resolve) => setImmediate(resolve))
        assert.equal(f.states.at(-1), "catching up")
        assert.ok(f.subscribed.has(SNAPSHOT))
        f.send(EVENTS, move(6))
        f.send(SNAPSHOT, snapshot(4))             // 5 missing still: wait on
        assert.equal(f.states.at(-1), "catching up")
        f.send(EVENTS, move(7))
        f.send(SNAPSHOT, snapshot(6))
        assert.deepEqual(f.taken.slice(-2), [6, 7])
        assert.equal(f.states.at(-1), "live")
        await f.close()
    }
})
