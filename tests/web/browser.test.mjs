// The browser build in headless Chromium (Debian's, with SwiftShader for
// WebGL), driven by puppeteer-core. Needs dist/web/ (scripts/web.sh build)
// and the desktop tool for the reference frames: run by scripts/web.sh test.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import puppeteer from 'puppeteer-core';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const dist = path.join(root, 'dist/web');
const tool = path.join(root, 'build/tools/glasswake-tool');
const longTitle = 'Glasswake by Orvel / Lumo [fps: +inf :-)]';
const preInitFailure = "App returned false on PreInit(), we shouldn't really continue.";

const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'glasswake-web-'));
const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm',
  '.png': 'image/png' };
let server;
let origin;
let browser;

// dist/web/ at /, the reference pictures at /reference/.
function serveFile(request, response) {
  const url = new URL(request.url, 'http://localhost');
  const relative = decodeURIComponent(url.pathname === '/' ? '/index.html' : url.pathname);
  const file = relative.startsWith('/reference/')
    ? path.join(scratch, path.basename(relative))
    : path.join(dist, path.normalize(relative));
  fs.readFile(file, (error, bytes) => {
    if (error) {
      response.writeHead(404).end();
      return;
    }
    response.writeHead(200, { 'Content-Type': types[path.extname(file)] ?? 'application/octet-stream' });
    response.end(bytes);
  });
}

before(async () => {
  server = http.createServer(serveFile);
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  origin = `http://127.0.0.1:${server.address().port}`;
  browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader'],
  });
});

after(async () => {
  await browser?.close();
  server?.close();
  fs.rmSync(scratch, { recursive: true, force: true });
});

// A page that records console errors and uncaught exceptions; `respond` may
// answer some requests itself, `prepare` runs before the page's own scripts.
async function open(query, { respond, prepare } = {}) {
  const page = await browser.newPage();
  if (prepare) await page.evaluateOnNewDocument(prepare);
  const errors = [];
  page.on('console', (message) => {
    if (message.type() === 'error') errors.push(message.text());
  });
  page.on('pageerror', (error) => errors.push(String(error)));
  if (respond) {
    await page.setRequestInterception(true);
    page.on('request', (request) => {
      const answer = respond(new URL(request.url()).pathname);
      if (answer) request.respond(answer);
      else request.continue();
    });
  }
  await page.goto(`${origin}/${query}`);
  await page.waitForFunction(() => document.documentElement.dataset.frame, { timeout: 60000 });
  return { page, errors };
}

// Share of pixels whose channels all lie within `tolerance` of the reference,
// and the largest difference, compared inside the page.
function compareWithReference(page, reference, tolerance) {
  return page.evaluate(async (url, limit) => {
    const canvas = document.getElementById('glasswake');
    const pixels = (source) => {
      const flat = new OffscreenCanvas(canvas.width, canvas.height).getContext('2d');
      flat.drawImage(source, 0, 0);
      return flat.getImageData(0, 0, canvas.width, canvas.height).data;
    };
    const blob = await (await fetch(url)).blob();
    const expected = pixels(await createImageBitmap(blob, { colorSpaceConversion: 'none' }));
    const actual = pixels(canvas);
    let within = 0;
    let worst = 0;
    for (let i = 0; i < actual.length; i += 4) {
      const difference = Math.max(Math.abs(actual[i] - expected[i]),
        Math.abs(actual[i + 1] - expected[i + 1]), Math.abs(actual[i + 2] - expected[i + 2]));
      if (difference <= limit) within += 1;
      worst = Math.max(worst, difference);
    }
    return { share: within / (actual.length / 4), worst };
  }, reference, tolerance);
}

test('a fixed frame matches the desktop tool, with and without the view overlay (V), loads without console errors, titles itself', async (t) => {
  // The demo's frame, and one later that looks one face deeper.
  const frames = [{ time: 2500, depth: null }, { time: 5300, depth: 3 }];
  for (const { time, depth } of frames) {
    const name = `frame_${time}_${depth ?? 2}.png`;
    execFileSync(tool, ['render', '--time-ms', String(time), '--size', '640x480',
      ...(depth === null ? [] : ['--depth', String(depth)]), '--root', root,
      '--output', path.join(scratch, name)]);
    const query = `?t=${time}&size=640x480${depth === null ? '' : `&depth=${depth}`}`;
    const { page, errors } = await open(query);
    assert.equal(await page.evaluate(() => document.documentElement.dataset.frame), 'drawn');
    const { share, worst } = await compareWithReference(page, `/reference/${name}`, 4);
    t.diagnostic(`${query}: ${(share * 100).toFixed(3)} % of pixels within 4, largest difference ${worst}`);
    assert.ok(share >= 0.99, `${query}: only ${(share * 100).toFixed(3)} % of pixels within 4`);
    if (depth === null) {
      // V outlines the views as the tool's overlay does; V again takes them off.
      const overlay = 'overlay_2500.png';
      execFileSync(tool, ['render', '--time-ms', '2500', '--size', '640x480', '--overlay', 'views',
        '--root', root, '--output', path.join(scratch, overlay)]);
      for (const [expected, on] of [[overlay, 1], [name, 0]]) {
        await page.keyboard.press('KeyV');
        await page.waitForFunction((state) => Module._glasswake_overlay() === state, {}, on);
        await page.evaluate(() => new Promise((done) =>
          requestAnimationFrame(() => requestAnimationFrame(done))));
        const match = await compareWithReference(page, `/reference/${expected}`, 4);
        t.diagnostic(`V ${on ? 'on' : 'off'}: ${(match.share * 100).toFixed(3)} % within 4`);
        assert.ok(match.share >= 0.99, `V ${on ? 'on' : 'off'}: ${match.share}`);
      }
    }
    await page.waitForFunction((title) => document.title === title, { timeout: 10000 }, longTitle);
    assert.deepEqual(errors, []);
    await page.close();
  }
});

test('a start-up failure shows the desktop message on the page', async () => {
  const noWebGl = () => {
    const getContext = HTMLCanvasElement.prototype.getContext;
    HTMLCanvasElement.prototype.getContext = function (kind, ...rest) {
      return kind.includes('webgl') ? null : getContext.call(this, kind, ...rest);
    };
  };
  const answer = (file, reply) => ({ respond: (pathname) => (pathname === file ? reply : null) });
  const cases = [
    ['missing file', answer('/data/crystal2.lwo', { status: 404, body: '' }), preInitFailure],
    ['broken file', answer('/data/base2.lwo', { status: 200, body: 'not an object file' }),
      preInitFailure],
    ['no WebGL', { prepare: noWebGl }, 'App failed to create the rendering window.'],
  ];
  for (const [name, options, message] of cases) {
    const { page } = await open('', options);
    assert.equal(await page.evaluate(() => document.documentElement.dataset.frame), 'failed', name);
    const shown = await page.$eval('#error', (box) => ({
      text: box.textContent, visible: !box.hidden && box.offsetHeight > 0 }));
    assert.ok(shown.visible, name);
    assert.ok(shown.text.includes(message), `${name}: ${shown.text}`);
    await page.close();
  }
});

test('keys pause, step and scrub the clock, set the depth and show the panel', async () => {
  const { page, errors } = await open('?size=320x240');
  const state = () => page.evaluate(() => ({
    clock: Module._glasswake_clock_ms(), paused: Module._glasswake_paused(),
    views: Module._glasswake_views(), depth: document.getElementById('depth').textContent }));
  const settle = () => new Promise((resolve) => setTimeout(resolve, 300));

  await page.keyboard.press('Space');
  const paused = await state();
  await settle();
  assert.equal(paused.paused, 1);
  assert.equal((await state()).clock, paused.clock, 'a paused clock stands still');
  await page.keyboard.press('ArrowRight');
  await page.keyboard.press('ArrowUp');
  assert.ok(Math.abs((await state()).clock - paused.clock - 1000 / 30 - 1000) < 1e-6);

  // Views per frame at the standing clock, for each depth key.
  const views = [(await state()).views];
  for (const key of ['0', '1', '3']) {
    await page.keyboard.press(key);
    await page.waitForFunction((before) => Module._glasswake_views() !== before, {},
      views.at(-1));
    const now = await state();
    assert.equal(now.depth, key);
    views.push(now.views);
  }
  assert.equal(views[1], 1, 'depth 0 draws the root view alone');
  assert.ok(views[1] < views[2] && views[2] < views[0] && views[0] < views[3],
    `views per frame at depths 2, 0, 1, 3: ${views}`);

  await page.keyboard.press('KeyI');
  assert.match(await page.$eval('#info', (panel) => (panel.hidden ? '' : panel.textContent)),
    /views, \d+ fans per frame/);

  await page.keyboard.press('Space');
  const running = await state();
  await settle();
  assert.equal(running.paused, 0);
  assert.ok((await state()).clock > running.clock, 'a running clock moves on');
  assert.deepEqual(errors, []);
  await page.close();
});
