// Timings of the package in node against the native library on the same
// machine (the Python package's bare C++ timing loops), and the module's
// start. Usage: PLAYGRAPH_PYTHONPATH=build/release/python node web/bench/bench.mjs
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

const startAt = performance.now();
const pg = await createPlaygraph();
const moduleStartMs = performance.now() - startAt;

const text = generateStory(10, 10000);
const loadMs = best(10, () => pg.load(text).delete());
const graph = pg.load(text);
const time = graph.duration() / 3;
const calls = 200000;
const callMs = best(5, () => {
  for (let i = 0; i < calls; ++i) graph.segmentIdAtPlaygraphTime(time);
});
const source = new pg.PlaygraphPlayerMutableDataSource(graph);
const session = new pg.PlaybackSession(source);
const plans = 2000;
const planMs = best(5, () => {
  for (let i = 0; i < plans; ++i) session.prefetchPlan(30);
});
session.delete();
source.delete();
graph.delete();

const cycles = 10000;
const small = generateStory(3, 20);
for (let i = 0; i < 200; ++i) pg.load(small).delete();
const heapBefore = pg.heapInUse();
for (let i = 0; i < cycles; ++i) pg.load(small).delete();
const heapGrowth = pg.heapInUse() - heapBefore;

let native = null;
if (process.env.PLAYGRAPH_PYTHONPATH) {
  const script = `
import sys, json, playgraph
from playgraph._playgraph import _timings
text = sys.stdin.read()
load = min(_timings.load_from_text(text, 1) for _ in range(10)) * 1e3
g = playgraph.load(text)
t = g.duration / 3
call = min(_timings.segment_id_at_playgraph_time(g, t, ${calls})[0] for _ in range(5)) / ${calls} * 1e9
session = playgraph.PlaybackSession(playgraph.PlaygraphPlayerMutableDataSource(g, None))
plan = min(_timings.prefetch_plan(session, 30, ${plans})[0] for _ in range(5)) / ${plans} * 1e6
print(json.dumps({'loadMs': load, 'callNs': call, 'planUs': plan}))`;
  native = JSON.parse(execFileSync('python3', ['-c', script], {
    input: text, env: { ...process.env, PYTHONPATH: process.env.PLAYGRAPH_PYTHONPATH },
  }).toString());
}

const row = (name, value, nativeValue) =>
  console.log(`${name.padEnd(44)} ${value.toFixed(3).padStart(10)}${nativeValue === undefined ? ''
    : `   native ${nativeValue.toFixed(3).padStart(8)}   ratio ${(value / nativeValue).toFixed(2)}`}`);
row('module start (ms)', moduleStartMs);
row('load, 10,000 segments, from JSON text (ms)', loadMs, native?.loadMs);
row('segmentIdAtPlaygraphTime per call (ns)', (callMs / calls) * 1e6, native?.callNs);
row('prefetch plan, 30 s ahead, per call (us)', (planMs / plans) * 1e3, native?.planUs);
console.log(`heap growth over ${cycles} load/delete cycles: ${heapGrowth} bytes`);
