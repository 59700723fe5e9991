// The tournament's texts (the crosstable, the game list) from the server
// behind the feed, shown under their buttons one at a time.
import {$} from "./dom.js"
import {serverUrl} from "./sources.js"

for (const button of document.querySelectorAll(".tourney-buttons button")) {
    button.addEventListener("click", async () => {
        const pre = $("tourney-text")
        if (!pre.hidden && pre.dataset.src === button.dataset.src) {
            pre.hidden = true
            return
        }
        pre.dataset.src = button.dataset.src
        pre.hidden = false
        pre.textContent = "Loading..."
        try {
            const reply = await fetch(serverUrl(button.dataset.src), {cache: "no-store"})
            pre.textContent = reply.ok ? await reply.text()
                : reply.status === 404 ? "This server has no tournament PGN." : `The server answered ${reply.status}.`
        } catch {
            pre.textContent = "The server cannot be reached."
        }
    })
}
