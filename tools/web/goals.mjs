// Measures the page in headless Chromium for the web goals (a measurement, not a
// test): plays the whole demo (to order 20, the end picture) after a real click
// and prints the program's time per animation frame, the animation frames the
// browser dropped (an interval of 1.5 periods or more), the time from the click to
// the first frame, the sound's underruns, and the page's transfer size (gzip).
//
//   node tools/web/goals.mjs [BUILD_WEB] [QUERY]      e.g. build-web '?scale=4&threads=2'
// Needs tests/web's DevTools client (npm ci --prefix tests/web) and /usr/bin/chromium.
import { spawn } from 'node:child_process';
import { promises as fs, readFileSync } from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { createRequire } from 'node:module';
import { fileURLToPath } from 'node:url';
import { gzipSync } from 'node:zlib';

import { serve } from './serve.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const require = createRequire(path.join(here, '../../tests/web/package.json'));
const CDP = require('chrome-remote-interface');
const dir = path.resolve(process.argv[2] || 'build-web');
const query = process.argv[3] || '';
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

const port = await new Promise((r) => serve(dir, 0, r));
const profile = await fs.mkdtemp(path.join(os.tmpdir(), 'wendril-goals-'));
const args = ['--headless=new', '--remote-debugging-port=0', `--user-data-dir=${profile}`, '--no-first-run',
              '--window-size=1024,768', 'about:blank'];
if (process.getuid && process.getuid() === 0) args.unshift('--no-sandbox');
const chrome = spawn(process.env.CHROMIUM || '/usr/bin/chromium', args, { stdio: 'ignore' });
let devtools = 0;
for (let i = 0; i < 200 && !devtools; i++) {
  devtools = parseInt((await fs.readFile(path.join(profile, 'DevToolsActivePort'), 'utf8').catch(() => '')), 10) || 0;
  if (!devtools) await sleep(100);
}
if (!devtools) throw new Error('chromium did not start');
const client = await CDP({ port: devtools });
const { Page, Runtime, Input, Network } = client;
await Promise.all([Page.enable(), Runtime.enable(), Network.enable()]);
let bytes = 0;
Network.loadingFinished((e) => { bytes += e.encodedDataLength; });
const ev = async (x) => (await Runtime.evaluate({ expression: x, awaitPromise: true, returnByValue: true })).result.value;
await Page.navigate({ url: `http://127.0.0.1:${port}/${query}` });
for (let i = 0; i < 600 && !(await ev("window.wendril && window.wendril.loaded")); i++) await sleep(100);
const box = JSON.parse(await ev("JSON.stringify(document.getElementById('card-button').getBoundingClientRect())"));
const at = { x: box.x + box.width / 2, y: box.y + box.height / 2, button: 'left', clickCount: 1 };
await Input.dispatchMouseEvent({ type: 'mousePressed', ...at });
await Input.dispatchMouseEvent({ type: 'mouseReleased', ...at });
const started = Date.now();
while ((await ev('window.wendril.position().order')) < 20 && Date.now() - started < 300000) await sleep(1000);
const stats = await ev('window.wendril.stats()');
const info = await ev('({ scale: wendril.scale, threads: wendril.threads, threadsBuild: wendril.threadsBuild, audio: wendril.audio, message: wendril.message })');
await client.close();
const exited = new Promise((r) => chrome.once('exit', r));
chrome.kill();
await Promise.race([exited, sleep(5000)]);
await fs.rm(profile, { recursive: true, force: true }).catch(() => {});

// What a static host sends compressed: the page's files and the data set it fetched.
function gz(file) {
  try { return gzipSync(readFileSync(path.join(dir, file)), { level: 9 }).length; } catch { return 0; }
}
console.log(JSON.stringify({ query, ...info, ...stats, playedSeconds: (Date.now() - started) / 1000,
                             bytesOverNetwork: bytes,
                             gzipProgram: gz('wendril-web.wasm') + gz('wendril-web.js'),
                             gzipPage: gz('index.html') + gz('wendril.js') + gz('audio-worklet.js') }, null, 1));
process.exit(0);
