// The hostile browser of nats_relay_test.sh: logs on to an edge as the public
// browser user and tries what that user must not manage:
//  - direct gets whose answers are aimed at the channel's live subject and at
//    the bucket's key (JetStream answers on whatever reply subject it is given);
//  - more subscriptions than its account allows (the edge's monitoring port
//    tells how many it holds);
//  - a message larger than its account allows (the edge must refuse it and
//    close the connection).
// Then it reads the bucket's entry, which must still be the relay's.
//   node nats_attack.mjs --npm DIR --server nats://EDGE --monitor http://EDGE_HTTP
//        --channel NAME --max-subscriptions N --max-payload N
// Exit status 0 when every attempt failed as it should; 1 otherwise.
import {createRequire} from "node:module"
import net from "node:net"
import path from "node:path"
import {parseArgs} from "node:util"

const {values: args} = parseArgs({options: Object.fromEntries(
    ["npm", "server", "monitor", "channel", "max-subscriptions", "max-payload"].map((n) => [n, {type: "string"}]))})
const {connect} = createRequire(path.join(path.resolve(args.npm), "package.json"))("nats")
const encode = (value) => new TextEncoder().encode(JSON.stringify(value))
const stream = "LANTREL_" + args.channel.toUpperCase()
const subject = `lantrel.${args.channel}.events`
const key = `$KV.lantrel.${args.channel}.snapshot`
const faults = []

const nc = await connect({servers: args.server, user: "browser", pass: "browser", name: "attacker"})
// Old stream messages (the first is a snapshot) and the bucket's entry, aimed
// at the live subject and at the key.
for (let round = 0; round < 5; round++) {
    for (const reply of [subject, key]) {
        nc.publish(`$JS.API.DIRECT.GET.${stream}`, encode({seq: 1 + round}), {reply})
        nc.publish("$JS.API.DIRECT.GET.KV_lantrel", encode({last_by_subj: key}), {reply})
    }
}
await nc.flush()
const m = await nc.request("$JS.API.DIRECT.GET.KV_lantrel", encode({last_by_subj: key}), {timeout: 5000})
let entry = null
try {
    entry = m.json()
} catch {
    // refused below
}
if (m.headers?.get("Nats-Subject") !== key || typeof entry?.sequence !== "number" || entry.snapshot?.type !== "snapshot")
    faults.push(`the bucket's entry is not the relay's: ${new TextDecoder().decode(m.data).slice(0, 80)}`)

const limit = Number(args["max-subscriptions"])
for (let i = 0; i < limit + 5; i++) nc.subscribe(subject)
await nc.flush()
const connz = await (await fetch(`${args.monitor}/connz?subs=1`)).json()
const held = connz.connections.find((c) => c.name === "attacker")?.subscriptions ?? -1
if (held < 1 || held > limit) faults.push(`the connection holds ${held} subscriptions; its limit is ${limit}`)

await nc.close()

// Past max_payload: nats.js would refuse to send it (the server's INFO names the
// limit), so it goes out over a plain socket, as a hostile client would send it.
const violation = await new Promise((resolve) => {
    const url = new URL(args.server)
    const socket = net.connect(Number(url.port), url.hostname)
    let seen = ""
    const bound = setTimeout(() => socket.destroy(), 10000)
    socket.on("data", (data) => {
        if (!seen) {
            const size = Number(args["max-payload"]) + 1
            socket.write(`CONNECT {"user":"browser","pass":"browser","verbose":false}\r\n` +
                `PUB $JS.API.DIRECT.GET.${stream} ${size}\r\n${"x".repeat(size)}\r\nPING\r\n`)
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
