// Loads one page in headless Chromium and reports, as JSON on stdout, what went wrong while it
// loaded: the requests that failed and the images that show nothing. It speaks the DevTools
// protocol over the browser's own WebSocket with the "ws" package (installed by run.py).
//
//   node probe.cjs --modules DIR --chromium PATH --url URL [--offline] [--limit-ms 60000]
//
// A request has failed when the browser reports it failed (and did not cancel it itself), or
// when its answer has a status of 400 or more. With --offline every request that leaves the
// disk (http:, https:, ws:) counts as failed as well, whatever its outcome: a saved copy must
// not need the network. Before the images are judged the page is scrolled to its end and back,
// so that lazy loaders run, and the probe waits until no request has been under way for a
// while (both bounded). A style sheet link that never loaded counts as a failed request too,
// and the browser's own request for /favicon.ico is left out. Chromium is started here and
// always stopped here.
"use strict";
const { spawn } = require("child_process");
const fs = require("fs");
const os = require("os");
const path = require("path");

function options(argv) {
  const o = { offline: false, limitMs: 60000 };
  for (let i = 2; i < argv.length; i++) {
    const a = argv[i];
    if (a === "--offline") o.offline = true;
    else if (a === "--modules") o.modules = argv[++i];
    else if (a === "--chromium") o.chromium = argv[++i];
    else if (a === "--url") o.url = argv[++i];
    else if (a === "--limit-ms") o.limitMs = Number(argv[++i]);
    else throw new Error("unknown argument " + a);
  }
  if (!o.modules || !o.chromium || !o.url) throw new Error("--modules, --chromium and --url are needed");
  return o;
}

const opt = options(process.argv);
const WebSocket = require(path.resolve(opt.modules, "ws"));
const QUIET_MS = 700;       // no request under way for this long: the page has settled
const SETTLE_LIMIT_MS = 8000;
const LOAD_LIMIT_MS = 20000;
const CHROMIUM_FLAGS = [
  "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
  "--disable-background-networking", "--disable-component-update", "--disable-sync",
  "--hide-scrollbars", "--window-size=1280,900", "--remote-debugging-port=0",
];

const profile = fs.mkdtempSync(path.join(os.tmpdir(), "lorvex-probe-"));
const browser = spawn(opt.chromium, [...CHROMIUM_FLAGS, "--user-data-dir=" + profile, "about:blank"],
  { stdio: ["ignore", "ignore", "pipe"] });
let socket = null;

function finish(code, result) {
  if (result) process.stdout.write(JSON.stringify(result) + "\n");
  try { if (socket) socket.terminate(); } catch (e) { /* already closed */ }
  try { browser.kill("SIGKILL"); } catch (e) { /* already gone */ }
  // Chromium may hold files of the profile for a moment after the kill.
  setTimeout(() => {
    try { fs.rmSync(profile, { recursive: true, force: true }); } catch (e) { /* left behind */ }
    process.exit(code);
  }, 200);
}
const hardStop = setTimeout(() => {
  process.stderr.write("probe: no result within " + opt.limitMs + " ms\n");
  finish(3, null);
}, opt.limitMs);
hardStop.unref();

function browserEndpoint() {
  return new Promise((resolve, reject) => {
    let text = "";
    browser.stderr.on("data", (chunk) => {
      text += chunk.toString();
      const m = /DevTools listening on (ws:\/\/\S+)/.exec(text);
      if (m) resolve(m[1]);
    });
    browser.on("exit", (code) => reject(new Error("chromium ended (" + code + "): " + text.slice(-500))));
  });
}

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

async function main() {
  const endpoint = await browserEndpoint();
  socket = new WebSocket(endpoint, { perMessageDeflate: false, maxPayload: 256 * 1024 * 1024 });
  await new Promise((resolve, reject) => { socket.once("open", resolve); socket.once("error", reject); });

  let nextId = 1;
  const pending = new Map();
  const listeners = [];
  socket.on("message", (data) => {
    const msg = JSON.parse(data.toString());
    if (msg.id && pending.has(msg.id)) {
      const { resolve, reject } = pending.get(msg.id);
      pending.delete(msg.id);
      if (msg.error) reject(new Error(JSON.stringify(msg.error)));
      else resolve(msg.result);
    } else if (msg.method) {
      for (const l of listeners) l(msg);
    }
  });
  const send = (method, params = {}, sessionId) => new Promise((resolve, reject) => {
    const id = nextId++;
    pending.set(id, { resolve, reject });
    socket.send(JSON.stringify(sessionId ? { id, method, params, sessionId } : { id, method, params }));
  });

  const { targetId } = await send("Target.createTarget", { url: "about:blank" });
  const { sessionId } = await send("Target.attachToTarget", { targetId, flatten: true });
  const page = (method, params) => send(method, params, sessionId);

  const urls = new Map();      // requestId -> URL
  const inFlight = new Set();
  const failed = new Map();    // URL -> reason
  let lastActivity = Date.now();
  let loaded = false;
  listeners.push((msg) => {
    if (msg.sessionId !== sessionId) return;
    const p = msg.params;
    switch (msg.method) {
      case "Network.requestWillBeSent":
        // The browser asks a server for /favicon.ico of its own accord; the page did not.
        if (p.type === "Other" && /^https?:\/\/[^/]+\/favicon\.ico$/.test(p.request.url)) break;
        urls.set(p.requestId, p.request.url);
        inFlight.add(p.requestId);
        lastActivity = Date.now();
        break;
      case "Network.responseReceived":
        if (urls.has(p.requestId) && p.response.status >= 400) failed.set(p.response.url, "HTTP " + p.response.status);
        break;
      case "Network.loadingFinished":
        if (!urls.has(p.requestId)) break;
        inFlight.delete(p.requestId);
        lastActivity = Date.now();
        break;
      case "Network.loadingFailed":
        if (!urls.has(p.requestId)) break;
        inFlight.delete(p.requestId);
        lastActivity = Date.now();
        if (!p.canceled) failed.set(urls.get(p.requestId) || "?", p.blockedReason || p.errorText);
        break;
      case "Page.loadEventFired":
        loaded = true;
        break;
    }
  });

  await page("Network.enable");
  await page("Page.enable");
  await page("Network.setCacheDisabled", { cacheDisabled: true });
  await page("Emulation.setDeviceMetricsOverride", { width: 1280, height: 900, deviceScaleFactor: 1, mobile: false });
  await page("Page.navigate", { url: opt.url });

  const settle = async (limitMs) => {
    const start = Date.now();
    while (Date.now() - start < limitMs) {
      if ((loaded || Date.now() - start > LOAD_LIMIT_MS) && inFlight.size === 0 && Date.now() - lastActivity >= QUIET_MS) return true;
      await sleep(100);
    }
    return false;
  };
  const loadStart = Date.now();
  while (!loaded && Date.now() - loadStart < LOAD_LIMIT_MS) await sleep(50);
  await settle(SETTLE_LIMIT_MS);
  // Scroll to the end and back, as a reader would, so that lazy loaders see every element.
  await page("Runtime.evaluate", {
    awaitPromise: true,
    expression: `(async () => {
      const pause = () => new Promise((r) => setTimeout(r, 120));
      for (let y = 0; y < document.documentElement.scrollHeight && y < 40000; y += 600) {
        window.scrollTo(0, y);
        await pause();
      }
      window.scrollTo(0, 0);
      await pause();
    })()`,
  });
  const settled = await settle(SETTLE_LIMIT_MS);

  const broken = await page("Runtime.evaluate", {
    returnByValue: true,
    expression: `Array.from(document.images)
      .filter((i) => i.complete && i.naturalWidth === 0 && (i.currentSrc || i.getAttribute("src")))
      .map((i) => i.currentSrc || i.src)`,
  });

  // A style sheet whose address the browser cannot even request (a scheme-relative address
  // in a page on disk names a host under file:) never shows up as a request; it counts as
  // failed all the same.
  const sheets = await page("Runtime.evaluate", {
    returnByValue: true,
    expression: `Array.from(document.querySelectorAll('link[rel~="stylesheet"]'))
      .filter((l) => !l.sheet && l.getAttribute("href"))
      .map((l) => l.href || l.getAttribute("href"))`,
  });
  for (const u of sheets.result.value || []) if (!failed.has(u)) failed.set(u, "style sheet not loaded");

  const requested = new Set(urls.values());
  if (opt.offline) {
    for (const u of requested) {
      if (/^(https?|wss?):/i.test(u) && !failed.has(u)) failed.set(u, "left the disk");
    }
  }
  const failures = [...failed].filter(([u]) => !/^(data|blob|about):/i.test(u))
    .map(([url, reason]) => ({ url, reason })).sort((a, b) => (a.url < b.url ? -1 : 1));
  finish(0, {
    url: opt.url,
    loaded,
    settled,
    requests: [...requested].filter((u) => !/^(data|blob|about):/i.test(u)).length,
    failed: failures,
    broken: broken.result.value || [],
  });
}

main().catch((e) => {
  process.stderr.write("probe: " + (e && e.stack ? e.stack : e) + "\n");
  finish(2, null);
});
