// The branching player: plays a story's video in the page through the
// playgraph package's playback session. Used by the Play view of `playgraph
// serve` and by the pages `playgraph export-player` writes.
//
// Every answer about the story comes from the session (what plays, the
// timeline, decisions, the prefetch plan); this file only drives <video>
// elements. A segment that continues the playing one in the same viewable
// plays on; every other way on is preloaded, paused at its start, in a small
// pool of elements in the plan's order, and shown on the playing element's
// last frame of the segment (timed by requestVideoFrameCallback), so the
// switch needs no seek and no frame after a segment's end is shown.

const EPSILON = 0.001; // seconds: media times closer than this are the same

/** Options a caller may change; the rest of the config says where things are. */
export const defaults = {
  poolSize: 4, // video elements, the playing one included
  horizon: 20, // seconds of the story the prefetch plan looks ahead
  prefetchLead: 2, // seconds before a switch after which a choice is taken
  decisionWindow: 5, // seconds before a segment's end its choices are offered
  frameInterval: 1 / 30, // until the video shows its own
};

function element(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined) node.textContent = text;
  return node;
}

function seconds(value) {
  return Number.isFinite(value) ? `${value.toFixed(1)} s` : '? s';
}

function once(target, name) {
  return new Promise((resolve) => target.addEventListener(name, resolve, { once: true }));
}

/**
 * Builds the player in `root` and loads the story. `config`: `packageUrl`
 * (the package's index.js), `story` ({text, defaultViewableId}), `mediaUrl(id)`
 * (a URL, or undefined when the viewable has no media), `storageKey` (where
 * the session's state is kept; none: not kept), `onSegment(id)` (told of each
 * segment that starts playing) and any of `defaults`. Resolves to the
 * player; a package that cannot load shows its message and rejects.
 */
export async function createPlayer(root, config) {
  const player = new Player(root, { ...defaults, ...config });
  await player.load();
  return player;
}

class Player {
  constructor(root, config) {
    this.config = config;
    this.root = root;
    root.classList.add('player');
    this.stage = root.appendChild(element('div', 'play-stage'));
    this.notice = this.stage.appendChild(element('div', 'play-notice'));
    this.notice.setAttribute('role', 'status');
    this.notice.hidden = true;
    const controls = root.appendChild(element('div', 'play-controls'));
    this.playButton = controls.appendChild(element('button', 'play-toggle', 'Play'));
    this.backButton = controls.appendChild(element('button', 'play-back', 'Back'));
    this.restartButton = controls.appendChild(element('button', 'play-restart', 'Restart'));
    for (const button of controls.children) button.type = 'button';
    this.clock = controls.appendChild(element('span', 'play-clock'));
    this.bar = root.appendChild(element('div', 'play-bar'));
    this.bar.title = 'the path: played, playing and predicted; decisions marked';
    this.cursor = element('div', 'play-cursor');
    this.choices = root.appendChild(element('div', 'play-choices'));
    this.choices.setAttribute('aria-live', 'polite');
    this.pool = [];
    this.playing = null; // the pool slot on screen
    this.running = false;
    this.frameInterval = NaN; // the shortest step between frames seen
    this.lastStep = NaN;
    this.rate = 1;
    this.lastMediaTime = NaN;
    this.stats = {
      switches: [],
      swaps: 0,
      stalls: 0,
      outOfRange: 0,
      maxElements: 0,
      maxBuffered: 0,
    };
    this.playButton.addEventListener('click', () => (this.running ? this.pause() : this.play()));
    this.backButton.addEventListener('click', () => this.back());
    this.restartButton.addEventListener('click', () => this.restart());
    this.bar.addEventListener('click', (event) => this.seekBar(event));
    window.addEventListener('pagehide', () => this.session && this.save());
  }

  async load() {
    try {
      const { default: createPlaygraph } = await import(this.config.packageUrl);
      this.pg = await createPlaygraph();
    } catch (error) {
      let reason = error.message;
      try {
        // the server says why (the package is not built)
        const answer = await fetch(this.config.packageUrl);
        if (!answer.ok) reason = (await answer.json()).error ?? reason;
      } catch {
        /* the import's own error stands */
      }
      this.say(`The player cannot start: ${reason}`);
      this.root.classList.add('unavailable');
      throw error;
    }
    this.loadStory(this.config.story);
    this.start(this.savedState());
  }

  // The story's playgraph, and what the page knows of its viewables (the
  // lengths learned from their media are kept across stories).
  loadStory({ text, defaultViewableId, revision }) {
    this.session?.delete();
    this.source?.delete();
    this.graph?.delete();
    this.session = this.source = undefined;
    this.graph = this.pg.load(text, defaultViewableId ?? undefined);
    this.revision = revision;
    const known = this.viewables ?? new Map();
    this.viewables = new Map(); // viewable id -> {url, playToEnd: segment ids, length}
    for (const id of this.graph.segmentIds()) {
      const segment = this.graph.segmentById(id);
      const key = String(segment.viewableId);
      if (!this.viewables.has(key)) {
        const url = known.get(key)?.url ?? this.config.mediaUrl(key);
        this.viewables.set(key, { url, playToEnd: [], length: known.get(key)?.length ?? NaN });
      }
      const viewable = this.viewables.get(key);
      if (segment.playToViewableEnd) {
        viewable.playToEnd.push(id);
        if (Number.isFinite(viewable.length)) this.graph.setMovieDuration(id, viewable.length);
      }
    }
    const missing = [...this.viewables].filter(([, v]) => !v.url).map(([id]) => id);
    this.missing = missing.map((id) => `no media for viewable ${id}`).join('; ');
    this.say(this.missing);
  }

  // A session from `state` when it fits the story, else a new one.
  start(state) {
    this.session?.delete();
    this.source?.delete();
    this.source = new this.pg.PlaygraphPlayerMutableDataSource(this.graph);
    this.segments = new Map();
    const options = {
      prefetchLead: this.config.prefetchLead,
      decisionWindow: this.config.decisionWindow,
    };
    this.session = undefined;
    if (state) {
      try {
        this.session = this.pg.PlaybackSession.restore(this.source, state, options);
      } catch (error) {
        this.say(`The saved position does not fit this story (${error.message}); starting over`);
      }
    }
    this.session ??= new this.pg.PlaybackSession(this.source, options);
    this.enter(true);
  }

  savedState() {
    if (!this.config.storageKey) return undefined;
    try {
      const text = localStorage.getItem(this.config.storageKey);
      return text ? JSON.parse(text) : undefined;
    } catch {
      return undefined;
    }
  }

  save() {
    if (!this.config.storageKey) return;
    try {
      localStorage.setItem(this.config.storageKey, JSON.stringify(this.session.state()));
    } catch {
      /* storage full or refused: the session still plays */
    }
  }

  say(text) {
    this.notice.textContent = text;
    this.notice.hidden = !text;
  }

  // --- The segment that plays -------------------------------------------

  segment() {
    const { segmentId } = this.session.position();
    return this.segmentById(segmentId);
  }

  // A segment's fields, read once: its times and viewable do not change
  // while it plays (a play-to-end segment's end is the media's, see endOf).
  segmentById(id) {
    if (id === undefined) return undefined;
    let segment = this.segments.get(id);
    if (!segment) {
      segment = this.source.segmentById(id);
      if (segment) this.segments.set(id, segment);
    }
    return segment;
  }

  // The current segment's end in its viewable; NaN while unknown.
  endOf(segment) {
    if (segment.playToViewableEnd) {
      return this.viewables.get(String(segment.viewableId)).length;
    }
    return segment.endTime;
  }

  // Playback (re)starts at the session's position: after a seek, Back, a
  // restore. Shows the element holding it, loading it when none does.
  enter(jump) {
    const position = this.session.position();
    const segment = this.segment();
    this.current = segment;
    this.lastMediaTime = NaN;
    if (!segment) {
      this.finish();
      return;
    }
    this.config.onSegment?.(segment.segmentId);
    if (jump) {
      const slot = this.slotFor(segment.viewableId, position.watchableTime, true);
      this.show(slot);
    }
    // Playing on along the timeline leaves it as it was.
    this.refresh(jump);
    this.save();
  }

  // Everything that changes with a segment, a choice or a seek.
  refresh(whole = true) {
    this.decision = this.session.currentDecision();
    if (whole) this.drawBar();
    else this.markStep();
    this.drawChoices();
    this.plan();
    this.tick();
  }

  finish() {
    this.running = false;
    this.playing?.video.pause();
    this.playButton.textContent = 'Play';
    this.root.classList.add('ended');
    this.drawBar();
    this.drawChoices();
    this.tick();
    this.save();
  }

  // --- The pool of video elements ----------------------------------------

  // A slot of the pool: {video, viewable, time, ready}.
  newSlot() {
    const video = element('video', 'play-video');
    video.muted = this.config.muted ?? true;
    video.playsInline = true;
    video.preload = 'auto';
    video.defaultPlaybackRate = video.playbackRate = this.rate;
    video.addEventListener('loadedmetadata', () => this.lengthKnown(slot, video.duration));
    // The media ended before a frame at the segment's end was seen (its
    // last frames dropped, or a play-to-end segment).
    video.addEventListener('ended', () => {
      if (this.playing === slot && this.running && this.current) this.segmentOver(undefined);
    });
    const slot = { video, viewable: undefined, time: NaN, ready: null };
    this.stage.insertBefore(video, this.notice);
    this.pool.push(slot);
    return slot;
  }

  // The player learns a viewable's length from its media: play-to-end
  // segments of it get their length in the library.
  lengthKnown(slot, duration) {
    const viewable = this.viewables.get(String(slot.viewable));
    if (!viewable || !Number.isFinite(duration) || viewable.length === duration) return;
    viewable.length = duration;
    if (viewable.playToEnd.length) {
      for (const id of viewable.playToEnd) this.graph.setMovieDuration(id, duration);
      this.drawBar();
    }
  }

  // Loads `slot` with viewable `viewable` paused at `time`; `slot.ready`
  // resolves (true, or false for media that does not load) when its frame
  // there is decoded, and `slot.loaded` says so from then on.
  cue(slot, viewable, time) {
    const url = this.viewables.get(String(viewable))?.url;
    const video = slot.video;
    const cueing = (slot.cueing ?? 0) + 1;
    Object.assign(slot, { viewable, time, loaded: false, cueing });
    video.pause();
    const current = () => slot.cueing === cueing; // not cued again meanwhile
    const settled = (event) =>
      Promise.race([once(video, event), once(video, 'error')]).then(
        (result) => result.type !== 'error' && current(),
      );
    slot.ready = (async () => {
      if (!url) return false;
      if (video.src !== new URL(url, document.baseURI).href) {
        video.src = url;
        if (!(await settled('loadedmetadata'))) return false;
      }
      if (time > 0 && !(video.seekable.length && video.seekable.end(0) >= time)) {
        // A server without byte ranges: the media is fetched whole, once.
        video.src = await this.wholeMedia(viewable);
        if (!(await settled('loadedmetadata'))) return false;
      }
      if (Math.abs(video.currentTime - time) > EPSILON || video.readyState < 2) {
        video.currentTime = time;
        if (!(await settled('seeked'))) return false;
      }
      return current();
    })().then((ok) => {
      if (current()) slot.loaded = ok;
      return ok;
    });
  }

  // A blob URL of the viewable's whole media, kept for every element.
  wholeMedia(viewable) {
    const entry = this.viewables.get(String(viewable));
    entry.whole ??= fetch(entry.url)
      .then((answer) =>
        answer.ok ? answer.blob() : Promise.reject(new Error(`HTTP ${answer.status}`)),
      )
      .then((blob) => {
        entry.url = URL.createObjectURL(blob);
        return entry.url;
      });
    return entry.whole;
  }

  holds(slot, viewable, time) {
    return (
      slot.viewable !== undefined &&
      String(slot.viewable) === String(viewable) &&
      Math.abs(slot.time - time) < EPSILON
    );
  }

  // The slot holding `viewable` at `time` (loaded ones first), else one
  // cued there now, sparing those the plan wants unless this is a jump.
  slotFor(viewable, time, jump) {
    const holding = this.pool.filter((s) => s !== this.playing && this.holds(s, viewable, time));
    const slot = holding.find((s) => s.loaded) ?? holding[0];
    if (slot) return slot;
    const free = this.freeSlot(jump ? [] : (this.wanted ?? []));
    this.cue(free, viewable, time);
    return free;
  }

  // A slot not playing and not holding anything in `keep`, made when the
  // pool is not full yet.
  freeSlot(keep) {
    const free = this.pool.filter(
      (s) => s !== this.playing && !keep.some((w) => this.holds(s, w.viewableId, w.fromTime)),
    );
    if (free.length) return free[0];
    if (this.pool.length < this.config.poolSize) return this.newSlot();
    return this.pool.find((s) => s !== this.playing) ?? this.newSlot();
  }

  // What the prefetch plan says may play next, cued in its order in the
  // elements not playing. Entries the playing element reaches by playing
  // on, or that continue another entry in the same viewable, need none.
  plan() {
    const spare = this.config.poolSize - 1;
    const current = this.current;
    if (!current) return;
    const { entries } = this.session.prefetchPlan(this.config.horizon, { maxEntries: 4 * spare });
    const covered = [{ viewable: String(current.viewableId), end: this.endOf(current) }];
    const wanted = [];
    for (const entry of entries) {
      if (entry.segmentId === current.segmentId || entry.viewableId === undefined) continue;
      const segment = this.segmentById(entry.segmentId);
      const viewable = String(entry.viewableId);
      const reached = covered.some(
        (c) => c.viewable === viewable && Math.abs(c.end - entry.fromTime) < EPSILON,
      );
      covered.push({ viewable, end: this.endOf(segment) });
      if (reached || wanted.length >= spare) continue;
      if (
        !wanted.some(
          (w) =>
            String(w.viewableId) === viewable && Math.abs(w.fromTime - entry.fromTime) < EPSILON,
        )
      ) {
        wanted.push(entry);
      }
    }
    this.wanted = wanted;
    for (const entry of wanted) {
      if (
        this.pool.some((s) => s !== this.playing && this.holds(s, entry.viewableId, entry.fromTime))
      )
        continue;
      this.cue(this.freeSlot(wanted), entry.viewableId, entry.fromTime);
    }
    const used = this.pool.filter((s) => s.viewable !== undefined).length;
    let buffered = 0;
    for (const { video } of this.pool) {
      for (let i = 0; i < video.buffered.length; i++)
        buffered += video.buffered.end(i) - video.buffered.start(i);
    }
    this.stats.maxElements = Math.max(this.stats.maxElements, used);
    this.stats.maxBuffered = Math.max(this.stats.maxBuffered, buffered);
  }

  // --- Playing ------------------------------------------------------------

  show(slot) {
    const previous = this.playing;
    this.playing = slot;
    slot.time = NaN; // it plays on from its cue: it holds it no more
    for (const s of this.pool) s.video.classList.toggle('shown', s === slot);
    if (previous && previous !== slot) previous.video.pause();
    this.watch(slot);
    if (!slot.loaded) {
      this.root.classList.add('loading');
      slot.ready.then((ok) => {
        if (this.playing !== slot) return;
        this.root.classList.remove('loading');
        if (!ok) {
          this.say(`no media for viewable ${slot.viewable}`);
          this.pause();
        } else if (this.running) {
          this.resume(slot);
        }
      });
    } else if (this.running) {
      this.resume(slot);
    }
  }

  resume(slot) {
    slot.video
      .play()
      .catch((error) => {
        if (error.name === 'NotAllowedError' && !slot.video.muted) {
          // autoplay refused: muted
          slot.video.muted = true;
          return slot.video.play();
        }
        return undefined;
      })
      .catch(() => {});
  }

  async play() {
    if (!this.session || this.root.classList.contains('unavailable')) return;
    if (this.session.ended()) await this.restart();
    this.running = true;
    this.playButton.textContent = 'Pause';
    if (this.playing?.loaded) this.resume(this.playing);
  }

  pause() {
    this.running = false;
    this.playButton.textContent = 'Play';
    this.playing?.video.pause();
    this.save();
  }

  /** Plays every element at `rate` times its speed. */
  setRate(rate) {
    this.rate = rate;
    for (const { video } of this.pool) video.defaultPlaybackRate = video.playbackRate = rate;
  }

  /** Plays from the start; the story as it is now, when the page can say. */
  async restart() {
    this.root.classList.remove('ended');
    const story = await this.config.reloadStory?.();
    if (story && story.revision !== this.revision) this.loadStory(story);
    else this.say(this.missing);
    this.start(undefined);
  }

  back() {
    if (this.session.back()) this.enter(true);
  }

  seekBar(event) {
    const box = this.bar.getBoundingClientRect();
    if (this.barLength) this.seek(((event.clientX - box.left) / box.width) * this.barLength);
  }

  /** Moves playback to `time` on the session's clock (clamped to its timeline). */
  seek(time) {
    try {
      this.session.seek(Math.min(Math.max(time, 0), this.session.duration().seconds - EPSILON));
    } catch {
      return; // not on the timeline
    }
    this.root.classList.remove('ended');
    this.enter(true);
  }

  // Called for every frame the playing element presents.
  watch(slot) {
    const video = slot.video;
    if (slot.watching) return;
    slot.watching = true;
    const onFrame = (now, frame) => {
      if (this.playing === slot) this.frame(slot, frame);
      if (this.playing === slot) {
        video.requestVideoFrameCallback(onFrame);
      } else {
        slot.watching = false;
      }
    };
    video.requestVideoFrameCallback(onFrame);
  }

  frame(slot, frame) {
    // Frames presented while the element is still being cued are not the
    // segment's (the media's first frame, before the seek).
    if (!slot.loaded) return;
    const t = frame.mediaTime;
    const step = t - this.lastMediaTime;
    if (step > EPSILON) {
      if (!(step >= this.frameInterval)) this.frameInterval = step;
      this.lastStep = step;
    }
    this.lastMediaTime = t;
    const interval = Number.isFinite(this.frameInterval)
      ? this.frameInterval
      : this.config.frameInterval;
    // The next frame presented comes this much later in the media (more
    // than one frame when frames are dropped, as at a high rate).
    const ahead = Math.min(Math.max(interval, this.lastStep || 0), 4 * interval);
    const switching = this.pendingSwitch;
    if (switching && switching.slot === slot) {
      switching.firstFrame = frame.presentationTime ?? performance.now();
      switching.firstMediaTime = t;
      delete switching.slot;
      this.stats.switches.push(switching);
      this.pendingSwitch = undefined;
    }
    let segment = this.current;
    // Segments that continue in this element: the frame belongs to the
    // first whose end it has not reached.
    while (segment && t >= this.endOf(segment) - EPSILON) {
      const next = this.nextAfter(segment);
      if (!next || !this.continues(segment, next)) break;
      this.session.segmentEnded();
      this.enter(false);
      segment = this.current;
    }
    if (!segment) return;
    const end = this.endOf(segment);
    if (t < segment.startTime - EPSILON || t >= end - EPSILON) this.stats.outOfRange++;
    this.session.advance(Number.isFinite(end) ? Math.min(t, end) : t);
    this.tick();
    // The segment's last frame: the next segment starts in another element
    // (or the story ends) before this one presents another frame.
    if (t + ahead >= end - EPSILON) this.segmentOver(frame);
  }

  // The current segment has shown its last frame (`frame`; none when the
  // media ended): on in this element, or to another.
  segmentOver(frame) {
    const next = this.nextAfter(this.current);
    if (next && this.continues(this.current, next)) {
      if (frame) return; // the element plays on into it
      this.session.segmentEnded();
      this.enter(true);
      return;
    }
    this.switchTo(next, frame);
  }

  nextAfter(segment) {
    const id = this.source.nextSegmentAfterSegment(segment.segmentId);
    return this.segmentById(id);
  }

  continues(segment, next) {
    return (
      String(next.viewableId) === String(segment.viewableId) &&
      Math.abs(next.startTime - this.endOf(segment)) < EPSILON
    );
  }

  switchTo(next, frame) {
    const from = this.current;
    const old = this.playing;
    old.video.pause();
    this.session.segmentEnded();
    if (!next) {
      this.finish();
      return;
    }
    const slot = this.slotFor(next.viewableId, next.startTime, false);
    if (!slot.loaded) this.stats.stalls++;
    this.stats.swaps++;
    this.pendingSwitch = {
      from: from.segmentId,
      to: next.segmentId,
      slot,
      lastFrame: frame?.presentationTime ?? performance.now(),
      lastMediaTime: frame?.mediaTime,
      start: next.startTime,
      preloaded: slot.loaded,
      frameInterval: this.frameInterval,
      rate: this.rate,
    };
    // When the page draws the switch: the next segment's first frame (the
    // one the element holds) is on screen from then.
    const record = this.pendingSwitch;
    requestAnimationFrame((now) => (record.shown = now));
    this.show(slot);
    this.enter(false);
  }

  // --- What the page shows ------------------------------------------------

  tick() {
    if (!this.session) return;
    const now = this.session.sessionTime();
    const { seconds: total, known } = this.session.duration();
    this.clock.textContent = `${seconds(now)} / ${known ? seconds(total) : `${seconds(total)}+?`}`;
    if (this.barLength) this.cursor.style.left = `${(100 * now) / this.barLength}%`;
    const d = this.decision;
    if (d && this.choiceButtons) {
      const open = now >= d.windowStart - EPSILON && !(now > d.deadline);
      this.choices.hidden = !(now >= d.windowStart - EPSILON);
      for (const button of this.choiceButtons) button.disabled = !open;
      this.countdown.textContent = Number.isFinite(d.deadline)
        ? open
          ? `${Math.max(0, d.deadline - now).toFixed(1)} s to choose`
          : `${d.next ?? 'the end'} next`
        : 'choose before the segment ends';
    }
  }

  // The whole bar: every segment of the timeline (runs of segments too
  // narrow to see drawn as one), decision windows ahead, decisions taken.
  drawBar() {
    const timeline = this.session.timeline();
    const { seconds: total } = this.session.duration();
    // Segments of unknown length get a share of the bar until they are known.
    const unknown = timeline.filter((e) => !e.durationKnown).length;
    const length = Math.max(total, EPSILON) * (unknown ? 1.25 : 1);
    const share = unknown ? (0.2 * length) / unknown : 0;
    const percent = (time) => `${(100 * time) / length}%`;
    this.barLength = length;
    this.places = []; // [offset, width] on the bar of each timeline entry
    const parts = [];
    let offset = 0;
    let run = null; // the part still growing by narrow segments
    for (const entry of timeline) {
      const width = entry.durationKnown ? entry.end - entry.start : share;
      this.places.push([offset, width]);
      if (run && entry.durationKnown && width / length < 0.004 && run.known) {
        run.width += width;
        run.part.style.width = percent(run.width);
        run.part.title = `${run.first} … ${entry.segmentId}`;
      } else {
        const part = element('div', 'play-part');
        part.style.left = percent(offset);
        part.style.width = percent(width);
        part.classList.toggle('unknown', !entry.durationKnown);
        part.title = `${entry.segmentId}: ${entry.durationKnown ? seconds(width) : 'length unknown until its video loads'}`;
        if (!entry.durationKnown) part.textContent = '?';
        parts.push(part);
        run = { part, width, first: entry.segmentId, known: entry.durationKnown };
      }
      offset += width;
    }
    this.played = element('div', 'play-played');
    this.currentPart = element('div', 'play-current');
    parts.push(this.played, this.currentPart);
    for (const d of this.session.upcomingDecisions(this.config.horizon * 5)) {
      const mark = element('div', 'play-decision');
      const end = Number.isFinite(d.windowEnd) ? d.windowEnd : d.windowStart;
      mark.style.left = percent(d.windowStart);
      mark.style.width = percent(Math.max(0, end - d.windowStart));
      mark.title = `decision at ${d.entry.segmentId}`;
      parts.push(mark);
    }
    this.taken = 0;
    parts.push(this.cursor);
    this.bar.replaceChildren(...parts);
    this.markStep();
  }

  // What changes on the bar from one segment to the next on the same
  // timeline: the played part, the current segment, decisions taken.
  markStep() {
    const [offset, width] = this.places[this.session.currentStep()] ?? [0, 0];
    const percent = (time) => `${(100 * time) / this.barLength}%`;
    this.played.style.width = percent(offset);
    this.currentPart.style.left = percent(offset);
    this.currentPart.style.width = percent(width);
    const records = this.session.decisions();
    for (const record of records.slice(this.taken)) {
      const place = this.places[record.step];
      if (!place) continue;
      const mark = element('div', record.defaulted ? 'play-taken defaulted' : 'play-taken');
      mark.style.left = percent(place[0] + place[1]);
      mark.title = `${record.segmentId} → ${record.destination ?? 'end'}${record.defaulted ? ' (default)' : ''}`;
      this.bar.insertBefore(mark, this.cursor);
    }
    this.taken = records.length;
  }

  drawChoices() {
    const d = this.decision;
    this.choiceButtons = null;
    if (!d || this.session.ended()) {
      this.choices.replaceChildren();
      this.choices.hidden = true;
      return;
    }
    const label = element('span', 'play-question', `After ${d.entry.segmentId}:`);
    this.countdown = element('span', 'play-countdown');
    this.choiceButtons = d.waysOn.map((way) => {
      const button = element('button', 'play-choice', way.segmentId);
      button.type = 'button';
      button.dataset.segment = way.segmentId;
      if (way.segmentId === d.next) button.classList.add('next');
      button.setAttribute('aria-pressed', String(d.overridden && way.segmentId === d.next));
      button.addEventListener('click', () => this.choose(way.segmentId));
      return button;
    });
    this.choices.replaceChildren(label, ...this.choiceButtons, this.countdown);
  }

  choose(segmentId) {
    try {
      this.session.choose(segmentId);
    } catch (error) {
      this.say(error.message);
      return;
    }
    this.save();
    const focused = document.activeElement?.dataset?.segment;
    this.refresh();
    if (focused) this.choices.querySelector(`[data-segment="${CSS.escape(focused)}"]`)?.focus();
  }
}
