// Debian's Chromium, headless, driven over its DevTools protocol through a pipe (fd 3 in, fd 4
// out, one JSON message per NUL-terminated record): no WebSocket, no browser download, nothing
// from npm. One page per browser; events are kept for the tests to read.
import { spawn } from 'node:child_process';
import { mkdtempSync, rmSync, existsSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

export function findChromium() {
  for (const path of [process.env.CHROMIUM, '/usr/bin/chromium', '/usr/bin/chromium-browser'])
    if (path && existsSync(path)) return path;
  return null;
}

export async function launch({ width = 1024, height = 768 } = {}) {
  const profile = mkdtempSync(join(tmpdir(), 'skr-chromium-'));
  const args = [
    '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync',
    '--remote-debugging-pipe', `--user-data-dir=${profile}`, `--window-size=${width},${height}`,
    'about:blank',
  ];
  const child = spawn(findChromium(), args, { stdio: ['ignore', 'ignore', 'pipe', 'pipe', 'pipe'] });
  let stderr = '';
  child.stderr.on('data', (d) => { stderr = (stderr + d).slice(-4000); });
  const input = child.stdio[3], output = child.stdio[4];

  let nextId = 1, pending = new Map(), listeners = [], buffered = '';
  output.on('data', (chunk) => {
    buffered += chunk.toString('utf8');
    let end;
    while ((end = buffered.indexOf('\0')) >= 0) {
      const message = JSON.parse(buffered.slice(0, end));
      buffered = buffered.slice(end + 1);
      if (message.id && pending.has(message.id)) {
        const { resolve, reject, method } = pending.get(message.id);
        pending.delete(message.id);
        if (message.error) reject(new Error(`${method}: ${message.error.message}`));
        else resolve(message.result);
      } else if (message.method) {
        for (const l of listeners) l(message);
      }
    }
  });
  const exited = new Promise((resolve) => child.on('exit', resolve));
  exited.then(() => {
    for (const { reject, method } of pending.values()) reject(new Error(`${method}: the browser ended\n${stderr}`));
    pending.clear();
  });

  const send = (method, params = {}, sessionId) => new Promise((resolve, reject) => {
    const id = nextId++;
    pending.set(id, { resolve, reject, method });
    input.write(JSON.stringify({ id, method, params, ...(sessionId ? { sessionId } : {}) }) + '\0');
  });

  const { targetInfos } = await send('Target.getTargets');
  const target = targetInfos.find((t) => t.type === 'page');
  const { sessionId } = await send('Target.attachToTarget', { targetId: target.targetId, flatten: true });
  const page = {
    console: [],  // { type, text }: console calls, exceptions and the browser's own log entries
    send: (method, params) => send(method, params, sessionId),
    on(method, handler) { listeners.push((m) => { if (m.sessionId === sessionId && m.method === method) handler(m.params); }); },
    async evaluate(expression) {
      const r = await page.send('Runtime.evaluate', { expression, awaitPromise: true, returnByValue: true });
      if (r.exceptionDetails) throw new Error(`${expression}: ${r.exceptionDetails.exception?.description ?? r.exceptionDetails.text}`);
      return r.result.value;
    },
    // Polls `expression` until it is truthy; its value, or an error after `seconds`.
    async waitFor(expression, seconds = 10, interval = 50) {
      const until = Date.now() + seconds * 1000;
      for (;;) {
        const v = await page.evaluate(expression);
        if (v) return v;
        if (Date.now() > until) throw new Error(`still false after ${seconds} s: ${expression}`);
        await new Promise((r) => setTimeout(r, interval));
      }
    },
    async goto(url) {
      const loaded = new Promise((resolve) => page.on('Page.loadEventFired', resolve));
      await page.send('Page.navigate', { url });
      await loaded;
    },
    // A real (trusted) click, which gives the page the user activation that starts sound.
    async click(x, y) {
      for (const type of ['mousePressed', 'mouseReleased'])
        await page.send('Input.dispatchMouseEvent', { type, x, y, button: 'left', clickCount: 1 });
    },
    async clickElement(selector) {
      const b = await page.boxOf(selector);
      await page.click(b.x + b.width / 2, b.y + b.height / 2);
    },
    // A phone of width × height CSS pixels (deviceScaleFactor device pixels each), held upright
    // or sideways as its sizes say, with a touch screen.
    async emulatePhone(width, height, deviceScaleFactor = 3) {
      const upright = width < height;
      await page.send('Emulation.setDeviceMetricsOverride', {
        width, height, deviceScaleFactor, mobile: true,
        screenOrientation: { type: upright ? 'portraitPrimary' : 'landscapePrimary', angle: upright ? 0 : 90 },
      });
      await page.send('Emulation.setTouchEmulationEnabled', { enabled: true, maxTouchPoints: 5 });
    },
    // A real tap of a finger: the touch events, and the click the browser makes of them.
    async tap(x, y) {
      await page.send('Input.dispatchTouchEvent', { type: 'touchStart', touchPoints: [{ x, y }] });
      await page.send('Input.dispatchTouchEvent', { type: 'touchEnd', touchPoints: [] });
    },
    async boxOf(selector) {
      return page.evaluate(`(() => { const b = document.querySelector(${JSON.stringify(selector)}).getBoundingClientRect();
        return { x: b.x, y: b.y, width: b.width, height: b.height }; })()`);
    },
    async tapElement(selector) {
      const b = await page.boxOf(selector);
      await page.tap(b.x + b.width / 2, b.y + b.height / 2);
    },
    async key(key, code, keyCode, text) {
      for (const type of ['keyDown', 'keyUp'])
        await page.send('Input.dispatchKeyEvent', { type, key, code, windowsVirtualKeyCode: keyCode, ...(text && type === 'keyDown' ? { text } : {}) });
    },
    async screenshot() {
      const { data } = await page.send('Page.captureScreenshot', { format: 'png' });
      return Buffer.from(data, 'base64');
    },
  };
  page.on('Runtime.consoleAPICalled', (p) =>
    page.console.push({ type: p.type, text: p.args.map((a) => a.value ?? a.description ?? '').join(' ') }));
  page.on('Runtime.exceptionThrown', (p) =>
    page.console.push({ type: 'error', text: p.exceptionDetails.exception?.description ?? p.exceptionDetails.text }));
  page.on('Log.entryAdded', (p) => page.console.push({ type: p.entry.level, text: `${p.entry.source}: ${p.entry.text} ${p.entry.url ?? ''}` }));
  await page.send('Page.enable');
  await page.send('Runtime.enable');
  await page.send('Log.enable');

  return {
    page,
    async close() {
      try { await send('Browser.close'); } catch { /* already gone */ }
      const timer = setTimeout(() => child.kill('SIGKILL'), 5000);
      await exited;
      clearTimeout(timer);
      rmSync(profile, { recursive: true, force: true });
    },
  };
}
