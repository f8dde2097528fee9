// The web build in a real browser (Debian's Chromium, headless): the page, the question, the
// canvas and the logo, the song's pace in real time with sound and without (Web Audio missing or
// refusing), the ways the demo ends and starts again, phones held upright and sideways (the
// picture inside the screen, taps, the full-viewport mode), an audio context suspended while the
// demo plays, the output latency, and a capture on demo-capture's virtual clock whose frames and
// audio must be byte for byte those of the native demo-capture and xmrender. Run by
// scripts/checks/web.sh, which builds the site and the tools.
//
//   SKR_SITE=build/web/site SKR_TOOLS=build/release node --test tests/web/
//   (SKR_SCREENSHOTS=DIR also keeps the phones' screenshots there.)
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, execFileSync } from 'node:child_process';
import { createHash } from 'node:crypto';
import { mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
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
// `initScript` runs in the page before any of its own scripts; `phone` ([width, height]) makes
// the page a phone's, with a touch screen.
async function withPage(path, body, { initScript, phone } = {}) {
  const browser = await launch();
  try {
    if (initScript) await browser.page.send('Page.addScriptToEvaluateOnNewDocument', { source: initScript });
    if (phone) await browser.page.emulatePhone(...phone);
    await browser.page.goto(origin + path);
    await body(browser.page);
  } finally {
    await browser.close();
  }
}

// The canvas's part of a screenshot: fraction of pixels that are not black, in rows y0 … y1 of
// the 640×480 picture, wherever and however large the canvas is shown.
function litFraction(png, box, y0, y1) {
  const scale = png.width / box.viewportWidth;  // device pixels per CSS pixel
  const top = box.y + (y0 * box.height) / 480, bottom = box.y + (y1 * box.height) / 480;
  let lit = 0, all = 0;
  for (let y = Math.round(top * scale); y < Math.round(bottom * scale); ++y)
    for (let x = Math.round(box.x * scale); x < Math.round((box.x + box.width) * scale); ++x) {
      const i = (y * png.width + x) * png.channels;
      lit += png.data[i] + png.data[i + 1] + png.data[i + 2] > 48 ? 1 : 0;
      ++all;
    }
  return lit / all;
}

// The canvas: where it is shown (CSS pixels), the size of its own picture, and the viewport's.
async function canvasBox(page) {
  return page.evaluate(`(() => { const c = document.getElementById('screen'), r = c.getBoundingClientRect();
    return { x: r.x, y: r.y, width: r.width, height: r.height, w: c.width, h: c.height,
             viewportWidth: innerWidth, viewportHeight: innerHeight,
             scrollWidth: document.documentElement.scrollWidth, scrollHeight: document.documentElement.scrollHeight }; })()`);
}

// The canvas holds the 320×240 composition; it shows the logo (rows 64-160 of the picture) and
// its reflection, nothing below.
// Returns the screenshot (PNG).
async function expectLogo(page) {
  const box = await canvasBox(page);
  assert.deepEqual([box.w, box.h], [320, 240]);
  const png = await page.screenshot(), shot = decodePng(png);
  const logo = litFraction(shot, box, 64, 160), bottom = litFraction(shot, box, 400, 480);
  assert.ok(logo > 0.2, `logo rows ${(logo * 100).toFixed(1)} % lit`);
  assert.ok(bottom < 0.01, `bottom rows ${(bottom * 100).toFixed(1)} % lit`);
  return png;
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

function linesSaid(page) {
  return page.console.filter((m) => m.text.startsWith('skr4mm3lb0d:')).map((m) => m.text);
}

// The song starts playing within 2 s of the click (the audio context, its worklet, the start-up
// and the first two seconds of music rendered); position 1 comes 3.84 s into it, on the sound
// that has played or on the silent clock; then the picture is shown at 640x480 (on a 1024x768
// page) with the logo.
async function expectSongInRealTimeAndLogo(page) {
  const [startedAt, playingAt] = await page.evaluate('[skr.startedAt, skr.playingAt]');
  assert.ok(playingAt - startedAt < 2000, `playing ${(playingAt - startedAt).toFixed(0)} ms after the click`);
  const reached = await page.waitFor(`skr.songPosition() >= 1 && performance.now() - ${playingAt}`, 10, 20);
  const seconds = reached / 1000;
  assert.ok(seconds >= 3.6 && seconds <= 4.6, `position 1 ${seconds.toFixed(2)} s into the song`);
  const box = await canvasBox(page);
  assert.deepEqual([box.width, box.height], [640, 480]);
  await expectLogo(page);
}

// The element lies wholly inside the viewport and is at least 44 CSS pixels each way: a finger
// reaches it without scrolling.
async function expectReachable(page, selector) {
  const b = await page.boxOf(selector);
  const [width, height] = await page.evaluate('[innerWidth, innerHeight]');
  assert.ok(b.width >= 44 && b.height >= 44, `${selector} is ${b.width}x${b.height}`);
  assert.ok(b.x >= 0 && b.y >= 0 && b.x + b.width <= width && b.y + b.height <= height,
            `${selector} at ${JSON.stringify(b)} in ${width}x${height}`);
}

// The picture lies wholly inside the viewport, 4:3, and nothing scrolls sideways.
async function expectPictureInside(page) {
  const box = await canvasBox(page);
  const where = `canvas at ${JSON.stringify(box)}`;
  assert.ok(box.x >= 0 && box.y >= 0 && box.x + box.width <= box.viewportWidth + 0.01 &&
            box.y + box.height <= box.viewportHeight + 0.01, where);
  assert.ok(Math.abs(box.width * 3 - box.height * 4) < 0.1, where);
  assert.ok(box.scrollWidth <= box.viewportWidth, `the page is ${box.scrollWidth} wide: ${where}`);
  return box;
}

function keepScreenshot(name, png) {
  const dir = process.env.SKR_SCREENSHOTS;
  if (!dir) return;
  mkdirSync(dir, { recursive: true });
  writeFileSync(join(dir, name), png);
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
      assert.deepEqual(linesSaid(page), [`skr4mm3lb0d: no audio device (${reason}); the demo plays silently`]);
      assert.deepEqual(errorsIn(page), [], 'console errors');
      await page.clickElement('#stop');
      await page.waitFor('skr.state === "ended"', 5);
    }, { initScript: script });
  });
}

test('the .wasm computes sines, cosines and powers of two bit for bit as the native build', async () => {
  await withPage('/?window', async (page) => {
    await page.waitFor('window.skr && skr.state === "ready"');
    const recorded = readFileSync(join(root, 'tests', 'data', 'portable_math_digest.txt'), 'utf8').trim();
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

test('Yes: full screen, every pixel a whole square of device pixels; leaving full screen ends the demo', async () => {
  await withPage('/', async (page) => {
    await page.waitFor('window.skr && skr.state === "question"');
    await page.clickElement('#yes');
    await page.waitFor('skr.state === "running" && document.fullscreenElement !== null');
    const size = await page.evaluate(`(() => { const r = document.getElementById('screen').getBoundingClientRect();
      return { width: r.width * devicePixelRatio, height: r.height * devicePixelRatio }; })()`);
    assert.ok(size.width % 320 === 0 && size.width / 320 === size.height / 240, `canvas shown at ${size.width}x${size.height}`);
    assert.equal(await page.evaluate('skr.view'), 'fullscreen');
    await page.evaluate('document.exitFullscreen()');
    await page.waitFor('skr.state === "ended"', 5);
    assert.deepEqual(errorsIn(page), [], 'console errors');
  });
});

for (const [name, code, keyCode, text] of [['Enter', 'Enter', 13, '\r'], [' ', 'Space', 32, ' ']]) {
  test(`?window: ${code} starts it, with sound`, async () => {
    await withPage('/?window', async (page) => {
      await page.waitFor('window.skr && skr.state === "ready"');
      assert.match(await page.evaluate('document.getElementById("tapToStart").textContent'), /plays music/);
      await page.key(name, code, keyCode, text);
      await page.waitFor('skr.state === "running"');
      assert.equal(await page.evaluate('skr.audioKind'), 'AudioWorklet');
    });
  });
}

// Phones held upright and sideways, with touch screens: the question with its word on sound, the
// picture as large as fits inside the screen and nothing to scroll sideways, a tap on the answer
// starting the demo, the stop control within reach, and "Play again" after the end.
for (const phone of [[390, 844], [844, 390]]) {
  test(`a ${phone[0]}x${phone[1]} phone: the picture inside the screen; taps start it, stop it and start it again`, async () => {
    await withPage('/', async (page) => {
      await page.waitFor('window.skr && skr.state === "question"');
      assert.match(await page.evaluate('document.getElementById("question").textContent'), /plays music/);
      await expectPictureInside(page);
      for (const answer of ['#yes', '#no']) await expectReachable(page, answer);
      keepScreenshot(`phone-${phone[0]}x${phone[1]}-question.png`, await page.screenshot());
      await page.tapElement('#no');
      await page.waitFor('skr.state === "running"');
      assert.equal(await page.evaluate('skr.audioKind'), 'AudioWorklet');
      const box = await expectPictureInside(page);
      // As large as fits: upright the whole width; sideways the whole height, the controls beside.
      if (phone[0] < phone[1]) assert.ok(box.width > phone[0] - 1, `${box.width} of ${phone[0]} wide`);
      else assert.ok(box.height > phone[1] - 1, `${box.height} of ${phone[1]} high`);
      await expectReachable(page, '#stop');
      await page.waitFor('skr.framesPresented > 130', 10);  // the logo has faded in
      keepScreenshot(`phone-${phone[0]}x${phone[1]}.png`, await expectLogo(page));

      await page.tapElement('#stop');
      await page.waitFor('skr.state === "ended"', 5);
      await expectReachable(page, '#again');
      await page.tapElement('#again');
      await page.waitFor('skr.state === "running"');
      assert.ok(await page.evaluate('skr.songPosition() === 0 && skr.heardSeconds() < 1'), 'the song from its start');
      assert.equal(await page.evaluate('skr.audioKind'), 'AudioWorklet');
      await expectPictureInside(page);
      assert.deepEqual(errorsIn(page), [], 'console errors');
    }, { phone });
  });
}

test('Yes on a phone whose browser has no full screen for an element: the picture covers the page, the stop control within reach', async () => {
  await withPage('/', async (page) => {
    await page.waitFor('window.skr && skr.state === "question"');
    await page.tapElement('#yes');
    await page.waitFor('skr.state === "running"');
    assert.equal(await page.evaluate('skr.view'), 'viewport');
    const box = await expectPictureInside(page);
    assert.ok(Math.abs(2 * box.x + box.width - box.viewportWidth) < 1 && Math.abs(2 * box.y + box.height - box.viewportHeight) < 1,
              `centred: ${JSON.stringify(box)}`);
    assert.ok(box.width > box.viewportWidth - 1, `${box.width} of ${box.viewportWidth} wide`);
    await expectReachable(page, '#stop');
    await page.waitFor('skr.framesPresented > 130', 10);
    keepScreenshot('phone-390x844-viewport.png', await expectLogo(page));
    await page.key('Escape', 'Escape', 27);
    await page.waitFor('skr.state === "ended"', 5);
    assert.equal(await page.evaluate('skr.view'), 'page');
    assert.deepEqual(errorsIn(page), [], 'console errors');
  }, { phone: [390, 844], initScript: 'delete Element.prototype.requestFullscreen;' });
});

// Safari's rule, in Chromium: a context runs again only when asked inside a tap, click or key.
const resumeOnlyInAGesture = `{ const resume = AudioContext.prototype.resume;
  const gestures = new Set(['click', 'pointerdown', 'pointerup', 'touchend', 'keydown']);
  AudioContext.prototype.resume = function () {
    const e = window.event;
    if (!e || !e.isTrusted || !gestures.has(e.type)) return Promise.reject(new DOMException('only in a gesture', 'NotAllowedError'));
    return resume.call(this);
  }; }`;

// The system suspends the audio context while the demo plays (a call, another app taking the
// sound): the song goes on at its pace on the silent clock and the pictures follow it (the
// scene moves on to position 1 at 3.84 s); a tap runs the context again inside the gesture, and
// the sound comes back where the song has got to, without a jump.
test('a suspended audio context: the song goes on and the pictures follow it; a tap brings the sound back without a jump', async () => {
  await withPage('/?window', async (page) => {
    await page.waitFor('window.skr && skr.state === "ready"');
    await page.tap(100, 100);
    await page.waitFor('skr.state === "running" && skr.audioPlaying');
    const sample = () => page.evaluate(`({ elapsed: performance.now() - skr.startedAt, heard: 1000 * skr.heardSeconds(),
      song: skr.songPosition(), scene: skr.scenePosition(), frames: skr.framesPresented,
      silent: skr.playsSilently(), playing: skr.audioPlaying })`);
    const samples = [];
    const watch = async (ms) => {
      for (const until = Date.now() + ms; Date.now() < until; await sleep(100)) samples.push(await sample());
    };
    await sleep(1000);
    await watch(500);
    const lag = samples.map((s) => s.elapsed - s.heard).sort((a, b) => a - b)[2];  // the start-up and the latency

    await page.evaluate('skr.audioContext.suspend()');
    await watch(3500);
    const quiet = samples.at(-1);
    assert.ok(quiet.silent && !quiet.playing, `quiet: ${JSON.stringify(quiet)}`);
    assert.ok(quiet.song >= 1 && quiet.scene === quiet.song, `quiet: ${JSON.stringify(quiet)}`);
    assert.ok(quiet.frames > samples[4].frames + 100, 'the frames go on');
    assert.equal(await page.evaluate('skr.audioContext.state'), 'suspended', 'not run again outside a gesture');

    await page.tap(100, 100);
    await page.waitFor('skr.audioPlaying && !skr.playsSilently()', 5);
    await watch(2000);
    for (const s of samples)
      assert.ok(Math.abs(s.elapsed - s.heard - lag) < 300, `${(s.elapsed - s.heard).toFixed(0)} ms behind at ${s.elapsed.toFixed(0)} ms, ${lag.toFixed(0)} at first`);
    for (let i = 1; i < samples.length; ++i) {
      assert.ok(samples[i].heard >= samples[i - 1].heard && samples[i].song >= samples[i - 1].song, `went back at sample ${i}`);
      assert.equal(samples[i].scene, samples[i].song, `scene at sample ${i}`);
    }
    const said = linesSaid(page);
    assert.equal(said.length, 1, said.join('\n'));
    assert.match(said[0], /^skr4mm3lb0d: no audio device \((the browser suspended the audio context|the browser would not start the audio context: only in a gesture)\); the demo plays silently$/);
    assert.deepEqual(errorsIn(page), [], 'console errors');
  }, { phone: [390, 844], initScript: resumeOnlyInAGesture });
});

// The frames the audio side has handed over are heard an output latency later (here 0.5 s, and
// the context's own base latency); the song position the pictures follow is the one heard.
test('the pictures follow what is heard: the output latency is taken off the frames played', async () => {
  await withPage('/?window', async (page) => {
    await page.waitFor('window.skr && skr.state === "ready"');
    await page.click(20, 20);
    await page.waitFor('skr.state === "running" && skr.audioPlaying');
    await sleep(1500);
    const latency = 0.5 + await page.evaluate('skr.audioContext.baseLatency');
    const gaps = [];
    for (let i = 0; i < 5; ++i, await sleep(90))
      gaps.push(await page.evaluate('skr.audioFramesHanded / 44100 - skr.heardSeconds()'));
    const gap = Math.min(...gaps);
    assert.ok(gap > latency - 0.01 && gap < latency + 0.05, `heard ${gap.toFixed(3)} s behind what was handed over, latency ${latency}`);
  }, { initScript: `Object.defineProperty(AudioContext.prototype, 'outputLatency', { get() { return 0.5; } });` });
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
