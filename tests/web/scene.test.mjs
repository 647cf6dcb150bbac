// The visitor's own files on the page: picked or dropped, loaded by the
// program's readers, matched against the desktop tool's frame of the same
// scene file; a refused file named with its reason while the scene shown
// keeps drawing; the way back to the shipped scene. Run by scripts/web.sh test.
import { after, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { AxePuppeteer } from '@axe-core/puppeteer';
import { assertMatches, closeAll, drawnWith, open, press, reference, scratch, tool } from './driver.mjs';

after(closeAll);

// The shipped set with its scene files (scene.toml, gem.toml), beside the
// reference frames, so the page fetches them from /reference/ to drop them.
execFileSync(tool, ['make-data', '--scene-example', scratch]);
execFileSync('convert', ['-size', '300x200', 'gradient:red-blue', path.join(scratch, 'sky.png')]);
fs.writeFileSync(path.join(scratch, 'sky.toml'),
  fs.readFileSync(path.join(scratch, 'scene.toml'), 'utf8').replace("'env.bmp'", "'sky.png'"));
// A face that uses a vertex the file has not given.
fs.writeFileSync(path.join(scratch, 'bad.obj'), 'v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 4\n');
const gemSet = ['gem.toml', 'gem.obj', 'base2.lwo', 'crystal1.lwo', 'crystal3.lwo', 'env.bmp'];
// The gem's cut 1,000 facets round (5,001 in all): its orbit needs more
// frame memory than the ceiling allows.
const rings = [[0.5, 0.55], [0.8, 0.42], [0.95, 0.3], [1, 0.22], [0.6, -0.2]];
const round = 1000;
const at = (ring, k) => ring * round + (k % round) + 1;
const fine = [];
for (const [radius, height] of rings) {
  for (let k = 0; k < round; ++k) {
    const angle = (2 * Math.PI * k) / round;
    fine.push(`v ${0.9168 + 0.45 * radius * Math.cos(angle)} ${1.2 + 0.45 * height} ` +
      `${-0.4584 + 0.45 * radius * Math.sin(angle)}`);
  }
}
fine.push('v 0.9168 0.8625 -0.4584');
fine.push(`f ${Array.from({ length: round }, (_, k) => at(0, round - 1 - k)).join(' ')}`);
for (let k = 0; k < round; ++k) {
  for (let ring = 0; ring + 1 < rings.length; ++ring) {
    fine.push(`f ${at(ring, k)} ${at(ring, k + 1)} ${at(ring + 1, k + 1)} ${at(ring + 1, k)}`);
  }
  fine.push(`f ${at(4, k)} ${at(4, k + 1)} ${5 * round + 1}`);
}
fs.writeFileSync(path.join(scratch, 'fine.obj'), `${fine.join('\n')}\n`);
fs.writeFileSync(path.join(scratch, 'fine.toml'),
  fs.readFileSync(path.join(scratch, 'gem.toml'), 'utf8').replace("'gem.obj'", "'fine.obj'"));

// Files dropped on the canvas as a desktop's file manager drops them.
function drop(page, names) {
  return page.evaluate(async (names) => {
    const files = new DataTransfer();
    for (const name of names) {
      const bytes = await (await fetch(`/reference/${name}`)).arrayBuffer();
      files.items.add(new File([bytes], name));
    }
    const canvas = document.getElementById('glasswake');
    for (const type of ['dragenter', 'dragover', 'drop']) {
      canvas.dispatchEvent(new DragEvent(type, { dataTransfer: files, bubbles: true, cancelable: true }));
    }
  }, names);
}

// Waits for the page to say the set was opened (or refused), then for the
// frame that shows it.
async function settled(page, outcome) {
  await drawnWith(page, (outcome) => document.documentElement.dataset.files === outcome, outcome);
}

test('a picked picture becomes the sky; Shipped scene restores the shipped frame', async () => {
  reference('shipped_2500.png', 2500);
  reference('sky_2500.png', 2500, '--scene', path.join(scratch, 'sky.toml'));
  const { page, errors } = await open('?t=2500&size=640x480');
  assert.equal(await page.$eval('#shipped', (button) => button.disabled), true);
  const [chooser] = await Promise.all([page.waitForFileChooser(), page.click('#open')]);
  await chooser.accept([path.join(scratch, 'sky.png')]);
  await settled(page, 'opened');
  await assertMatches(page, '/reference/sky_2500.png', 'the picked picture as the sky');
  assert.match(await page.$eval('#glasswake', (canvas) => canvas.getAttribute('aria-label')),
    /^Your own scene \(sky\.png\)/);
  // From the keyboard, as every control.
  await page.focus('#shipped');
  await press(page, 'Enter');
  await settled(page, 'shipped');
  await assertMatches(page, '/reference/shipped_2500.png', 'back to the shipped scene');
  assert.equal(await page.$eval('#shipped', (button) => button.disabled), true);
  assert.deepEqual(errors, []);
  await page.close();
});

test('a dropped scene file with its mesh loads; a bad file is refused with its reason and the ' +
  'scene shown keeps drawing', async () => {
  reference('gem_2500.png', 2500, '--scene', path.join(scratch, 'gem.toml'));
  reference('gem_2533.png', 2533, '--scene', path.join(scratch, 'gem.toml'));
  const { page, errors } = await open('?t=2500&size=640x480');
  const shippedViews = await page.evaluate(() => Module._glasswake_views());
  // Opening shows the loading bar through its steps, then hides it.
  await page.evaluate(() => {
    const text = document.getElementById('loading-text');
    window.openingSteps = [];
    new MutationObserver(() => window.openingSteps.push(text.textContent))
      .observe(text, { childList: true, characterData: true, subtree: true });
  });
  await drop(page, gemSet);
  await settled(page, 'opened');
  assert.deepEqual([...new Set(await page.evaluate(() => window.openingSteps))],
    ['Reading your files…', 'Setting up your scene…']);
  assert.equal(await page.$eval('#loading', (bar) => bar.hidden), true);
  await assertMatches(page, '/reference/gem_2500.png', 'the gem scene');
  assert.ok(await page.evaluate(() => Module._glasswake_views()) > shippedViews);

  // Refused: named with the reader's reason, in the file's own name.
  const refusal = () => page.$eval('#refusal', (box) =>
    (box.hidden ? '' : document.getElementById('refusal-reason').textContent));
  await drop(page, ['bad.obj']);
  await page.waitForFunction(() => document.documentElement.dataset.files === 'refused');
  assert.equal(await refusal(), 'bad.obj: line 4: the face uses vertex 4 of 3.');
  // A scene file without a file it names.
  await drop(page, ['gem.toml', 'base2.lwo']);
  await page.waitForFunction(() => document.getElementById('refusal-reason').textContent ===
    'gem.toml names files that did not come with it (env.bmp, crystal1.lwo, gem.obj, ' +
    'crystal3.lwo): give the scene file together with every file it names.');
  await new AxePuppeteer(page).analyze().then(({ violations }) =>
    assert.deepEqual(violations.map((v) => v.id), [], 'with the refusal shown'));
  // A scene too large for the frame memory is refused once its meshes are
  // set up and its budget tried; the gem scene goes back in the memory it
  // was drawn in: a frame drawn now opens every view it did before.
  const gemViews = await page.evaluate(() => Module._glasswake_views());
  await drop(page, [...gemSet.slice(2), 'fine.toml', 'fine.obj']);
  await page.waitForFunction(() => document.getElementById('refusal-reason').textContent ===
    'the scene needs more than 256 MiB of frame memory at depth 2, even with views under ' +
    '1 pixel left closed.', { timeout: 60000 });
  await page.evaluate(() => Module._glasswake_redraw());
  await page.waitForFunction(() => !Module._glasswake_redraw_due());
  assert.equal(await page.evaluate(() => Module._glasswake_views()), gemViews);
  // The gem scene still draws, the next frame too.
  await assertMatches(page, '/reference/gem_2500.png', 'the gem scene after the refusals');
  await press(page, 'ArrowRight');
  await drawnWith(page, () => Module._glasswake_clock_ms() > 2530);
  await assertMatches(page, '/reference/gem_2533.png', 'a frame on, after the refusals');
  await press(page, 'Escape');
  assert.equal(await refusal(), '');

  // A mesh alone takes crystal 1's place, fitted into it; the share link
  // says it does not carry the files.
  await drop(page, ['gem.obj']);
  await settled(page, 'opened');
  assert.equal(await page.$eval('#link-note', (note) => note.textContent),
    'The link carries the camera and the time, not your own files.');
  assert.deepEqual(errors, []);
  await page.close();
});
