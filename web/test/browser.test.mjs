// The package in headless Chromium, in a page and in a module worker,
// loaded from its URL over HTTP (no bundler, no cross-origin isolation, so
// no SharedArrayBuffer), and the README's page as shown, served as the README
// lays it out; the pages post their answers back. Skipped when Chromium is
// not installed.
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { existsSync, readFileSync } from 'node:fs';
import { createServer } from 'node:http';
import { extname, join, normalize } from 'node:path';
import { test } from 'node:test';
import { fileURLToPath } from 'node:url';

const chromium = '/usr/bin/chromium';
const root = fileURLToPath(new URL('../../', import.meta.url));
// The README's page, which reports its title (or its error) once its script has run.
const readmePage = readFileSync(join(root, 'README.md'), 'utf8').match(/```html\n([\s\S]*?)```/)[1]
  .replace('</script>', "  fetch('/result/readme', { method: 'POST', body: document.title });\n</script>")
  .replace('<script type="module">', `<script>onerror = (e) => fetch('/result/readme', { method: 'POST', body: \`error \${e.message}\` });</script>
<script type="module">`);
// Where the README's page finds the package, its module and the story.
const readmeFiles = [['/readme/node_modules/playgraph/', 'web/'], ['/static/', 'web/dist/'],
  ['/readme/story.json', 'examples/story.json']];
const types = { '.html': 'text/html', '.js': 'text/javascript', '.mjs': 'text/javascript',
  '.wasm': 'application/wasm', '.json': 'application/json' };

test('the package runs in a page and in a worker', { skip: !existsSync(chromium) && 'no Chromium' }, async () => {
  const answers = {};
  let done;
  const bothAnswered = new Promise((resolve) => { done = resolve; });
  const server = createServer((request, response) => {
    const { pathname } = new URL(request.url, 'http://x');
    if (request.method === 'POST' && pathname.startsWith('/result/')) {
      let body = '';
      request.on('data', (chunk) => { body += chunk; });
      request.on('end', () => {
        answers[pathname.slice('/result/'.length)] = body;
        response.writeHead(204).end();
        if (Object.keys(answers).length === 3) done();
      });
      return;
    }
    if (pathname === '/readme/page.html') {
      response.writeHead(200, { 'Content-Type': types['.html'] }).end(readmePage);
      return;
    }
    const [prefix, folder] = readmeFiles.find(([p]) => pathname.startsWith(p)) ?? ['/', ''];
    const path = normalize(join(root, folder, decodeURIComponent(pathname.slice(prefix.length))));
    if (!path.startsWith(root) || !existsSync(path)) {
      response.writeHead(404).end();
      return;
    }
    response.writeHead(200, { 'Content-Type': types[extname(path)] ?? 'application/octet-stream' });
    response.end(readFileSync(path));
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  const url = `http://127.0.0.1:${server.address().port}/web/test-pages/page.html`;
  const browser = spawn(chromium, ['--headless', '--no-sandbox', '--disable-gpu',
    '--disable-dev-shm-usage', url], { stdio: 'ignore' });
  let timer;
  try {
    await Promise.race([bothAnswered, new Promise((resolve) => { timer = setTimeout(resolve, 90000); })]);
    assert.deepEqual(answers, { page: '45.5 vault undefined', worker: '45.5 vault undefined', readme: 'intro' });
  } finally {
    clearTimeout(timer);
    browser.kill();
    server.close();
  }
});
