// Types of the playgraph package. Handles (playgraphs and compositions,
// EditHistory, the data sources, PlaybackSession) hold WebAssembly memory:
// end each with delete() or declare it with `using`. Everything else is a
// plain value. Misses read undefined; only edits, loads, histories and the
// playback session's choose, seek and restore throw. Threads: a module and
// its handles belong to the page or worker that made them (each worker
// makes its own with createPlaygraph); calls are synchronous.

/** Where playback is: a segment (undefined when there is none) and a time in its viewable. */
export interface PlaygraphPosition {
  segmentId: string | undefined;
  watchableTime: number;
}

/** One step of a walk: the segment and the step index (or depth). */
export interface WalkStep {
  segmentId: string | undefined;
  index: number;
}

/** Called for each step of a walk; return true to stop. */
export type WalkCallback = (step: WalkStep) => boolean | void;

export type JsonValue = null | boolean | number | string | JsonValue[] | { [key: string]: JsonValue };

export interface SegmentTransition {
  destinationSegmentId: string;
  weight: JsonValue | undefined;
  transitionType: string | undefined;
  effectiveTransitionType: string | undefined;
  skipRegionOffset: number | undefined;
  autoplayType: number;
}

/** A segment as it is when read (a copy: look it up again after an edit). */
export interface Segment {
  segmentId: string;
  viewableId: JsonValue | undefined;
  startTime: number;
  endTime: number;
  segmentDuration: number;
  offsetInPlaygraph: number;
  playToViewableEnd: boolean;
  movieDuration: number;
  defaultNext: string | undefined;
  transitionType: string | undefined;
  canonicalSegmentId: string;
  isDecorativeSegment: boolean;
  fixedRate: number;
  annotations: { [key: string]: JsonValue } | undefined;
  userInfo: { [key: string]: JsonValue } | undefined;
  next: SegmentTransition[];
  allowsSeekWithin: boolean;
  allowsSkipForward: boolean;
  allowsSkipBackward: boolean;
  breakIndex: number;
  description: string;
  /** One of the default path's segments (offsetInPlaygraph is 0 for one off it). */
  onDefaultPath: boolean;
}

interface Handle {
  /**
   * Frees the handle's memory; using it afterwards throws. Called from inside an observer or a
   * walk's callback, it takes effect once the library call that is running returns.
   */
  delete(): void;
  isDeleted(): boolean;
  [Symbol.dispose](): void;
}

/** A read-only playgraph. */
export interface Playgraph extends Handle {
  duration(): number;
  playgraphId(): string;
  initialSegmentId(): string | undefined;
  type(): string | undefined;
  mainViewableId(): JsonValue | undefined;
  segmentIds(): string[];
  segmentById(segmentId: string): Segment | undefined;
  segmentIdAtPlaygraphTime(time: number): string | undefined;
  segmentIdsForPosition(position: number, inViewableId: number): string[] | undefined;
  playgraphOffsetForPlayerTime(playerTime: number, inSegmentId?: string): number;
  playerTimeForPlaygraphOffset(offset: number): number;
  isPlaybackContiguousFromSegment(segmentId: string, toSegmentId: string): boolean;
  initialPosition(): PlaygraphPosition;
  positionAtPlaygraphOffsetAlongDefaultPlaybackPath(offset: number): PlaygraphPosition;
  positionAtStartOfSegment(segmentId: string): PlaygraphPosition;
  positionAtSegmentViewableTime(segmentId: string, viewableTime: number): PlaygraphPosition;
  positionAtSegmentSegmentOffset(segmentId: string, segmentOffset: number): PlaygraphPosition;
  positionAtViewableTime(viewableTime: number, inVideoId: JsonValue | undefined): PlaygraphPosition;
  defaultPathTraversal(): WalkStep[];
  defaultPathTraversal(callback: WalkCallback): undefined;
  depthFirstTraversalFromSegmentId(segmentId?: string): WalkStep[];
  depthFirstTraversalFromSegmentId(segmentId: string | undefined, callback: WalkCallback): undefined;
  bredthFirstTraversalFromSegmentId(segmentId: string | undefined, maxDepth: number): WalkStep[];
  bredthFirstTraversalFromSegmentId(segmentId: string | undefined, maxDepth: number, callback: WalkCallback): undefined;
  /** The player reports a viewable's length; false when there is no such segment. */
  setMovieDuration(segmentId: string, seconds: number): boolean;
  isEditable(): boolean;
}

/** An editable playgraph: edits throw InvalidArgumentError and then change nothing. */
export interface MutablePlaygraph extends Playgraph {
  splitSegment(segmentId: string, atOffset: number, firstSegmentId: string, secondSegmentId: string): void;
  insertSegmentAfter(existingId: string, newSegmentId: string, viewableId: number | undefined,
    startTimeSeconds: number, endTimeSeconds: number, asDeafaultNext?: boolean): void;
  insertSegmentBefore(existingId: string, newSegmentId: string, viewableId: number | undefined,
    startTimeSeconds: number, endTimeSeconds: number): void;
  removeSegment(segmentId: string): void;
  addTransitionFromSegment(from: string, toSegment: string, asDefault?: boolean,
    properties?: { [key: string]: JsonValue }): void;
  updatePropertiesForTransitionFrom(from: string, to: string, properties: { [key: string]: JsonValue } | undefined): void;
  updatePropertiesForAllTransitionsTo(to: string, properties: { [key: string]: JsonValue } | undefined): void;
  updatePropertiesForAllTransitionfrom(from: string, properties: { [key: string]: JsonValue } | undefined): void;
  updateDefaultNextFromSegment(from: string, toSegment: string): void;
  supportSkippingSegment(from: string, toSegment: string, afterOffsetSeconds: number, weight: number): void;
  /** The edited dictionary, as a plain object. */
  dictionaryRepresentation(): { [key: string]: JsonValue };
  toJSON(): { [key: string]: JsonValue };
  /** The dictionary as JSON text, exactly as the native library writes it. */
  dumps(pretty: boolean): string;
}

/** A playgraph made from clips (a clip is a segment, its name the segment id), with ranges. */
export interface VideoComposition extends MutablePlaygraph {
  defineRange(rangeName: string, startTime: number, endTime: number): void;
  observeRange(rangeName: string, startTime: number, endTime: number): void;
}

/** A composition built clip by clip. */
export interface MutableVideoComposition extends VideoComposition {
  appendClip(newClipName: string, viewableId: number | undefined, startTime: number, endTime: number): void;
  prependClip(newClipName: string, viewableId: number | undefined, startTime: number, endTime: number): void;
  insertClip(newClipName: string, viewableId: number | undefined, startTime: number, endTime: number,
    afterClip: string): void;
  removeClip(clipName: string): void;
  splitClip(clipName: string, atOffset: number, firstClipName: string, secondClipName: string): void;
  combineClip1(clip1: string, withClip2: string, newClipName: string): void;
  makeRangeSkippable(rangeName: string): void;
}

/**
 * A composition made for a playback request, carrying the request's eight properties. The library
 * never reads them and none is part of the dictionary; a string setter given anything but a string
 * clears the property.
 */
export interface WatchableComposition extends MutableVideoComposition {
  /** A copy of the play context, or undefined. */
  uiPlayContext(): { [key: string]: JsonValue } | undefined;
  /** Stores a copy of `context`; undefined or null clears it. */
  setUiPlayContext(context: { [key: string]: JsonValue } | null | undefined): void;
  selectedStartSegmentId(): string | undefined;
  setSelectedStartSegmentId(segmentId: string | undefined): void;
  fetchOptions(): number;
  /** A whole number from 0 to 2^53 - 1, else InvalidArgumentError. */
  setFetchOptions(options: number): void;
  allowsExternalPlayback(): boolean;
  setAllowsExternalPlayback(allows: boolean): void;
  rebuildContextId(): string | undefined;
  setRebuildContextId(contextId: string | undefined): void;
  prereleasePin(): string | undefined;
  setPrereleasePin(pin: string | undefined): void;
  discretePlayType(): string | undefined;
  setDiscretePlayType(playType: string | undefined): void;
  stickySteeringToken(): string | undefined;
  setStickySteeringToken(token: string | undefined): void;
}

/** Makes compositions and watchables; each result is new and belongs to the caller. */
export interface VideoCompositionFactory {
  /** A composition of one clip without "main"; "endTimeMs" only for an end greater than 0. */
  createVideoCompositionForViewableId(viewableId: number | undefined, initialName: string | undefined,
    startTime: number, endTime: number): VideoComposition;
  /** A clip-editable composition of one clip, with "main" and "endTimeMs". */
  createMutableVideoCompositionForViewableId(viewableId: number | undefined, initialName: string | undefined,
    startTime: number, endTime: number): MutableVideoComposition;
  /** A one-clip watchable carrying `uiPlayContext`. */
  watchableWithVideoId(videoId: number | undefined, name: string | undefined, startTime: number,
    endTime: number, uiPlayContext?: { [key: string]: JsonValue }): WatchableComposition;
  /** A watchable converted from `playgraph` (the part its initial segment reaches). */
  watchableWithMainVideoId(mainVideoId: number | undefined, playgraph: Playgraph,
    uiPlayContext?: { [key: string]: JsonValue }): WatchableComposition;
}

/** Groups edits of one MutablePlaygraph into undoable steps. */
export interface EditHistory extends Handle {
  /** Applies every edit `edits` makes as one step, or none when it throws (rethrown). */
  transaction(edits: () => void, label?: string): void;
  begin(label?: string): void;
  commit(): void;
  rollback(): void;
  undo(): void;
  redo(): void;
  canUndo(): boolean;
  canRedo(): boolean;
  inTransaction(): boolean;
  isStale(): boolean;
  undoLabel(): string | undefined;
  redoLabel(): string | undefined;
  undoLabels(): string[];
  redoLabels(): string[];
  clear(): void;
}

/** Hears of a data source's changes, after they happened. */
export interface DataSourceObserver {
  dataSourceDidChangeNextSegmentAfterSegment?(dataSource: DataSource, segmentId: string | undefined): void;
  dataSourceDidUpdatePlaygraph?(dataSource: DataSource): void;
}

/**
 * What a player reads segments from, with next-segment overrides. Calls that change it tell its
 * observer; what the observer throws is thrown by that call once it has completed, and a handle
 * deleted from an observer is freed once the call returns.
 */
export interface DataSource extends Handle {
  initialPosition(): PlaygraphPosition;
  nextSegmentAfterSegment(segmentId: string): string | undefined;
  transitionsFromSourceSegment(segmentId: string): SegmentTransition[];
  segmentById(segmentId: string): Segment | undefined;
  trackingInfoForSegment(segmentId: string): { [key: string]: JsonValue } | undefined;
  /** `next` null: nothing follows `segmentId`. */
  setNextSegmentAfter(segmentId: string, next: string | null): void;
  clearNextSegmentAfter(segmentId: string): void;
  updateNextSegmentWeightsForSegment(segmentId: string, weights: { [key: string]: number }): void;
  /** Without a callback the path ends before its first repeated segment. */
  currentPlaybackPathTraversalFromSegment(segmentId: string | undefined): WalkStep[];
  currentPlaybackPathTraversalFromSegment(segmentId: string | undefined, callback: WalkCallback): undefined;
  /** The observer is held until it is replaced. */
  setChangeObserver(observer: DataSourceObserver | undefined): void;
}

/** Serves one playgraph to a player. */
export interface PlaygraphPlayerMutableDataSource extends DataSource {
  updatePlaygraph(playgraph: Playgraph): void;
}

/** A segment of a composite: its id (the first registered playgraph that knows it), or the segment of one playgraph. */
export type SegmentRef = string | { playgraphId?: string; segmentId: string };

/** An inter-playgraph transition: its destination is a segment of another playgraph. */
export interface InterPlaygraphTransition extends SegmentTransition {
  destinationPlaygraphId: string | undefined;
}

/**
 * Plays through several playgraphs as one. Playback leaves a playgraph only through an override or
 * an inter-playgraph transition. Segment ids name the segment of the first registered playgraph
 * that knows them; a SegmentRef names one playgraph's. A miss reads undefined or does nothing.
 */
export interface PlaygraphPlayerCompositeDataSource extends DataSource {
  /** Registers `playgraph` under its id (replacing one of the same id); null tracking info removes it. */
  addPlaygraph(playgraph: Playgraph, trackingInfo?: { [key: string]: JsonValue } | null): void;
  /** Stores `info` as the tracking info of the segment's playgraph; null removes it. */
  updateTrackingInfo(info: { [key: string]: JsonValue } | null, segment: SegmentRef): void;
  /** Properties: "weight", "skipRegionOffset" (ms), "autoplayType", "transitionType". */
  addTransitionFromSegment(source: SegmentRef, to: SegmentRef, setAsNext?: boolean,
    properties?: { [key: string]: JsonValue }): void;
  interPlaygraphTransitionsForSegment(segment: SegmentRef): InterPlaygraphTransition[];
  /** The registered playgraphs' ids, in registration order. */
  playgraphIds(): string[];
  initialPlaygraphId(): string | undefined;
  nextPlaygraphIdAfterPlaygraph(playgraphId: string): string | undefined;
  trackingInfoForPlaygraph(playgraphId: string): { [key: string]: JsonValue } | undefined;
  /** Where playback starts (the initial position). */
  bookmarkPosition(): PlaygraphPosition;
  setBookmarkPosition(position: { playgraphId?: string; segmentId: string; watchableTime: number }): void;
  depthFirstTraversalFromSegment(segment: SegmentRef): WalkStep[];
  depthFirstTraversalFromSegment(segment: SegmentRef, callback: WalkCallback): undefined;
  bredthFirstTraversalFromSegment(segment: SegmentRef, maxDepth: number): WalkStep[];
  bredthFirstTraversalFromSegment(segment: SegmentRef, maxDepth: number, callback: WalkCallback): undefined;
}

export interface TimelineEntry {
  segmentId: string | undefined;
  playgraphId: string | undefined;
  start: number;
  end: number;
  durationKnown: boolean;
  played: boolean;
}

export interface WayOn {
  segmentId: string | undefined;
  weight: number;
  probability: number;
}

export interface Decision {
  entry: TimelineEntry;
  waysOn: WayOn[];
  next: string | undefined;
  overridden: boolean;
  windowStart: number;
  windowEnd: number;
  deadline: number;
}

export interface PrefetchEntry {
  segmentId: string | undefined;
  viewableId: JsonValue | undefined;
  fromTime: number;
  toTime: number;
  probability: number;
  earliestStart: number;
  definite: boolean;
}

export interface PrefetchPlan {
  entries: PrefetchEntry[];
  complete: boolean;
}

export interface DecisionRecord {
  segmentId: string | undefined;
  destination: string | undefined;
  defaulted: boolean;
  secondsBeforeDeadline: number;
  step: number;
}

export interface PlaybackSessionOptions {
  /** Seconds of the chosen branch a player needs buffered: a choice is taken at the latest this long before its segment's end (default 2). */
  prefetchLead?: number;
  /** For a segment without exit zones, the decision window opens this many seconds before its end (default 5). */
  decisionWindow?: number;
}

/**
 * Hears what a playback session does, after its state changed; every method is optional and may
 * call back into the session. What one throws is thrown by the session call once it has completed.
 */
export interface PlaybackSessionObserver {
  /** Playback entered a segment (also at a seek or a back). */
  sessionDidEnterSegment?(session: PlaybackSession, entry: TimelineEntry): void;
  /** Playback reached the decision window of the current segment. */
  sessionDidReachDecisionWindow?(session: PlaybackSession, decision: Decision): void;
  /** A decision was taken (`choose`), or passed with nobody choosing. */
  sessionDidDecide?(session: PlaybackSession, record: DecisionRecord): void;
  /** The path ended: nothing follows the last segment. */
  sessionDidEnd?(session: PlaybackSession): void;
}

/** A viewer's playback through a data source, driven by the player. */
export interface PlaybackSession extends Handle {
  position(): PlaygraphPosition;
  sessionTime(): number;
  ended(): boolean;
  currentStep(): number;
  advance(watchableTime: number): void;
  segmentEnded(): void;
  /** Throws InvalidArgumentError for a time that is not on the timeline. */
  seek(sessionTime: number): void;
  timeline(): TimelineEntry[];
  duration(): { seconds: number; known: boolean; endless: boolean };
  upcomingDecisions(horizonSeconds: number): Decision[];
  currentDecision(): Decision | undefined;
  prefetchPlan(horizonSeconds: number, budget?: { maxEntries?: number; maxSeconds?: number }): PrefetchPlan;
  /** Takes the way to `destinationSegmentId` at the current decision; throws InvalidArgumentError. */
  choose(destinationSegmentId: string): void;
  back(): boolean;
  decisions(): DecisionRecord[];
  /** Held until it is replaced or the session is deleted; undefined removes it. */
  setObserver(observer: PlaybackSessionObserver | undefined): void;
  /** Call after setting another change observer on the data source or editing a playgraph. */
  refresh(): void;
  /** What restore() takes back. */
  state(): { [key: string]: JsonValue };
}

export class InvalidArgumentError extends Error {}
export class EditHistoryError extends Error {}
export class JsonError extends Error {}
export class DiffError extends Error {}

/** One change found by `diff`; `before` and `after` are left out when absent. */
export interface PlaygraphChange {
  kind: 'segmentAdded' | 'segmentRemoved' | 'segmentRenamed' | 'segmentChanged' | 'retimed'
    | 'defaultNextChanged' | 'transitionAdded' | 'transitionRemoved' | 'transitionReweighted'
    | 'transitionTypeChanged' | 'transitionChanged' | 'annotationChanged' | 'userInfoChanged'
    | 'initialSegmentChanged' | 'topLevelChanged';
  /** The keys from the top level down, e.g. ['segments', 'intro', 'next', 'vault', 'weight']. */
  path: string[];
  before?: JsonValue;
  after?: JsonValue;
  segment?: string;
  transition?: string;
  renamedTo?: string;
}

/** A change of theirs that `merge` did not take; the merged playgraph keeps ours there. */
export interface MergeConflict {
  path: string[];
  base?: JsonValue;
  ours?: JsonValue;
  theirs?: JsonValue;
  reason: string;
}

export interface PlaygraphModule {
  readonly version: string;
  InvalidArgumentError: typeof InvalidArgumentError;
  EditHistoryError: typeof EditHistoryError;
  JsonError: typeof JsonError;
  DiffError: typeof DiffError;
  /**
   * The changes from `before` to `after` (JSON text or plain objects) by segment and transition
   * id: `apply(before, diff(before, after))` equals `after`. JSON numbers reach the library as
   * JavaScript writes them (`10000.0` as `10000`), so pass JSON text to keep a file's doubles.
   */
  diff(before: string | object, after: string | object): PlaygraphChange[];
  /** A new plain object: `before` with `changes` made; DiffError when one does not fit. */
  apply(before: string | object, changes: PlaygraphChange[] | string): { [key: string]: JsonValue };
  /** Three-way merge by id; at each conflict `merged` keeps ours. */
  merge(base: string | object, ours: string | object, theirs: string | object):
    { merged: { [key: string]: JsonValue }; conflicts: MergeConflict[] };
  /** JSON text in the canonical form of `playgraph fmt`: keys sorted, a segment a block of lines. */
  dumpsCanonical(value: JsonValue): string;
  /**
   * An immutable playgraph from JSON text or a plain object; malformed JSON, or a top level that
   * is not an object, throws JsonError. `defaultViewableId` (for segments without one in a
   * "branching" playgraph) defaults, as in the tool and Python, to the segments' first "main".
   */
  load(source: string | object, defaultViewableId?: number): Playgraph;
  loadMutable(source: string | object, defaultViewableId?: number): MutablePlaygraph;
  /** A one-clip composition of a viewable (the clip named `name`, or "video"). */
  createVideoComposition(viewableId: number | undefined, name: string | undefined,
    startTime: number, endTime: number): MutableVideoComposition;
  /** The handle classes, for `instanceof` (handles come from load and loadMutable). */
  Playgraph: abstract new () => Playgraph;
  MutablePlaygraph: abstract new () => MutablePlaygraph;
  EditHistory: new (playgraph: MutablePlaygraph, depthLimit?: number) => EditHistory;
  PlaygraphPlayerMutableDataSource: new (playgraph: Playgraph, trackingInfo?: object) => PlaygraphPlayerMutableDataSource;
  /** No playgraph, or `playgraph` registered as the initial one, starting at `startPosition` (default: its initial position). */
  PlaygraphPlayerCompositeDataSource: new (playgraph?: Playgraph, trackingInfo?: object,
    startPosition?: { segmentId: string; watchableTime: number }) => PlaygraphPlayerCompositeDataSource;
  videoCompositionFactory: VideoCompositionFactory;
  PlaybackSession: {
    new (dataSource: DataSource, options?: PlaybackSessionOptions): PlaybackSession;
    restore(dataSource: DataSource, state: object, options?: PlaybackSessionOptions): PlaybackSession;
  };
  /** JSON text of an editable playgraph or a plain value (TypeError for an immutable one). */
  dumps(value: MutablePlaygraph | JsonValue, pretty?: boolean): string;
  lastSegmentIdInDefaultTraversalInPlaygraph(playgraph: Playgraph): string | undefined;
  playgraphHasSameDefaultTraversalAsPlaygraph(a: Playgraph, b: Playgraph): boolean;
  heapInUse(): number;
}

export interface CreateOptions {
  /** The module's bytes, when the caller has them. */
  wasmBinary?: ArrayBuffer | Uint8Array;
  /** Names the URL of `playgraph-core.wasm` (relative to this package). */
  locateFile?: (name: string) => string;
  print?: (text: string) => void;
  printErr?: (text: string) => void;
}

export default function createPlaygraph(options?: CreateOptions): Promise<PlaygraphModule>;
