// The page's frame time with smooth edges on (aa=1, 4 samples per pixel)
// against off (aa=0), side by side in headless Chromium (SwiftShader).
//   node scripts/page_timing.mjs [--size 1280x720] [--seconds 10] [--runs 3]
// Serves dist/web/ (scripts/web.sh build), or the folder GLASSWAKE_WEB_DIR
// names, itself; opens the running orbit at that size and takes the time
// between animation frames for the given seconds, the two settings taking
// turns. Prints each run and the medians.
import http from 'node:http';
import fs from 'node:fs';
import path from 'node:path';
import { parseArgs } from 'node:util';
import { fileURLToPath } from 'node:url';
import puppeteer from 'puppeteer-core';

const { values } = parseArgs({ options: {
  size: { type: 'string', default: '1280x720' },
  seconds: { type: 'string', default: '10' },
  runs: { type: 'string', default: '3' },
} });
const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
const dist = process.env.GLASSWAKE_WEB_DIR ?? path.join(root, 'dist/web');
const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm' };
const server = http.createServer((request, response) => {
  const name = new URL(request.url, 'http://x').pathname;
  const file = path.join(dist, path.normalize(name === '/' ? '/index.html' : name));
  if (!file.startsWith(dist) || !fs.existsSync(file)) {
    response.writeHead(404).end();
    return;
  }
  response.writeHead(200, { 'Content-Type': types[path.extname(file)] ?? 'application/octet-stream' });
  response.end(fs.readFileSync(file));
});
await new Promise((ready) => server.listen(0, '127.0.0.1', ready));
const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
  args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader'],
});

const median = (list) => [...list].sort((a, b) => a - b)[Math.floor(list.length / 2)];
const [width, height] = values.size.split('x').map(Number);
const results = { 0: [], 1: [] };
try {
  for (let run = 1; run <= Number(values.runs); ++run) {
    for (const aa of [0, 1]) {
      const page = await browser.newPage();
      await page.setViewport({ width: width + 100, height: height + 200 });
      await page.goto(`http://127.0.0.1:${server.address().port}/?size=${values.size}&aa=${aa}`);
      await page.waitForFunction(() => document.documentElement.dataset.frame === 'drawn',
        { timeout: 60000 });
      await new Promise((settled) => setTimeout(settled, 1000));  // shaders built
      const { gaps, frames, samples } = await page.evaluate((ms) => new Promise((done) => {
        const gaps = [];
        const first = Module._glasswake_frames();
        let last = performance.now();
        const start = last;
        const tick = (now) => {
          gaps.push(now - last);
          last = now;
          if (now - start < ms) {
            requestAnimationFrame(tick);
          } else {
            done({ gaps, frames: Module._glasswake_frames() - first,
              samples: Module._glasswake_samples() });
          }
        };
        requestAnimationFrame(tick);
      }), Number(values.seconds) * 1000);
      const result = { ms: median(gaps), fps: frames / Number(values.seconds) };
      results[aa].push(result);
      console.log(`run ${run}, ${samples} sample(s): median frame ${result.ms.toFixed(1)} ms, ` +
        `${result.fps.toFixed(1)} frames/s`);
      await page.close();
    }
  }
  const one = median(results[0].map((r) => r.ms));
  const four = median(results[1].map((r) => r.ms));
  console.log(`medians: ${one.toFixed(1)} ms with 1 sample, ${four.toFixed(1)} ms with 4: ` +
    `${(four / one).toFixed(2)} times`);
} finally {
  await browser.close();
  server.close();
}
