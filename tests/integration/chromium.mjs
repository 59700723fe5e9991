// What the Chromium tests share: the browser, started headless with a profile
// of the test's own, and the failed checks that decide the exit status.
import fs from "node:fs"
import path from "node:path"

export function launchChromium(puppeteer, work) {
    return puppeteer.launch({
        executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
        userDataDir: fs.mkdtempSync(path.join(work, "chromium-")),
        args: ["--no-sandbox", "--headless", "--disable-gpu", "--disable-quic", "--no-first-run",
            "--disable-background-networking", "--disable-component-update", "--disable-sync"],
    })
}

const failures = []

// Notes a failure unless `condition` holds; `detail` shows what was found.
export function check(condition, what, detail = "") {
    if (!condition) failures.push(detail === "" ? what : `${what}: ${JSON.stringify(detail)}`)
}

// Runs the test's `main`, prints each failed check and exits: 1 after any.
export async function runChecks(main) {
    try {
        await main()
    } catch (error) {
        check(false, "the test ran to its end", error.stack)
    }
    for (const failure of failures) console.log(`FAILED: ${failure}`)
    process.exit(failures.length ? 1 : 0)
}
