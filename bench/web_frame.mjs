// The web build's cost per animation frame at the busiest scene, next to the native build's cost
// of the same work, measured in one run.
//
// The page is served as ./run.sh --web serves it and played in Debian's Chromium, headless, over
// its DevTools pipe (tests/web/browser.mjs): ?window, a click, then real time until the song
// reaches order position 16 (the chain's anchor travels, the scroller runs, every layer is on:
// about 110 s), and a few seconds more. Then a DevTools trace of `--seconds` seconds. One
// animation frame's cost is the CPU time (the trace's thread durations) of every task the page's
// main thread runs from the start of one animation-frame callback to the start of the next: the
// frame drawn and presented, the canvas painted and committed, and the player fed from the audio
// side's messages. Median and 95th percentile over the frames traced, and the same of the
// animation-frame callbacks alone. The other threads of the page's renderer (compositor, raster
// workers, the audio worklet) are listed as their mean per frame. The same browser then traces
// the floor: a page that only puts a fixed picture into its canvas every frame, which is what the
// browser itself costs. Then skr_bench measures the native cost of the same work:
// busiestFrame (on the demo's own path: AVX2 where the processor has it, and on SSE2 alone),
// presentOneToOne, and songBlock scaled to the audio of one animation frame.
//
//   node bench/web_frame.mjs [--site DIR] [--bench FILE] [--seconds S] [--scene P]
import { spawn, execFileSync } from 'node:child_process';
import { existsSync } from 'node:fs';
import { resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { launch, findChromium } from '../tests/web/browser.mjs';

const root = resolve(fileURLToPath(new URL('..', import.meta.url)));
const usage = `usage: node bench/web_frame.mjs [options]
  --site DIR       the built site (default build/web/site)
  --bench FILE     the native benchmarks (default build/release/bench/skr_bench)
  --seconds S      length of the trace at the busiest scene (default 10)
  --scene P        the scene position to play to before tracing (default 16)
  --help           this text
Builds nothing: cmake --build --preset web and cmake --build --preset release --target skr_bench first.`;

function parseArguments(argv) {
  const options = { site: 'build/web/site', bench: 'build/release/bench/skr_bench', seconds: 10, scene: 16 };
  for (let i = 0; i < argv.length; ++i) {
    const a = argv[i];
    const value = () => {
      if (i + 1 >= argv.length) throw new Error(`${a} needs a value`);
      return argv[++i];
    };
    if (a === '--help' || a === '-h') {
      console.log(usage);
      process.exit(0);
    } else if (a === '--site') options.site = value();
    else if (a === '--bench') options.bench = value();
    else if (a === '--seconds' || a === '--scene') {
      const v = Number(value());
      if (!(v > 0) || !Number.isFinite(v)) throw new Error(`${a}: a positive number, not ${argv[i]}`);
      options[a.slice(2)] = v;
    } else throw new Error(`unknown argument ${a} (--help lists the options)`);
  }
  options.site = resolve(root, options.site);
  options.bench = resolve(root, options.bench);
  if (!existsSync(resolve(options.site, 'index.html'))) throw new Error(`no site in ${options.site}`);
  if (!existsSync(options.bench)) throw new Error(`no ${options.bench}`);
  if (!findChromium()) throw new Error('no chromium (apt-get install chromium)');
  return options;
}

// Python's http.server on a free port of 127.0.0.1; resolves to { origin, stop }.
function serve(site) {
  const server = spawn('python3', ['-u', '-m', 'http.server', '--bind', '127.0.0.1', '--directory', site, '0'],
                       { stdio: ['ignore', 'pipe', 'pipe'] });
  return new Promise((resolveServer, reject) => {
    let text = '';
    server.stdout.on('data', (d) => {
      text += d;
      const m = /port (\d+)/.exec(text);
      if (m) resolveServer({ origin: `http://127.0.0.1:${m[1]}`, stop: () => server.kill() });
    });
    server.on('exit', (code) => reject(new Error(`http.server ended (${code})`)));
  });
}

async function traceEvents(page, seconds) {
  const events = [];
  let finished;
  const complete = new Promise((r) => { finished = r; });
  page.on('Tracing.dataCollected', (d) => events.push(...d.value));
  page.on('Tracing.tracingComplete', () => finished());
  await page.send('Tracing.start', {
    traceConfig: { includedCategories: ['toplevel', 'devtools.timeline', 'disabled-by-default-devtools.timeline', '__metadata'] },
    transferMode: 'ReportEvents',
  });
  await new Promise((r) => setTimeout(r, seconds * 1000));
  await page.send('Tracing.end');
  await complete;
  return events;
}

// The outermost complete events of one thread: those no earlier one encloses.
function outermost(events) {
  const sorted = events.filter((e) => e.ph === 'X').sort((a, b) => a.ts - b.ts);
  const kept = [];
  let end = -Infinity;
  for (const e of sorted) {
    if (e.ts >= end) {
      kept.push(e);
      end = e.ts + (e.dur ?? 0);
    }
  }
  return kept;
}

function quantile(sorted, q) {
  if (sorted.length === 0) return NaN;
  const at = Math.min(sorted.length - 1, Math.max(0, Math.ceil(q * sorted.length) - 1));
  return sorted[at];
}

// Per animation frame: the main thread's CPU ms from one animation-frame callback to the next;
// the mean CPU ms per frame of the renderer's other threads; the frames' mean interval.
function costPerFrame(events) {
  const names = new Map();
  for (const e of events) if (e.ph === 'M' && e.name === 'thread_name') names.set(`${e.pid}:${e.tid}`, e.args.name);
  const callbacks = events.filter((e) => e.name === 'FireAnimationFrame' && e.ph === 'X');
  if (callbacks.length < 3) throw new Error(`only ${callbacks.length} animation frames in the trace`);
  const { pid, tid } = callbacks[0];
  const starts = callbacks.filter((e) => e.pid === pid && e.tid === tid).map((e) => e.ts).sort((a, b) => a - b);
  const tasksOf = (t) => outermost(events.filter((e) => e.pid === pid && e.tid === t && e.name === 'RunTask'));
  const cpu = (e) => (e.tdur ?? e.dur ?? 0) / 1000;

  // The animation-frame callbacks alone (the demo's frame drawn and presented).
  const callbackCpu = callbacks.filter((e) => e.pid === pid && e.tid === tid).map(cpu).sort((a, b) => a - b);
  const perFrame = new Array(starts.length - 1).fill(0);
  for (const task of tasksOf(tid)) {
    // The frame whose span holds the task's start.
    let lo = 0, hi = starts.length - 1;
    if (task.ts < starts[0] || task.ts >= starts[hi]) continue;
    while (hi - lo > 1) {
      const mid = (lo + hi) >> 1;
      if (starts[mid] <= task.ts) lo = mid; else hi = mid;
    }
    perFrame[lo] += cpu(task);
  }
  const frames = perFrame.length;
  const span = [starts[0], starts[frames]];
  const others = new Map();
  for (const key of names.keys()) {
    const [p, t] = key.split(':').map(Number);
    if (p !== pid || t === tid) continue;
    const total = tasksOf(t).filter((e) => e.ts >= span[0] && e.ts < span[1]).reduce((s, e) => s + cpu(e), 0);
    if (total > 0) {
      const name = names.get(key).replace(/\d+$/, '');  // the raster workers under one name
      others.set(name, (others.get(name) ?? 0) + total / frames);
    }
  }
  const sorted = [...perFrame].sort((a, b) => a - b);
  return {
    frames, median: quantile(sorted, 0.5), p95: quantile(sorted, 0.95),
    callbackMedian: quantile(callbackCpu, 0.5), callbackP95: quantile(callbackCpu, 0.95),
    intervalMs: (span[1] - span[0]) / 1000 / frames, others,
  };
}

// The browser's own floor, in the same browser: a page that puts a fixed 320×240 picture into a
// canvas shown at 640×480 at every animation frame, and does nothing else.
const floorPage = `<!DOCTYPE html><html><body style="margin:0;background:#000;display:flex;justify-content:center">
<canvas width="320" height="240" style="width:640px;height:480px;image-rendering:pixelated"></canvas><script>
const context = document.querySelector('canvas').getContext('2d');
const picture = new ImageData(320, 240);
for (let i = 0; i < picture.data.length; ++i) picture.data[i] = i * 7;
const frame = () => { context.putImageData(picture, 0, 0); requestAnimationFrame(frame); };
requestAnimationFrame(frame);
</script></body></html>`;

async function measureFloor(page, seconds) {
  await page.goto(`data:text/html;base64,${Buffer.from(floorPage).toString('base64')}`);
  await new Promise((r) => setTimeout(r, 1000));
  return costPerFrame(await traceEvents(page, seconds));
}

async function measurePage(options) {
  const server = await serve(options.site);
  const browser = await launch();
  try {
    const page = browser.page;
    await page.goto(`${server.origin}/?window`);
    await page.waitFor('window.skr && skr.state === "ready"', 30);
    await page.click(20, 20);
    await page.waitFor('skr.state === "running"', 10);
    const audio = await page.evaluate('skr.audioKind');
    process.stderr.write(`playing to scene ${options.scene} (about 110 s for 16)…\n`);
    await page.waitFor(`skr.scenePosition() >= ${options.scene}`, 240, 500);
    await new Promise((r) => setTimeout(r, 2000));  // past the scene's first frames
    const events = await traceEvents(page, options.seconds);
    const scene = await page.evaluate('skr.scenePosition()');
    const floor = await measureFloor(page, options.seconds);
    return { ...costPerFrame(events), audio, scene, floor };
  } finally {
    await browser.close();
    server.stop();
  }
}

// CPU ms per iteration of each native benchmark, by name.
function measureNative(bench) {
  const filter = '^(busiestFrame/path:[12]|presentOneToOne|songBlock)$';
  const json = execFileSync(bench, [`--benchmark_filter=${filter}`, '--benchmark_format=json', '--benchmark_min_time=1'],
                            { encoding: 'utf8', maxBuffer: 1 << 24 });
  const ms = {};
  for (const b of JSON.parse(json).benchmarks) {
    if (b.error_occurred) continue;
    const unit = { ns: 1e-6, us: 1e-3, ms: 1, s: 1e3 }[b.time_unit];
    ms[b.name] = b.cpu_time * unit;
  }
  return ms;
}

async function main() {
  let options;
  try {
    options = parseArguments(process.argv.slice(2));
  } catch (e) {
    console.error(`web_frame: ${e.message}`);
    process.exit(2);
  }
  const page = await measurePage(options);
  const native = measureNative(options.bench);
  const framesPerSecond = 1000 / page.intervalMs;
  const audioShare = (native.songBlock ?? 0) * (44100 / framesPerSecond) / 884;
  const demoPath = native['busiestFrame/path:2'] !== undefined ? 'busiestFrame/path:2' : 'busiestFrame/path:1';
  const nativeFrame = native[demoPath] + native.presentOneToOne + audioShare;
  const f = (v) => v.toFixed(3).padStart(8);

  console.log(`page (${page.audio}, scene ${page.scene}): ${page.frames} animation frames traced, ${framesPerSecond.toFixed(1)} a second`);
  console.log(`  main thread, CPU ms per animation frame: median ${f(page.median)}   p95 ${f(page.p95)}`);
  console.log(`    of it the frame callback (drawn, presented): median ${f(page.callbackMedian)}   p95 ${f(page.callbackP95)}`);
  for (const [name, ms] of [...page.others].sort((a, b) => b[1] - a[1]))
    if (ms >= 0.01) console.log(`  ${name.padEnd(36)} mean ${f(ms)} ms per frame`);
  const floor = page.floor;
  console.log(`floor (a canvas given a fixed 320x240 picture every frame, nothing else): ${floor.frames} frames`);
  console.log(`  main thread, CPU ms per animation frame: median ${f(floor.median)}   p95 ${f(floor.p95)}`);
  console.log(`    of it the frame callback: median ${f(floor.callbackMedian)}`);
  console.log('native, CPU ms (skr_bench, same run):');
  for (const name of ['busiestFrame/path:2', 'busiestFrame/path:1', 'presentOneToOne', 'songBlock'])
    if (native[name] !== undefined) console.log(`  ${name.padEnd(36)} ${f(native[name])}`);
  console.log(`  songBlock for one animation frame      ${f(audioShare)}`);
  console.log(`  one frame (${demoPath} + presentOneToOne + audio) ${f(nativeFrame)}`);
  console.log(`page median / native: ${(page.median / nativeFrame).toFixed(2)}x   p95 / native: ${(page.p95 / nativeFrame).toFixed(2)}x` +
              `   (median over SSE2 alone: ${(page.median / (native['busiestFrame/path:1'] + native.presentOneToOne + audioShare)).toFixed(2)}x; goal: within 2x)`);
}

main().catch((e) => {
  console.error(`web_frame: ${e.message}`);
  process.exit(1);
});
