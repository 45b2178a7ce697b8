// The player page in headless Chromium, served by the web router (tavo-web-serve), with a
// stub `app` bridge that keeps the real bridge's argument rules, a small video service and
// an H.264 video made with ffmpeg. Drives Chromium over the DevTools protocol on a pipe and
// saves screenshots. Exits 1 when a check fails.
//
// Environment: TAVO_CHROMIUM, TAVO_FFMPEG, TAVO_WEB_SERVE, TAVO_HTMLLOCAL, TAVO_SCREENSHOTS.
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';

const env = process.env;
for (const name of ['TAVO_CHROMIUM', 'TAVO_FFMPEG', 'TAVO_WEB_SERVE', 'TAVO_HTMLLOCAL', 'TAVO_SCREENSHOTS']) {
  if (!env[name]) {
    console.error(`${name} is not set`);
    process.exit(2);
  }
}

const temp = fs.mkdtempSync(path.join(os.tmpdir(), 'tavo-page-'));
const children = [];
let videoService = null;
const failures = [];

async function cleanUp() {
  for (const child of children) {
    if (child.exitCode !== null || child.signalCode !== null) continue;
    const gone = new Promise((resolve) => child.once('exit', resolve));
    // The browser runs in a process group of its own: its helpers go with it, so none
    // still writes into the profile while the folder is removed.
    try {
      process.kill(-child.pid, 'SIGKILL');
    } catch {
      child.kill('SIGKILL');
    }
    await Promise.race([gone, sleep(3000)]);
  }
  if (videoService) videoService.close();
  try {
    fs.rmSync(temp, { recursive: true, force: true, maxRetries: 10, retryDelay: 200 });
  } catch (error) {
    // A leftover temporary folder is not a failure of the page.
    console.error(`note: could not remove ${temp}: ${error.code}`);
  }
}

// Anything that hangs ends the run.
const guard = setTimeout(async () => {
  console.error('FAIL: the page test did not finish within 170 s');
  await cleanUp();
  process.exit(1);
}, 170_000);

function check(condition, what, detail = '') {
  if (condition) {
    console.log(`ok   ${what}`);
  } else {
    console.log(`FAIL ${what}${detail ? ': ' + detail : ''}`);
    failures.push(what);
  }
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// ---- Media -------------------------------------------------------------------------------

// A 20-second lesson-like H.264 video: a title card with a running clock, and a tone.
function makeMedia() {
  const demo = path.join(temp, 'demo.mp4');
  const background = path.join(temp, 'background.png');
  const run = (args) => {
    const made = spawnSync(env.TAVO_FFMPEG, ['-v', 'error', '-y', ...args], { encoding: 'utf8' });
    if (made.status !== 0) throw new Error('ffmpeg failed: ' + made.stderr);
  };
  run(['-f', 'lavfi', '-i', 'gradients=s=960x540:c0=0x0e1a2b:c1=0x23436e:x0=0:y0=0:x1=960:y1=540:speed=0.00001',
    '-frames:v', '1', background]);
  const font = spawnSync('fc-match', ['-f', '%{file}', 'Noto Sans CJK SC:style=Bold'], { encoding: 'utf8' }).stdout;
  const text = (words, size, colour, x, y) =>
    `drawtext=fontfile=${font}:text='${words}':fontsize=${size}:fontcolor=${colour}:x=${x}:y=${y}`;
  const filters = ['drawbox=x=96:y=190:w=5:h=112:color=0xffb703@1:t=fill'];
  if (font) {
    filters.push(text('片段阅读：主旨概括题', 48, 'white', 120, 190), text('第 1 讲 · 言语理解与表达', 26, '0xc9d8f0', 120, 264),
      text('%{pts\\:hms}', 22, '0xc9d8f0@0.8', 'w-tw-44', 'h-th-36'));
  }
  filters.push('format=yuv420p');
  run(['-loop', '1', '-framerate', '25', '-t', '20', '-i', background, '-f', 'lavfi', '-i', 'sine=frequency=440:duration=20',
    '-vf', filters.join(','), '-c:v', 'libx264', '-preset', 'ultrafast', '-g', '25', '-c:a', 'aac', '-shortest',
    '-movflags', '+faststart', demo]);
  // Looks like a video by name, holds noise: the media element reports an error.
  const noise = Buffer.alloc(64 * 1024);
  for (let i = 0; i < noise.length; i++) noise[i] = (i * 7919 + 13) & 0xff;
  fs.writeFileSync(path.join(temp, 'broken.mp4'), noise);
}

// ---- Video service -----------------------------------------------------------------------

const VIDEOS = {
  'v-demo': { file: 'demo.mp4', title: '片段阅读：主旨概括题' },
  'v-broken': { file: 'broken.mp4', title: '损坏的视频' },
};

// A play authorisation as the school issues it: Base64 of JSON naming the exchange address,
// the video and a token. The bare text "ok" is accepted too (an authorisation without an
// address, which the page sends to the "videoService" origin of the window's answer).
function playAuthFor(origin, vid, token) {
  return Buffer.from(JSON.stringify({ VideoService: `${origin}/video/resolve`, Vid: vid, Expires: 4102444800,
    Token: token })).toString('base64');
}

function authorised(auth, vid) {
  if (auth === 'ok') return true;
  try {
    const info = JSON.parse(Buffer.from(auth || '', 'base64').toString('utf8'));
    return info.Token === 'good' && info.Vid === vid;
  } catch {
    return false;
  }
}

function startVideoService() {
  return new Promise((resolve) => {
    const server = http.createServer((req, res) => {
      const url = new URL(req.url, 'http://127.0.0.1');
      const cors = {
        'Access-Control-Allow-Origin': req.headers.origin || '*',
        'Access-Control-Allow-Headers': 'Range',
        'Access-Control-Expose-Headers': 'Content-Length, Content-Range, Accept-Ranges',
      };
      if (req.method === 'OPTIONS') {
        res.writeHead(204, cors);
        res.end();
        return;
      }
      if (url.pathname === '/video/resolve') {
        const vid = url.searchParams.get('vid');
        const video = VIDEOS[vid];
        const json = (status, body) => {
          res.writeHead(status, { ...cors, 'Content-Type': 'application/json' });
          res.end(JSON.stringify(body));
        };
        if (!authorised(url.searchParams.get('playAuth'), vid)) return json(403, { error: 'invalid play authorisation' });
        if (!video) return json(404, { error: 'unknown video' });
        return json(200, { vid: url.searchParams.get('vid'), url: `${origin}/media/${video.file}`, title: video.title });
      }
      const media = url.pathname.match(/^\/media\/([a-z]+\.mp4)$/);
      if (media && fs.existsSync(path.join(temp, media[1]))) {
        const data = fs.readFileSync(path.join(temp, media[1]));
        const range = /bytes=(\d+)-(\d*)/.exec(req.headers.range || '');
        const headers = { ...cors, 'Content-Type': 'video/mp4', 'Accept-Ranges': 'bytes' };
        if (range) {
          const start = Number(range[1]);
          const end = range[2] ? Math.min(Number(range[2]), data.length - 1) : data.length - 1;
          res.writeHead(206, { ...headers, 'Content-Range': `bytes ${start}-${end}/${data.length}`,
            'Content-Length': end - start + 1 });
          res.end(data.subarray(start, end + 1));
        } else {
          res.writeHead(200, { ...headers, 'Content-Length': data.length });
          res.end(data);
        }
        return;
      }
      res.writeHead(404, cors);
      res.end();
    });
    let origin = '';
    server.listen(0, '127.0.0.1', () => {
      origin = `http://127.0.0.1:${server.address().port}`;
      resolve({ server, origin });
    });
  });
}

// ---- The web router ----------------------------------------------------------------------

function startWebServe() {
  return new Promise((resolve, reject) => {
    const child = spawn(env.TAVO_WEB_SERVE, ['--folder', env.TAVO_HTMLLOCAL], { stdio: ['ignore', 'pipe', 'inherit'] });
    children.push(child);
    let out = '';
    child.stdout.on('data', (chunk) => {
      out += chunk;
      const found = /listening (\d+)/.exec(out);
      if (found) resolve(Number(found[1]));
    });
    child.on('exit', (code) => reject(new Error(`tavo-web-serve ended with ${code}`)));
  });
}

// ---- Chromium over the DevTools protocol on a pipe ---------------------------------------

class Browser {
  constructor() {
    this.nextId = 1;
    this.pending = new Map();
    this.listeners = [];
    this.buffer = '';
    const log = fs.openSync(path.join(temp, 'chromium.log'), 'w');
    this.child = spawn(env.TAVO_CHROMIUM, [
      '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
      `--user-data-dir=${path.join(temp, 'profile')}`, '--remote-debugging-pipe',
      '--autoplay-policy=no-user-gesture-required', '--mute-audio', '--hide-scrollbars',
      '--window-size=1280,720', '--lang=zh-CN', 'about:blank',
    ], { stdio: ['ignore', log, log, 'pipe', 'pipe'], detached: true });
    children.push(this.child);
    this.child.stdio[4].on('data', (chunk) => this.onData(chunk));
  }

  onData(chunk) {
    this.buffer += chunk.toString('utf8');
    let end;
    while ((end = this.buffer.indexOf('\0')) >= 0) {
      const message = JSON.parse(this.buffer.slice(0, end));
      this.buffer = this.buffer.slice(end + 1);
      if (message.id && this.pending.has(message.id)) {
        const { resolve, reject } = this.pending.get(message.id);
        this.pending.delete(message.id);
        if (message.error) reject(new Error(JSON.stringify(message.error))); else resolve(message.result);
      } else if (message.method) {
        for (const listener of this.listeners) listener(message);
      }
    }
  }

  send(method, params = {}, sessionId = undefined) {
    const id = this.nextId++;
    const message = { id, method, params };
    if (sessionId) message.sessionId = sessionId;
    this.child.stdio[3].write(JSON.stringify(message) + '\0');
    return new Promise((resolve, reject) => this.pending.set(id, { resolve, reject }));
  }

  async openPage() {
    const { targetInfos } = await this.send('Target.getTargets');
    let target = targetInfos.find((t) => t.type === 'page');
    if (!target) target = { targetId: (await this.send('Target.createTarget', { url: 'about:blank' })).targetId };
    const { sessionId } = await this.send('Target.attachToTarget', { targetId: target.targetId, flatten: true });
    return new Page(this, sessionId);
  }
}

class Page {
  constructor(browser, sessionId) {
    this.browser = browser;
    this.sessionId = sessionId;
    this.exceptions = [];
    browser.listeners.push((message) => {
      if (message.sessionId !== sessionId) return;
      if (message.method === 'Runtime.exceptionThrown') {
        const details = message.params.exceptionDetails;
        this.exceptions.push((details.exception && details.exception.description) || details.text);
      }
    });
  }

  send(method, params) { return this.browser.send(method, params, this.sessionId); }

  async evaluate(expression) {
    const result = await this.send('Runtime.evaluate', { expression, returnByValue: true, awaitPromise: true,
      userGesture: true });
    if (result.exceptionDetails) throw new Error(`${expression}: ${result.exceptionDetails.text}`);
    return result.result.value;
  }

  async waitFor(expression, what, timeout = 15_000) {
    const deadline = Date.now() + timeout;
    while (Date.now() < deadline) {
      if (await this.evaluate(expression)) return true;
      await sleep(100);
    }
    check(false, what, `timed out waiting for ${expression}`);
    return false;
  }

  async navigate(url) {
    await this.send('Page.navigate', { url });
    await this.waitFor('document.readyState === "complete"', `load ${url}`);
  }

  async screenshot(name) {
    const { data } = await this.send('Page.captureScreenshot', { format: 'png' });
    fs.mkdirSync(env.TAVO_SCREENSHOTS, { recursive: true });
    const file = path.join(env.TAVO_SCREENSHOTS, name);
    fs.writeFileSync(file, Buffer.from(data, 'base64'));
    console.log(`     screenshot ${file}`);
  }

  mouse(type, x, y, extra = {}) {
    return this.send('Input.dispatchMouseEvent', { type, x, y, ...extra });
  }

  async key(key, code, text = undefined) {
    await this.send('Input.dispatchKeyEvent', { type: 'keyDown', key, code, text });
    await this.send('Input.dispatchKeyEvent', { type: 'keyUp', key, code });
  }
}

// The stub bridge: records calls and answers "getVidAndPlayAuth". Like the real bridge it
// refuses a call without a callback or with a parameter that is not a text.
function stubBridge(playAuth) {
  return `
    if (!location.search.includes('noapp')) {
      window.__calls = [];
      window.__auth = { vid: 'v-demo', playAuth: ${JSON.stringify(playAuth)}, width: '1280px', height: '720px',
                        lessonId: 'L7', classId: 'C3', playbackRate: 1.25, reconnectMs: 30000 };
      window.app = { call: function (name, params, callback) {
        if (typeof name !== 'string') throw new Error('Invalid arguments.');
        if (typeof params === 'function') { callback = params; params = '{}'; }
        else if (typeof params !== 'string' || typeof callback !== 'function') throw new Error('Invalid arguments.');
        window.__calls.push({ name: name, params: params });
        if (name === 'getVidAndPlayAuth') {
          setTimeout(function () { callback('200', JSON.stringify(window.__auth)); }, 20);
        }
      } };
    }`;
}

const calls = (page, name) => page.evaluate(`window.__calls.filter(c => c.name === ${JSON.stringify(name)})`);
const count = (name) => `window.__calls.filter(c => c.name === ${JSON.stringify(name)}).length`;

async function run() {
  makeMedia();
  const service = await startVideoService();
  videoService = service.server;
  const port = await startWebServe();
  const pageUrl = `http://127.0.0.1:${port}/index.html`;

  const browser = new Browser();
  const page = await browser.openPage();
  await page.send('Runtime.enable');
  await page.send('Page.enable');
  await page.send('Emulation.setDeviceMetricsOverride', { width: 1280, height: 720, deviceScaleFactor: 1, mobile: false });
  const authText = (vid, token) => JSON.stringify(playAuthFor(service.origin, vid, token));
  await page.send('Page.addScriptToEvaluateOnNewDocument', { source: stubBridge(playAuthFor(service.origin, 'v-demo', 'good')) });
  await page.navigate(pageUrl);

  // Play authorisation, address, start.
  await page.waitFor(`${count('getVidAndPlayAuth')} === 1`, 'asks the window for the play authorisation');
  const auth = await calls(page, 'getVidAndPlayAuth');
  check(auth.length === 1 && auth[0].params === '{}', 'getVidAndPlayAuth is called with a callback only');
  await page.waitFor(`${count('playVideoStart')} === 1`, 'reports playVideoStart once playing');
  await page.waitFor('document.getElementById("video").currentTime > 1', 'the demo video plays');
  check(await page.evaluate('document.getElementById("video").src.endsWith("/media/demo.mp4")'),
    'plays the address the video service resolved');
  check(await page.evaluate('document.getElementById("video").playbackRate') === 1.25,
    'plays at the speed the window kept for the student');
  await page.waitFor(`window.__calls.some(c => c.name === "playState" && JSON.parse(c.params).state === "playing")`,
    'reports playState playing');

  // The window's functions.
  await page.evaluate('seek("6")');
  await page.waitFor('document.getElementById("video").currentTime >= 4', 'seek moves near the resume position');
  check(await page.evaluate('document.getElementById("video").currentTime') < 5.5,
    'a resume starts two seconds before the saved position');
  await page.evaluate('getPlayCurrentTime("L7", "C3", "v-demo")');
  await page.waitFor(`${count('setPlayCurrentTime')} === 1`, 'getPlayCurrentTime answers with setPlayCurrentTime');
  {
    const [answer] = await calls(page, 'setPlayCurrentTime');
    const report = JSON.parse(answer.params);
    const now = await page.evaluate('document.getElementById("video").currentTime');
    check(Math.abs(report.time - now) < 1.5 && report.time >= 4 && report.lessonId === 'L7' && report.classId === 'C3' &&
      report.vid === 'v-demo', 'setPlayCurrentTime carries the current time, lessonId, classId and vid', answer.params);
  }
  await page.evaluate('playerPause()');
  await page.waitFor(`${count('pauseVideo')} === 1`, 'playerPause reports pauseVideo');
  {
    const [pause] = await calls(page, 'pauseVideo');
    const report = JSON.parse(pause.params);
    check(report.time >= 4 && report.vid === 'v-demo' && report.lessonId === 'L7', 'pauseVideo carries the time', pause.params);
  }

  // Pointer: enter, move, press, drag.
  await page.mouse('mouseMoved', 300, 200);
  await page.mouse('mouseMoved', 310, 210);
  await page.waitFor(`${count('mouseMove')} >= 1`, 'pointer movement reports mouseMove');
  await page.mouse('mousePressed', 310, 210, { button: 'left', buttons: 1, clickCount: 1 });
  await page.mouse('mouseMoved', 350, 230, { button: 'left', buttons: 1 });
  await page.mouse('mouseReleased', 350, 230, { button: 'left', buttons: 0, clickCount: 1 });
  await page.waitFor(`${count('onLButtonDown')} >= 1`, 'left button down reports onLButtonDown');
  {
    const drags = (await calls(page, 'mousePlayerDrag')).map((c) => JSON.parse(c.params).drag);
    check(drags[0] === 0 && drags.includes(1), 'dragging the picture reports drag 0 then 1', JSON.stringify(drags));
  }
  await sleep(400);
  check(await page.evaluate('document.getElementById("video").paused'), 'a drag is not a click: the video stays paused');
  await page.mouse('mouseMoved', 900, 655);  // over the seek bar: its time bubble shows
  await sleep(2000);  // the resume notice fades
  await page.screenshot('player.png');

  // Keyboard: space plays, arrows seek, space pauses again.
  await page.key(' ', 'Space', ' ');
  await page.waitFor('!document.getElementById("video").paused', 'space plays');
  const before = await page.evaluate('document.getElementById("video").currentTime');
  await page.key('ArrowRight', 'ArrowRight');
  await page.waitFor(`document.getElementById("video").currentTime >= ${before + 4}`, 'arrow right seeks forward');
  await page.key('ArrowDown', 'ArrowDown');
  check(Math.abs(await page.evaluate('document.getElementById("video").volume') - 0.9) < 0.011, 'arrow down lowers the volume');
  await page.key(' ', 'Space', ' ');
  await page.waitFor(`${count('pauseVideo')} === 2`, 'space pauses and reports pauseVideo');

  // Speed menu.
  await page.evaluate('document.getElementById("speedButton").click()');
  await page.evaluate('document.querySelector("#speedMenu li[data-rate=\\"1.5\\"]").click()');
  check(await page.evaluate('document.getElementById("video").playbackRate') === 1.5, 'the speed menu sets 1.5x');
  // The button follows the video's ratechange event, which comes after the click returns.
  await page.waitFor('document.getElementById("speedButton").textContent === "1.5x"', 'the speed button shows 1.5x');
  {
    const rates = (await calls(page, 'setPlaybackRate')).map((c) => JSON.parse(c.params).rate);
    check(JSON.stringify(rates) === '[1.5]', 'a chosen speed goes to the window to be kept', JSON.stringify(rates));
  }

  // Drill keys: speed steps up to 3x and down to 0.5x, "=" is 1x again.
  const rate = () => page.evaluate('document.getElementById("video").playbackRate');
  await page.key(']', 'BracketRight', ']');
  check(await rate() === 1.75, '"]" is one step faster');
  for (let i = 0; i < 6; i++) await page.key(']', 'BracketRight', ']');
  check(await rate() === 3, 'speeds stop at 3x');
  for (let i = 0; i < 10; i++) await page.key('[', 'BracketLeft', '[');
  check(await rate() === 0.5, 'speeds stop at 0.5x');
  await page.key('=', 'Equal', '=');
  check(await rate() === 1, '"=" plays at 1x again');

  // The A-B loop: A at 2 s, B at 4 s; playback stays between them until cleared.
  await page.evaluate('(() => { const v = document.getElementById("video"); v.currentTime = 2; })()');
  await page.waitFor('!document.getElementById("video").seeking', 'seeks to 2 s');
  await page.key('a', 'KeyA', 'a');
  await page.evaluate('(() => { const v = document.getElementById("video"); v.currentTime = 4; })()');
  await page.waitFor('!document.getElementById("video").seeking', 'seeks to 4 s');
  await page.key('b', 'KeyB', 'b');
  await page.evaluate('playerPlay()');
  {
    let wrapped = false;
    let outside = null;
    let last = 0;
    for (let i = 0; i < 40; i++) {
      const t = await page.evaluate('document.getElementById("video").currentTime');
      if (t < last - 0.5) wrapped = true;
      if (t < 1.7 || t > 4.6) outside = t;
      last = t;
      await sleep(100);
    }
    check(wrapped && outside === null, 'the A-B loop repeats the passage between A and B',
      `wrapped ${wrapped}, outside at ${outside}`);
    check(await page.evaluate('!document.getElementById("loopRange").hidden'), 'the seek bar marks the loop');
  }
  await page.key('c', 'KeyC', 'c');
  await page.waitFor('document.getElementById("video").currentTime > 5', 'after "C" playback goes past B');
  await page.evaluate('playerPause()');

  // The desktop's media keys: toggle and an exact position.
  await page.evaluate('playerToggle()');
  await page.waitFor('!document.getElementById("video").paused', 'playerToggle plays');
  await page.evaluate('playerToggle()');
  await page.waitFor('document.getElementById("video").paused', 'playerToggle pauses');
  await page.evaluate('playerSeekTo("7.5")');
  await page.waitFor('Math.abs(document.getElementById("video").currentTime - 7.5) < 0.3', 'playerSeekTo moves exactly');
  await page.waitFor(`window.__calls.some(c => c.name === "playState" && JSON.parse(c.params).state === "paused")`,
    'reports playState paused');

  // "?" lists the keys; Escape closes the list.
  await page.key('?', 'Slash', '?');
  check(await page.evaluate('!document.getElementById("help").hidden'), '"?" shows the key help');
  await page.screenshot('player-help.png');
  await page.key('Escape', 'Escape');
  check(await page.evaluate('document.getElementById("help").hidden'), 'Escape closes the key help');

  // End of the video: reported, and the pause at the end is not a user's pause.
  const pausesBeforeEnd = await page.evaluate(count('pauseVideo'));
  await page.evaluate('(() => { const v = document.getElementById("video"); v.currentTime = v.duration - 0.6; playerPlay(); })()');
  await page.waitFor(`${count('playVideoEnd')} === 1`, 'reports playVideoEnd at the end');
  check(await page.evaluate(count('pauseVideo')) === pausesBeforeEnd, 'the end is not reported as a pause');
  await sleep(300);
  await page.screenshot('player-end.png');
  await page.evaluate('playerReplay()');
  await page.waitFor(`${count('playVideoStart')} === 2`, 'playerReplay starts again and reports playVideoStart');
  check(await page.evaluate('document.getElementById("video").currentTime < 3'), 'playerReplay starts from the beginning');

  // Full screen and back.
  await page.evaluate('document.getElementById("fullscreen").click()');
  await page.waitFor(`${count('playVideoFullScreen')} === 1`, 'full screen reports playVideoFullScreen');
  await page.evaluate('document.getElementById("fullscreen").click()');
  await page.waitFor(`${count('playVideoCancelFullScreen')} === 1`, 'leaving full screen reports playVideoCancelFullScreen');

  await page.evaluate('setPrismPlayerSize("800", "450")');
  check(await page.evaluate('document.getElementById("player").getBoundingClientRect().width') === 800,
    'setPrismPlayerSize sizes the player');

  // Errors: media that cannot play, an authorisation the service refuses, then recovery.
  await page.evaluate(`replay("v-broken", ${authText('v-broken', 'good')})`);
  await page.waitFor(`${count('playError')} === 1`, 'a broken video reports playError');
  {
    const [error] = await calls(page, 'playError');
    const code = JSON.parse(error.params).error_code;
    check(Number.isInteger(code) && code >= 1 && code <= 4, 'the media error code is reported', error.params);
    check(await page.evaluate('!document.getElementById("message").hidden'), 'the page shows why the video cannot play');
  }
  await page.evaluate(`replay("v-demo", ${authText('v-demo', 'expired')})`);
  await page.waitFor(`${count('playError')} === 2`, 'a refused play authorisation reports playError');
  check(JSON.parse((await calls(page, 'playError'))[1].params).error_code === 4003, 'refused authorisation has code 4003');
  await page.evaluate('setPrismPlayerSize("1280", "720")');
  await sleep(200);
  await page.screenshot('player-error.png');
  await page.evaluate(`replay("v-demo", ${authText('v-demo', 'good')})`);
  await page.waitFor(`${count('playVideoStart')} === 3`, 'replay after an error plays again');
  check(await page.evaluate('document.getElementById("message").hidden'), 'the message goes once the video plays');

  // The page's own retry asks the window for a fresh authorisation; this one names no
  // address, so the page takes the "videoService" origin of the answer.
  await page.evaluate(`replay("v-demo", ${authText('v-demo', 'expired')})`);
  await page.waitFor(`${count('playError')} === 3`, 'refused again');
  await page.evaluate(`window.__auth = { vid: 'v-demo', playAuth: 'ok', videoService: ${JSON.stringify(service.origin)} }`);
  await page.evaluate('document.getElementById("retry").click()');
  await page.waitFor(`${count('getVidAndPlayAuth')} === 2`, 'retry asks for a fresh play authorisation');
  await page.waitFor(`${count('playVideoStart')} === 4`, 'retry plays again');

  // A downloaded lesson: the answer names the address its file is served at ("src") in place
  // of a play authorisation; the page plays it directly and reports like any lesson.
  await page.evaluate(`window.__auth = { vid: 'v-local', playAuth: '', src: ${JSON.stringify(service.origin + '/media/demo.mp4?local')},
                                         lessonId: 'L8', classId: 'C3' }`);
  await page.evaluate('replay()');
  await page.waitFor(`${count('getVidAndPlayAuth')} === 3`, 'a replay without arguments asks the window');
  await page.waitFor(`${count('playVideoStart')} === 5`, 'the downloaded lesson plays');
  check(await page.evaluate('document.getElementById("video").src.endsWith("/media/demo.mp4?local")'),
        'the lesson plays from the address it was given');
  await page.evaluate('playerPause()');
  await page.waitFor(`${count('pauseVideo')} > 0 && JSON.parse(window.__calls.filter(c => c.name === 'pauseVideo').pop().params).lessonId === 'L8'`,
                     'the downloaded lesson reports its pause with its own ids');

  check(page.exceptions.length === 0, 'no script exception with the bridge', page.exceptions.join(' | '));

  // Without the player window: plays an address given in the page's address.
  await page.navigate(`${pageUrl}?noapp&title=${encodeURIComponent('开发模式')}&src=${encodeURIComponent(service.origin + '/media/demo.mp4')}`);
  await page.waitFor('document.getElementById("video").currentTime > 0.5', 'plays in a plain browser without app');
  check(await page.evaluate('document.getElementById("title").textContent') === '开发模式', 'shows the title on its own');
  await page.navigate(`${pageUrl}?noapp`);
  await page.waitFor('!document.getElementById("message").hidden', 'without app or address the page says what to do');
  check(page.exceptions.length === 0, 'no script exception without the bridge', page.exceptions.join(' | '));

  await browser.send('Browser.close').catch(() => {});
}

run().then(async () => {
  clearTimeout(guard);
  await cleanUp();
  console.log(failures.length ? `${failures.length} check(s) failed` : 'all checks passed');
  process.exit(failures.length ? 1 : 0);
}, async (e) => {
  clearTimeout(guard);
  console.error('FAIL', e && e.stack ? e.stack : e);
  await cleanUp();
  process.exit(1);
});
