// Lighthouse on the page as a host would serve it (compressed), in the
// mobile and the desktop form; prints each category's score and every audit
// that lost points, and exits 1 below the page's targets (accessibility,
// best practices and SEO 100, performance 95).
//   node tests/web/audit.mjs [FOLDER]   (default dist/web)
import { execFile } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { promisify } from 'node:util';
import { fileURLToPath } from 'node:url';
import { startServer } from './server.mjs';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const folder = path.resolve(process.argv[2] ?? path.join(root, 'dist/web'));
const lighthouse = path.join(root, 'node_modules/.bin/lighthouse');
const targets = { accessibility: 100, 'best-practices': 100, seo: 100, performance: 95 };
const server = await startServer(folder);
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'glasswake-audit-'));
let failed = false;
try {
  for (const form of ['mobile', 'desktop']) {
    const report = path.join(scratch, `${form}.json`);
    await promisify(execFile)(lighthouse, [`${server.origin}/`, '--quiet',
      '--chrome-flags=--headless=new --no-sandbox --use-angle=swiftshader --enable-unsafe-swiftshader',
      `--form-factor=${form}`, '--throttling-method=provided', '--output=json',
      `--output-path=${report}`, `--only-categories=${Object.keys(targets).join(',')}`,
      ...(form === 'desktop' ? ['--screenEmulation.disabled'] : [])],
    { env: { ...process.env, CHROME_PATH: process.env.CHROMIUM ?? '/usr/bin/chromium' } });
    const result = JSON.parse(fs.readFileSync(report, 'utf8'));
    const scores = Object.entries(targets).map(([name, least]) => {
      const score = Math.round(result.categories[name].score * 100);
      failed ||= score < least;
      return `${name} ${score}`;
    });
    console.log(`${form}: ${scores.join(', ')}`);
    for (const category of Object.values(result.categories)) {
      for (const { id, weight } of category.auditRefs) {
        const audit = result.audits[id];
        if (weight > 0 && audit.score !== null && audit.score < 1) {
          console.log(`  ${category.id}: ${id} ${audit.score} ${audit.displayValue ?? ''}`);
        }
      }
    }
  }
} finally {
  await server.close();
  fs.rmSync(scratch, { recursive: true, force: true });
}
process.exit(failed ? 1 : 0);
