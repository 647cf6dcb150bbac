// The browser build in headless Chromium (Debian's, with SwiftShader for
// WebGL), driven by puppeteer-core. Needs dist/web/ (scripts/web.sh build) or
// the folder GLASSWAKE_WEB_DIR names, and the desktop tool for the reference
// frames: run by scripts/web.sh test.
import { after, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import puppeteer from 'puppeteer-core';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const dist = process.env.GLASSWAKE_WEB_DIR ?? path.join(root, 'dist/web');
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

// The desktop tool's 640x480 frame (by default, as the page's, with 4 samples
// per pixel), written to /reference/<name>.
function reference(name, time, ...options) {
  execFileSync(tool, ['render', '--time-ms', String(time), '--size', '640x480', ...options,
    '--root', root, '--output', path.join(scratch, name)]);
}

after(() => browser.close().finally(() => fs.rmSync(scratch, { recursive: true, force: true })));

// A page served by serve() that records console errors and uncaught
// exceptions; `respond` maps paths to answers given instead ('never': no
// answer), `prepare` runs before the page's own scripts.
async function open(query, { respond = {}, prepare, viewport, reducedMotion } = {}) {
  const page = await browser.newPage();
  if (viewport) await page.setViewport(viewport);
  if (reducedMotion) {
    await page.emulateMediaFeatures([{ name: 'prefers-reduced-motion', value: 'reduce' }]);
  }
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

// Whether at least `least` of the canvas's pixels have all channels within
// `within` of the picture at `url` (a data: URL too), compared in the page.
async function assertMatches(page, url, what, { least = 0.99, within = 4 } = {}) {
  const share = await page.evaluate(async (url, within) => {
    const canvas = document.getElementById('glasswake');
    const pixels = (source) => {
      const flat = new OffscreenCanvas(canvas.width, canvas.height).getContext('2d');
      flat.drawImage(source, 0, 0);
      return flat.getImageData(0, 0, canvas.width, canvas.height).data;
    };
    const blob = await (await fetch(url)).blob();
    const expected = pixels(await createImageBitmap(blob, { colorSpaceConversion: 'none' }));
    const actual = pixels(canvas);
    let close = 0;
    for (let i = 0; i < actual.length; i += 4) {
      if ([0, 1, 2].every((c) => Math.abs(actual[i + c] - expected[i + c]) <= within)) close += 1;
    }
    return close / (actual.length / 4);
  }, url, within);
  assert.ok(share >= least, `${what}: only ${(share * 100).toFixed(3)} % of pixels within ${within}`);
}

// The canvas as a PNG data: URL.
const canvasPicture = (page) =>
  page.$eval('#glasswake', (canvas) => canvas.toDataURL('image/png'));
// Two animation frames, so whatever changed has been drawn.
const settle = (page) => page.evaluate(() => new Promise((done) =>
  requestAnimationFrame(() => requestAnimationFrame(done))));
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
// A mouse drag by (dx, dy) from the middle of the canvas.
async function drag(page, dx, dy) {
  const box = await page.$eval('#glasswake', (canvas) => canvas.getBoundingClientRect().toJSON());
  const [x, y] = [box.x + box.width / 2, box.y + box.height / 2];
  await page.mouse.move(x, y);
  await page.mouse.down();
  await page.mouse.move(x + dx, y + dy, { steps: 4 });
  await page.mouse.up();
}

test('frames match the desktop tool, also with V and cam=, without console errors; title; version',
  async () => {
  // The demo's frame (at the page's default depth), one later that looks one
  // face deeper, and one from a camera of the visitor's.
  for (const [time, depth, extra, ...options] of [[2500, '2', ''], [5300, '3', '&depth=3'],
    [0, '2', '&cam=200.5,35,6.25', '--camera', '200.5,35,6.25']]) {
    const name = `frame_${time}.png`;
    reference(name, time, '--depth', depth, ...options);
    const query = `?t=${time}&size=640x480${extra}`;
    const { page, errors, frame } = await open(query);
    assert.equal(frame, 'drawn');
    await assertMatches(page, `/reference/${name}`, query);
    if (time === 2500) {
      // The help panel names the version the desktop tool reports.
      assert.equal(await page.$eval('#version', (p) => p.textContent),
        execFileSync(tool, ['--version']).toString().trim().replace('glasswake-tool', 'Glasswake'));
      // V outlines the views as the tool's overlay does; V again takes them off.
      reference('overlay_2500.png', 2500, '--overlay', 'views');
      for (const [expected, on] of [['overlay_2500.png', 1], [name, 0]]) {
        await page.keyboard.press('KeyV');
        await page.waitForFunction((state) => Module._glasswake_overlay() === state, {}, on);
        await page.evaluate(() => new Promise((done) =>
          requestAnimationFrame(() => requestAnimationFrame(done))));
        await assertMatches(page, `/reference/${expected}`, `V ${on ? 'on' : 'off'}`);
      }
      // M draws one sample per pixel (the tool's --samples 1), M again the
      // demo's 4; aa=0 opens with one.
      reference('one_2500.png', 2500, '--samples', '1');
      for (const [expected, samples] of [['one_2500.png', 1], [name, 4]]) {
        await page.keyboard.press('KeyM');
        await page.waitForFunction((n) => Module._glasswake_samples() === n, {}, samples);
        await settle(page);
        // 99 % of pixels of one and four samples agree: only edges tell them apart.
        await assertMatches(page, `/reference/${expected}`, `M: ${samples} sample(s)`,
          { least: 0.998 });
      }
      const single = await open(`${query}&aa=0`);
      assert.equal(await single.page.evaluate(() => Module._glasswake_samples()), 1);
      await assertMatches(single.page, '/reference/one_2500.png', 'aa=0', { least: 0.998 });
      await single.page.close();
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
    /views, \d+ fans per frame\norbit$/);

  await page.keyboard.press('Space');
  const running = await state();
  await new Promise((resolve) => setTimeout(resolve, 300));
  assert.equal(running.paused, 0);
  assert.ok((await state()).clock > running.clock, 'a running clock moves on');
  assert.deepEqual(errors, []);
  await page.close();
});

test('the canvas fills the page above the control bar at every size, also at a pixel ratio of 2',
  async () => {
  // An invalid size is ignored as a whole; the bar never covers the picture
  // (where the views' legend is drawn), nor leaves the window.
  const { page, errors, frame } = await open('?size=abc&views=1',
    { viewport: { width: 400, height: 300, deviceScaleFactor: 2 } });
  assert.equal(frame, 'drawn');
  for (const [width, height] of [[400, 300], [500, 250], [320, 240], [1280, 720], [400, 300]]) {
    await page.setViewport({ width, height, deviceScaleFactor: 2 });
    await page.waitForFunction(() => {
      const canvas = document.getElementById('glasswake');
      const box = canvas.getBoundingClientRect();
      return canvas.width === Math.round(2 * box.width) &&
        canvas.height === Math.round(2 * box.height);
    }, { timeout: 5000 });
    const [canvas, bar] = await page.$$eval('#glasswake, #controls',
      (elements) => elements.map((element) => element.getBoundingClientRect().toJSON()));
    assert.ok(canvas.bottom <= bar.top && bar.bottom <= height && canvas.width === width &&
      bar.right <= width && canvas.height > height / 2, `${width}x${height}: ${
      JSON.stringify([canvas, bar])}`);
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

test('the camera: a drag turns it and stops the orbit, the wheel and keys move it, O goes back',
  async () => {
  const { page, errors } = await open('?size=320x240');
  const orbiting = () => page.$eval('#orbit', (button) => button.disabled);
  assert.equal(await orbiting(), true);
  await drag(page, 60, -20);
  assert.equal(await orbiting(), false);
  await settle(page);
  // The view stays where it was left: the clock stands and the picture too.
  const turned = await canvasPicture(page);
  await sleep(300);
  await settle(page);
  assert.equal(await canvasPicture(page), turned);
  assert.equal(await page.evaluate(() => Module._glasswake_paused()), 1);
  for (const move of [() => page.mouse.wheel({ deltaY: 300 }), () => page.keyboard.press('KeyW'),
    () => page.keyboard.press('KeyA'), () => page.keyboard.press('Minus')]) {
    const before = await canvasPicture(page);
    await move();
    await settle(page);
    assert.notEqual(await canvasPicture(page), before);
  }
  await page.keyboard.press('KeyO');
  assert.equal(await orbiting(), true);
  assert.equal(await page.evaluate(() => Module._glasswake_paused()), 0);

  // Embedded without controls: the canvas takes the whole window, one finger
  // turns, two pinching to half their spread double the distance (the link says).
  const bare = await open('?controls=0');
  assert.deepEqual(await bare.page.evaluate(() => [document.getElementById('controls').hidden,
    document.getElementById('glasswake').getBoundingClientRect().height === innerHeight]),
  [true, true]);
  const touch = await bare.page.createCDPSession();
  await touch.send('Emulation.setTouchEmulationEnabled', { enabled: true });
  for (const [type, ...at] of [['touchStart', [300, 300]], ['touchMove', [330, 290]],
    ['touchEnd'], ['touchStart', [320, 300], [480, 300]], ['touchMove', [360, 300], [440, 300]],
    ['touchEnd']]) {
    await touch.send('Input.dispatchTouchEvent',
      { type, touchPoints: at.map(([x, y], id) => ({ x, y, id })) });
  }
  await bare.page.keyboard.press('KeyL');
  const link = await bare.page.$eval('#link', (field) => field.value);
  // 10 pixels up tilt 4 degrees down from the orbit's pitch.
  const [, pitch, distance] = link.match(/cam=[\d.]+,([\d.-]+),([\d.]+)/).map(Number);
  assert.ok(Math.abs(distance - 2 * Math.sqrt(17)) < 0.01 &&
    Math.abs(pitch - (Math.atan(0.25) * 180 / Math.PI - 4)) < 0.01, link);
  assert.deepEqual([...errors, ...bare.errors], []);
  await Promise.all([page.close(), bare.page.close()]);
});

test('the link gives the same picture; the PNG download is the canvas', async () => {
  const { page, errors } = await open('?size=320x240&t=1500&depth=3');
  await drag(page, 31, -13);
  await page.keyboard.press('KeyV');
  await page.click('#share');
  const link = await page.$eval('#link', (field) => !field.hidden && field.value);
  assert.match(link, /\?cam=[\d.]+,[\d.-]+,[\d.]+&depth=3&views=1&size=320x240$/);
  await settle(page);
  const picture = await canvasPicture(page);
  const copy = await open(link.slice(link.indexOf('?')));
  await settle(copy.page);
  await assertMatches(copy.page, picture, link, { least: 1, within: 0 });

  const session = await page.createCDPSession();
  await session.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: scratch });
  await page.keyboard.press('KeyP');
  const file = path.join(scratch, 'glasswake.png');
  while (!fs.existsSync(file)) await sleep(50);
  await assertMatches(page, '/reference/glasswake.png', 'PNG', { least: 1, within: 0 });
  assert.deepEqual([...errors, ...copy.errors], []);
  await Promise.all([page.close(), copy.page.close()]);
});

test('a lost context is said and drawn again; a hidden tab stands; reduced motion; help',
  async () => {
  const { page, errors } = await open('?size=320x240&t=2500');
  const frames = () => page.evaluate(() => Module._glasswake_frames());
  const picture = await canvasPicture(page);
  await page.evaluate(() => {
    // WebGL 2 where the browser has it (its multisampled renderbuffers smooth the edges).
    const canvas = document.getElementById('glasswake');
    window.loseContext = (canvas.getContext('webgl2') ?? canvas.getContext('webgl'))
      .getExtension('WEBGL_lose_context');
    window.loseContext.loseContext();
  });
  await page.waitForFunction(() => !document.getElementById('status').hidden);
  assert.match(await page.$eval('#status', (status) => status.textContent), /context was lost/);
  const lostFrames = await frames();
  await page.keyboard.press('ArrowRight');  // changes the frame, yet nothing can draw it
  await sleep(200);
  assert.equal(await frames(), lostFrames);
  await page.keyboard.press('ArrowLeft');
  await page.evaluate(() => window.loseContext.restoreContext());
  await page.waitForFunction((lost) => Module._glasswake_frames() > lost &&
    document.getElementById('status').hidden, {}, lostFrames);
  await assertMatches(page, picture, 'after the context came back', { least: 1, within: 0 });

  // Hidden, the running clock stands and nothing is drawn; shown, it goes on.
  await page.keyboard.press('Space');
  const hide = (hidden) => page.evaluate((hidden) => {
    Object.defineProperty(document, 'hidden', { value: hidden, configurable: true });
    Object.defineProperty(document, 'visibilityState',
      { value: hidden ? 'hidden' : 'visible', configurable: true });
    document.dispatchEvent(new Event('visibilitychange'));
    return [Module._glasswake_clock_ms(), Module._glasswake_frames()];
  }, hidden);
  const [hiddenAt, hiddenFrames] = await hide(true);
  await sleep(400);
  const [shownAt, shownFrames] = await hide(false);
  assert.ok(shownAt - hiddenAt < 50 && shownFrames === hiddenFrames,
    `hidden for 400 ms: clock ${hiddenAt} -> ${shownAt}, frames ${hiddenFrames} -> ${shownFrames}`);
  await sleep(200);
  assert.ok(await page.evaluate(() => Module._glasswake_clock_ms()) > shownAt + 100);

  // ? shows the help, Escape and ? hide it.
  const help = () => page.$eval('#help', (panel) => !panel.hidden && panel.offsetHeight > 0);
  for (const [key, shown] of [['?', true], ['Escape', false], ['?', true], ['?', false]]) {
    await page.keyboard.press(key);
    assert.equal(await help(), shown, key);
  }
  assert.deepEqual(errors, []);
  await page.close();

  const calm = await open('', { prepare: () => {}, reducedMotion: true });
  assert.equal(await calm.page.evaluate(() => Module._glasswake_paused()), 1);
  assert.equal(await calm.page.$eval('#pause', (button) => button.textContent), 'Play');
  await calm.page.close();
});
