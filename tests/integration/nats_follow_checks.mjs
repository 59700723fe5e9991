// The follower's checks of what reaches it (web/nats_follow.js), on a stand-in
// connection: anyone in the audience's account can aim a direct get's answer at
// the live subject or at a follower's inbox, so only the relay's messages and
// the answers asked for may count. Run with `node --test`.
import assert from "node:assert/strict"
import fs from "node:fs"
import test from "node:test"

const followerText = fs.readFileSync(new URL("../../web/nats_follow.js", import.meta.url), "utf8")
const {followChannel} = await import("data:text/javascript;base64," + Buffer.from(followerText).toString("base64"))

const RUN = "R1"
const STREAM = "LANTREL_FINAL", SUBJECT = "lantrel.final.events", KEY = "$KV.lantrel.final.snapshot"

function message(headers, body) {
    const h = new Map(Object.entries(headers))
    return {headers: {get: (k) => h.get(k) ?? "", has: (k) => h.has(k), code: 0, hasError: false},
        json: () => JSON.parse(body)}
}
const notFound = {headers: {get: () => "", has: () => false, code: 404, hasError: true}}
// As the relay publishes it; as a direct get answers with it.
const published = (body, version = body.version, id = `${RUN}.${version}${body.type === "snapshot" ? ".snapshot" : ""}`) =>
    message({"Lantrel-Run": RUN, "Lantrel-Version": String(version), "Nats-Msg-Id": id}, JSON.stringify(body))
const answer = (seq, inner, stream = STREAM, subject = SUBJECT) => {
    const m = message({"Nats-Stream": stream, "Nats-Subject": subject, "Nats-Sequence": String(seq)}, "")
    const get = m.headers.get, has = m.headers.has
    return {headers: {...m.headers, get: (k) => get(k) || inner.headers.get(k), has: (k) => has(k) || inner.headers.has(k)},
        json: inner.json}
}
const snapshot = {type: "snapshot", run: RUN, version: 5, moves: []}
const goodEntry = answer(10, {headers: message({}, "").headers, json: () => ({sequence: 10, snapshot})}, "KV_lantrel", KEY)
const move = (version) => ({type: "move", version, ply: version - 5})

// Follows on a stand-in connection until it is live or waiting; the versions taken.
async function follow({entry = goodEntry, stream = [answer(11, published(move(6)))]} = {}) {
    let push, closeIt, reached
    const closed = new Promise((resolve) => (closeIt = resolve))
    const nc = {
        subscribe: (subject, {callback}) => (push = (m) => callback(null, m)),
        // The bucket's entry, then the stream's answers in turn, whatever was asked.
        request: async (subject) => (subject === "$JS.API.DIRECT.GET.KV_lantrel" ? entry : stream.shift() ?? notFound),
        flush: async () => {},
        status: async function* () {},
        closed: () => closed,
    }
    const taken = [], states = []
    const settled = new Promise((resolve) => (reached = resolve))
    const done = followChannel(nc, "final", (m) => {
        taken.push(m.version)
        return "applied"
    }, (text) => {
        states.push(text)
        if (text === "live" || text.startsWith("waiting")) reached()
    })
    await settled
    return {taken, states, push, close: async () => {
        closeIt()
        await done
    }}
}

test("live: only the relay's messages count", async () => {
    const f = await follow()
    assert.deepEqual(f.taken, [5, 6])
    const forged = [
        answer(1, published(snapshot)),                                  // an old snapshot aimed at the subject
        message({}, JSON.stringify(move(7))),                            // no relay headers
        published(move(8), 7),                                           // header and body disagree
        published(move(7), 7, "R1.7.snapshot"),                          // a message id not its own
        message({"Lantrel-Run": RUN, "Lantrel-Version": "7", "Nats-Msg-Id": "R1.7"}, "{not json"),
        published({type: "snapshot", run: RUN, version: 7, moves: "e4"}), // a snapshot without moves
    ]
    for (const m of forged) f.push(m)
    assert.deepEqual(f.taken, [5, 6])
    f.push(published(move(7)))
    assert.deepEqual(f.taken, [5, 6, 7])
    await f.close()
})

test("catching up: only the answers asked for count", async () => {
    const cases = [
        {entry: answer(10, goodEntry, "KV_lantrel", "$KV.lantrel.other.snapshot"), taken: [], why: "elsewhere"},
        {entry: answer(10, published(move(3)), STREAM, SUBJECT), taken: [], why: "elsewhere"},
        {entry: answer(10, {headers: goodEntry.headers, json: () => ({sequence: "x", snapshot})}, "KV_lantrel", KEY),
            taken: [], why: "malformed"},
        {stream: [answer(11, published(move(6)), "LANTREL_OTHER")], taken: [5], why: "elsewhere"},
        {stream: [answer(9, published(move(6)))], taken: [5], why: "elsewhere"},  // before the sequence asked for
    ]
    for (const {why, taken, ...connection} of cases) {
        const f = await follow(connection)
        assert.deepEqual(f.taken, taken)
        assert.match(f.states.at(-1), new RegExp(`^waiting: .*${why}`))
        await f.close()
    }
})
