// The package, the native tool and the Python package give the same answers
// and write the same JSON, on the bundled examples and on generated stories.
// The native sides are named by PLAYGRAPH_TOOL (the playgraph binary) and
// PLAYGRAPH_PYTHONPATH (the folder holding the Python package); the test is
// skipped without them.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { test } from 'node:test';
import { fileURLToPath } from 'node:url';

import createPlaygraph from '../index.js';
import { generateStory } from '../bench/stories.mjs';

const tool = process.env.PLAYGRAPH_TOOL;
const pythonPath = process.env.PLAYGRAPH_PYTHONPATH;
const skip = !tool || !pythonPath ? 'PLAYGRAPH_TOOL and PLAYGRAPH_PYTHONPATH are not set' : false;

// The times at which to ask: every boundary of the default path, just
// before and after each, and outside the path.
function probeTimes(graph) {
  const times = [-1, 0, 1e9];
  let at = 0;
  for (const step of graph.defaultPathTraversal()) {
    const segment = graph.segmentById(step.segmentId);
    times.push(at, at + 0.001, Math.max(0, at - 0.001));
    at += Number.isFinite(segment.segmentDuration) ? segment.segmentDuration : 0;
  }
  times.push(at);
  return times;
}

const finite = (x) => (Number.isFinite(x) ? x : String(x));

// What the package answers, in the shape the Python script below writes.
function packageAnswers(pg, text) {
  const graph = pg.load(text);
  try {
    const times = probeTimes(graph);
    return {
      times,
      duration: finite(graph.duration()),
      path: graph.defaultPathTraversal().map((s) => [s.segmentId, s.index]),
      bfs: graph.bredthFirstTraversalFromSegmentId(undefined, 1e9).map((s) => [s.segmentId, s.index]),
      dfs: graph.depthFirstTraversalFromSegmentId(undefined).map((s) => [s.segmentId, s.index]),
      at: times.map((t) => graph.segmentIdAtPlaygraphTime(t) ?? null),
      player: times.map((t) => finite(graph.playerTimeForPlaygraphOffset(t))),
      positions: times.map((t) => {
        const p = graph.positionAtPlaygraphOffsetAlongDefaultPlaybackPath(t);
        return [p.segmentId ?? null, finite(p.watchableTime)];
      }),
      segments: Object.fromEntries(graph.segmentIds().map((id) => {
        const s = graph.segmentById(id);
        return [id, [s.viewableId ?? null, finite(s.startTime), finite(s.endTime),
          finite(s.offsetInPlaygraph), finite(s.segmentDuration), s.defaultNext ?? null,
          s.isDecorativeSegment, s.breakIndex, s.allowsSkipForward,
          s.next.map((t) => [t.destinationSegmentId, t.weight ?? null, t.transitionType ?? null])]];
      })),
    };
  } finally {
    graph.delete();
  }
}

const pythonScript = String.raw`
import json, math, sys
import playgraph

def finite(x):
    return x if math.isfinite(x) else str(x).replace('inf', 'Infinity').replace('nan', 'NaN')

out = []
for name, times in json.load(sys.stdin):
    text = open(name).read()
    g = playgraph.load(text)
    steps = lambda walk: [[s.segment_id if s else None, i] for s, i in walk]
    segments = {}
    for sid in g.all_segment_ids:
        s = g.segment_by_id(sid)
        segments[sid] = [s.viewable_id, finite(s.start_time), finite(s.end_time),
                         finite(s.offset_in_playgraph), finite(s.segment_duration), s.default_next,
                         s.is_decorative_segment, s.break_index, s.allows_skip_forward,
                         [[t.destination_segment_id, t.weight, t.transition_type]
                          for t in s.next.values()]]
    positions = []
    for t in times:
        p = g.position_at_playgraph_offset_along_default_playback_path(t)
        positions.append([p.segment.segment_id if p.segment else None, finite(p.watchable_time)])
    out.append({
        'times': times,
        'duration': finite(g.duration),
        'path': steps(g.default_path_traversal()),
        'bfs': steps(g.bredth_first_traversal_from_segment_id(None, 10**9)),
        'dfs': steps(g.depth_first_traversal_from_segment_id(None)),
        'at': [g.segment_id_at_playgraph_time(t) for t in times],
        'player': [finite(g.player_time_for_playgraph_offset(t)) for t in times],
        'positions': positions,
        'segments': segments,
        'json': playgraph.dumps(playgraph.MutablePlaygraph(text), pretty=True),
    })
json.dump(out, sys.stdout)
`;

test('the package, the tool and Python agree', { skip }, async () => {
  const pg = await createPlaygraph();
  const dir = mkdtempSync(join(tmpdir(), 'playgraph-crosscheck-'));
  try {
    const examples = fileURLToPath(new URL('../../examples/', import.meta.url));
    const files = readdirSync(examples).filter((f) => f.endsWith('.json')).map((f) => join(examples, f));
    for (const [seed, count] of [[1, 12], [2, 40], [3, 200], [4, 1000]]) {
      const file = join(dir, `generated-${seed}.json`);
      writeFileSync(file, generateStory(seed, count));
      files.push(file);
    }
    const ours = files.map((file) => packageAnswers(pg, readFileSync(file, 'utf8')));
    const python = JSON.parse(execFileSync('python3', ['-c', pythonScript], {
      input: JSON.stringify(files.map((file, i) => [file, ours[i].times])),
      env: { ...process.env, PYTHONPATH: pythonPath },
      maxBuffer: 1 << 28,
    }).toString());
    files.forEach((file, i) => {
      const text = readFileSync(file, 'utf8');
      const { json, ...answers } = python[i];
      assert.deepEqual(ours[i], answers, `${file}: answers differ from Python's`);
      const graph = pg.loadMutable(text);
      try {
        const written = pg.dumps(graph, true);
        assert.equal(written, json, `${file}: JSON differs from Python's`);
        const fromTool = execFileSync(tool, ['edit', file]).toString();
        assert.equal(written, fromTool.replace(/\n$/, ''), `${file}: JSON differs from the tool's`);
      } finally {
        graph.delete();
      }
      // The tool's walks and its answer at a time.
      const walk = (args) => execFileSync(tool, ['walk', ...args, file]).toString().trim().split('\n')
        .map((line) => { const m = line.trim().match(/^(.*\S)\s+depth (\d+)$/); return [m[1], Number(m[2])]; });
      assert.deepEqual(walk([]), ours[i].bfs, `${file}: breadth-first walk`);
      assert.deepEqual(walk(['--dfs']), ours[i].dfs, `${file}: depth-first walk`);
      const t = ours[i].times[4] ?? 0;
      let answer = null;
      try {
        answer = execFileSync(tool, ['at', String(t), file]).toString().match(/^segment (\S+),/)[1];
      } catch (e) {
        assert.equal(e.status, 1, String(e));
      }
      assert.equal(answer, ours[i].at[4] ?? null, `${file}: segment at ${t} s`);
    });
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
});
