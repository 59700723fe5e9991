// Many followers of one channel on one NATS server, for bench_nats_fanout:
// each has a connection of its own and follows with the page's follower
// (web/nats_follow.js). Prints "following N" once all are live; when all have
// the whole game or the time is up, prints "complete C of N, gaps G,
// M messages, CPU S s, max RSS R MB" (a gap: a version missed live and caught
// up) and writes "PLY NANOSECONDS" for each move's arrival at each follower
// (the monotonic clock, as the bench's steady_clock) to --arrivals.
//   node nats_subscribers.mjs --npm DIR --server nats://HOST:PORT --channel NAME
//        --count N --plies P --arrivals FILE [--timeout S]
import fs from "node:fs"
import {createRequire} from "node:module"
import path from "node:path"
import {parseArgs} from "node:util"

const {values: args} = parseArgs({options: Object.fromEntries(
    ["npm", "server", "channel", "count", "plies", "arrivals", "timeout"].map((name) => [name, {type: "string"}]))})
const {connect} = createRequire(path.join(path.resolve(args.npm), "package.json"))("nats")
const followerText = fs.readFileSync(new URL("../web/nats_follow.js", import.meta.url), "utf8")
const {followChannel} = await import("data:text/javascript;base64," + Buffer.from(followerText).toString("base64"))
const count = Number(args.count)
const plies = Number(args.plies)

// One follower's game: the version and plies it has, and when each move came.
function follower() {
    const game = {run: null, version: 0, plies: 0, result: "", gaps: 0, messages: 0, arrivals: []}
    game.take = (message, run) => {
        game.messages++
        if (message.type === "snapshot") {
            Object.assign(game, {run: message.run, version: message.version, plies: message.moves.length,
                result: message.result})
            return "applied"
        }
        if (run !== game.run) return "gap"
        if (message.version <= game.version) return "skipped"
        if (message.version !== game.version + 1) {
            game.gaps++
            return "gap"
        }
        if (message.type === "move") {
            game.plies = message.ply
            game.arrivals.push([message.ply, process.hrtime.bigint()])
        } else if (message.type === "game") {
            game.plies = message.moves.length
            game.result = message.result
        } else if (message.type === "result") {
            game.result = message.result
        }
        game.version = message.version
        return "applied"
    }
    game.complete = () => game.result !== "" && game.plies === plies
    return game
}

const games = []
const connections = []
let live = 0
for (let i = 0; i < count; i += 100) {     // a hundred at a time, not a SYN flood
    await Promise.all(Array.from({length: Math.min(100, count - i)}, async () => {
        const game = follower()
        const nc = await connect({servers: args.server, user: "browser", pass: "browser",
            maxReconnectAttempts: -1})
        let counted = false
        games.push(game)
        connections.push(nc)
        followChannel(nc, args.channel, game.take, (text, isLive) => {
            if (isLive && !counted) {
                counted = true
                if (++live === count) console.log(`following ${count}`)
            }
        })
    }))
}

const deadline = Date.now() + Number(args.timeout ?? 300) * 1000
while (!games.every((game) => game.complete()) && Date.now() < deadline)
    await new Promise((resolve) => setTimeout(resolve, 100))
await Promise.all(connections.map((nc) => nc.close()))

const out = fs.createWriteStream(args.arrivals)
for (const game of games) {
    for (const [ply, at] of game.arrivals) out.write(`${ply} ${at}\n`)
}
await new Promise((resolve) => out.end(resolve))
const complete = games.filter((game) => game.complete()).length
const gaps = games.reduce((sum, game) => sum + game.gaps, 0)
const messages = games.reduce((sum, game) => sum + game.messages, 0)
const cpu = process.cpuUsage()
console.log(`complete ${complete} of ${count}, gaps ${gaps}, ${messages} messages, CPU ${((cpu.user + cpu.system) / 1e6).toFixed(2)} s, ` +
    `max RSS ${(process.resourceUsage().maxRSS / 1024).toFixed(0)} MB`)
process.exit(complete === count ? 0 : 1)
