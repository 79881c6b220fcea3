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
    PlaygraphPlayerMutableDataSource: ['setNextSegmentAfter', 'clearNextSegmentAfter',
      '_updateNextSegmentWeightsForSegment', 'updatePlaygraph'],
    PlaybackSession: ['seek', 'choose', '_state'],
    MutableVideoComposition: ['_appendClip', '_prependClip', '_insertClip', 'removeClip',
      'splitClip', 'combineClip1', 'makeRangeSkippable', 'defineRange'],
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
    [core.PlaygraphPlayerMutableDataSource, 'PlaygraphPlayerMutableDataSource'],
    [core.PlaybackSession, 'PlaybackSession'],
  ]) {
    const proto = cls.prototype;
    const remove = proto.delete;
    proto.delete = function () {
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
    run((step) => {
      try {
        return callback(step) === true;
      } catch (e) {
        error = e;
        failed = true;
        return true;
      }
    });
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

  const D = core.PlaygraphPlayerMutableDataSource.prototype;
  D.updateNextSegmentWeightsForSegment = function (segmentId, weights) {
    this._updateNextSegmentWeightsForSegment(segmentId, jsonOf(weights ?? {}));
  };
  D.currentPlaybackPathTraversalFromSegment = function (segmentId, callback) {
    return walk((cb) => this._currentPlaybackPathTraversalFromSegment(segmentId, cb), callback);
  };
  // The observer's methods run after the data source's state changed; one
  // that throws does not unwind the data source: its error is thrown from
  // the call that made the change, once that call has completed.
  D.setChangeObserver = function (observer) {
    if (!observer) {
      this._setChangeObserver(undefined);
      return;
    }
    const source = new WeakRef(this);
    const pending = [];
    this._pendingObserverErrors = pending;
    this._setChangeObserver((kind, segmentId) => {
      try {
        if (kind === 'nextSegment') {
          observer.dataSourceDidChangeNextSegmentAfterSegment?.(source.deref(), segmentId);
        } else {
          observer.dataSourceDidUpdatePlaygraph?.(source.deref());
        }
      } catch (e) {
        pending.push(e);
      }
    });
  };
  for (const name of ['setNextSegmentAfter', 'clearNextSegmentAfter',
    'updateNextSegmentWeightsForSegment', 'updatePlaygraph']) {
    const call = D[name];
    D[name] = function (...args) {
      const result = call.apply(this, args);
      const pending = this._pendingObserverErrors;
      if (pending?.length) {
        const [first] = pending.splice(0);
        throw first;
      }
      return result;
    };
  }

  // The text goes to the library as UTF-8 bytes, encoded by the platform
  // (faster than the loader's own encoding of a large string).
  const encoder = new TextEncoder();
  core._addPrefetchEntry = (list, segmentId, viewableId, fromTime, toTime, probability,
    earliestStart, definite) => {
    list.push({ segmentId, viewableId, fromTime, toTime, probability, earliestStart, definite });
  };
  const S = core.PlaybackSession.prototype;
  S.prefetchPlan = function (horizonSeconds, budget = {}) {
    return this._prefetchPlan(horizonSeconds, budget.maxEntries ?? -1, budget.maxSeconds ?? -1);
  };
  S.state = function () {
    return JSON.parse(this._state());
  };
  const makeSession = (dataSource, options, state) =>
    track(construct((...a) => new core.PlaybackSession(...a))(dataSource, jsonOf(options),
      state === undefined ? '' : JSON.stringify(state)), 'PlaybackSession');

  const sourceText = (source) => encoder.encode(typeof source === 'string' ? source : JSON.stringify(source));

  return {
    version: VERSION,
    InvalidArgumentError,
    EditHistoryError,
    JsonError,
    DiffError,
    /** The changes from playgraph `before` to `after` (JSON text or plain objects), by id. */
    diff(before, after) {
      return JSON.parse(construct(core._diff)(sourceText(before), sourceText(after)));
    },
    /** A new plain object: `before` with `changes` (as `diff` returns them) made. */
    apply(before, changes) {
      return JSON.parse(construct(core._apply)(sourceText(before), sourceText(changes)));
    },
    /** Three-way merge by id: `{ merged, conflicts }`, ours kept at each conflict. */
    merge(base, ours, theirs) {
      return JSON.parse(construct(core._merge)(sourceText(base), sourceText(ours), sourceText(theirs)));
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
