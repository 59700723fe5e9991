// Sounds made by the page (no sound files): a short tick for a move, a lower
// double knock for a capture. Off until the reader switches them on.
import {$} from "./dom.js"

let soundOn = false
let audio = null               // the AudioContext, made on the first sound switched on

export function playSound(capture) {
    if (!soundOn || !audio) return
    try {
        const start = audio.currentTime
        for (const [delay, frequency] of capture ? [[0, 220], [0.07, 165]] : [[0, 520]]) {
            const tone = audio.createOscillator(), level = audio.createGain()
            tone.type = "triangle"
            tone.frequency.value = frequency
            level.gain.setValueAtTime(0.0001, start + delay)
            level.gain.exponentialRampToValueAtTime(0.25, start + delay + 0.008)
            level.gain.exponentialRampToValueAtTime(0.0001, start + delay + 0.09)
            tone.connect(level).connect(audio.destination)
            tone.start(start + delay)
            tone.stop(start + delay + 0.1)
        }
    } catch {
        // no sound is better than a broken page
    }
}

$("sound").addEventListener("click", () => {
    soundOn = !soundOn
    try {
        audio ??= new AudioContext()
        audio.resume()
    } catch {
        soundOn = false
    }
    $("sound").setAttribute("aria-pressed", String(soundOn))
    $("sound").textContent = soundOn ? "Sound on" : "Sound off"
})
