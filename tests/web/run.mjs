// The browser tests of the page (build/web): Debian's chromium, driven by
// puppeteer-core, loads the page from a small server of our own that logs
// every request. Usage: node tests/web/run.mjs [--quick]
//   --quick leaves out the 45-second real-time run.
// A missing browser fails when CI is set, and skips with a note elsewhere.
import fs from "node:fs";
import http from "node:http";
import os from "node:os";
import path from "node:path";
import { fileURLToPath } from "node:url";
import puppeteer from "puppeteer-core";

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), "../..");
const site = path.join(root, "build/web");
const outDir = path.join(root, "build/web-test");
const chromium = process.env.VORNA_CHROMIUM || "/usr/bin/chromium";
const quick = process.argv.includes("--quick");
// --whole: only the whole production in real time, with each step's frame
// rate and the production's own time per frame (for the README's figures).
const whole = process.argv.includes("--whole");

if (!fs.existsSync(chromium)) {
  const message = `no browser at ${chromium} (scripts/install-deps.sh web installs Debian's chromium)`;
  if (process.env.CI) {
    console.error(`FAIL: ${message}`);
    process.exit(1);
  }
  console.log(`SKIP: ${message}`);
  process.exit(0);
}
for (const file of ["index.html", "page.js", "page.css", "vorna.js", "vorna.wasm"]) {
  if (!fs.existsSync(path.join(site, file))) {
    console.error(`FAIL: build/web/${file} is missing: build the page first (cmake --build --preset web)`);
    process.exit(1);
  }
}
fs.mkdirSync(outDir, { recursive: true });

// ---- The server: the static folder as any host would serve it.
const types = { ".html": "text/html", ".js": "text/javascript", ".css": "text/css", ".wasm": "application/wasm", ".png": "image/png" };
const requests = [];
const server = http.createServer((request, response) => {
  const name = decodeURIComponent(new URL(request.url, "http://x").pathname);
  const file = path.join(site, name === "/" ? "index.html" : name);
  const ok = file.startsWith(site) && fs.existsSync(file) && fs.statSync(file).isFile();
  requests.push({ url: request.url, status: ok ? 200 : 404 });
  if (!ok) {
    response.writeHead(404).end();
    return;
  }
  response.writeHead(200, { "Content-Type": types[path.extname(file)] || "application/octet-stream" });
  fs.createReadStream(file).pipe(response);
});
await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
const base = `http://127.0.0.1:${server.address().port}/`;

const profile = fs.mkdtempSync(path.join(os.tmpdir(), "vorna-chromium-"));
const browser = await puppeteer.launch({
  executablePath: chromium,
  headless: true,
  userDataDir: profile,
  args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
    "--disable-component-update", "--disable-sync", "--mute-audio"],
});

let failures = 0;
function check(condition, what) {
  console.log(`${condition ? "ok  " : "FAIL"} ${what}`);
  if (!condition) failures++;
}
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
const stats = (page) => page.evaluate(() => JSON.parse(JSON.stringify(window.vornaStats)));

async function openPage(query, before) {
  const page = await browser.newPage();
  if (before) await page.evaluateOnNewDocument(before);
  const problems = [];
  page.on("console", (m) => m.type() === "error" && problems.push(`console: ${m.text()}`));
  page.on("pageerror", (e) => problems.push(`page error: ${e.message}`));
  page.on("requestfailed", (r) => problems.push(`request failed: ${r.url()}`));
  await page.setViewport({ width: 1000, height: 700 });
  await page.goto(base + query, { waitUntil: "load" });
  return { page, problems };
}

async function waitFor(page, test, ms) {
  const until = Date.now() + ms;
  while (Date.now() < until) {
    if (await page.evaluate(test)) return true;
    await sleep(200);
  }
  return false;
}

async function measureWhole() {
  const { page } = await openPage("?seed=1");
  await page.click("#start");
  await waitFor(page, () => window.vornaStats.state === "ended", 15 * 60000);
  const s = await stats(page);
  console.log("step  seconds  frames    fps  work ms/frame");
  s.steps.forEach((t, i) => {
    const end = i + 1 < s.steps.length ? s.steps[i + 1].startMs : s.endMs;
    const seconds = (end - t.startMs) / 1000;
    console.log(`${String(t.step).padStart(4)} ${seconds.toFixed(1).padStart(8)} ${String(t.frames).padStart(7)} ${(t.frames / seconds).toFixed(1).padStart(6)} ${(t.workMs / Math.max(1, t.frames)).toFixed(2).padStart(14)}`);
  });
  console.log(`underruns ${s.underruns} of ${s.audioCallbacks} audio callbacks; ${s.result}`);
  fs.writeFileSync(path.join(outDir, "whole.json"), JSON.stringify(s, null, 1));
  check(s.status === 0, "the whole production played to its end");
  await page.close();
}

try {
  if (whole) {
    await measureWhole();
  } else {
  // 1. Start, first frame, Escape, end screen, play again.
  {
    const { page, problems } = await openPage("?seed=1");
    check(await page.$eval("#start", (e) => !e.hidden), "the start screen shows before any sound");
    await page.click("#start");
    check(await waitFor(page, () => window.vornaStats.frames > 0, 60000), "a click starts it and the first frame appears");
    const lit = await page.evaluate(() => {
      const c = document.getElementById("screen");
      const d = c.getContext("2d").getImageData(0, 0, c.width, c.height).data;
      let n = 0;
      for (let i = 0; i < d.length; i += 4) if (d[i] | d[i + 1] | d[i + 2]) n++;
      return n;
    });
    await waitFor(page, () => window.vornaStats.frames > 120, 30000);
    await page.screenshot({ path: path.join(outDir, "page.png") });
    check(lit > 1000, `the canvas is drawn on (${lit} lit pixels)`);
    await page.keyboard.press("Escape");
    check(await waitFor(page, () => window.vornaStats.state === "ended", 20000), "Escape ends the production");
    const s = await stats(page);
    check(s.result === "Left with Escape." && (await page.$eval("#end", (e) => !e.hidden)), `the end screen says so: "${s.result}"`);
    console.log(`     click to first frame ${s.firstFrameMs.toFixed(0)} ms (the program started after ${s.mainMs.toFixed(0)} ms); audio callbacks ${s.audioCallbacks}, underruns ${s.underruns}`);
    await page.click("#again");
    check(await waitFor(page, () => window.vornaStats.state === "running" && window.vornaStats.frames > 10, 60000), "play again starts it anew");
    await page.keyboard.press("Escape");
    await waitFor(page, () => window.vornaStats.state === "ended", 20000);
    check(problems.length === 0, `no console error, page error or failed request${problems.length ? ": " + problems.join("; ") : ""}`);
    await page.close();
  }

  // 2. Started with Space: its release is not the production's (it would skip the opening).
  {
    const { page } = await openPage("?seed=3");
    await page.keyboard.down("Space");
    await waitFor(page, () => window.vornaStats.frames > 0, 60000);
    await page.keyboard.up("Space");
    const afterStart = (await stats(page)).keysSent;
    await page.keyboard.press("b");
    const afterB = (await stats(page)).keysSent;
    check(afterStart === 0 && afterB === 2, `the release of the Space that started it is not the production's, a later key is (${afterStart}, then ${afterB})`);
    await page.keyboard.press("Escape");
    await waitFor(page, () => window.vornaStats.state === "ended", 20000);
    await page.close();
  }

  // 3. Bad input on the address.
  {
    const { page } = await openPage("?seed=12x");
    const text = await page.$eval("#notes", (e) => e.textContent);
    check(/seed must be a whole number/.test(text) && (await page.$eval("#start", (e) => e.hidden)), `a bad seed is refused in words: "${text}"`);
    await page.close();
    const second = await openPage("?colour=red&seed=7");
    const note = await second.page.$eval("#notes", (e) => e.textContent);
    const seed = await second.page.evaluate(() => window.vornaStats.seed);
    check(note.includes("colour") && seed === 7, `an unknown parameter is ignored with a note: "${note}"`);
    await second.page.close();
  }

  // 4. A browser without what the page needs says so in words.
  {
    const noWasm = await openPage("", () => delete window.WebAssembly);
    const text = await noWasm.page.$eval("#notes", (e) => e.textContent);
    check(/cannot run WebAssembly/.test(text), `no WebAssembly: "${text}"`);
    await noWasm.page.close();
    const noAudio = await openPage("", () => {
      delete window.AudioContext;
      delete window.webkitAudioContext;
    });
    await noAudio.page.click("#start");
    const said = await noAudio.page.$eval("#notes", (e) => e.textContent);
    check(/no sound output/.test(said), `no Web Audio: "${said}"`);
    await noAudio.page.close();
  }

  // 5. Real time: 45 seconds of the production, frame rate each second, the sound's health.
  if (!quick) {
    const { page, problems } = await openPage("");
    await page.click("#start");
    await waitFor(page, () => window.vornaStats.frames > 0, 60000);
    await sleep(45000);
    const s = await stats(page);
    console.log(`     frames per second, each second: ${s.fpsLog.join(" ")}`);
    console.log(`     music at ${(s.musicMs / 1000).toFixed(1)} s; audio callbacks ${s.audioCallbacks}, underruns ${s.underruns}`);
    check(s.state === "running" && s.musicMs >= 40000, "45 s in, it still plays, past the sphere scene's start (31.2 s)");
    check(s.fpsLog.length >= 40 && s.fpsLog.every((n) => n > 0), "a frame reached the canvas in every second");
    await page.screenshot({ path: path.join(outDir, "page-45s.png") });
    check(problems.length === 0, `no console error in the real-time run${problems.length ? ": " + problems.join("; ") : ""}`);
    fs.writeFileSync(path.join(outDir, "realtime.json"), JSON.stringify(s, null, 1));
    await page.close();
  }
  }
} finally {
  await browser.close();
  server.close();
  fs.rmSync(profile, { recursive: true, force: true });
}
const failed = requests.filter((r) => r.status !== 200);
check(failed.length === 0, `every request the page made was answered${failed.length ? ": " + failed.map((r) => r.url).join(", ") : ""}`);
console.log(failures ? `${failures} browser check(s) failed` : "all browser checks passed");
process.exit(failures ? 1 : 0);
