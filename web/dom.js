// What every part of the page uses of the document.
export const $ = (id) => document.getElementById(id)

const SVG_NS = "http://www.w3.org/2000/svg"

export function svgElement(name, attributes) {
    const element = document.createElementNS(SVG_NS, name)
    for (const [key, value] of Object.entries(attributes)) element.setAttribute(key, String(value))
    return element
}

export function svgTitle(text) {
    const title = document.createElementNS(SVG_NS, "title")
    title.textContent = text
    return title
}

export function announce(text) {
    $("announcer").textContent = text
}

export function setConnection(text, live) {
    $("connection").textContent = text
    $("connection").classList.toggle("up", live)
}
