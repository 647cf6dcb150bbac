// A local web server for the page's tests and audits: dist/web/ at /, gzip
// where the browser takes it (as a real host would send it), extra folders
// at their own prefixes, and per-test answers for chosen paths under
// /s/ID/ (a missing file, a file that never comes, one that trickles).
import http from 'node:http';
import fs from 'node:fs';
import path from 'node:path';
import zlib from 'node:zlib';

const types = { '.html': 'text/html; charset=utf-8', '.js': 'text/javascript',
  '.wasm': 'application/wasm', '.png': 'image/png', '.jpg': 'image/jpeg',
  '.webp': 'image/webp', '.bmp': 'image/bmp', '.lwo': 'application/octet-stream',
  '.txt': 'text/plain' };
const compressible = new Set(['.html', '.js', '.wasm', '.bmp', '.lwo', '.txt']);

// Answers: { status, body, type }, 'never' (headers and nothing else, for ever),
// or { trickle: MS } (the file's bytes one every MS milliseconds).
export async function startServer(dist, folders = {}) {
  const scenarios = new Map();
  const sockets = new Set();
  const timers = new Set();
  const zipped = new Map();
  let next = 0;

  function file(pathname) {
    for (const [prefix, folder] of Object.entries(folders)) {
      if (pathname.startsWith(prefix)) return path.join(folder, path.basename(pathname));
    }
    return path.join(dist, path.normalize(pathname.endsWith('/') ? `${pathname}index.html` : pathname));
  }

  function trickle(response, bytes, ms) {
    response.writeHead(200, { 'content-type': 'application/octet-stream' });
    let at = 0;
    const timer = setInterval(() => {
      if (at >= bytes.length) {
        clearInterval(timer);
        response.end();
        return;
      }
      response.write(bytes.subarray(at, at + 1));
      at += 1;
    }, ms);
    timers.add(timer);
  }

  const server = http.createServer((request, response) => {
    let pathname = decodeURIComponent(new URL(request.url, 'http://x').pathname);
    let answers = {};
    const scenario = pathname.match(/^\/s\/(\d+)(\/.*)$/);
    if (scenario) {
      answers = scenarios.get(scenario[1]) ?? {};
      pathname = scenario[2];
    }
    const answer = answers[pathname];
    const name = file(pathname);
    if (answer === 'never') {
      response.writeHead(200, { 'content-type': 'application/octet-stream' });
      return;
    }
    if (answer?.trickle) {
      trickle(response, fs.readFileSync(name), answer.trickle);
      return;
    }
    if (answer) {
      response.writeHead(answer.status, { 'content-type': answer.type ?? 'application/octet-stream' });
      response.end(answer.body);
      return;
    }
    if (!fs.existsSync(name) || !fs.statSync(name).isFile()) {
      response.writeHead(404, { 'content-type': 'text/plain' });
      response.end('Not found');
      return;
    }
    const extension = path.extname(name);
    const headers = { 'content-type': types[extension] ?? 'application/octet-stream',
      'cache-control': 'no-cache' };
    let body = fs.readFileSync(name);
    if (compressible.has(extension) && /\bgzip\b/.test(request.headers['accept-encoding'] ?? '')) {
      const key = `${name}:${body.length}:${fs.statSync(name).mtimeMs}`;
      if (!zipped.has(key)) zipped.set(key, zlib.gzipSync(body, { level: 9 }));
      body = zipped.get(key);
      headers['content-encoding'] = 'gzip';
      headers.vary = 'accept-encoding';
    }
    headers['content-length'] = body.length;
    response.writeHead(200, headers);
    response.end(body);
  });
  server.on('connection', (socket) => {
    sockets.add(socket);
    socket.on('close', () => sockets.delete(socket));
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  const origin = `http://127.0.0.1:${server.address().port}`;
  return {
    origin,
    // The folder URL under which `answers` replace the served files.
    scenario(answers) {
      next += 1;
      scenarios.set(String(next), answers);
      return `${origin}/s/${next}/`;
    },
    close() {
      timers.forEach(clearInterval);
      sockets.forEach((socket) => socket.destroy());
      return new Promise((resolve) => server.close(resolve));
    },
  };
}
