// The web build in a real browser (Debian's Chromium, headless): the page, the question, the
// canvas and the logo, the song's pace in real time with sound and without (Web Audio missing or
// refusing), the ways the demo ends, and a capture on
// demo-capture's virtual clock whose frames and audio must be byte for byte those of the native
// demo-capture and xmrender. Run by scripts/checks/web.sh, which builds the site and the tools.
//
//   SKR_SITE=build/web/site SKR_TOOLS=build/release node --test tests/web/
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, execFileSync } from 'node:child_process';
import { createHash } from 'node:crypto';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { launch } from './browser.mjs';
import { decodePng } from './png.mjs';

const root = resolve(fileURLToPath(new URL('../..', import.meta.url)));
const site = resolve(root, process.env.SKR_SITE ?? 'build/web/site');
const tools = resolve(root, process.env.SKR_TOOLS ?? 'build/release');

let server, origin;

// Python's http.server, as ./run.sh --web serves the site: plain static files, no special headers.
before(async () => {
  server = spawn('python3', ['-u', '-m', 'http.server', '--bind', '127.0.0.1', '--directory', site, '0'],
                 { stdio: ['ignore', 'pipe', 'pipe'] });
  origin = await new Promise((resolvePort, reject) => {
    let text = '';
    server.stdout.on('data', (d) => {
      text += d;
      const m = /port (\d+)/.exec(text);
      if (m) resolvePort(`http://127.0.0.1:${m[1]}`);
    });
    server.on('exit', (code) => reject(new Error(`http.server ended (${code})`)));
  });
});

after(() => server?.kill());

function errorsIn(page) {
  return page.console.filter((m) => m.type === 'error' || m.type === 'assert');
}

// Opens the page in a fresh browser; `body` gets the page; the browser is closed afterwards.
// `initScript` runs in the page before any of its own scripts.
async function withPage(path, body, { initScript } = {}) {
  const browser = await launch();
  try {
    if (initScript) await browser.page.send('Page.addScriptToEvaluateOnNewDocument', { source: initScript });
    await browser.page.goto(origin + path);
    await body(browser.page);
  } finally {
    await browser.close();
  }
}

// The canvas's part of a screenshot: fraction of pixels that are not black, in rows y0 … y1.
function litFraction(png, box, y0, y1) {
  let lit = 0, all = 0;
  for (let y = Math.round(box.y + y0); y < Math.round(box.y + y1); ++y)
    for (let x = Math.round(box.x); x < Math.round(box.x + box.width); ++x) {
      const i = (y * png.width + x) * png.channels;
      lit += png.data[i] + png.data[i + 1] + png.data[i + 2] > 48 ? 1 : 0;
      ++all;
    }
  return lit / all;
}

// Position 1 comes 3.84 s into the song, on the sound that has played or on the silent clock;
// then the canvas is 640x480 and shows the logo (rows 64-160) and its reflection, nothing below.
async function expectSongInRealTimeAndLogo(page) {
  const startedAt = await page.evaluate('skr.startedAt');
  const reached = await page.waitFor(`skr.songPosition() >= 1 && performance.now() - ${startedAt}`, 10, 20);
  const seconds = reached / 1000;
  assert.ok(seconds >= 3.6 && seconds <= 4.6, `position 1 after ${seconds.toFixed(2)} s`);

  const box = await page.evaluate(`(() => { const r = document.getElementById('screen').getBoundingClientRect();
    const c = document.getElementById('screen'); return { x: r.x, y: r.y, width: r.width, height: r.height, w: c.width, h: c.height }; })()`);
  assert.deepEqual([box.w, box.h, box.width, box.height], [640, 480, 640, 480]);
  const shot = decodePng(await page.screenshot());
  const logo = litFraction(shot, box, 64, 160), bottom = litFraction(shot, box, 400, 480);
  assert.ok(logo > 0.2, `logo rows ${(logo * 100).toFixed(1)} % lit`);
  assert.ok(bottom < 0.01, `bottom rows ${(bottom * 100).toFixed(1)} % lit`);
}

test('the question starts the demo: canvas 640x480, the logo, the song in real time, Escape ends it', async () => {
  await withPage('/', async (page) => {
    await page.waitFor('window.skr && skr.state === "question"');
    assert.deepEqual(errorsIn(page), [], 'console errors while loading');
    await page.clickElement('#no');
    await page.waitFor('skr.state === "running"');
    assert.equal(await page.evaluate('skr.audioKind'), 'AudioWorklet');
    await expectSongInRealTimeAndLogo(page);

    await page.key('Escape', 'Escape', 27);
    await page.waitFor('skr.state === "ended"', 5);
    assert.ok(await page.evaluate('!document.getElementById("ended").hidden'), 'the page says the demo has ended');
    assert.deepEqual(errorsIn(page), [], 'console errors');
  });
});

// Browsers that give no sound: Web Audio missing, an AudioContext that cannot be made, and one
// that is made but refuses to start (the refusal arriving after the demo has started, as a
// device that goes away). Each is replaced before the page's scripts run.
const refusals = [
  { name: 'no Web Audio',
    script: 'delete window.AudioContext; delete window.webkitAudioContext;',
    reason: 'the browser has no Web Audio' },
  { name: 'the AudioContext constructor throws',
    script: `window.AudioContext = class { constructor() { throw new DOMException('no audio output', 'NotSupportedError'); } };`,
    reason: 'the browser refused an audio context: no audio output' },
  { name: 'resume() rejects after the start',
    script: `{ const Real = window.AudioContext;
      window.AudioContext = class extends Real {
        constructor(options) { super(options); super.suspend(); }
        get state() { return 'suspended'; }
        resume() { return new Promise((_, reject) => setTimeout(() => reject(new DOMException('not allowed to start', 'NotAllowedError')), 100)); }
      }; }`,
    reason: 'the browser would not start the audio context: not allowed to start' },
];

for (const { name, script, reason } of refusals) {
  test(`${name}: the demo starts after the click, says once that it plays silently, and keeps real time`, async () => {
    await withPage('/?window', async (page) => {
      await page.waitFor('window.skr && skr.state === "ready"');
      await page.click(20, 20);
      await page.waitFor('skr.state === "running"');
      await expectSongInRealTimeAndLogo(page);
      assert.equal(await page.evaluate('skr.audioKind'), 'none');
      const said = page.console.filter((m) => m.text.startsWith('skr4mm3lb0d:')).map((m) => m.text);
      assert.deepEqual(said, [`skr4mm3lb0d: no audio device (${reason}); the demo plays silently`]);
      assert.deepEqual(errorsIn(page), [], 'console errors');
      await page.clickElement('#stop');
      await page.waitFor('skr.state === "ended"', 5);
    }, { initScript: script });
  });
}

test('the .wasm computes sines, cosines and powers of two bit for bit as the native build', async () => {
  await withPage('/?window', async (page) => {
    await page.waitFor('window.skr && skr.state === "ready"');
    const recorded = readFileSync(join(root, 'tests', 'portable_math_digest.txt'), 'utf8').trim();
    assert.equal(await page.evaluate('skr.mathDigest()'), recorded);
  });
});

test('?window: no question, a click anywhere starts it and the stop control ends it', async () => {
  await withPage('/?window', async (page) => {
    await page.waitFor('window.skr && skr.state === "ready"');
    assert.ok(await page.evaluate('document.getElementById("question").hidden'), 'no question');
    await page.click(20, 20);
    await page.waitFor('skr.state === "running"');
    assert.equal(await page.evaluate('skr.audioKind'), 'AudioWorklet');
    assert.equal(await page.evaluate('skr.fullScreen'), false);
    await page.clickElement('#stop');
    await page.waitFor('skr.state === "ended"', 5);
    assert.deepEqual(errorsIn(page), [], 'console errors');
  });
});

test('Yes: full screen scaled by a whole factor; leaving full screen ends the demo', async () => {
  await withPage('/', async (page) => {
    await page.waitFor('window.skr && skr.state === "question"');
    await page.clickElement('#yes');
    await page.waitFor('skr.state === "running" && document.fullscreenElement !== null');
    const size = await page.evaluate(`(() => { const r = document.getElementById('screen').getBoundingClientRect();
      return { width: r.width * devicePixelRatio, height: r.height * devicePixelRatio }; })()`);
    assert.ok(size.width % 640 === 0 && size.width / 640 === size.height / 480, `canvas shown at ${size.width}x${size.height}`);
    await page.evaluate('document.exitFullscreen()');
    await page.waitFor('skr.state === "ended"', 5);
    assert.deepEqual(errorsIn(page), [], 'console errors');
  });
});

// demo-capture's frames.csv: per frame its song and scene position.
function readFramesCsv(path) {
  const rows = readFileSync(path, 'utf8').trim().split('\n').slice(1).map((l) => l.split(',').map(Number));
  return { song: rows.map((r) => r[2]), scene: rows.map((r) => r[3]) };
}

function sha256(bytes) { return createHash('sha256').update(bytes).digest('hex'); }

// The samples of a 16-bit WAV file (its data chunk).
function wavData(path) {
  const file = readFileSync(path);
  for (let at = 12; at < file.length;) {
    const id = file.toString('latin1', at, at + 4), size = file.readUInt32LE(at + 4);
    if (id === 'data') return file.subarray(at + 8, at + 8 + size);
    at += 8 + size + (size & 1);
  }
  throw new Error(`${path}: no data chunk`);
}

test('capture mode: every scene byte for byte as demo-capture, the audio as xmrender', { timeout: 600_000 }, async () => {
  const fps = 50, scenes = [0, 4, 8, 12, 14, 16], after = [3, 30];
  const work = mkdtempSync(join(tmpdir(), 'skr-web-capture-'));
  try {
    // Where each scene begins on demo-capture's clock (position 16 at about 110 s).
    const run = (args) => execFileSync(join(tools, 'demo-capture'), ['--fps', String(fps), '--quiet', ...args]);
    run(['--frames', '6000', '--from', '5999', '--out', join(work, 'timeline')]);
    const timeline = readFramesCsv(join(work, 'timeline', 'frames.csv'));
    const starts = scenes.map((p) => timeline.scene.findIndex((s) => s === p));
    assert.ok(starts.every((s) => s >= 0), `scene starts ${starts}`);
    const keep = starts.flatMap((s) => after.map((a) => s + a));
    const frames = Math.max(...keep) + 1;

    const browser = await launch();
    let page, seconds;
    try {
      page = browser.page;
      await page.goto(`${origin}/?capture&fps=${fps}&frames=${frames}&keep=${keep.join(',')}`);
      await page.waitFor('window.skr && (skr.capture.done || skr.state === "failed")', 540, 250);
      assert.equal(await page.evaluate('skr.state'), 'running');
      seconds = await page.evaluate('skr.capture.seconds');
      console.log(`# ${frames} frames (${(frames / fps).toFixed(1)} s of demo) captured in ${seconds.toFixed(1)} s`);

      // The timeline frame by frame.
      const positions = await page.evaluate('skr.capture.positions()');
      assert.deepEqual(positions.song, timeline.song.slice(0, frames), 'song positions');
      assert.deepEqual(positions.scene, timeline.scene.slice(0, frames), 'scene positions');

      // The frames: RGBA from the canvas against the RGB of demo-capture's PNGs.
      for (const start of starts) {
        const out = join(work, `scene${start}`);
        run(['--frames', String(frames), '--from', String(start + after[0]), '--to', String(start + after.at(-1) + 1), '--out', out]);
        for (const a of after) {
          const k = start + a;
          const expected = decodePng(readFileSync(join(out, `frame_${String(k).padStart(6, '0')}.png`)));
          const shown = Buffer.from(await page.evaluate(`skr.capture.frame(${k})`), 'base64');
          let differing = 0;
          for (let i = 0, j = 0; i < 640 * 480; ++i, j += 3)
            if (shown[4 * i] !== expected.data[j] || shown[4 * i + 1] !== expected.data[j + 1] ||
                shown[4 * i + 2] !== expected.data[j + 2] || shown[4 * i + 3] !== 255) ++differing;
          assert.equal(differing, 0, `frame ${k} (scene ${timeline.scene[k]}): ${differing} pixels differ`);
        }
      }

      // The audio of the captured span, second by second, against xmrender of the embedded song.
      const audioBytes = await page.evaluate('skr.capture.audioBytes()');
      assert.equal(audioBytes, Math.floor(frames * 44100 / fps) * 4);
      execFileSync(join(tools, 'xmrender'), ['--seconds', String(Math.ceil(frames / fps) + 1),
                                            join(root, 'resources', '118-song.xm'), join(work, 'song.wav')]);
      const reference = wavData(join(work, 'song.wav')).subarray(0, audioBytes);
      assert.equal(reference.length, audioBytes);
      const second = 44100 * 4;
      const digests = await page.evaluate(`skr.capture.audioDigests(${second})`);
      const expected = [];
      for (let i = 0; i < audioBytes; i += second) expected.push(sha256(reference.subarray(i, i + second)));
      const first = digests.findIndex((d, i) => d !== expected[i]);
      assert.ok(first < 0 && digests.length === expected.length, `audio differs from second ${first} on`);
      assert.deepEqual(errorsIn(page), [], 'console errors');
    } finally {
      await browser.close();
    }
  } finally {
    rmSync(work, { recursive: true, force: true });
  }
});
