// index.d.ts compiles with TypeScript's strict checks and types a program
// written as the README shows (skipped without the dev dependency: npm ci).
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { existsSync } from 'node:fs';
import { test } from 'node:test';
import { fileURLToPath } from 'node:url';

const web = fileURLToPath(new URL('..', import.meta.url));
const tsc = `${web}node_modules/typescript/bin/tsc`;

test('index.d.ts compiles and types the README\'s use', { skip: !existsSync(tsc) && 'no TypeScript (npm ci)' }, () => {
  const out = execFileSync(process.execPath, [tsc, '--noEmit', '--strict', '--target', 'es2022',
    '--lib', 'es2022,esnext.disposable,dom', '--module', 'nodenext', '--moduleResolution', 'nodenext',
    'test-pages/usage.ts'], { cwd: web }).toString();
  assert.equal(out, '');
});
