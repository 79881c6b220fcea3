// Timings of the package in node against the native library on the same
// machine (the Python package's bare C++ timing loops), in rounds of each
// side in turn, and the module's start. Usage: PLAYGRAPH_PYTHONPATH=build/release/python node web/bench/bench.mjs
import { execFileSync } from 'node:child_process';
import { performance } from 'node:perf_hooks';

import createPlaygraph from '../index.js';
import { generateStory } from './stories.mjs';

const best = (runs, f) => {
  let min = Infinity;
  for (let i = 0; i < runs; ++i) {
    const start = performance.now();
    f();
    min = Math.min(min, performance.now() - start);
  }
  return min;
};

const pg = await createPlaygraph();
// The module's start, `await createPlaygraph()`, best of fresh processes
// (within one, the engine would reuse the compiled module).
const startScript = `import createPlaygraph from ${JSON.stringify(new URL('../index.js', import.meta.url).href)};
  const at = performance.now(); await createPlaygraph(); console.log(performance.now() - at);`;
const moduleStartMs = Math.min(...[0, 1, 2].map(() =>
  Number(execFileSync(process.execPath, ['--input-type=module', '-e', startScript]).toString())));

const text = generateStory(10, 10000);
const calls = 200000;
const plans = 2000;
// The package's figures: load, a call across the boundary, a plan (ms).
function packageFigures() {
  const loadMs = best(10, () => pg.load(text).delete());
  const graph = pg.load(text);
  const time = graph.duration() / 3;
  const callMs = best(5, () => {
    for (let i = 0; i < calls; ++i) graph.segmentIdAtPlaygraphTime(time);
  });
  const source = new pg.PlaygraphPlayerMutableDataSource(graph);
  const session = new pg.PlaybackSession(source);
  const planMs = best(5, () => {
    for (let i = 0; i < plans; ++i) session.prefetchPlan(30);
  });
  session.delete();
  source.delete();
  graph.delete();
  return { loadMs, callNs: (callMs / calls) * 1e6, planUs: (planMs / plans) * 1e3 };
}

const nativeScript = `
import sys, json, playgraph
import playgraph_timings as _timings
text = sys.stdin.read()
load = min(_timings.load_from_text(text, 1) for _ in range(10)) * 1e3
g = playgraph.loads(text)
t = g.duration / 3
call = min(_timings.segment_id_at_playgraph_time(g, t, ${calls})[0] for _ in range(5)) / ${calls} * 1e9
session = playgraph.PlaybackSession(playgraph.PlaygraphPlayerMutableDataSource(g, None))
plan = min(_timings.prefetch_plan(session, 30, ${plans})[0] for _ in range(5)) / ${plans} * 1e6
print(json.dumps({'loadMs': load, 'callNs': call, 'planUs': plan}))`;
const nativeFigures = () => JSON.parse(execFileSync('python3', ['-c', nativeScript], {
  input: text, env: { ...process.env, PYTHONPATH: process.env.PLAYGRAPH_PYTHONPATH },
}).toString());

// Rounds of each side in turn, the best of each figure kept: on a shared
// machine the load of other work then weighs on both sides alike.
const minimum = (a, b) => (a ? Object.fromEntries(Object.keys(a).map((k) => [k, Math.min(a[k], b[k])])) : b);
let ours = null;
let native = null;
for (let round = 0; round < 3; ++round) {
  ours = minimum(ours, packageFigures());
  if (process.env.PLAYGRAPH_PYTHONPATH) native = minimum(native, nativeFigures());
}

const cycles = 10000;
const small = generateStory(3, 20);
for (let i = 0; i < 200; ++i) pg.load(small).delete();
const heapBefore = pg.heapInUse();
for (let i = 0; i < cycles; ++i) pg.load(small).delete();
const heapGrowth = pg.heapInUse() - heapBefore;

const row = (name, value, nativeValue) =>
  console.log(`${name.padEnd(44)} ${value.toFixed(3).padStart(10)}${nativeValue === undefined ? ''
    : `   native ${nativeValue.toFixed(3).padStart(8)}   ratio ${(value / nativeValue).toFixed(2)}`}`);
row('module start (ms)', moduleStartMs);
row('load, 10,000 segments, from JSON text (ms)', ours.loadMs, native?.loadMs);
row('segmentIdAtPlaygraphTime per call (ns)', ours.callNs, native?.callNs);
row('prefetch plan, 30 s ahead, per call (us)', ours.planUs, native?.planUs);
console.log(`heap growth over ${cycles} load/delete cycles: ${heapGrowth} bytes`);
