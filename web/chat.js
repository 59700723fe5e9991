// Who watches, and the chat: its lines, the form (for the origin server's
// feed, when it takes chat), and the server's answer to a refused line.
import {$} from "./dom.js"
import {feed} from "./game.js"
import {natsMode} from "./sources.js"

export const CHAT_LINES_KEPT = 200
const CHAT_ERROR_MS = 6000         // a refused chat line's answer shows this long

export function renderViewers() {
    const count = feed.users.length + feed.webViewers
    $("viewers").textContent = `${count} watching`
    $("viewers").title = feed.users.length ? `Viewers: ${feed.users.join(", ")}` : ""
}

export function renderChat() {
    const list = $("chat-lines")
    list.replaceChildren(...feed.chat.map((line) => {
        const item = document.createElement("li")
        item.textContent = line
        return item
    }))
    list.scrollTop = list.scrollHeight
    $("chat-form").hidden = !feed.chatAllowed || natsMode   // chat goes to the origin server only
}

let chatErrorTimer = 0

export function showChatError(text) {
    $("chat-error").textContent = text
    $("chat-error").hidden = false
    clearTimeout(chatErrorTimer)
    chatErrorTimer = setTimeout(() => { $("chat-error").hidden = true }, CHAT_ERROR_MS)
}

// Sends the form's line over `socket()`, the feed's connection of the moment.
export function takeChatForm(socket) {
    $("chat-name").value = localStorage.getItem("lantrel-chat-name") ?? ""
    $("chat-form").addEventListener("submit", (event) => {
        event.preventDefault()
        const name = $("chat-name").value.trim(), text = $("chat-text").value.trim()
        const open = socket()
        if (!name || !text || !open || open.readyState !== WebSocket.OPEN) return
        localStorage.setItem("lantrel-chat-name", name)
        open.send(JSON.stringify({type: "chat", name, text}))
        $("chat-text").value = ""
        $("chat-error").hidden = true
    })
}
