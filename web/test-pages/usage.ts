// Compiled (not run) by web/test/types.test.mjs: index.d.ts is valid
// TypeScript and types what the README shows.
import createPlaygraph, { InvalidArgumentError, type Playgraph, type WalkStep } from '../index.js';

async function main(): Promise<void> {
  const pg = await createPlaygraph({ locateFile: (name: string) => `/static/${name}` });
  const graph: Playgraph = pg.load('{"initialSegment":"a","segments":{}}', 81);
  const id: string | undefined = graph.segmentIdAtPlaygraphTime(14.5);
  const steps: WalkStep[] = graph.defaultPathTraversal();
  graph.defaultPathTraversal((step) => step.index > 3);
  const start = graph.segmentById('a')?.startTime ?? Number.NaN;
  const editable = pg.loadMutable({ initialSegment: 'a', segments: {} });
  const history = new pg.EditHistory(editable);
  try {
    history.transaction(() => editable.splitSegment('a', 1, 'a', 'b'), 'split');
  } catch (e) {
    if (e instanceof InvalidArgumentError) console.log(e.message);
  }
  const source = new pg.PlaygraphPlayerMutableDataSource(graph, { session: 1 });
  source.setChangeObserver({ dataSourceDidChangeNextSegmentAfterSegment: (_ds, segmentId) => console.log(segmentId) });
  const session = new pg.PlaybackSession(source, { prefetchLead: 2 });
  const plan = session.prefetchPlan(30, { maxEntries: 4 });
  session.setObserver({ sessionDidDecide: (_s, record) => console.log(record.destination) });
  const restored = pg.PlaybackSession.restore(source, session.state());
  const composite = new pg.PlaygraphPlayerCompositeDataSource(graph);
  composite.addTransitionFromSegment('a', { playgraphId: 'other', segmentId: 'x' }, true, { weight: 2 });
  const watchable = pg.videoCompositionFactory.watchableWithVideoId(81, undefined, 0, 20, { row: 1 });
  watchable.setFetchOptions(2);
  console.log(id, steps.length, start, plan.entries[0]?.probability, pg.dumps(editable, true));
  for (const handle of [watchable, composite, restored, session, source, history, editable, graph]) handle[Symbol.dispose]();
}

void main();
