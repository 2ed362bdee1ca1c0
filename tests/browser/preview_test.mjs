// The preview page of the demo disc in headless Chromium, driven like a
// remote control through the DevTools protocol (over Chromium's pipe, so no
// npm packages are needed): it loads without a console error, the number
// keys, NEXT, PREV and RETURN lead where the disc's lists say, a play list
// waits and moves on, a menu loops, and the map jumps to a list. Then the
// page of a disc without playback control plays its tracks in order.
//
//   node preview_test.mjs VCDALBUM [CHROMIUM]
//
// Exit 0: passed; 1: failed; 77: skipped because Chromium cannot start.
import { spawn, spawnSync } from "node:child_process";
import fs from "node:fs";
import http from "node:http";
import os from "node:os";
import path from "node:path";

const SKIP = 77;
const vcdalbum = process.argv[2];
const chromium = process.argv[3] || "/usr/bin/chromium";
if (!vcdalbum) {
  console.error("usage: node preview_test.mjs VCDALBUM [CHROMIUM]");
  process.exit(2);
}

const failures = [];
function check(ok, what) {
  console.log((ok ? "ok   " : "FAIL ") + what);
  if (!ok) failures.push(what);
}
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// ---- the demo disc and its preview ------------------------------------------
const work = fs.mkdtempSync(path.join(os.tmpdir(), "vcdalbum-browser-"));
function run(args) {
  const r = spawnSync(vcdalbum, args, { encoding: "utf8" });
  if (r.status !== 0) {
    console.error(`vcdalbum ${args.join(" ")} failed (${r.status}):\n${r.stderr}`);
    process.exit(1);
  }
  return r;
}
run(["demo", "--out", path.join(work, "demo"), "-q"]);
const cue = path.join(work, "demo", "vcdalbum demo.cue");
run(["preview", cue, "--out", path.join(work, "preview"), "-q"]);

// A Video CD without playback control: two tracks, built straight with
// vcdxbuild from a test clip.
function tool(program, args) {
  const r = spawnSync(program, args, { encoding: "utf8" });
  if (r.status !== 0) {
    console.error(`${program} failed (${r.status ?? r.error}):\n${r.stderr}`);
    process.exit(1);
  }
}
const clip = path.join(work, "clip.mpg");
tool("ffmpeg", ["-v", "error", "-nostdin", "-y", "-f", "lavfi", "-i", "testsrc=size=352x240:rate=30000/1001", "-f", "lavfi",
                "-i", "sine=frequency=440:sample_rate=44100", "-t", "4", "-target", "ntsc-vcd", clip]);
const items = [1, 2].map((i) => `<sequence-item src="${clip}" id="s${i}"><default-entry id="e${i}"/></sequence-item>`).join("");
fs.writeFileSync(path.join(work, "plain.xml"), `<?xml version="1.0"?>
<!DOCTYPE videocd PUBLIC "-//GNU//DTD VideoCD//EN" "http://www.gnu.org/software/vcdimager/videocd.dtd">
<videocd xmlns="http://www.gnu.org/software/vcdimager/1.0/" class="vcd" version="2.0"><info><album-id>PLAIN</album-id>
<volume-count>1</volume-count><volume-number>1</volume-number><restriction>0</restriction></info><pvd><volume-id>PLAIN</volume-id>
<system-id>CD-RTOS CD-BRIDGE</system-id></pvd><sequence-items>${items}</sequence-items></videocd>
`);
const plainCue = path.join(work, "plain.cue");
tool("vcdxbuild", ["-c", plainCue, "-b", path.join(work, "plain.bin"), path.join(work, "plain.xml")]);
run(["preview", plainCue, "--out", path.join(work, "plain"), "-q"]);

// ---- a local web server with byte ranges, as media elements ask for them ----
const types = { ".html": "text/html; charset=utf-8", ".webm": "video/webm", ".json": "application/json" };
const server = http.createServer((req, res) => {
  const name = decodeURIComponent(new URL(req.url, "http://127.0.0.1").pathname).replace(/^\/+/, "") || "index.html";
  const file = path.join(work, name);
  if (!file.startsWith(work + path.sep) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
    res.writeHead(404).end();
    return;
  }
  const size = fs.statSync(file).size;
  const headers = { "Content-Type": types[path.extname(file)] || "application/octet-stream", "Accept-Ranges": "bytes" };
  const range = /bytes=(\d*)-(\d*)/.exec(req.headers.range || "");
  if (range) {
    const start = range[1] ? Number(range[1]) : Math.max(0, size - Number(range[2]));
    const end = range[1] && range[2] ? Math.min(Number(range[2]), size - 1) : size - 1;
    res.writeHead(206, { ...headers, "Content-Range": `bytes ${start}-${end}/${size}`, "Content-Length": end - start + 1 });
    fs.createReadStream(file, { start, end }).pipe(res);
  } else {
    res.writeHead(200, { ...headers, "Content-Length": size });
    fs.createReadStream(file).pipe(res);
  }
});
await new Promise((r) => server.listen(0, "127.0.0.1", r));
const site = `http://127.0.0.1:${server.address().port}`;
const url = `${site}/preview/index.html`;

// ---- Chromium over its DevTools pipe ------------------------------------------
const profile = path.join(work, "profile");
const browser = spawn(chromium, [
  "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
  "--disable-background-networking", "--disable-component-update", "--disable-sync",
  "--autoplay-policy=no-user-gesture-required", "--mute-audio", "--remote-debugging-pipe",
  `--user-data-dir=${profile}`, "about:blank",
], { stdio: ["ignore", "ignore", "pipe", "pipe", "pipe"] });
let browserLog = "";
browser.stderr.on("data", (d) => { browserLog = (browserLog + d).slice(-4000); });

let closing = false;
async function finish(code, message) {
  closing = true;
  if (message) console.log(message);
  // Chromium writes its profile until it has quit; only then can it go.
  if (started) await Promise.race([send("Browser.close").catch(() => {}), sleep(5000)]);
  if (browser.exitCode === null && browser.signalCode === null)
    await Promise.race([new Promise((r) => browser.once("exit", r)), sleep(5000)]);
  try { browser.kill("SIGKILL"); } catch { /* already gone */ }
  server.close();
  try {
    fs.rmSync(work, { recursive: true, force: true, maxRetries: 5, retryDelay: 200 });
  } catch (e) {
    console.log(`# could not remove ${work}: ${e.message}`);
  }
  process.exit(code);
}
function skip(reason) {
  return finish(SKIP, `SKIP: Chromium cannot start here (${reason}); the browser tests did not run.`);
}
browser.on("error", (e) => skip(`${chromium}: ${e.message}`));
browser.on("exit", (code, signal) => {
  const why = `it exited with ${code ?? signal}: ${browserLog.trim().split("\n").slice(-3).join(" | ")}`;
  if (!started) skip(why);
  else if (!closing) {
    check(false, `Chromium kept running through the test (${why})`);
    finish(1);
  }
});

let started = false;
let nextId = 1;
const pending = new Map();
const listeners = [];
let inbox = "";
browser.stdio[4].on("data", (chunk) => {
  inbox += chunk.toString("utf8");
  let end;
  while ((end = inbox.indexOf("\0")) >= 0) {
    const message = JSON.parse(inbox.slice(0, end));
    inbox = inbox.slice(end + 1);
    if (message.id && pending.has(message.id)) {
      const { resolve, reject } = pending.get(message.id);
      pending.delete(message.id);
      if (message.error) reject(new Error(JSON.stringify(message.error)));
      else resolve(message.result);
    } else if (message.method) {
      for (const l of listeners) l(message);
    }
  }
});
function send(method, params = {}, sessionId) {
  const id = nextId++;
  browser.stdio[3].write(JSON.stringify({ id, method, params, sessionId }) + "\0");
  return new Promise((resolve, reject) => pending.set(id, { resolve, reject }));
}

const version = await Promise.race([send("Browser.getVersion"), sleep(30000).then(() => null)]);
if (!version) await skip("no answer on the DevTools pipe within 30 s");
started = true;
console.log(`# ${version.product}, preview of ${path.basename(cue)} at ${url}`);

const { targetId } = await send("Target.createTarget", { url: "about:blank" });
const { sessionId } = await send("Target.attachToTarget", { targetId, flatten: true });
const page = (method, params) => send(method, params, sessionId);

const consoleErrors = [];
listeners.push((m) => {
  if (m.sessionId !== sessionId) return;
  if (m.method === "Runtime.consoleAPICalled" && (m.params.type === "error" || m.params.type === "warning"))
    consoleErrors.push(m.params.args.map((a) => a.value ?? a.description).join(" "));
  if (m.method === "Runtime.exceptionThrown") consoleErrors.push(m.params.exceptionDetails.exception?.description ?? m.params.exceptionDetails.text);
  if (m.method === "Log.entryAdded" && m.params.entry.level === "error") consoleErrors.push(`${m.params.entry.text} ${m.params.entry.url ?? ""}`);
});
await page("Runtime.enable");
await page("Log.enable");
await page("Page.enable");
async function load(address) {
  const loaded = new Promise((r) => listeners.push((m) => m.sessionId === sessionId && m.method === "Page.loadEventFired" && r()));
  await page("Page.navigate", { url: address });
  await loaded;
}
await load(url);

async function evaluate(expression) {
  const r = await page("Runtime.evaluate", { expression, returnByValue: true, awaitPromise: true });
  if (r.exceptionDetails) throw new Error(`${expression}: ${r.exceptionDetails.exception?.description ?? r.exceptionDetails.text}`);
  return r.result.value;
}
const where = () => evaluate(`({ ...document.body.dataset, src: document.getElementById("screen").currentSrc.split("/").pop(),
  time: document.getElementById("screen").currentTime, paused: document.getElementById("screen").paused,
  width: document.getElementById("screen").videoWidth, height: document.getElementById("screen").videoHeight,
  plays: window.vcdPreview.state().plays, status: document.getElementById("status").textContent,
  notice: document.getElementById("notice").textContent })`);
async function waitFor(test, ms = 15000) {
  const until = Date.now() + ms;
  let last;
  while (Date.now() < until) {
    last = await where();
    if (test(last)) return last;
    await sleep(100);
  }
  return last;
}
// Playing: on the list, its track's file loaded and the clock moving.
async function playing(list, track, what) {
  const file = `track${String(track).padStart(2, "0")}.webm`;
  const s = await waitFor((s) => s.list === String(list) && s.src === file && !s.paused && s.time > 0.3);
  check(s.list === String(list) && s.track === String(track) && s.src === file && !s.paused && s.time > 0.3,
        `${what}: list ${list} plays ${file} (list ${s.list}, ${s.src} at ${s.time.toFixed(2)} s${s.paused ? ", paused" : ""})`);
  return s;
}
async function press(key) {
  const code = /\d/.test(key) ? `Digit${key}` : `Key${key.toUpperCase()}`;
  const vk = key.toUpperCase().charCodeAt(0);
  await page("Input.dispatchKeyEvent", { type: "keyDown", key, code, text: key, windowsVirtualKeyCode: vk });
  await page("Input.dispatchKeyEvent", { type: "keyUp", key, code, windowsVirtualKeyCode: vk });
}
const seekToEnd = () => evaluate(`(() => { const v = document.getElementById("screen"); v.currentTime = v.duration - 0.3; })()`);

try {
  // The demo disc: menu 1 (list 1, track 2) offers albums 1-4 (lists 3-6)
  // and menu 2 (list 2, track 7) on keys 1-5; albums link to each other
  // with PREV and NEXT, carry no RETURN link, and wait 3 s before NEXT.
  const first = await playing(1, 2, "start");
  // 352x240 pixels shown 4:3, as a television shows a Video CD.
  check(first.width === 352 && Math.abs(first.width / first.height - 4 / 3) < 0.01,
        `the picture is 352 wide and shown at 4:3 (${first.width}x${first.height})`);
  check(await evaluate(`document.getElementById("start").hidden`), "no start button is needed");

  await seekToEnd();
  const looped = await waitFor((s) => s.plays >= 1 && s.time > 0.3);
  check(looped.list === "1" && looped.plays >= 1 && !looped.paused, `a menu that loops forever plays its track again (plays ${looped.plays})`);

  await press("2");
  await playing(4, 4, 'key "2" on menu 1');
  check(/previous[\s\S]*list 3/i.test(await evaluate(`document.getElementById("links").textContent`)), "the panel shows where PREV leads");

  await press("r");
  await sleep(300);
  const stay = await where();
  check(stay.list === "4" && /RETURN is not available/.test(stay.notice), `RETURN without a return link stays (list ${stay.list}: ${stay.notice})`);

  await press("p");
  await playing(3, 3, "PREV from album 2");
  await press("p");
  await playing(1, 2, "PREV from album 1 back to the menu");

  await press("n");
  await playing(2, 7, "NEXT on menu 1 goes to the next menu page");

  await press("9");
  await sleep(200);
  const none = await where();
  check(none.list === "2" && /leads nowhere/.test(none.notice), `a number with no selection stays on the menu (${none.notice})`);

  await press("1");
  await playing(7, 8, 'key "1" on menu 2');
  // The play list: its track to the end, a 3 s wait, then its NEXT link.
  await seekToEnd();
  const waiting = await waitFor((s) => s.phase === "waiting", 5000);
  check(waiting.list === "7" && waiting.phase === "waiting", `after its track, list 7 waits (${waiting.phase}: ${waiting.status})`);
  const t0 = Date.now();
  await playing(8, 9, "after the wait, NEXT of list 7");
  const waited = (Date.now() - t0) / 1000;
  check(waited > 2 && waited < 6, `the wait lasted about 3 s (${waited.toFixed(1)} s)`);

  await evaluate(`document.querySelector('#map .box[data-id="3"]').dispatchEvent(new MouseEvent("click", { bubbles: true }))`);
  await playing(3, 3, "a click on list 3 in the map");
  check(await evaluate(`document.querySelector('#map .box.current').dataset.id`) === "3", "the map marks the current list");
  check(await evaluate(`document.querySelectorAll("#map .box").length`) === 8, "the map has a box per list");
  check(await evaluate(`document.querySelectorAll("#map .edge").length`) >= 8 + 14, "the map draws the links");

  // Without playback control: the tracks in order, the number keys pick one.
  await load(`${site}/plain/index.html`);
  const plain = await playing(0, 1, "a disc without playback control starts at track 1");
  check(plain.kind === "track-list", `the page shows a plain track list (${plain.kind})`);
  await press("2");
  await playing(0, 2, 'key "2" on the track list');
  await press("n");
  await sleep(200);
  const last = await where();
  check(last.track === "2" && /No such track/.test(last.notice), `NEXT after the last track stays (${last.notice})`);
  await press("p");
  await playing(0, 1, "PREV on the track list");
  await seekToEnd();
  await playing(0, 2, "track 1 runs on into track 2");
  check(await evaluate(`document.querySelectorAll("#map .box").length`) === 2, "the map shows the two tracks");

  check(consoleErrors.length === 0, `no console error${consoleErrors.length ? ": " + consoleErrors.join(" | ") : ""}`);
} catch (e) {
  check(false, `the page could be driven: ${e.message}`);
}

await finish(failures.length ? 1 : 0, failures.length ? `${failures.length} check(s) failed` : "all browser checks passed");
