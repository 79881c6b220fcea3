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

// A session over a composite: the story joined, at the end of its default
// path, to a second playgraph, driven through the same steps on each side
// (choose the last way on at every third step that offers a decision, else
// advance 4 s or end the segment), with what it answers and tells at each.
function sessionAnswers(pg, graph, joinedText) {
  const joined = pg.load(joinedText);
  const composite = new pg.PlaygraphPlayerCompositeDataSource(graph, { side: 'story' });
  const session = new pg.PlaybackSession(composite);
  try {
    composite.addPlaygraph(joined, null);
    const last = graph.defaultPathTraversal().at(-1)?.segmentId;
    composite.addTransitionFromSegment(last ?? '', { playgraphId: 'joined', segmentId: joined.initialSegmentId() },
      true, { weight: 5 });
    session.refresh();
    const heard = [];
    session.setObserver({
      sessionDidEnterSegment: (s, e) => heard.push(['enter', e.playgraphId, e.segmentId, finite(e.start)]),
      sessionDidReachDecisionWindow: (s, d) => heard.push(['window', d.entry.segmentId]),
      sessionDidDecide: (s, r) => heard.push(['decide', r.segmentId, r.destination ?? null, r.defaulted]),
      sessionDidEnd: () => heard.push(['end']),
    });
    const steps = [];
    for (let step = 0; step < 24 && !session.ended(); ++step) {
      const decision = session.currentDecision();
      const plan = session.prefetchPlan(60);
      steps.push([
        session.timeline().map((e) => [e.playgraphId ?? null, e.segmentId ?? null, finite(e.start), finite(e.end)]),
        plan.entries.map((e) => [e.segmentId ?? null, e.viewableId ?? null, finite(e.fromTime), finite(e.toTime),
          finite(e.probability), e.definite]),
        decision ? [decision.entry.segmentId, decision.waysOn.map((w) => [w.segmentId, finite(w.probability)]),
          finite(decision.deadline)] : null,
        finite(session.sessionTime()),
      ]);
      if (decision && step % 3 === 0) session.choose(decision.waysOn.at(-1).segmentId);
      else if (step % 2) session.advance(session.position().watchableTime + 4);
      else session.segmentEnded();
    }
    return { steps, heard, decisions: session.decisions().map((r) => [r.segmentId ?? null, r.destination ?? null,
      r.defaulted, r.step]), state: session.state() };
  } finally {
    session.delete();
    composite.delete();
    joined.delete();
  }
}

// What the package answers, in the shape the Python script below writes.
function packageAnswers(pg, text, joinedText) {
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
      session: sessionAnswers(pg, graph, joinedText),
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

class Heard(playgraph.PlaybackSessionObserver):
    def __init__(self):
        super().__init__()
        self.heard = []
    def session_did_enter_segment(self, s, e): self.heard.append(['enter', e.playgraph.playgraph_id, e.segment.segment_id, finite(e.start)])
    def session_did_reach_decision_window(self, s, d): self.heard.append(['window', d.entry.segment.segment_id])
    def session_did_decide(self, s, r): self.heard.append(['decide', r.segment.segment_id, seg_id(r.destination), r.defaulted])
    def session_did_end(self, s): self.heard.append(['end'])

def seg_id(segment):
    return segment.segment_id if segment else None

def session_answers(g, joined_text):
    joined = playgraph.loads(joined_text)
    composite = playgraph.PlaygraphPlayerCompositeDataSource(g, {'side': 'story'})
    session = playgraph.PlaybackSession(composite)
    composite.add_playgraph(joined, None)
    path = g.default_path_traversal()
    source = path[-1][0] if path else None
    composite.add_transition_from_segment(source, joined.segment_by_id(joined.initial_segment_id), True, {'weight': 5})
    session.refresh()
    observer = Heard()
    session.set_observer(observer)
    steps = []
    for step in range(24):
        if session.ended:
            break
        decision = session.current_decision
        plan = session.prefetch_plan(60)
        steps.append([
            [[e.playgraph.playgraph_id if e.playgraph else None, seg_id(e.segment), finite(e.start), finite(e.end)]
             for e in session.timeline],
            [[seg_id(e.segment), e.viewable_id, finite(e.from_time), finite(e.to_time), finite(e.probability), e.definite]
             for e in plan.entries],
            [seg_id(decision.entry.segment), [[seg_id(w.destination), finite(w.probability)] for w in decision.ways_on],
             finite(decision.deadline)] if decision else None,
            finite(session.session_time),
        ])
        if decision and step % 3 == 0:
            session.choose(decision.ways_on[-1].destination.segment_id)
        elif step % 2:
            session.advance(session.position.watchable_time + 4)
        else:
            session.segment_ended()
    return {'steps': steps, 'heard': observer.heard,
            'decisions': [[seg_id(r.segment), seg_id(r.destination), r.defaulted, r.step] for r in session.decisions],
            'state': session.state()}

request = json.load(sys.stdin)
joined_text = open(request['joined']).read()
factory = playgraph.QZVideoCompositionFactoryImpl()
out = []
for name, times in request['files']:
    text = open(name).read()
    g = playgraph.loads(text)
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
        'session': session_answers(g, joined_text),
        'json': playgraph.dumps(playgraph.MutablePlaygraph(name), pretty=True),
        'watchable': playgraph.dumps(factory.watchable_with_main_video_id(81, playgraph.MutablePlaygraph(name), {'row': 1}), pretty=True),
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
    const joined = join(dir, 'joined.json');
    writeFileSync(joined, generateStory(7, 30).replace('"generated-7"', '"joined"'));
    const joinedText = readFileSync(joined, 'utf8');
    const ours = files.map((file) => packageAnswers(pg, readFileSync(file, 'utf8'), joinedText));
    const python = JSON.parse(execFileSync('python3', ['-c', pythonScript], {
      input: JSON.stringify({ joined, files: files.map((file, i) => [file, ours[i].times]) }),
      env: { ...process.env, PYTHONPATH: pythonPath },
      maxBuffer: 1 << 28,
    }).toString());
    files.forEach((file, i) => {
      const text = readFileSync(file, 'utf8');
      const { json, watchable, ...answers } = python[i];
      assert.deepEqual(ours[i], answers, `${file}: answers differ from Python's`);
      const graph = pg.loadMutable(text);
      const converted = pg.videoCompositionFactory.watchableWithMainVideoId(81, graph, { row: 1 });
      try {
        assert.equal(pg.dumps(converted, true), watchable, `${file}: watchable's JSON differs from Python's`);
        const written = pg.dumps(graph, true);
        assert.equal(written, json, `${file}: JSON differs from Python's`);
        const fromTool = execFileSync(tool, ['edit', file]).toString();
        assert.equal(written, fromTool.replace(/\n$/, ''), `${file}: JSON differs from the tool's`);
      } finally {
        converted.delete();
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
