// Follows a channel that lantrel-relay publishes into NATS JetStream
// (docs/RELAY.md): the snapshot from the key-value bucket, then the stream
// from the message after it, through an ordered consumer. The page uses it in
// NATS mode (with nats.ws) and tests/integration/nats_follow.mjs over TCP
// (with nats): both hand in their connection and a function that takes each
// message of the feed.

const BUCKET = "lantrel"
const RETRY_FIRST_MS = 1000
const RETRY_LAST_MS = 15000

export const CHANNEL_NAME = /^[A-Za-z0-9_-]{1,32}$/

// Follows `channel` on the connection `nc` until it closes.
//  take(message, run): takes one message (`run` is the run it belongs to) and
//    answers "applied", "skipped" (already in the state) or "gap" (it does not
//    follow the state: start again from the bucket's snapshot).
//  onState(text, live): "live" once the stream flows, else why it does not.
export async function followChannel(nc, channel, take, onState = () => {}) {
    const js = nc.jetstream({checkAPI: false})
    const stream = "LANTREL_" + channel.toUpperCase()
    let retryMs = RETRY_FIRST_MS
    let closed = false
    let messages = null
    nc.closed().then(() => {
        closed = true
        messages?.stop()
    })
    while (!closed) {
        let applied = 0
        try {
            const kv = await js.views.kv(BUCKET)
            const entry = await kv.get(`${channel}.snapshot`)
            if (!entry) throw new Error("no snapshot of this channel yet")
            const {sequence, snapshot} = entry.json()
            take(snapshot, snapshot.run)
            const consumer = await js.consumers.get(stream, {opt_start_seq: sequence + 1})
            messages = await consumer.consume({abort_on_missing_resource: true})
            onState("live", true)
            for await (const m of messages) {
                let message
                try {
                    message = m.json()
                } catch {
                    continue    // not JSON: the version after it tells whether anything is missing
                }
                const verdict = take(message, m.headers?.get("Lantrel-Run") ?? "")
                if (verdict === "gap") {
                    messages.stop()
                    onState("catching up", false)
                } else if (verdict === "applied") {
                    applied++
                }
            }
        } catch (error) {
            onState(closed ? "closed" : `waiting: ${error.message}`, false)
        }
        // Starting over soon after progress; slower and slower while nothing moves.
        if (applied > 0) retryMs = RETRY_FIRST_MS
        if (!closed) await new Promise((resolve) => setTimeout(resolve, retryMs))
        retryMs = Math.min(retryMs * 2, RETRY_LAST_MS)
    }
}
