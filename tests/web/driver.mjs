// What the browser tests share: the browser (headless Chromium, or Firefox
// under Xvfb when GLASSWAKE_BROWSER=firefox), the local server, pages that
// record their errors, and waits for what an input changes.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import puppeteer from 'puppeteer-core';
import { startServer } from './server.mjs';

export const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
export const dist = process.env.GLASSWAKE_WEB_DIR ?? path.join(root, 'dist/web');
export const tool = path.join(root, 'build/tools/glasswake-tool');
export const firefox = process.env.GLASSWAKE_BROWSER === 'firefox';
export const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'glasswake-web-'));

// Firefox has no WebGL headless here, so it runs in a window (under
// xvfb-run); it is driven over WebDriver BiDi.
export const browser = firefox
  ? await puppeteer.launch({ browser: 'firefox', headless: false,
    executablePath: process.env.FIREFOX ?? '/usr/bin/firefox-esr' })
  : await puppeteer.launch({ executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader'] });
// dist/web/ at /, the reference pictures at /reference/.
export const server = await startServer(dist, { '/reference/': scratch });

export async function closeAll() {
  await browser.close();
  await server.close();
  fs.rmSync(scratch, { recursive: true, force: true });
}

// The desktop tool's 640x480 frame (by default, as the page's, with 4 samples
// per pixel), written to /reference/<name>.
export function reference(name, time, ...options) {
  execFileSync(tool, ['render', '--time-ms', String(time), '--size', '640x480', ...options,
    '--root', root, '--output', path.join(scratch, name)]);
}

// A key by its place on the keyboard ('KeyV', 'Space', 'Digit1' or '1'), as
// each engine's driver takes it: Firefox's takes the character.
export function keyName(code) {
  if (!firefox) return code;
  const named = { Space: ' ', Minus: '-', Equal: '=' };
  return named[code] ?? code.replace(/^Key([A-Z])$/, (_, letter) => letter.toLowerCase())
    .replace(/^Digit(\d)$/, '$1');
}
export const press = (page, code) => page.keyboard.press(keyName(code));

// A page that records console errors and uncaught exceptions. `respond` maps
// paths to answers given instead (see server.mjs), `prepare` runs before the
// page's own scripts. Resolves once the page says its first frame is drawn
// or start-up failed (`frame`), unless `wait` is false.
export async function open(query, { respond, prepare, viewport, reducedMotion, wait = true } = {}) {
  const page = await browser.newPage();
  await page.setViewport(viewport ?? { width: 1024, height: 768 });
  if (reducedMotion) {
    await page.emulateMediaFeatures([{ name: 'prefers-reduced-motion', value: 'reduce' }]);
  }
  if (prepare) await page.evaluateOnNewDocument(prepare);
  const errors = [];
  page.on('console', (message) => {
    if (message.type() === 'error') errors.push(message.text());
  });
  page.on('pageerror', (error) => errors.push(String(error)));
  const base = respond ? server.scenario(respond) : `${server.origin}/`;
  await page.goto(`${base}${query}`, { waitUntil: 'domcontentloaded' });
  if (!wait) return { page, errors };
  const frame = await page.waitForFunction(() => document.documentElement.dataset.frame,
    { timeout: 60000 });
  return { page, errors, frame: await frame.jsonValue() };
}

// Waits until `changed` (a function run in the page, given `arg`) holds,
// then until the frame that shows the change is drawn: every change asks for
// a frame as it is made, and drawing it answers.
export async function drawnWith(page, changed, arg) {
  await page.waitForFunction(changed, {}, arg);
  await page.waitForFunction(() => !Module._glasswake_redraw_due());
}

// Whether at least `least` of the canvas's pixels have all channels within
// `within` of the picture at `url` (a data: URL too), compared in the page.
export async function assertMatches(page, url, what, { least = 0.99, within = 4 } = {}) {
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
export const canvasPicture = (page) =>
  page.$eval('#glasswake', (canvas) => canvas.toDataURL('image/png'));
export const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// A mouse drag by (dx, dy) from the middle of the canvas, held still before
// letting go unless it is a throw (which leaves the camera gliding).
export async function drag(page, dx, dy, { steps = 4, fling = false } = {}) {
  const box = await page.$eval('#glasswake', (canvas) => canvas.getBoundingClientRect().toJSON());
  const [x, y] = [box.x + box.width / 2, box.y + box.height / 2];
  await page.mouse.move(x, y);
  await page.mouse.down();
  await page.mouse.move(x + dx, y + dy, { steps });
  if (!fling) await sleep(150);
  await page.mouse.up();
}

// Downloads of `page` land in a fresh folder (Chromium only); returns it.
export async function downloadsOf(page) {
  const folder = fs.mkdtempSync(path.join(scratch, 'downloads-'));
  await (await page.createCDPSession()).send('Browser.setDownloadBehavior',
    { behavior: 'allow', downloadPath: folder });
  return folder;
}

// The first file in `folder` whose name matches, once it is whole: the
// browser may show the name before the bytes, so it must hold some, no
// partial download may be left, and its size must stand for a poll.
export async function downloaded(folder, pattern) {
  let last = '';
  for (let wait = 0; wait < 100; ++wait) {
    const files = fs.readdirSync(folder);
    const name = files.find((file) => pattern.test(file));
    const size = name ? fs.statSync(path.join(folder, name)).size : 0;
    const now = `${name}:${size}`;
    if (size > 0 && !files.some((file) => file.endsWith('.crdownload')) && now === last) {
      return path.join(folder, name);
    }
    last = now;
    await sleep(100);
  }
  assert.fail(`nothing like ${pattern} among ${fs.readdirSync(folder)}`);
}
