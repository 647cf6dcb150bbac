// The browser build in headless Chromium (Debian's, with SwiftShader for
// WebGL), driven by puppeteer-core. Needs dist/web/ (scripts/web.sh build)
// and the desktop tool for the reference frames: run by scripts/web.sh test.
import { after, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
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
const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
  args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader'],
});

// dist/web/ at /, the reference pictures at /reference/.
function serve(pathname) {
  const file = pathname.startsWith('/reference/') ? path.join(scratch, path.basename(pathname))
    : path.join(dist, path.normalize(pathname === '/' ? '/index.html' : pathname));
  if (!fs.existsSync(file)) return { status: 404, body: '' };
  return { status: 200, contentType: types[path.extname(file)], body: fs.readFileSync(file) };
}

// The desktop tool's 640x480 frame, written to /reference/<name>.
function reference(name, time, ...options) {
  execFileSync(tool, ['render', '--time-ms', String(time), '--size', '640x480', ...options,
    '--root', root, '--output', path.join(scratch, name)]);
}

after(() => browser.close().finally(() => fs.rmSync(scratch, { recursive: true, force: true })));

// A page served by serve() that records console errors and uncaught
// exceptions; `respond` maps paths to answers given instead ('never': no
// answer), `prepare` runs before the page's own scripts.
async function open(query, { respond = {}, prepare, viewport } = {}) {
  const page = await browser.newPage();
  if (viewport) await page.setViewport(viewport);
  if (prepare) await page.evaluateOnNewDocument(prepare);
  const errors = [];
  page.on('console', (message) => {
    if (message.type() === 'error') errors.push(message.text());
  });
  page.on('pageerror', (error) => errors.push(String(error)));
  await page.setRequestInterception(true);
  page.on('request', (request) => {
    const pathname = decodeURIComponent(new URL(request.url()).pathname);
    const answer = respond[pathname] ?? serve(pathname);
    if (answer !== 'never') request.respond(answer);
  });
  await page.goto(`http://127.0.0.1/${query}`);
  const frame = await page.waitForFunction(() => document.documentElement.dataset.frame,
    { timeout: 60000 });
  return { page, errors, frame: await frame.jsonValue() };
}

// Whether at least 99 % of the canvas's pixels have all channels within 4 of
// the reference picture at `url`, compared inside the page.
async function assertMatches(page, url, what) {
  const share = await page.evaluate(async (url) => {
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
    for (let i = 0; i < actual.length; i += 4) {
      if ([0, 1, 2].every((c) => Math.abs(actual[i + c] - expected[i + c]) <= 4)) within += 1;
    }
    return within / (actual.length / 4);
  }, url);
  assert.ok(share >= 0.99, `${what}: only ${(share * 100).toFixed(3)} % of pixels within 4`);
}

test('frames match the desktop tool, also with V, without console errors; title', async () => {
  // The demo's frame (at the page's default depth), and one later that looks
  // one face deeper.
  for (const [time, depth, extra] of [[2500, '2', ''], [5300, '3', '&depth=3']]) {
    const name = `frame_${time}.png`;
    reference(name, time, '--depth', depth);
    const query = `?t=${time}&size=640x480${extra}`;
    const { page, errors, frame } = await open(query);
    assert.equal(frame, 'drawn');
    await assertMatches(page, `/reference/${name}`, query);
    if (time === 2500) {
      // V outlines the views as the tool's overlay does; V again takes them off.
      reference('overlay_2500.png', 2500, '--overlay', 'views');
      for (const [expected, on] of [['overlay_2500.png', 1], [name, 0]]) {
        await page.keyboard.press('KeyV');
        await page.waitForFunction((state) => Module._glasswake_overlay() === state, {}, on);
        await page.evaluate(() => new Promise((done) =>
          requestAnimationFrame(() => requestAnimationFrame(done))));
        await assertMatches(page, `/reference/${expected}`, `V ${on ? 'on' : 'off'}`);
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
  const cases = [
    ['missing file', { respond: { '/data/crystal2.lwo': { status: 404, body: '' } } }],
    ['broken file', { respond: { '/data/base2.lwo': { status: 200, body: 'not an object' } } }],
    ['no WebGL', { prepare: noWebGl }, 'App failed to create the rendering window.'],
    ['stalled file', { respond: { '/data/crystal3.lwo': 'never' } },
      'data/crystal3.lwo sent nothing for 20 s'],
  ];
  for (const [name, options, message = preInitFailure] of cases) {
    const { page, frame } = await open('', options);
    assert.equal(frame, 'failed', name);
    const shown = await page.$eval('#error', (box) => ({
      text: box.textContent, visible: !box.hidden && box.offsetHeight > 0 }));
    assert.ok(shown.visible && shown.text.includes(message), `${name}: ${shown.text}`);
    await page.close();
  }
});

test('keys pause, step and scrub the clock, set the depth and show the panel', async () => {
  const { page, errors } = await open('?size=320x240');
  const state = () => page.evaluate(() => ({
    clock: Module._glasswake_clock_ms(), paused: Module._glasswake_paused(),
    views: Module._glasswake_views(), depth: document.getElementById('depth').textContent }));

  await page.keyboard.press('Space');
  const paused = await state();
  await new Promise((resolve) => setTimeout(resolve, 300));
  assert.equal(paused.paused, 1);
  assert.equal((await state()).clock, paused.clock, 'a paused clock stands still');
  await page.keyboard.press('ArrowRight');
  await page.keyboard.press('ArrowUp');
  assert.ok(Math.abs((await state()).clock - paused.clock - 1000 / 30 - 1000) < 1e-6);

  // Views per frame at the standing clock, for each depth key.
  const views = [(await state()).views];
  for (const key of ['0', '1', '3']) {
    await page.keyboard.press(key);
    await page.waitForFunction((last) => Module._glasswake_views() !== last, {}, views.at(-1));
    const now = await state();
    assert.equal(now.depth, key);
    views.push(now.views);
  }
  assert.ok(views[1] === 1 && views[1] < views[2] && views[2] < views[0] && views[0] < views[3],
    `views per frame at depths 2, 0 (the root alone), 1, 3: ${views}`);

  await page.keyboard.press('KeyI');
  assert.match(await page.$eval('#info', (panel) => (panel.hidden ? '' : panel.textContent)),
    /views, \d+ fans per frame/);

  await page.keyboard.press('Space');
  const running = await state();
  await new Promise((resolve) => setTimeout(resolve, 300));
  assert.equal(running.paused, 0);
  assert.ok((await state()).clock > running.clock, 'a running clock moves on');
  assert.deepEqual(errors, []);
  await page.close();
});

test('an invalid size is ignored: at a pixel ratio of 2 the canvas is the window times 2', async () => {
  const { page, errors, frame } = await open('?size=abc',
    { viewport: { width: 400, height: 300, deviceScaleFactor: 2 } });
  assert.equal(frame, 'drawn');
  for (const [width, height] of [[400, 300], [500, 250], [400, 300], [320, 240], [400, 300]]) {
    await page.setViewport({ width, height, deviceScaleFactor: 2 });
    await page.waitForFunction(([width, height]) => {
      const canvas = document.getElementById('glasswake');
      return canvas.width === 2 * width && canvas.height === 2 * height;
    }, { timeout: 5000 }, [width, height]);
  }
  assert.deepEqual(errors, []);
  await page.close();
});

test('R records the canvas as a WebM for as long as it runs; the panel shows the time', async () => {
  const { page, errors } = await open('?size=320x240');
  const downloads = fs.mkdtempSync(path.join(scratch, 'downloads-'));
  await (await browser.target().createCDPSession()).send('Browser.setDownloadBehavior',
    { behavior: 'allow', downloadPath: downloads });
  await page.keyboard.press('KeyI');
  await page.keyboard.press('KeyR');
  await new Promise((resolve) => setTimeout(resolve, 2000));
  assert.match(await page.$eval('#info', (panel) => panel.textContent), /\nrecording [12]\.\d s$/);
  await page.click('#record');  // the button stops it too
  let name;
  for (let wait = 0; !name && wait < 100; ++wait) {
    await new Promise((resolve) => setTimeout(resolve, 100));
    name = fs.readdirSync(downloads).find((file) => /^glasswake-[0-9-]+\.webm$/.test(file));
  }
  assert.ok(name, `no recording among ${fs.readdirSync(downloads)}`);
  const probe = (entries) => execFileSync('ffprobe', ['-v', 'error', '-count_frames',
    '-select_streams', 'v', '-show_entries', entries, '-of', 'csv=p=0',
    path.join(downloads, name)]).toString().trim().split('\n');
  const [codec, width, height, frames] = probe('stream=codec_name,width,height,nb_read_frames')[0]
    .split(',');
  assert.deepEqual([codec, width, height], ['vp9', '320', '240']);
  const last = Math.max(...probe('packet=pts_time').map(Number));
  assert.ok(frames >= 10 && last > 1.5 && last < 3, `${frames} frames over ${last} s`);
  assert.equal(await page.$eval('#record', (button) => button.textContent), 'Record');
  assert.deepEqual(errors, []);
  await page.close();
});
