// What the page and the worker both run (web/test/browser.test.mjs): load the
// package from its URL, as a page without a bundler does, and answer from
// the bundled story.
import createPlaygraph from '../index.js';

export async function check() {
  const pg = await createPlaygraph();
  const story = await (await fetch(new URL('../../examples/story.json', import.meta.url))).text();
  const graph = pg.load(story, 81);
  try {
    return `${graph.duration()} ${graph.segmentIdAtPlaygraphTime(14.5)} ${typeof SharedArrayBuffer}`;
  } finally {
    graph.delete();
  }
}
