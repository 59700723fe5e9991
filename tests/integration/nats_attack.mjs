// The hostile browser of nats_relay_test.sh. On every node a browser reaches
// (the hub and the edge), one connection as the public browser user listens on
// every subject it may subscribe to (the channel's live messages and snapshot,
// and wildcards over them and over inboxes), while another, on each node, tries
// to make something reach it:
//  - JetStream and system requests (direct gets of the stream and the bucket,
//    a stored message, account and user information) with the reply subject
//    aimed at each of those subjects and wildcards: a service's answer goes out
//    on whatever reply subject the requester names;
//  - plain messages with the relay's headers published on them.
// Nothing of it may reach the listener: not a copy of a stored message, not a
// message the relay already sent, not one it never sent. The listeners must go
// on getting the relay's own messages meanwhile (the followers of
// nats_relay_test.sh check that the game comes through whole). Then on the
// edge: more subscriptions than the account allows (its monitoring port tells
// how many it holds) and a message larger than it allows (refused, and the
// connection closed). Every node must still answer at the end.
//   node nats_attack.mjs --npm DIR --servers nats://HUB,nats://EDGE --monitor http://EDGE_HTTP
//        --channel NAME --max-subscriptions N --max-payload N
// Prints "reached the listeners: N messages"; exit status 0 when every attempt
// failed as it should, 1 otherwise.
import {createRequire} from "node:module"
import net from "node:net"
import path from "node:path"
import {parseArgs} from "node:util"

const {values: args} = parseArgs({options: Object.fromEntries(
    ["npm", "servers", "monitor", "channel", "max-subscriptions", "max-payload"].map((n) => [n, {type: "string"}]))})
const {connect, headers} = createRequire(path.join(path.resolve(args.npm), "package.json"))("nats")
const encode = (value) => new TextEncoder().encode(typeof value === "string" ? value : JSON.stringify(value))
const stream = "LANTREL_" + args.channel.toUpperCase()
const events = `lantrel.${args.channel}.events`
const snapshot = `lantrel.${args.channel}.snapshot`
const key = `$KV.lantrel.${args.channel}.snapshot`
const marker = `attack-${process.pid}-${Date.now()}`
const servers = args.servers.split(",")
const faults = []
const RELAY_SUBJECT = /^lantrel\.[A-Za-z0-9_-]{1,32}\.(events|snapshot)$/

// Where the attacker aims: every subject a follower listens on, wildcards over
// them, inboxes, the bucket's key.
const targets = [events, snapshot, "lantrel.*.events", "lantrel.*.snapshot", "lantrel.>", ">", "_INBOX.>",
    `_INBOX.${marker}`, key]
const requests = [
    [`$JS.API.DIRECT.GET.${stream}`, {last_by_subj: events}],
    [`$JS.API.DIRECT.GET.${stream}`, {seq: 1}],
    ["$JS.API.DIRECT.GET.KV_lantrel", {last_by_subj: key}],
    [`$JS.API.STREAM.MSG.GET.${stream}`, {last_by_subj: events}],
    ["$JS.API.INFO", ""],
    ["$SYS.REQ.USER.INFO", ""],
    ["$SYS.REQ.ACCOUNT.PING.CONNZ", {}],
]

// A listener on `server`: what reaches it that the relay did not send as it is.
async function listen(server) {
    const nc = await connect({servers: server, user: "browser", pass: "browser", name: "listener"})
    const listener = {server, nc, foreign: 0, samples: [], relayed: 0, snapshots: 0}
    for (const subject of [...new Set([events, snapshot, ...targets])]) {
        const seen = new Set()
        nc.subscribe(subject, {callback: (error, m) => {
            if (error) return                               // a subscription the account refuses
            const id = m.headers?.get("Nats-Msg-Id") ?? ""
            const foreign = !RELAY_SUBJECT.test(m.subject) || !m.headers?.get("Lantrel-Run") || !id ||
                m.headers.has("Nats-Stream") || m.headers.has("Nats-Sequence") ||
                new TextDecoder().decode(m.data).includes(marker) ||
                (m.subject.endsWith(".events") && seen.has(id))     // a message sent already, again
            seen.add(id)
            if (foreign) {
                listener.foreign++
                if (listener.samples.length < 3) listener.samples.push(`${m.subject} ${m.headers?.get("Nats-Stream") ?? ""}`)
            } else {
                listener.relayed++
                if (m.subject === snapshot) listener.snapshots++
            }
        }})
    }
    await nc.flush()
    return listener
}

async function attack(server) {
    const nc = await connect({servers: server, user: "browser", pass: "browser", name: "attacker"})
    const forged = headers()
    forged.set("Lantrel-Run", "R")
    forged.set("Lantrel-Version", "1")
    forged.set("Nats-Msg-Id", "R.1")
    const body = encode({type: "move", version: 1, ply: 1, marker})
    const send = (subject, data, options) => {
        try {
            nc.publish(subject, data, options)
        } catch {
            // a subject the client refuses to send
        }
    }
    // The subjects first, then the wildcards: nats-server 2.9 overflows its stack
    // on a service import's request whose reply subject is a wildcard.
    for (const wildcards of [false, true]) {
        for (let round = 0; round < 5; round++) {
            for (const reply of targets.filter((t) => /[*>]/.test(t) === wildcards)) {
                for (const [subject, request] of requests) send(subject, encode(request), {reply})
                send(reply, body, {headers: forged})
                send(reply, body, {headers: forged, reply: events})
            }
        }
        await nc.flush().catch(() => {})
    }
    await nc.close().catch(() => {})
}

const listeners = await Promise.all(servers.map(listen))
await Promise.all(servers.map(attack))
// What the attack set going (answers through JetStream) may be on its way still:
// wait for two more of the relay's snapshots at each listener, or at most 5 s.
const before = listeners.map((l) => l.snapshots)
for (let waited = 0; waited < 50 && listeners.some((l, i) => l.snapshots < before[i] + 2); waited++)
    await new Promise((resolve) => setTimeout(resolve, 100))
let reached = 0
for (const l of listeners) {
    reached += l.foreign
    const fresh = await connect({servers: l.server, user: "browser", pass: "browser", reconnect: false,
        timeout: 5000}).catch(() => null)
    if (!fresh) faults.push(`the node ${l.server} no longer takes connections`)
    await fresh?.close()
    console.log(`listener on ${l.server}: ${l.foreign} messages of the attacker, ${l.relayed} of the relay ` +
        `(${l.snapshots} snapshots) ${l.samples.join("; ")}`)
    if (l.foreign) faults.push(`${l.foreign} messages of the attacker reached the listener on ${l.server}`)
    if (!l.relayed) faults.push(`the listener on ${l.server} got nothing of the relay's`)
    await l.nc.close().catch(() => {})
}
console.log(`reached the listeners: ${reached} messages`)

const edge = servers.at(-1)
const limit = Number(args["max-subscriptions"])
const nc = await connect({servers: edge, user: "browser", pass: "browser", name: "subscriber"})
for (let i = 0; i < limit + 5; i++) nc.subscribe(events)
await nc.flush()
const connz = await (await fetch(`${args.monitor}/connz?subs=1`)).json()
const held = connz.connections.find((c) => c.name === "subscriber")?.subscriptions ?? -1
if (held < 1 || held > limit) faults.push(`the connection holds ${held} subscriptions; its limit is ${limit}`)
await nc.close()

// Past max_payload: nats.js would refuse to send it (the server's INFO names the
// limit), so it goes out over a plain socket, as a hostile client would send it.
const violation = await new Promise((resolve) => {
    const url = new URL(edge)
    const socket = net.connect(Number(url.port), url.hostname)
    let seen = ""
    const bound = setTimeout(() => socket.destroy(), 10000)
    socket.on("data", (data) => {
        if (!seen) {
            const size = Number(args["max-payload"]) + 1
            socket.write(`CONNECT {"user":"browser","pass":"browser","verbose":false}\r\n` +
                `PUB ${events} ${size}\r\n${"x".repeat(size)}\r\nPING\r\n`)
        }
        seen += data
    })
    socket.on("close", () => {
        clearTimeout(bound)
        resolve(seen)
    })
    socket.on("error", () => {})
})
if (!/-ERR 'Maximum Payload Violation'/i.test(violation))
    faults.push(`a message past max_payload was not refused: ${violation.slice(-120)}`)

for (const fault of faults) console.log(`FAULT ${fault}`)
console.log(faults.length ? "attacker: FAILED" : "attacker: every attempt refused")
process.exit(faults.length ? 1 : 0)
