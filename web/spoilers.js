// Spoiler-free viewing: results, evaluations, the graph and the tournament's
// tables hidden until the reader asks for them; moves and clocks stay live.
// ?spoilers=0 hides them and ?spoilers=1 shows them; the reader's last choice
// (the page's button, or such a link) is kept for the next visit, on the
// single page and the event page alike.
const KEY = "lantrel-spoilers"

function readChoice() {
    const asked = new URLSearchParams(location.search).get("spoilers")
    if (asked === "0" || asked === "1") {
        remember(asked === "1")
        return asked === "1"
    }
    try {
        return localStorage.getItem(KEY) !== "hidden"
    } catch {
        return true
    }
}

function remember(shown) {
    try {
        localStorage.setItem(KEY, shown ? "shown" : "hidden")
    } catch {
        // a browser that keeps nothing: the choice lasts for this visit
    }
}

// Hides or shows them now, and keeps `button` (if any) saying which.
export function takeSpoilerChoice(button) {
    let shown = readChoice()
    const apply = () => {
        document.body.classList.toggle("no-spoilers", !shown)
        if (!button) return
        button.setAttribute("aria-pressed", String(!shown))
        button.textContent = shown ? "Hide results" : "Show results"
    }
    apply()
    button?.addEventListener("click", () => {
        shown = !shown
        remember(shown)
        apply()
    })
}
