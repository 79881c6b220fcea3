// Generated stories for the tests and the benchmarks.

// A deterministic story of `count` segments: a default path of one viewable
// with branches that rejoin it, decorative recaps, annotated segments, some
// play-to-end endings off the path, and the entries in shuffled order.
export function generateStory(seed, count) {
  let state = seed;
  const random = (n) => {
    state = (state * 1103515245 + 12345) % 2147483648;
    return state % n;
  };
  const segments = {};
  let time = 0;
  const path = [];
  for (let i = 0; path.length + Object.keys(segments).length < count && i < count; ++i) {
    const id = `s${i}_${random(1000)}`;
    const length = 2000 + random(28000);
    segments[id] = { startTimeMs: time, endTimeMs: time + length };
    if (random(6) === 0) segments[id].annotations = { decorative: true };
    if (random(9) === 0) segments[id].annotations = { skippable: 'true', breakIndex: random(4) };
    time += length;
    path.push(id);
  }
  for (let i = 0; i + 1 < path.length; ++i) {
    const segment = segments[path[i]];
    if (random(5) === 0 && i + 2 < path.length) {
      const alt = `${path[i]}_alt`;
      segments[alt] = random(4) === 0
        ? { viewableId: 900 + random(5), startTimeMs: 0, endTimeMs: null }
        : { viewableId: 800 + random(5), startTimeMs: 0, endTimeMs: 1000 + random(9000), defaultNext: path[i + 1] };
      segment.next = { [path[i + 1]]: { weight: 50 + random(50) }, [alt]: { weight: random(50) } };
      segment.defaultNext = path[i + 1];
    } else {
      segment.defaultNext = path[i + 1];
    }
  }
  const entries = Object.entries(segments);
  for (let i = entries.length - 1; i > 0; --i) {
    const j = random(i + 1);
    [entries[i], entries[j]] = [entries[j], entries[i]];
  }
  return JSON.stringify({
    playgraphId: `generated-${seed}`, type: 'branching', initialSegment: path[0],
    segments: Object.fromEntries(entries),
  }, null, 1);
}
