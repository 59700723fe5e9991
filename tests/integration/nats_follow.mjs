// Follows a channel that lantrel-relay publishes into NATS, over TCP, with the
// page's own follower (web/nats_follow.js: live messages through a
// subscription, a snapshot from the relay when it joins or missed something),
// and checks what arrives: every version of a run applied once and in order, at
// the end a finished game. With --stream-user, also the stream itself, read with
// that user of the relay's account (browsers cannot read it): each version of a
// run once, none missing.
//
//   node nats_follow.mjs --servers nats://HUB:4222[,...] --channel NAME
//        [--expect-plies N] [--timeout S] [--user browser --password browser]
//        [--stream-servers URLS --stream-user NAME --stream-password-file FILE]
//        [--npm DIR]
//
// It needs the npm package "nats": from DIR/node_modules with --npm DIR (the
// browser test installs tests/integration/web/package.json there), else from
// wherever Node finds it. Exit status 0 when the game is over (with N plies if
// --expect-plies) and nothing was missing or repeated; 1 otherwise.
import fs from "node:fs"
import {createRequire} from "node:module"
import path from "node:path"
import {parseArgs} from "node:util"

const {values: args} = parseArgs({options: {
    servers: {type: "string"}, channel: {type: "string"}, "expect-plies": {type: "string"},
    timeout: {type: "string", default: "60"}, user: {type: "string", default: "browser"},
    password: {type: "string", default: "browser"}, npm: {type: "string"},
    "stream-servers": {type: "string"}, "stream-user": {type: "string"}, "stream-password-file": {type: "string"},
}})
if (!args.servers || !args.channel) {
    console.error("usage: nats_follow.mjs --servers URL[,URL] --channel NAME [--expect-plies N] [--timeout S]")
    process.exit(2)
}
const {connect} = args.npm ? createRequire(path.join(path.resolve(args.npm), "package.json"))("nats")
    : await import("nats")
// The page's module, loaded from its text: Node would read a .js file in
// web/ as CommonJS.
const followerText = fs.readFileSync(new URL("../../web/nats_follow.js", import.meta.url), "utf8")
const {CHANNEL_NAME, followChannel} =
    await import("data:text/javascript;base64," + Buffer.from(followerText).toString("base64"))
if (!CHANNEL_NAME.test(args.channel)) {
    console.error(`not a channel name: ${args.channel}`)
    process.exit(2)
}
const expectedPlies = args["expect-plies"] === undefined ? null : Number(args["expect-plies"])

// The state as far as the checks need it.
const state = {run: null, version: 0, plies: 0, result: "", snapshots: 0, deltas: 0, gaps: 0}
const faults = []

let live = false

function take(message, run) {
    if (message.type === "snapshot") {
        // Live, a snapshot starts a new run or a new line of the same one, never an older state.
        if (live && message.run === state.run && message.version < state.version)
            faults.push(`went back from version ${state.version} to ${message.version}`)
        Object.assign(state, {run: message.run, version: message.version, plies: message.moves.length,
            result: message.result})
        state.snapshots++
        return "applied"
    }
    if (state.run === null || run !== state.run || message.version > state.version + 1) {
        state.gaps++  // missed live (a reconnection): the follower waits for the next snapshot
        return "gap"
    }
    if (message.version <= state.version) return "skipped"  // held while catching up, or in the snapshot
    if (message.type === "move") {
        if (message.ply > state.plies + 1) {
            faults.push(`move ${message.ply} after ${state.plies} plies`)
            state.run = null
            return "gap"
        }
        state.plies = message.ply
    } else if (message.type === "game") {
        state.plies = message.moves.length
        state.result = message.result
    } else if (message.type === "result") {
        state.result = message.result
    }
    state.version = message.version
    state.deltas++
    return "applied"
}

// The stream itself, read whole: each run's versions once, in order, none missing.
async function checkStream() {
    const nc = await connect({servers: args["stream-servers"].split(","), user: args["stream-user"],
        pass: fs.readFileSync(args["stream-password-file"], "utf8").split("\n")[0]})
    const stream = "LANTREL_" + args.channel.toUpperCase()
    const last = new Map()  // run: its last version in the stream
    for (let seq = 1; ; seq++) {
        const m = await nc.request(`$JS.API.DIRECT.GET.${stream}`,
            new TextEncoder().encode(JSON.stringify({seq, next_by_subj: `lantrel.${args.channel}.events`})))
        if (m.headers?.code === 404) break
        seq = Number(m.headers.get("Nats-Sequence"))
        const run = m.headers.get("Lantrel-Run"), version = Number(m.headers.get("Lantrel-Version"))
        const message = m.json()
        if (message.type !== "snapshot" && last.has(run) && version !== last.get(run) + 1)
            faults.push(`the stream has run ${run} version ${version} after version ${last.get(run)}`)
        last.set(run, version)
    }
    await nc.close()
}

const finished = () => state.result !== "" && (expectedPlies === null || state.plies === expectedPlies)
const nc = await connect({servers: args.servers.split(","), user: args.user, pass: args.password,
    maxReconnectAttempts: -1})
const timer = setTimeout(() => nc.close(), Number(args.timeout) * 1000)
const watch = setInterval(() => {
    if (finished()) nc.close()
}, 100)
await followChannel(nc, args.channel, take, (text, isLive) => {
    live = isLive
    console.log(`[${args.channel}] ${text}`)
})
clearTimeout(timer)
clearInterval(watch)
if (finished() && args["stream-user"]) await checkStream()

console.log(`run ${state.run} version ${state.version}: ${state.plies} plies, result "${state.result}" ` +
    `(${state.snapshots} snapshots, ${state.deltas} deltas applied, ${state.gaps} gaps caught up)`)
for (const fault of faults) console.log(`FAULT ${fault}`)
const ok = finished() && faults.length === 0
console.log(ok ? "PASSED" : finished() ? "FAILED" : `FAILED: not finished within ${args.timeout} s`)
process.exit(ok ? 0 : 1)
