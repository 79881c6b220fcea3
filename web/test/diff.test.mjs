// diff, apply, merge and the canonical form through the package, on random
// edits of a story: the same round trip the native tests hold the library to.
import assert from 'node:assert/strict';
import { test } from 'node:test';

import createPlaygraph from '../index.js';

const pg = await createPlaygraph();

const story = {
  initialSegment: 'intro',
  segments: {
    intro: { startTimeMs: 0, endTimeMs: 12000, viewableId: 81, defaultNext: 'vault',
      next: { vault: { weight: 70 }, rooftop: { weight: 30 } } },
    vault: { startTimeMs: 12000, endTimeMs: 31500, viewableId: 81 },
    rooftop: { startTimeMs: 0, viewableId: 82 },
  },
};

// A deterministic stream of numbers below n.
function picker(seed) {
  let state = seed;
  return (n) => {
    state = (state * 1103515245 + 12345) % 2147483648;
    return state % n;
  };
}

function randomEdit(pick, s) {
  const ids = Object.keys(s.segments).sort();
  const id = ids[pick(ids.length)];
  const segment = s.segments[id];
  switch (pick(5)) {
    case 0: segment.endTimeMs = pick(100000); break;
    case 1: s.segments[`new${pick(100)}`] = { startTimeMs: pick(9), viewableId: 5 }; break;
    case 2: if (ids.length > 1) delete s.segments[id]; break;
    case 3: (segment.next ??= {})[ids[pick(ids.length)]] = { weight: pick(100) }; break;
    default: (segment.annotations ??= {}).decorative = pick(2) === 1;
  }
}

test('apply of the diff gives the other story; merging a side with itself gives it', () => {
  const pick = picker(32);
  for (let round = 0; round < 100; round += 1) {
    const after = structuredClone(story);
    for (let n = 1 + pick(5); n > 0; n -= 1) randomEdit(pick, after);
    const changes = pg.diff(story, after);
    assert.deepEqual(pg.apply(story, changes), after);
    assert.deepEqual(pg.merge(story, after, after), { merged: after, conflicts: [] });
    assert.deepEqual(pg.merge(story, story, after), { merged: after, conflicts: [] });
  }
});

test('changes, conflicts and errors read as the native ones', () => {
  const ours = structuredClone(story);
  const theirs = structuredClone(story);
  ours.segments.vault.endTimeMs = 30000;
  theirs.segments.vault.endTimeMs = 32000;
  theirs.segments.intro.next.rooftop.weight = 10;
  assert.deepEqual(pg.diff(story, theirs), [
    { kind: 'transitionReweighted', path: ['segments', 'intro', 'next', 'rooftop', 'weight'], segment: 'intro',
      transition: 'rooftop', before: 30, after: 10 },
    { kind: 'retimed', path: ['segments', 'vault', 'endTimeMs'], segment: 'vault', before: 31500, after: 32000 },
  ]);
  const { merged, conflicts } = pg.merge(story, ours, theirs);
  assert.equal(merged.segments.vault.endTimeMs, 30000);
  assert.equal(merged.segments.intro.next.rooftop.weight, 10);
  assert.equal(conflicts.length, 1);
  assert.deepEqual([conflicts[0].base, conflicts[0].ours, conflicts[0].theirs], [31500, 30000, 32000]);
  assert.throws(() => pg.apply({ segments: {} }, pg.diff(story, theirs)), pg.DiffError);
  assert.throws(() => pg.diff('[1]', story), pg.DiffError);
  assert.throws(() => pg.diff('{', story), pg.JsonError);
});

test('the canonical form sorts keys and keeps one text per value', () => {
  const text = pg.dumpsCanonical(story);
  assert.ok(text.startsWith('{\n  "initialSegment": "intro",\n  "segments": {\n    "intro": {\n'), text);
  assert.ok(text.includes('\n        "rooftop": {"weight": 30},\n'), text);
  assert.equal(pg.dumpsCanonical(JSON.parse(text)), text);
});
