// `npm pack` makes a tarball that installs and imports by the package's
// name, with the module, its types and the WebAssembly file in it, and the
// README's program for node runs on it as shown; and a
// handle left to the garbage collector is reported once.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, mkdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { test } from 'node:test';
import { fileURLToPath } from 'node:url';

const web = fileURLToPath(new URL('..', import.meta.url));

test('npm pack makes an installable package', () => {
  const dir = mkdtempSync(join(tmpdir(), 'playgraph-pack-'));
  try {
    const [packed] = JSON.parse(execFileSync('npm', ['pack', '--json', '--pack-destination', dir],
      { cwd: web }).toString());
    const files = packed.files.map((f) => f.path).sort();
    assert.deepEqual(files, ['dist/playgraph-core.mjs', 'dist/playgraph-core.wasm', 'index.d.ts',
      'index.js', 'package.json']);
    const version = JSON.parse(readFileSync(join(web, 'package.json'), 'utf8')).version;
    const cmake = readFileSync(join(web, '..', 'CMakeLists.txt'), 'utf8');
    assert.equal(version, cmake.match(/project\(playgraph VERSION (\S+)/)[1]);
    // Installed under node_modules, it is found by name (no registry needed).
    const modules = join(dir, 'app', 'node_modules', 'playgraph');
    mkdirSync(modules, { recursive: true });
    execFileSync('tar', ['-xzf', join(dir, packed.filename), '-C', modules, '--strip-components=1']);
    // The README's program for node runs there as shown.
    const readme = readFileSync(join(web, '..', 'README.md'), 'utf8');
    const program = readme.match(/```js\n([\s\S]*?)```/)[1];
    writeFileSync(join(dir, 'app', 'main.mjs'), `${program}\nconsole.log(pg.version);\n`);
    writeFileSync(join(dir, 'app', 'story.json'), readFileSync(join(web, '..', 'examples', 'story.json')));
    const out = execFileSync(process.execPath, ['main.mjs'], { cwd: join(dir, 'app') }).toString().trim().split('\n');
    assert.equal(out[0], `45.5 ${program.match(/\/\/ 45\.5 '(\w+)'/)[1]}`);
    assert.deepEqual(out.slice(1, 3), ['0 intro', '1 vault']);
    assert.equal(out.at(-1), version);
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
});

test('a handle collected without delete() is reported once', () => {
  const script = `
    import createPlaygraph from ${JSON.stringify(new URL('../index.js', import.meta.url).href)};
    const warnings = [];
    const pg = await createPlaygraph({ printErr: (text) => warnings.push(text) });
    const story = { initialSegment: 'a', segments: { a: { viewableId: 1, startTimeMs: 0, endTimeMs: 1000 } } };
    for (let i = 0; i < 3; ++i) pg.load(story);
    pg.load(story).delete();
    for (let i = 0; i < 5 && warnings.length === 0; ++i) {
      globalThis.gc();
      await new Promise((resolve) => setTimeout(resolve, 20));
    }
    console.log(JSON.stringify(warnings));`;
  const out = execFileSync(process.execPath, ['--expose-gc', '--input-type=module', '-e', script]).toString();
  const warnings = JSON.parse(out);
  assert.equal(warnings.length, 1, out);
  assert.match(warnings[0], /garbage-collected without delete\(\)/);
});
