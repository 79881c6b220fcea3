// The playgraph package: `import createPlaygraph from 'playgraph'`, then
// `const pg = await createPlaygraph()`. The library itself is the
// WebAssembly module in dist/; this file loads it, turns its failures into
// JavaScript errors, and gives its handles explicit lifetimes.

import createPlaygraphCore from './dist/playgraph-core.mjs';

// An Error subclass named `name` (its instances' `name` too).
function errorType(name) {
  return { [name]: class extends Error {
    constructor(message) {
      super(message);
      this.name = name;
    }
  } }[name];
}

/** Raised by an edit whose arguments are invalid; `message` is the library's reason. */
export const InvalidArgumentError = errorType('InvalidArgumentError');
/** Raised by an edit history used out of turn (undo with nothing to undo, a stale history). */
export const EditHistoryError = errorType('EditHistoryError');
/** Raised for JSON that cannot be read, or a value that cannot be written as JSON. */
export const JsonError = errorType('JsonError');
/** Raised by diff, apply and merge for an argument they cannot work on (a change that does not fit). */
export const DiffError = errorType('DiffError');

const errorTypes = { InvalidArgumentError, EditHistoryError, JsonError, DiffError, Error };
const dispose = Symbol.dispose ?? Symbol.for('Symbol.dispose');

async function wasmBytes(options) {
  const url = options.locateFile
    ? new URL(options.locateFile('playgraph-core.wasm'), import.meta.url)
    : new URL('./dist/playgraph-core.wasm', import.meta.url);
  if (url.protocol === 'file:') {
    const { readFile } = await import('node:fs/promises');
    return readFile(url);
  }
  const response = await fetch(url);
  if (!response.ok) throw new Error(`cannot load ${url}: HTTP ${response.status}`);
  return new Uint8Array(await response.arrayBuffer());
}

function jsonOf(value) {
  return value === undefined ? '' : JSON.stringify(value);
}

/**
 * Loads the module. `options.wasmBinary` hands it the bytes; else
 * `options.locateFile(name)` names its URL; else it sits beside this file.
 * Works in a page, a worker and node 18+, without globals.
 */
export default async function createPlaygraph(options = {}) {
  const wasmBinary = options.wasmBinary ?? (await wasmBytes(options));
  const core = await createPlaygraphCore({
    wasmBinary,
    print: options.print ?? ((text) => console.log(text)),
    printErr: options.printErr ?? ((text) => console.warn(text)),
  });
  // A failed call hands its error over here; the wrappers below throw it
  // once the call has returned.
  let failure;
  core._fail = (kind, message) => {
    failure ??= new (errorTypes[kind] ?? Error)(message);
  };
  const raising = (call) => function (...args) {
    const result = call.apply(this, args);
    if (failure !== undefined) {
      const error = failure;
      failure = undefined;
      throw error;
    }
    return result;
  };
  // The calls that can fail (the read side never does, and stays direct).
  const failing = {
    MutablePlaygraph: ['splitSegment', '_insertSegmentAfter', '_insertSegmentBefore',
      'removeSegment', '_addTransitionFromSegment', '_updatePropertiesForTransitionFrom',
      '_updatePropertiesForAllTransitionsTo', '_updatePropertiesForAllTransitionfrom',
      'updateDefaultNextFromSegment', 'supportSkippingSegment', 'dumps'],
    EditHistory: ['begin', 'commit', 'rollback', 'undo', 'redo'],
    DataSource: ['setNextSegmentAfter', 'clearNextSegmentAfter',
      '_updateNextSegmentWeightsForSegment'],
    PlaygraphPlayerMutableDataSource: ['updatePlaygraph'],
    PlaygraphPlayerCompositeDataSource: ['_addPlaygraph', '_updateTrackingInfo', '_addTransitionFromSegment'],
    PlaybackSession: ['seek', 'choose', '_state'],
    VideoComposition: ['defineRange', 'observeRange'],
    MutableVideoComposition: ['_appendClip', '_prependClip', '_insertClip', 'removeClip',
      'splitClip', 'combineClip1', 'makeRangeSkippable'],
    WatchableComposition: ['_setUiPlayContext', 'setFetchOptions'],
  };
  for (const [cls, names] of Object.entries(failing)) {
    for (const name of names) core[cls].prototype[name] = raising(core[cls].prototype[name]);
  }
  // A factory that fails frees what it made before it throws.
  const construct = (make) => (...args) => {
    const result = make(...args);
    if (failure !== undefined) {
      const error = failure;
      failure = undefined;
      if (result && typeof result.delete === 'function') result.delete();
      throw error;
    }
    return result;
  };

  // Observers and walk callbacks run inside library calls. What an observer
  // throws is thrown by the outermost call once it has completed (the
  // library's state stays whole); a handle deleted meanwhile is freed then,
  // not under the call that is running on it.
  let depth = 0;
  const observerErrors = [];
  const deferred = [];
  const within = (run) => {
    ++depth;
    let result;
    let error;
    let failed = false;
    try {
      result = run();
    } catch (e) {
      error = e;
      failed = true;
    }
    if (--depth > 0) {
      if (failed) throw error;
      return result;
    }
    for (const handle of deferred.splice(0)) if (!handle.isDeleted()) handle.delete();
    const heard = observerErrors.splice(0);
    if (failed) throw error;
    if (heard.length > 0) throw heard[0];
    return result;
  };
  const observed = (call) => function (...args) {
    return within(() => call.apply(this, args));
  };

  // A safety net only: a handle collected without delete() is reported
  // once; delete() (or `using`) is how handles end.
  let warned = false;
  const leaks = new FinalizationRegistry((name) => {
    if (warned) return;
    warned = true;
    (options.printErr ?? console.warn)(
      `playgraph: a ${name} was garbage-collected without delete(); call delete() ` +
        'or declare it with `using` (this warning is shown once)');
  });
  const track = (handle, name) => {
    leaks.register(handle, name, handle);
    return handle;
  };
  for (const [cls, name] of [
    [core.Playgraph, 'Playgraph'],
    [core.EditHistory, 'EditHistory'],
    [core.DataSource, 'DataSource'],
    [core.PlaybackSession, 'PlaybackSession'],
  ]) {
    const proto = cls.prototype;
    const remove = proto.delete;
    proto.delete = function () {
      if (depth > 0) {
        if (!deferred.includes(this)) deferred.push(this);
        return;
      }
      leaks.unregister(this);
      remove.call(this);
    };
    proto[dispose] = function () {
      if (!this.isDeleted()) this.delete();
    };
    void name;
  }

  // Calls a walk with a callback that may throw: the error stops the walk
  // and is thrown once the library has returned.
  const walk = (run, callback) => {
    if (callback === undefined) return run(undefined);
    let error;
    let failed = false;
    within(() => run((step) => {
      try {
        return callback(step) === true;
      } catch (e) {
        error = e;
        failed = true;
        return true;
      }
    }));
    if (failed) throw error;
    return undefined;
  };

  const P = core.Playgraph.prototype;
  P.playgraphOffsetForPlayerTime = function (playerTime, segmentId) {
    return this._playgraphOffsetForPlayerTime(playerTime, segmentId ?? '');
  };
  P.positionAtViewableTime = function (viewableTime, viewableId) {
    return this._positionAtViewableTime(viewableTime, jsonOf(viewableId));
  };
  P.defaultPathTraversal = function (callback) {
    return walk((cb) => this._defaultPathTraversal(cb), callback);
  };
  P.depthFirstTraversalFromSegmentId = function (segmentId, callback) {
    return walk((cb) => this._depthFirstTraversalFromSegmentId(segmentId, cb), callback);
  };
  P.bredthFirstTraversalFromSegmentId = function (segmentId, maxDepth, callback) {
    return walk((cb) => this._bredthFirstTraversalFromSegmentId(segmentId, maxDepth, cb), callback);
  };

  const M = core.MutablePlaygraph.prototype;
  M.insertSegmentAfter = function (existingId, newSegmentId, viewableId, start, end, asDeafaultNext = false) {
    this._insertSegmentAfter(existingId, newSegmentId, jsonOf(viewableId), start, end, asDeafaultNext);
  };
  M.insertSegmentBefore = function (existingId, newSegmentId, viewableId, start, end) {
    this._insertSegmentBefore(existingId, newSegmentId, jsonOf(viewableId), start, end);
  };
  M.addTransitionFromSegment = function (from, toSegment, asDefault = false, properties) {
    this._addTransitionFromSegment(from, toSegment, asDefault, jsonOf(properties));
  };
  M.updatePropertiesForTransitionFrom = function (from, to, properties) {
    this._updatePropertiesForTransitionFrom(from, to, jsonOf(properties));
  };
  M.updatePropertiesForAllTransitionsTo = function (to, properties) {
    this._updatePropertiesForAllTransitionsTo(to, jsonOf(properties));
  };
  M.updatePropertiesForAllTransitionfrom = function (from, properties) {
    this._updatePropertiesForAllTransitionfrom(from, jsonOf(properties));
  };
  M.dictionaryRepresentation = function () {
    return JSON.parse(this.dumps(false));
  };
  M.toJSON = M.dictionaryRepresentation;

  const C = core.MutableVideoComposition.prototype;
  C.appendClip = function (name, viewableId, startTime, endTime) {
    this._appendClip(name, jsonOf(viewableId), startTime, endTime);
  };
  C.prependClip = function (name, viewableId, startTime, endTime) {
    this._prependClip(name, jsonOf(viewableId), startTime, endTime);
  };
  C.insertClip = function (name, viewableId, startTime, endTime, afterClip) {
    this._insertClip(name, jsonOf(viewableId), startTime, endTime, afterClip);
  };
  core.WatchableComposition.prototype.setUiPlayContext = function (context) {
    this._setUiPlayContext(jsonOf(context ?? undefined));
  };

  const H = core.EditHistory.prototype;
  H.transaction = function (edits, label) {
    this.begin(label);
    try {
      edits();
    } catch (e) {
      this.rollback();
      throw e;
    }
    this.commit();
  };

  const D = core.DataSource.prototype;
  D.updateNextSegmentWeightsForSegment = function (segmentId, weights) {
    this._updateNextSegmentWeightsForSegment(segmentId, jsonOf(weights ?? {}));
  };
  D.currentPlaybackPathTraversalFromSegment = function (segmentId, callback) {
    return walk((cb) => this._currentPlaybackPathTraversalFromSegment(segmentId, cb), callback);
  };
  // The observer's methods run after the data source's state changed.
  D.setChangeObserver = function (observer) {
    if (!observer) {
      this._setChangeObserver(undefined);
      return;
    }
    const source = new WeakRef(this);
    this._setChangeObserver((kind, segmentId) => {
      try {
        if (kind === 'nextSegment') {
          observer.dataSourceDidChangeNextSegmentAfterSegment?.(source.deref(), segmentId);
        } else {
          observer.dataSourceDidUpdatePlaygraph?.(source.deref());
        }
      } catch (e) {
        observerErrors.push(e);
      }
    });
  };
  const CD = core.PlaygraphPlayerCompositeDataSource.prototype;
  CD.addPlaygraph = function (playgraph, trackingInfo) {
    this._addPlaygraph(playgraph, jsonOf(trackingInfo));
  };
  CD.updateTrackingInfo = function (info, segment) {
    this._updateTrackingInfo(jsonOf(info), segment);
  };
  CD.addTransitionFromSegment = function (source, to, setAsNext = false, properties) {
    this._addTransitionFromSegment(source, to, setAsNext, jsonOf(properties));
  };
  CD.depthFirstTraversalFromSegment = function (segment, callback) {
    return walk((cb) => this._depthFirstTraversalFromSegment(segment, cb), callback);
  };
  CD.bredthFirstTraversalFromSegment = function (segment, maxDepth, callback) {
    return walk((cb) => this._bredthFirstTraversalFromSegment(segment, maxDepth, cb), callback);
  };
  for (const [proto, names] of [
    [D, ['setNextSegmentAfter', 'clearNextSegmentAfter', 'updateNextSegmentWeightsForSegment']],
    [core.PlaygraphPlayerMutableDataSource.prototype, ['updatePlaygraph']],
    [CD, ['addTransitionFromSegment']],
    [core.PlaybackSession.prototype, ['advance', 'segmentEnded', 'seek', 'choose', 'back', 'refresh']],
  ]) {
    for (const name of names) proto[name] = observed(proto[name]);
  }

  // The text goes to the library as UTF-8 bytes, encoded by the platform
  // (faster than the loader's own encoding of a large string).
  const encoder = new TextEncoder();
  core._addPrefetchEntry = (list, segmentId, viewableId, fromTime, toTime, probability,
    earliestStart, definite) => {
    list.push({ segmentId, viewableId, fromTime, toTime, probability, earliestStart, definite });
  };
  const S = core.PlaybackSession.prototype;
  // The plan comes over as numbers on the module's heap (see
  // _prefetchPlanFlat), segments as numbers into planIds, the list of ids
  // that the module numbered; the plain form, an object made per entry by
  // the library, serves the plans the numbers cannot carry.
  const planFields = 7;
  const planIds = [];
  S.prefetchPlan = function (horizonSeconds, budget = {}) {
    const maxEntries = budget.maxEntries ?? -1;
    const maxSeconds = budget.maxSeconds ?? -1;
    const result = this._prefetchPlanFlat(horizonSeconds, maxEntries, maxSeconds);
    if (result < 0) return this._prefetchPlan(horizonSeconds, maxEntries, maxSeconds);
    const flags = result % 8;
    if (flags & 4) planIds.length = 0;
    if (flags & 2) {
      const fresh = core._takePlanIds().split('\0');
      for (let i = 0; i + 1 < fresh.length; ++i) planIds.push(fresh[i]);
    }
    const heap = core.HEAPF64;
    const entries = new Array((result - flags) / 8);
    for (let i = 0, at = core._planNumbersAddress() / 8; i < entries.length; ++i, at += planFields) {
      const segment = heap[at + 5];
      const viewableId = heap[at + 6];
      entries[i] = {
        segmentId: segment >= 0 ? planIds[segment] : undefined,
        viewableId: Number.isNaN(viewableId) ? undefined : viewableId,
        fromTime: heap[at],
        toTime: heap[at + 1],
        probability: heap[at + 2],
        earliestStart: heap[at + 3],
        definite: heap[at + 4] === 1,
      };
    }
    return { entries, complete: (flags & 1) === 1 };
  };
  S.state = function () {
    return JSON.parse(this._state());
  };
  // The session's observer is held until it is replaced or the session is
  // deleted; its methods run after the session's state changed.
  S.setObserver = function (observer) {
    if (!observer) {
      this._setObserver(undefined);
      return;
    }
    const session = new WeakRef(this);
    this._setObserver((kind, payload) => {
      try {
        if (kind === 'enter') observer.sessionDidEnterSegment?.(session.deref(), payload);
        else if (kind === 'window') observer.sessionDidReachDecisionWindow?.(session.deref(), payload);
        else if (kind === 'decide') observer.sessionDidDecide?.(session.deref(), payload);
        else observer.sessionDidEnd?.(session.deref());
      } catch (e) {
        observerErrors.push(e);
      }
    });
  };
  const makeSession = (dataSource, options, state) => track(within(() =>
    construct((...a) => new core.PlaybackSession(...a))(dataSource, jsonOf(options),
      state === undefined ? '' : JSON.stringify(state))), 'PlaybackSession');
  const factory = (make, name) => (...args) => track(construct(make)(...args), name);

  // Puts a text in the module's text slot `slot` for the next call; returns
  // the slot. Most text is nearly all ASCII: it is encoded straight into the
  // heap with some room to spare, other text through a buffer of its size.
  const sourceText = (source, slot = 0) => {
    const text = typeof source === 'string' ? source : JSON.stringify(source);
    const room = text.length + (text.length >> 3) + 16;
    const at = core._textBuffer(slot, room);
    const { read, written } = encoder.encodeInto(text, core.HEAPU8.subarray(at, at + room));
    if (read === text.length) {
      core._textBuffer(slot, written);
    } else {
      const bytes = encoder.encode(text);
      core.HEAPU8.set(bytes, core._textBuffer(slot, bytes.length));
    }
    return slot;
  };

  return {
    version: VERSION,
    InvalidArgumentError,
    EditHistoryError,
    JsonError,
    DiffError,
    /** The changes from playgraph `before` to `after` (JSON text or plain objects), by id. */
    diff(before, after) {
      sourceText(before, 0);
      sourceText(after, 1);
      return JSON.parse(construct(core._diff)());
    },
    /** A new plain object: `before` with `changes` (as `diff` returns them) made. */
    apply(before, changes) {
      sourceText(before, 0);
      sourceText(changes, 1);
      return JSON.parse(construct(core._apply)());
    },
    /** Three-way merge by id: `{ merged, conflicts }`, ours kept at each conflict. */
    merge(base, ours, theirs) {
      sourceText(base, 0);
      sourceText(ours, 1);
      sourceText(theirs, 2);
      return JSON.parse(construct(core._merge)());
    },
    /** JSON text of a plain value in the canonical form of `playgraph fmt`. */
    dumpsCanonical(value) {
      return construct(core._dumpsCanonical)(JSON.stringify(value));
    },
    /** An immutable playgraph from JSON text or a plain object. */
    load(source, defaultViewableId) {
      return track(construct(core._loadPlaygraph)(sourceText(source), jsonOf(defaultViewableId)), 'Playgraph');
    },
    /** An editable playgraph from JSON text or a plain object. */
    loadMutable(source, defaultViewableId) {
      return track(construct(core._loadMutablePlaygraph)(sourceText(source), jsonOf(defaultViewableId)),
        'MutablePlaygraph');
    },
    /** A one-clip editable composition of a viewable. */
    createVideoComposition(viewableId, name, startTime, endTime) {
      return track(construct(core._createVideoComposition)(jsonOf(viewableId), name, startTime, endTime),
        'MutableVideoComposition');
    },
    EditHistory: Object.assign(function EditHistory(playgraph, depthLimit = 100) {
      return track(new core.EditHistory(playgraph, depthLimit), 'EditHistory');
    }, { prototype: core.EditHistory.prototype }),
    /** The composition factory a host finds under its dependency key: each result is new and the caller's. */
    videoCompositionFactory: {
      createVideoCompositionForViewableId: (viewableId, initialName, startTime, endTime) =>
        factory(core._factoryVideoComposition, 'VideoComposition')(jsonOf(viewableId), initialName,
          startTime, endTime),
      createMutableVideoCompositionForViewableId: (viewableId, initialName, startTime, endTime) =>
        factory(core._factoryMutableVideoComposition, 'MutableVideoComposition')(jsonOf(viewableId),
          initialName, startTime, endTime),
      watchableWithVideoId: (videoId, name, startTime, endTime, uiPlayContext) =>
        factory(core._factoryWatchableWithVideoId, 'WatchableComposition')(jsonOf(videoId), name,
          startTime, endTime, jsonOf(uiPlayContext)),
      watchableWithMainVideoId: (mainVideoId, playgraph, uiPlayContext) =>
        factory(core._factoryWatchableWithMainVideoId, 'WatchableComposition')(jsonOf(mainVideoId),
          playgraph, jsonOf(uiPlayContext)),
    },
    /** A data source over several playgraphs joined by inter-playgraph transitions. */
    PlaygraphPlayerCompositeDataSource: Object.assign(
      function PlaygraphPlayerCompositeDataSource(playgraph, trackingInfo, startPosition) {
        return track(construct((...a) => new core.PlaygraphPlayerCompositeDataSource(...a))(playgraph,
          jsonOf(trackingInfo), startPosition), 'PlaygraphPlayerCompositeDataSource');
      }, { prototype: core.PlaygraphPlayerCompositeDataSource.prototype }),
    PlaygraphPlayerMutableDataSource: Object.assign(
      function PlaygraphPlayerMutableDataSource(playgraph, trackingInfo) {
        return track(construct((...a) => new core.PlaygraphPlayerMutableDataSource(...a))(playgraph, jsonOf(trackingInfo)),
          'PlaygraphPlayerMutableDataSource');
      }, { prototype: core.PlaygraphPlayerMutableDataSource.prototype }),
    /** A viewer's playback through a data source (it keeps the data source alive). */
    PlaybackSession: Object.assign(function PlaybackSession(dataSource, options) {
      return makeSession(dataSource, options);
    }, {
      prototype: core.PlaybackSession.prototype,
      /** A session from the `state()` of an earlier one; throws InvalidArgumentError when it does not fit. */
      restore: (dataSource, state, options) => makeSession(dataSource, options, state),
    }),
    Playgraph: core.Playgraph,
    MutablePlaygraph: core.MutablePlaygraph,
    /** JSON text of an editable playgraph, or of a plain value, as the library writes it. */
    dumps(value, pretty = false) {
      if (value instanceof core.Playgraph) {
        if (!value.isEditable()) {
          throw new TypeError('an immutable Playgraph keeps no dictionary: load it with loadMutable to write it back');
        }
        return value.dumps(pretty);
      }
      return construct(core._dumpsValue)(JSON.stringify(value), pretty);
    },
    lastSegmentIdInDefaultTraversalInPlaygraph: core.lastSegmentIdInDefaultTraversalInPlaygraph,
    playgraphHasSameDefaultTraversalAsPlaygraph: core.playgraphHasSameDefaultTraversalAsPlaygraph,
    /** Bytes of the module's heap in use (for leak checks). */
    heapInUse: core.heapInUse,
  };
}

const VERSION = '0.1.0';
