// The package through its public API: one group per binding family, the
// errors, the observer's re-entrancy, and lifetimes measured on the heap.
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { test } from 'node:test';

import createPlaygraph from '../index.js';
import { generateStory } from '../bench/stories.mjs';

const pg = await createPlaygraph();

// Runs `body` with `own`, which marks a handle to be disposed of afterwards
// (what `using` declarations do where the language has them).
function scoped(body) {
  const handles = [];
  try {
    body((handle) => {
      handles.push(handle);
      return handle;
    });
  } finally {
    for (const handle of handles.reverse()) handle[Symbol.dispose]();
  }
}
const story = readFileSync(new URL('../../examples/story.json', import.meta.url), 'utf8');

test('loading the module: from its bytes, or from a URL named by locateFile', async () => {
  const wasm = new URL('../dist/playgraph-core.wasm', import.meta.url);
  const fromBytes = await createPlaygraph({ wasmBinary: readFileSync(wasm), locateFile: () => 'no-such-file.wasm' });
  const fromUrl = await createPlaygraph({ locateFile: (name) => new URL(`../dist/${name}`, import.meta.url).href });
  for (const module of [fromBytes, fromUrl]) {
    const graph = module.load(story, 81);
    assert.equal(graph.duration(), 45.5);
    graph.delete();
  }
  await assert.rejects(createPlaygraph({ locateFile: () => new URL('../no-such-file.wasm', import.meta.url).href }));
});

test('model: queries, positions, misses and walks', () => scoped((own) => {
  const graph = own(pg.load(story, 81));
  assert.equal(graph.duration(), 45.5);
  assert.equal(graph.initialSegmentId(), 'intro');
  assert.equal(graph.segmentIdAtPlaygraphTime(14.5), 'vault');
  assert.equal(graph.segmentIdAtPlaygraphTime(1000), undefined);
  assert.equal(graph.segmentById('nope'), undefined);
  const intro = graph.segmentById('intro');
  assert.equal(intro.viewableId, 81);
  assert.equal(intro.defaultNext, 'vault');
  assert.deepEqual(intro.next.map((t) => [t.destinationSegmentId, t.weight]), [['vault', 70], ['rooftop', 30]]);
  assert.deepEqual(graph.positionAtStartOfSegment('vault'), { segmentId: 'vault', watchableTime: 12 });
  assert.deepEqual(graph.positionAtStartOfSegment('nope').segmentId, undefined);
  const path = graph.defaultPathTraversal().map((s) => s.segmentId);
  assert.deepEqual(path.slice(0, 2), ['intro', 'vault']);
  const seen = [];
  assert.equal(graph.defaultPathTraversal((step) => { seen.push(step.segmentId); return seen.length === 2; }), undefined);
  assert.deepEqual(seen, ['intro', 'vault']);
  assert.deepEqual(graph.bredthFirstTraversalFromSegmentId('intro', 1), [{ segmentId: 'intro', index: 1 }]);
  assert.equal(graph.bredthFirstTraversalFromSegmentId('intro', 2).length, 3);
  assert.equal(graph.depthFirstTraversalFromSegmentId().length, graph.segmentIds().length);
  // A callback that throws stops the walk; its error comes out unchanged.
  const boom = new Error('boom');
  assert.throws(() => graph.defaultPathTraversal(() => { throw boom; }), (e) => e === boom);
  assert.equal(graph.defaultPathTraversal().length, path.length);
}));

test('loading: JSON text and plain objects alike; malformed JSON names its place', () => scoped((own) => {
  const fromText = own(pg.load(story, 81));
  const fromObject = own(pg.load(JSON.parse(story), 81));
  assert.ok(pg.playgraphHasSameDefaultTraversalAsPlaygraph(fromText, fromObject));
  // The rules every front end shares: a top level that is not an object is
  // refused, the default viewable id is the segments' first "main".
  assert.throws(() => pg.load('[1]'), (e) => e instanceof pg.JsonError &&
    e.message === '<input>: the top level is not a JSON object');
  const withMain = own(pg.load(story));
  assert.equal(withMain.segmentById('intro').viewableId, 81);
  assert.equal(withMain.segmentById('credits').onDefaultPath, true);
  assert.equal(withMain.segmentById('rooftop').onDefaultPath, false);
  // Text far from ASCII crosses whole too.
  const wide = '渋谷'.repeat(50);
  assert.equal(own(pg.load({ initialSegment: wide, segments: { [wide]: { viewableId: 1, startTimeMs: 0, endTimeMs: 1000 } } }))
    .segmentById(wide).segmentId, wide);
  assert.throws(() => pg.load('{\n  "a": tru\n}'), (e) => e instanceof pg.JsonError &&
    e.message === '<input>:2:8: unexpected character: missing or superfluous comma, colon, brace, bracket, key or value (byte 9)');
}));

test('editing: edits, the library\'s exact refusal, nothing changed by a refused edit', () => scoped((own) => {
  const graph = own(pg.loadMutable(story, 81));
  const before = pg.dumps(graph);
  assert.throws(() => graph.removeSegment('no-such-segment'),
    (e) => e instanceof pg.InvalidArgumentError && e instanceof Error &&
      e.message === 'Cannot find segment no-such-segment');
  assert.throws(() => graph.insertSegmentAfter('intro', 'x', 81, 2, 1),
    (e) => e instanceof pg.InvalidArgumentError && /must be after/.test(e.message));
  // A cut that would make a half without length, refused as the tool refuses it.
  assert.throws(() => graph.splitSegment('vault', 19.5, 'vault', 'vault-b'),
    (e) => e instanceof pg.InvalidArgumentError &&
      e.message === 'OFFSET 19.500 s is not inside segment vault of 19.500 s: it must lie strictly between 0 and that length');
  assert.equal(pg.dumps(graph), before);
  graph.splitSegment('intro', 4, 'intro', 'intro-b');
  graph.updateDefaultNextFromSegment('intro-b', 'rooftop');
  assert.equal(graph.segmentById('intro').defaultNext, 'intro-b');
  assert.equal(graph.defaultPathTraversal()[2].segmentId, 'rooftop');
  assert.throws(() => graph.supportSkippingSegment('intro', 'rooftop', 1, 2.5),
    (e) => e instanceof pg.InvalidArgumentError && e.message === 'weight must be a whole number from 0');
  graph.addTransitionFromSegment('vault', 'rooftop', false, { weight: 5 });
  assert.equal(graph.dictionaryRepresentation().segments.vault.next.rooftop.weight, 5);
  assert.deepEqual(JSON.parse(JSON.stringify(graph)), graph.dictionaryRepresentation());
  const immutable = own(pg.load(story));
  assert.throws(() => pg.dumps(immutable), TypeError);
  assert.equal(pg.dumps({ a: 1, b: [1.5, 'x'] }), '{"a":1,"b":[1.5,"x"]}');
}));

test('edit history: transactions, undo and redo, misuse', () => scoped((own) => {
  const graph = own(pg.loadMutable(story, 81));
  const history = own(new pg.EditHistory(graph));
  const original = pg.dumps(graph);
  history.transaction(() => {
    graph.splitSegment('intro', 4, 'intro', 'intro-b');
    graph.updateDefaultNextFromSegment('intro-b', 'rooftop');
  }, 'rooftop after 4 s');
  assert.deepEqual(history.undoLabels(), ['rooftop after 4 s']);
  const edited = pg.dumps(graph);
  // A transaction whose body throws applies none of its edits.
  assert.throws(() => history.transaction(() => {
    graph.removeSegment('vault');
    graph.removeSegment('no-such-segment');
  }), pg.InvalidArgumentError);
  // (A rolled-back step restores the entries; not their order in the object.)
  assert.deepEqual(JSON.parse(pg.dumps(graph)), JSON.parse(edited));
  history.undo();
  assert.deepEqual(JSON.parse(pg.dumps(graph)), JSON.parse(original));
  assert.ok(history.canRedo());
  history.redo();
  assert.deepEqual(JSON.parse(pg.dumps(graph)), JSON.parse(edited));
  history.clear();
  assert.throws(() => history.undo(), pg.EditHistoryError);
}));

test('data sources: overrides, the observer and its re-entrancy', () => scoped((own) => {
  const graph = own(pg.load(story, 81));
  const source = own(new pg.PlaygraphPlayerMutableDataSource(graph, { session: 7 }));
  assert.deepEqual(source.initialPosition(), { segmentId: 'intro', watchableTime: 0 });
  assert.equal(source.nextSegmentAfterSegment('intro'), 'vault');
  const heard = [];
  source.setChangeObserver({
    dataSourceDidChangeNextSegmentAfterSegment(ds, segmentId) {
      // The change is already visible; the observer may call back in.
      heard.push([segmentId, ds.nextSegmentAfterSegment(segmentId)]);
      if (heard.length === 1) ds.setNextSegmentAfter('vault', 'rooftop');
    },
  });
  source.setNextSegmentAfter('intro', 'rooftop');
  assert.deepEqual(heard, [['intro', 'rooftop'], ['vault', 'rooftop']]);
  assert.deepEqual(source.currentPlaybackPathTraversalFromSegment('intro').map((s) => s.segmentId).slice(0, 2),
    ['intro', 'rooftop']);
  source.clearNextSegmentAfter('intro');
  assert.equal(source.nextSegmentAfterSegment('intro'), 'vault');
  // An observer that throws: the change is made, then its error is thrown.
  const failure = new Error('observer failed');
  source.setChangeObserver({ dataSourceDidChangeNextSegmentAfterSegment() { throw failure; } });
  assert.throws(() => source.setNextSegmentAfter('intro', 'rooftop'), (e) => e === failure);
  assert.equal(source.nextSegmentAfterSegment('intro'), 'rooftop');
  source.setChangeObserver(undefined);
}));

test('playback session: timeline, decisions, prefetch plan, choose, saved state', () => scoped((own) => {
  const story = {
    initialSegment: 'intro',
    segments: {
      intro: { viewableId: 81, startTimeMs: 0, endTimeMs: 12000, defaultNext: 'vault',
        next: { vault: { weight: 70 }, rooftop: { weight: 30 } } },
      vault: { viewableId: 81, startTimeMs: 12000, endTimeMs: 31500, defaultNext: 'credits' },
      rooftop: { viewableId: 82, startTimeMs: 0, endTimeMs: 18000, defaultNext: 'credits' },
      credits: { viewableId: 83, startTimeMs: 0, endTimeMs: 9000 },
    },
  };
  const graph = own(pg.load(story));
  const source = own(new pg.PlaygraphPlayerMutableDataSource(graph));
  const session = own(new pg.PlaybackSession(source));
  assert.deepEqual(session.timeline().map((e) => e.segmentId), ['intro', 'vault', 'credits']);
  const decision = session.currentDecision();
  assert.deepEqual([decision.windowStart, decision.deadline], [7, 10]);
  const plan = session.prefetchPlan(30);
  assert.deepEqual(plan.entries.map((e) => [e.segmentId, Math.round(e.probability * 1000) / 1000]),
    [['intro', 1], ['vault', 0.7], ['rooftop', 0.3]]);
  assert.equal(plan.entries[0].viewableId, 81);
  assert.ok(plan.complete);
  assert.equal(session.prefetchPlan(30, { maxEntries: 1 }).entries.length, 1);
  assert.throws(() => session.choose('credits'), (e) => e instanceof pg.InvalidArgumentError &&
    e.message === 'credits is not a way on from intro');
  assert.throws(() => session.seek(41), (e) => e instanceof pg.InvalidArgumentError &&
    e.message === 'Cannot seek to 41.000000 s: the timeline runs from 0 to 40.500000 s');
  session.advance(8);
  session.choose('rooftop');
  assert.equal(source.nextSegmentAfterSegment('intro'), 'rooftop');
  assert.deepEqual(session.timeline().map((e) => e.segmentId), ['intro', 'rooftop', 'credits']);
  session.segmentEnded();
  assert.equal(session.position().segmentId, 'rooftop');
  // The saved state restores a session at the same place with the same choices.
  const state = session.state();
  const other = own(pg.PlaybackSession.restore(own(new pg.PlaygraphPlayerMutableDataSource(graph)), state));
  assert.deepEqual(other.position(), session.position());
  assert.deepEqual(other.decisions(), session.decisions());
  assert.throws(() => pg.PlaybackSession.restore(source, { nonsense: true }), pg.InvalidArgumentError);
  // The session keeps its data source alive after the handle is gone.
  const temporary = new pg.PlaygraphPlayerMutableDataSource(graph);
  const orphan = own(new pg.PlaybackSession(temporary));
  temporary.delete();
  assert.equal(orphan.timeline().length, 3);
}));

test('prefetch plans in one transfer equal the plain ones, on generated stories', () => scoped((own) => {
  for (const seed of [1, 2, 3, 4, 5, 6]) {
    const graph = own(pg.load(generateStory(seed, 300), seed % 2 ? 81 : undefined));
    const source = own(new pg.PlaygraphPlayerMutableDataSource(graph));
    const session = own(new pg.PlaybackSession(source));
    for (let step = 0; step < 40 && !session.ended(); ++step) {
      const horizon = [5, 30, 120, 1e9][step % 4];
      const budget = step % 3 ? {} : { maxEntries: 1 + (step % 7), maxSeconds: 10 * step };
      const plain = session._prefetchPlan(horizon, budget.maxEntries ?? -1, budget.maxSeconds ?? -1);
      assert.equal(JSON.stringify(session.prefetchPlan(horizon, budget)), JSON.stringify(plain));
      if (step % 2) session.advance(session.position().watchableTime + 3);
      else session.segmentEnded();
    }
  }
  // Plans naming more ids than the module keeps numbered: the list starts again.
  const long = own(pg.load(generateStory(9, 5000)));
  const whole = own(new pg.PlaybackSession(own(new pg.PlaygraphPlayerMutableDataSource(long))));
  for (let i = 0; i < 2; ++i) {
    assert.equal(JSON.stringify(whole.prefetchPlan(1e9)), JSON.stringify(whole._prefetchPlan(1e9, -1, -1)));
  }
  // A plan the one transfer cannot carry (a segment id holding NUL) comes the plain way.
  const odd = own(pg.load({ initialSegment: 'a\0b', segments: { 'a\0b': { viewableId: 1, startTimeMs: 0, endTimeMs: 5000 } } }));
  const plan = own(new pg.PlaybackSession(own(new pg.PlaygraphPlayerMutableDataSource(odd)))).prefetchPlan(30);
  assert.deepEqual(plan.entries.map((e) => [e.segmentId, e.viewableId, e.toTime]), [['a\0b', 1, 5]]);
}));

test('session observer: events in order, re-entrancy, errors, delete from inside', () => scoped((own) => {
  const graph = own(pg.load(story, 81));
  const source = own(new pg.PlaygraphPlayerMutableDataSource(graph));
  const session = own(new pg.PlaybackSession(source));
  const heard = [];
  session.setObserver({
    sessionDidEnterSegment: (s, entry) => heard.push(['enter', entry.segmentId, entry.start]),
    sessionDidReachDecisionWindow(s, decision) {
      heard.push(['window', decision.entry.segmentId, decision.waysOn.map((w) => w.segmentId)]);
      s.choose('rooftop'); // calling back in: its own event comes at once
      assert.equal(s.currentDecision().next, 'rooftop');
    },
    sessionDidDecide: (s, record) => heard.push(['decide', record.segmentId, record.destination, record.defaulted]),
    sessionDidEnd: () => heard.push(['end']),
  });
  session.advance(8);
  session.segmentEnded();
  session.advance(1e9);
  session.segmentEnded();
  assert.deepEqual(heard.slice(0, 4), [['window', 'intro', ['vault', 'rooftop']],
    ['decide', 'intro', 'rooftop', false], ['enter', 'rooftop', 12], ['enter', 'recap', 30.25]]);
  // What an observer throws comes out of the call, after the change was made.
  const failure = new Error('observer failed');
  session.setObserver({ sessionDidEnterSegment() { throw failure; } });
  assert.throws(() => session.seek(0), (e) => e === failure);
  assert.equal(session.position().segmentId, 'intro');
  // Deleted from inside, the session is freed once the running call returns.
  const doomed = new pg.PlaybackSession(source);
  doomed.setObserver({ sessionDidReachDecisionWindow: (s) => { s.delete(); assert.ok(!s.isDeleted()); } });
  doomed.advance(8);
  assert.ok(doomed.isDeleted());
}));

test('composite data sources: playgraphs joined, segments by playgraph, the observer', () => scoped((own) => {
  const a = own(pg.load({ playgraphId: 'A', initialSegment: 'a1', segments: {
    a1: { viewableId: 1, startTimeMs: 0, endTimeMs: 10000, defaultNext: 'a2', next: { a2: { weight: 1 } } },
    a2: { viewableId: 1, startTimeMs: 10000, endTimeMs: 20000 } } }));
  const b = own(pg.load({ playgraphId: 'B', initialSegment: 'b1', segments: {
    b1: { viewableId: 2, startTimeMs: 0, endTimeMs: 5000, defaultNext: 'a2' },
    a2: { viewableId: 2, startTimeMs: 5000, endTimeMs: 8000 } } }));
  const composite = own(new pg.PlaygraphPlayerCompositeDataSource(a, { from: 'A' }));
  composite.addPlaygraph(b, { from: 'B' });
  assert.deepEqual([composite.playgraphIds(), composite.initialPlaygraphId()], [['A', 'B'], 'A']);
  // A plain id names the first registered playgraph's segment.
  assert.equal(composite.segmentById('a2').viewableId, 1);
  assert.equal(composite.segmentById({ playgraphId: 'B', segmentId: 'a2' }).viewableId, 2);
  assert.equal(composite.segmentById({ playgraphId: 'C', segmentId: 'a2' }), undefined);
  const heard = [];
  composite.setChangeObserver({
    dataSourceDidChangeNextSegmentAfterSegment(ds, segmentId) {
      heard.push([segmentId, ds.nextSegmentAfterSegment(segmentId)]);
      if (heard.length === 1) ds.setNextSegmentAfter('a1', 'a2'); // the same next: nothing to tell
    },
  });
  composite.addTransitionFromSegment('a2', { playgraphId: 'B', segmentId: 'b1' }, true, { weight: 4 });
  assert.deepEqual(heard, [['a2', 'b1']]);
  assert.deepEqual(composite.interPlaygraphTransitionsForSegment('a2').map((t) =>
    [t.destinationSegmentId, t.destinationPlaygraphId, t.weight]), [['b1', 'B', 4]]);
  assert.deepEqual([composite.nextPlaygraphIdAfterPlaygraph('A'),
    composite.trackingInfoForSegment({ playgraphId: 'B', segmentId: 'b1' })], ['B', { from: 'B' }]);
  composite.updateTrackingInfo(null, 'b1');
  assert.equal(composite.trackingInfoForPlaygraph('B'), undefined);
  assert.deepEqual(composite.depthFirstTraversalFromSegment('a1').map((s) => s.segmentId), ['a1', 'a2', 'b1']);
  // A session plays across the playgraphs.
  const session = own(new pg.PlaybackSession(composite));
  assert.deepEqual(session.timeline().map((e) => [e.playgraphId, e.segmentId, e.end]),
    [['A', 'a1', 10], ['A', 'a2', 20], ['B', 'b1', 25], ['B', 'a2', 28]]);
  composite.setBookmarkPosition({ playgraphId: 'B', segmentId: 'b1', watchableTime: 1 });
  assert.deepEqual(composite.initialPosition(), { segmentId: 'b1', watchableTime: 1 });
  // Deleted from inside its observer, it is freed once the call returns.
  const doomed = new pg.PlaygraphPlayerCompositeDataSource(a);
  doomed.setChangeObserver({ dataSourceDidChangeNextSegmentAfterSegment: (ds) => ds.delete() });
  doomed.setNextSegmentAfter('a1', null);
  assert.ok(doomed.isDeleted());
}));

test('compositions: clips appended, inserted, split, combined and removed; watchables and the factory', () => scoped((own) => {
  const composition = own(pg.createVideoComposition(81, 'opening', 0, 10));
  assert.deepEqual(composition.segmentIds(), ['opening']);
  composition.appendClip('closing', 82, 0, 5);
  composition.insertClip('middle', 81, 20, 30, 'opening');
  composition.prependClip('logo', 83, 0, 2);
  // The answers of the Python package to the same calls: the inserted clip
  // takes the default after "opening", and "closing" is left off the path.
  const order = () => composition.defaultPathTraversal().map((s) => s.segmentId);
  assert.deepEqual(order(), ['logo', 'opening', 'middle']);
  assert.equal(composition.duration(), 22);
  composition.splitClip('middle', 4, 'middle-a', 'middle-b');
  assert.deepEqual(order(), ['logo', 'opening', 'middle-a', 'middle-b']);
  composition.removeClip('logo');
  assert.deepEqual(order(), ['opening', 'middle-a', 'middle-b']);
  assert.throws(() => composition.removeClip('logo'), pg.InvalidArgumentError);
  assert.match(pg.dumps(composition), /"middle-b"/);
  assert.equal(own(pg.createVideoComposition(81, undefined, 0, 10)).segmentIds()[0], 'video');
  // The factory's watchables carry the playback request's properties, copies of what they are given.
  const factory = pg.videoCompositionFactory;
  const context = { row: 3 };
  const watchable = own(factory.watchableWithVideoId(81, undefined, 0, 20, context));
  context.row = 4;
  assert.deepEqual(JSON.parse(pg.dumps(watchable)).segments.video, { viewableId: 81, main: 81, startTimeMs: 0, endTimeMs: 20000 });
  assert.deepEqual([watchable.uiPlayContext(), watchable.allowsExternalPlayback(), watchable.fetchOptions()], [{ row: 3 }, false, 0]);
  for (const name of ['SelectedStartSegmentId', 'RebuildContextId', 'PrereleasePin', 'DiscretePlayType', 'StickySteeringToken']) {
    const get = name[0].toLowerCase() + name.slice(1);
    assert.equal(watchable[get](), undefined);
    watchable[`set${name}`]('x');
    assert.equal(watchable[get](), 'x');
  }
  watchable.setFetchOptions(2 ** 40);
  assert.throws(() => watchable.setFetchOptions(-1), pg.InvalidArgumentError);
  assert.equal(watchable.fetchOptions(), 2 ** 40);
  const plain = own(factory.createVideoCompositionForViewableId(81, 'x', 0, 20));
  assert.ok(!('appendClip' in plain) && 'appendClip' in watchable);
  assert.deepEqual([plain, own(factory.createMutableVideoCompositionForViewableId(81, 'x', 0, 20))]
    .map((c) => JSON.parse(pg.dumps(c)).segments.x.main), [undefined, 81]);
}));

test('lifetimes: delete and dispose free the handles; the heap stays flat', () => scoped((own) => {
  const cycle = () => {
    const graph = pg.loadMutable(story, 81);
    const history = new pg.EditHistory(graph);
    try { graph.removeSegment('nope'); } catch { /* refused */ }
    const composite = new pg.PlaygraphPlayerCompositeDataSource(graph);
    composite.setChangeObserver({ dataSourceDidChangeNextSegmentAfterSegment() {} });
    composite.setNextSegmentAfter('intro', 'rooftop');
    const session = new pg.PlaybackSession(composite);
    session.setObserver({ sessionDidEnterSegment() {} });
    session.segmentEnded();
    const watchable = pg.videoCompositionFactory.watchableWithMainVideoId(81, graph, { row: 1 });
    for (const handle of [watchable, session, composite, history]) handle[Symbol.dispose]();
    graph[Symbol.dispose]();
    assert.ok(graph.isDeleted());
  };
  for (let i = 0; i < 200; ++i) cycle();
  const start = pg.heapInUse();
  for (let i = 0; i < 2000; ++i) cycle();
  assert.ok(pg.heapInUse() - start < 4096, `heap grew by ${pg.heapInUse() - start} bytes`);
  const graph = pg.load(story);
  graph.delete();
  assert.throws(() => graph.duration());
}));

test('index.d.ts names what the module has', () => scoped((own) => {
  const types = readFileSync(new URL('../index.d.ts', import.meta.url), 'utf8');
  const declared = (name) => {
    const body = types.match(new RegExp(`export interface ${name}(?: extends [^{]*)? \\{([\\s\\S]*?)\\n\\}`))[1];
    return [...body.matchAll(/^ {2}(?:readonly )?([A-Za-z]\w*)[?(:]/gm)].map((m) => m[1]);
  };
  const graph = own(pg.loadMutable(story, 81));
  const history = own(new pg.EditHistory(graph));
  const source = own(new pg.PlaygraphPlayerMutableDataSource(graph));
  const session = own(new pg.PlaybackSession(source));
  const watchable = own(pg.videoCompositionFactory.watchableWithVideoId(81, undefined, 0, 20));
  for (const [name, object] of [['PlaygraphModule', pg], ['Playgraph', graph], ['MutablePlaygraph', graph],
    ['EditHistory', history], ['DataSource', source], ['PlaygraphPlayerMutableDataSource', source],
    ['PlaybackSession', session], ['WatchableComposition', watchable], ['MutableVideoComposition', watchable],
    ['VideoComposition', watchable], ['VideoCompositionFactory', pg.videoCompositionFactory],
    ['PlaygraphPlayerCompositeDataSource', own(new pg.PlaygraphPlayerCompositeDataSource())]]) {
    for (const member of declared(name)) assert.ok(member in object, `${name}.${member} is declared but missing`);
  }
  for (const member of Object.keys(pg)) assert.ok(declared('PlaygraphModule').includes(member), `${member} is not declared`);
  const segmentFields = Object.keys(graph.segmentById('intro')).sort();
  assert.deepEqual(segmentFields, declared('Segment').sort());
}));
