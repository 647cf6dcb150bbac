// The browser build in headless Chromium (Debian's, with SwiftShader for
// WebGL), driven by puppeteer-core; with GLASSWAKE_BROWSER=firefox the
// frame match, the inputs and the failures run in Firefox too. Needs
// dist/web/ (scripts/web.sh build) or the folder GLASSWAKE_WEB_DIR names, and
// the desktop tool for the reference frames: run by scripts/web.sh test.
import { after, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {
  assertMatches, browser, canvasPicture, closeAll, downloaded, downloadsOf, drag, drawnWith,
  firefox, open, press, reference, scratch, sleep, tool,
} from './driver.mjs';

const title = 'Glasswake: glass crystals in your browser';
const preInitFailure = "App returned false on PreInit(), we shouldn't really continue.";
// What needs the DevTools protocol (downloads, touch, network, key repeat).
const chromiumOnly = { skip: firefox && 'Chromium only' };

after(closeAll);

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
        await press(page, 'KeyV');
        await drawnWith(page, (state) => Module._glasswake_overlay() === state, on);
        await assertMatches(page, `/reference/${expected}`, `V ${on ? 'on' : 'off'}`);
      }
      // M draws one sample per pixel (the tool's --samples 1), M again the
      // demo's 4; aa=0 opens with one.
      reference('one_2500.png', 2500, '--samples', '1');
      for (const [expected, samples] of [['one_2500.png', 1], [name, 4]]) {
        await press(page, 'KeyM');
        await drawnWith(page, (n) => Module._glasswake_samples() === n, samples);
        // 99 % of pixels of one and four samples agree: only edges tell them apart.
        await assertMatches(page, `/reference/${expected}`, `M: ${samples} sample(s)`,
          { least: 0.998 });
      }
      const single = await open(`${query}&aa=0`);
      assert.equal(await single.page.evaluate(() => Module._glasswake_samples()), 1);
      await assertMatches(single.page, '/reference/one_2500.png', 'aa=0', { least: 0.998 });
      await single.page.close();
    }
    // The tab keeps the page's title (the desktop's caption changes after 0.5 s).
    await sleep(700);
    assert.equal(await page.title(), title);
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
  // The load limits cut short, so a stalled or trickling file fails soon (yet
  // not so short that a busy machine's first bytes of another file come late).
  const limits = () => { window.glasswakeLoadLimits = { stallMs: 4000, deadlineMs: 8000 }; };
  const retry = true;
  const cases = [
    ['missing file', { respond: { '/data/crystal2.lwo': { status: 404, body: '' } } },
      [preInitFailure, 'data/crystal2.lwo: the server answered 404'], retry],
    ['broken file', { respond: { '/data/base2.lwo': { status: 200, body: 'not an object' } } },
      [preInitFailure, 'data/base2.lwo: not an LWOB object']],
    ['no WebGL', { prepare: noWebGl },
      ['App failed to create the rendering window.', 'no WebGL', 'another browser']],
    ['stalled file', { respond: { '/data/crystal3.lwo': 'never' }, prepare: limits },
      ['data/crystal3.lwo sent nothing for 4 s'], retry],
    // A byte every half second never stalls, yet never ends either.
    ['trickling file', { respond: { '/data/env.bmp': { trickle: 500 } }, prepare: limits },
      ['data/env.bmp did not arrive whole within 8 s'], retry],
  ];
  for (const [name, options, messages, retries = false] of cases) {
    const { page, frame } = await open('', options);
    assert.equal(frame, 'failed', name);
    const shown = await page.$eval('#error', (box) => ({
      text: box.innerText, visible: !box.hidden && box.offsetHeight > 0,
      retry: !document.getElementById('retry').hidden,
      enabled: [...document.querySelectorAll('#controls button')].filter((b) => !b.disabled)
        .map((b) => b.id) }));
    for (const message of messages) {
      assert.ok(shown.visible && shown.text.includes(message), `${name}: ${shown.text}`);
    }
    // Only the help still acts; loading again is offered where it can help.
    assert.deepEqual([shown.enabled, shown.retry], [['help-button'], retries], name);
    await page.close();
  }
  // The sky picture is one the program can do without: it draws, and says why it looks plain.
  const { page, frame } = await open('?size=320x240',
    { respond: { '/data/env.bmp': { status: 503, body: '' } } });
  assert.equal(frame, 'drawn');
  assert.match(await page.$eval('#status', (status) => (status.hidden ? '' : status.textContent)),
    /^Drawn without data\/env\.bmp: the server answered 503/);
  await page.close();
});

test('keys pause, step and scrub the clock, set the depth and show the panel', async () => {
  const { page, errors } = await open('?size=320x240');
  const state = () => page.evaluate(() => ({
    clock: Module._glasswake_clock_ms(), paused: Module._glasswake_paused(),
    views: Module._glasswake_views(), depth: document.getElementById('depth').textContent }));

  await press(page, 'Space');
  const paused = await state();
  await sleep(300);
  assert.equal(paused.paused, 1);
  assert.equal((await state()).clock, paused.clock, 'a paused clock stands still');
  await press(page, 'ArrowRight');
  await press(page, 'ArrowUp');
  assert.ok(Math.abs((await state()).clock - paused.clock - 1000 / 30 - 1000) < 1e-6);

  // Views per frame at the standing clock, for each depth key: the depth
  // shown, then the frame that shows it.
  await drawnWith(page, () => true);
  const views = [(await state()).views];
  for (const key of ['0', '1', '3']) {
    await press(page, key);
    await drawnWith(page, (key) => document.getElementById('depth').textContent === key, key);
    views.push((await state()).views);
  }
  // Depth 3 never opens fewer; at some moments (0 and 2500 ms of the orbit at
  // this size) it opens none more, and the standing clock depends on how
  // long the page took to start.
  assert.ok(views[1] === 1 && views[1] < views[2] && views[2] < views[0] && views[0] <= views[3],
    `views per frame at depths 2, 0 (the root alone), 1, 3: ${views}`);

  await press(page, 'KeyI');
  assert.match(await page.$eval('#info', (panel) => (panel.hidden ? '' : panel.textContent)),
    /^(paused|\d+\.\d fps), 4 samples per pixel\n\d+ views, \d+ polygons drawn a frame\norbit$/);
  // The samples the frames are drawn with: M takes smoothing off, M puts it back.
  for (const shown of ['1 sample per', '4 samples per']) {
    await press(page, 'KeyM');
    await page.waitForFunction((shown) => document.getElementById('info').textContent.includes(
      `, ${shown} pixel\n`) && Module._glasswake_samples() === Number(shown[0]), {}, shown);
  }

  await press(page, 'Space');
  const running = await state();
  await sleep(300);
  assert.equal(running.paused, 0);
  assert.ok((await state()).clock > running.clock, 'a running clock moves on');
  assert.deepEqual(errors, []);
  await page.close();
});

test('a held key repeats moves, never toggles or downloads', chromiumOnly, async () => {
  // Anchors clicked to download, counted.
  const countDownloads = () => {
    window.downloads = 0;
    const click = HTMLAnchorElement.prototype.click;
    HTMLAnchorElement.prototype.click = function () {
      if (this.download) window.downloads += 1;
      else click.call(this);
    };
  };
  const { page, errors } = await open('?size=320x240&t=1000', { prepare: countDownloads });
  // Each key held for three repeats after the first press.
  const hold = async (code) => {
    for (let i = 0; i < 4; ++i) await page.keyboard.down(code);
    await page.keyboard.up(code);
  };
  const state = () => page.evaluate(() => [Module._glasswake_paused(), Module._glasswake_overlay(),
    Module._glasswake_clock_ms(), window.downloads, document.getElementById('depth').textContent,
    document.getElementById('info').hidden]);
  for (const code of ['Space', 'KeyV', 'KeyP', 'Digit3', 'KeyI']) await hold(code);
  // The first picture is out; P's pictures are made in turn, so after one
  // more every one asked for is out too.
  await page.waitForFunction(() => window.downloads >= 1);
  await page.$eval('#glasswake', (canvas) => new Promise((done) => canvas.toBlob(done)));
  const [paused, overlay, , downloads, depth, infoHidden] = await state();
  assert.deepEqual([paused, overlay, downloads, depth, infoHidden], [0, 1, 1, '3', false]);
  await press(page, 'Space');
  const [, , standing] = await state();
  // A held arrow steps on every repeat.
  await hold('ArrowRight');
  assert.ok(Math.abs((await state())[2] - standing - 4000 / 30) < 1e-6);
  assert.deepEqual(errors, []);
  await page.close();
});

test('the canvas fills the page above the control bar at every size, also at a pixel ratio of 2',
  chromiumOnly, async () => {
  // An invalid size is ignored as a whole; the bar never covers the picture
  // (where the views' legend is drawn), nor leaves the window.
  const viewport = { width: 400, height: 300, deviceScaleFactor: 2 };
  const { page, errors, frame } = await open('?size=abc&views=1', { viewport });
  assert.equal(frame, 'drawn');
  // The canvas fills its part of the page (to an even number of pixels) at
  // one drawing pixel a device pixel.
  const fitted = () => page.waitForFunction(() => {
    const canvas = document.getElementById('glasswake');
    const box = canvas.getBoundingClientRect();
    const part = document.getElementById('view').getBoundingClientRect();
    return canvas.width === Math.round(2 * box.width) && canvas.height === Math.round(2 * box.height) &&
      Math.abs(part.width - box.width) < 1 && Math.abs(part.height - box.height) < 1;
  }, { timeout: 5000 });
  for (const [width, height] of [[400, 300], [500, 250], [320, 240], [1280, 720], [400, 300]]) {
    await page.setViewport({ width, height, deviceScaleFactor: 2 });
    await fitted();
    const [canvas, bar] = await page.$$eval('#glasswake, #controls',
      (elements) => elements.map((element) => element.getBoundingClientRect().toJSON()));
    assert.ok(canvas.bottom <= bar.top && bar.bottom <= height && canvas.width === width &&
      bar.right <= width && canvas.height > height / 2, `${width}x${height}: ${
      JSON.stringify([canvas, bar])}`);
  }
  // The layout alone changes (the bar grows, the window stays): the drawing
  // buffer follows, or the picture would be stretched.
  await page.$eval('#controls', (bar) => { bar.style.paddingBottom = '37px'; });
  await fitted();
  assert.deepEqual(errors, []);
  await page.close();

  // A size beyond what the context draws is held, and shown unscaled all the same.
  const huge = await open('?size=8192x8192');
  assert.equal(huge.frame, 'drawn');
  const [buffer, box] = await huge.page.$eval('#glasswake', (canvas) =>
    [[canvas.width, canvas.height], [canvas.offsetWidth, canvas.offsetHeight]]);
  assert.deepEqual(box, buffer);
  await huge.page.close();
});

test('R records the canvas as a WebM for as long as it runs; the panel shows the time',
  chromiumOnly, async () => {
  const { page, errors } = await open('?size=320x240');
  const downloads = await downloadsOf(page);
  await press(page, 'KeyI');
  const started = Date.now();
  await press(page, 'KeyR');
  await sleep(2000);
  assert.match(await page.$eval('#info', (panel) => panel.textContent), /\nrecording [1-9]\.\d s$/);
  await page.click('#record');  // the button stops it too
  const seconds = (Date.now() - started) / 1000;
  const file = await downloaded(downloads, /^glasswake-[0-9-]+\.webm$/);
  const probe = (entries) => execFileSync('ffprobe', ['-v', 'error', '-count_frames',
    '-select_streams', 'v', '-show_entries', entries, '-of', 'csv=p=0', file])
    .toString().trim().split('\n');
  const [codec, width, height, frames] = probe('stream=codec_name,width,height,nb_read_frames')[0]
    .split(',');
  assert.deepEqual([codec, width, height], ['vp9', '320', '240']);
  // As long as it ran: at least the 2 s waited, at most the time it took to stop.
  const last = Math.max(...probe('packet=pts_time').map(Number));
  assert.ok(frames >= 10 && last > 1.5 && last < seconds + 0.5,
    `${frames} frames over ${last} s, recorded for ${seconds} s`);
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
  await drawnWith(page, () => !document.getElementById('orbit').disabled);
  // The view stays where it was left: the clock stands and the picture too.
  const turned = await canvasPicture(page);
  await sleep(300);
  assert.equal(await canvasPicture(page), turned);
  assert.equal(await page.evaluate(() => Module._glasswake_paused()), 1);
  for (const move of [() => page.mouse.wheel({ deltaY: 300 }), () => press(page, 'KeyW'),
    () => press(page, 'KeyA'), () => press(page, 'Minus')]) {
    const [camera, picture] = [await page.$eval('#orbit', (b) => b.dataset.camera),
      await canvasPicture(page)];
    await move();
    await drawnWith(page, (camera) => document.getElementById('orbit').dataset.camera !== camera,
      camera);
    assert.notEqual(await canvasPicture(page), picture);
  }
  await press(page, 'KeyO');
  assert.equal(await orbiting(), true);
  assert.equal(await page.evaluate(() => Module._glasswake_paused()), 0);
  assert.deepEqual(errors, []);
  await page.close();
});

test('embedded without controls: the canvas takes the window, touch turns and pinches',
  chromiumOnly, async () => {
  // One finger turns, two pinching to half their spread double the distance
  // (the link says); of two controls= the last holds, as the link repeats.
  const bare = await open('?controls=1&controls=0');
  assert.deepEqual(await bare.page.evaluate(() => [document.getElementById('controls').hidden,
    document.getElementById('glasswake').getBoundingClientRect().height === innerHeight]),
  [true, true]);
  const touch = await bare.page.createCDPSession();
  await touch.send('Emulation.setTouchEmulationEnabled', { enabled: true });
  for (const [type, ...at] of [['touchStart', [300, 300]], ['touchMove', [330, 290]],
    ['touchEnd'], ['touchStart', [320, 300], [480, 300]], ['touchMove', [360, 300], [440, 300]],
    ['touchEnd']]) {
    if (type === 'touchEnd') await sleep(150);  // held still: no glide after it
    await touch.send('Input.dispatchTouchEvent',
      { type, touchPoints: at.map(([x, y], id) => ({ x, y, id })) });
  }
  await press(bare.page, 'KeyL');
  const link = await bare.page.$eval('#link', (field) => field.value);
  // 10 pixels up tilt 4 degrees down from the orbit's pitch.
  const [, pitch, distance] = link.match(/cam=[\d.]+,([\d.-]+),([\d.]+)/).map(Number);
  assert.ok(Math.abs(distance - 2 * Math.sqrt(17)) < 0.01 &&
    Math.abs(pitch - (Math.atan(0.25) * 180 / Math.PI - 4)) < 0.01, link);
  assert.match(link, /&controls=0$/);
  const shown = await open('?controls=0&controls=1');
  assert.equal(await shown.page.$eval('#controls', (bar) => bar.hidden), false);
  await press(shown.page, 'KeyL');
  assert.doesNotMatch(await shown.page.$eval('#link', (field) => field.value), /controls/);
  assert.deepEqual([...bare.errors, ...shown.errors], []);
  await Promise.all([bare.page.close(), shown.page.close()]);
});

test('the link gives the same picture; the PNG download is the canvas', chromiumOnly, async () => {
  const { page, errors } = await open('?size=320x240&t=1500&depth=3');
  await drag(page, 31, -13);
  await press(page, 'KeyV');
  await page.click('#share');
  const link = await page.$eval('#link', (field) => field.value);
  assert.match(link, /\?cam=[\d.]+,[\d.-]+,[\d.]+&depth=3&views=1&size=320x240$/);
  await drawnWith(page, () => true);
  const picture = await canvasPicture(page);
  const copy = await open(link.slice(link.indexOf('?')));
  await assertMatches(copy.page, picture, link, { least: 1, within: 0 });

  const downloads = await downloadsOf(page);
  await press(page, 'KeyP');
  const file = await downloaded(downloads, /^glasswake\.png$/);
  fs.copyFileSync(file, path.join(scratch, 'glasswake.png'));
  await assertMatches(page, '/reference/glasswake.png', 'PNG', { least: 1, within: 0 });
  assert.deepEqual([...errors, ...copy.errors], []);
  await Promise.all([page.close(), copy.page.close()]);
});

test('a lost context is said and drawn again; a hidden tab stands; reduced motion; help',
  chromiumOnly, async () => {
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
  await press(page, 'ArrowRight');  // changes the frame, yet nothing can draw it
  await sleep(200);
  assert.equal(await frames(), lostFrames);
  await press(page, 'ArrowLeft');
  await page.evaluate(() => window.loseContext.restoreContext());
  await page.waitForFunction((lost) => Module._glasswake_frames() > lost &&
    document.getElementById('status').hidden, {}, lostFrames);
  await assertMatches(page, picture, 'after the context came back', { least: 1, within: 0 });

  // Hidden, the running clock stands and nothing is drawn; shown, it goes on.
  await press(page, 'Space');
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
  const help = () => page.$eval('#help', (panel) => panel.open && panel.offsetHeight > 0);
  for (const [key, shown] of [['?', true], ['Escape', false], ['?', true], ['?', false]]) {
    await page.keyboard.press(key);
    assert.equal(await help(), shown, key);
  }
  assert.deepEqual(errors, []);
  await page.close();

  const calm = await open('', { reducedMotion: true });
  assert.equal(await calm.page.evaluate(() => Module._glasswake_paused()), 1);
  assert.equal(await calm.page.$eval('#pause', (button) => button.textContent), 'Play');
  await calm.page.close();
});
