// The page of `playgraph serve`: the graph (laid out by the server), the
// default path as a timeline with a time cursor, the selected segment with
// its edits, and the findings of `playgraph check`. Every answer comes from
// the library through the server's JSON API.
'use strict';

const token = document.querySelector('meta[name="playgraph-token"]').content;
const $ = (id) => document.getElementById(id);

const app = {
  state: null,       // /api/state
  path: [],          // default path entries with display offsets
  picture: null,     // /api/graph
  findings: null,    // /api/findings
  changes: null,     // /api/changes: since the file was opened or last saved
  selected: null,    // selected segment id
  zoom: null,       // graph scale; set to fit by the first picture
  cursor: 0,         // playgraph time of the cursor, seconds
  answer: null,      // /api/at for the cursor
  view: { t0: 0, t1: 1 },
};

// ---- talking to the server -------------------------------------------------

async function api(path, body) {
  const options = body === undefined ? {} : {
    method: 'POST',
    headers: { 'Content-Type': 'application/json', 'X-Playgraph-Token': token },
    body: JSON.stringify(body),
  };
  const response = await fetch(path, options);
  let data;
  try {
    data = await response.json();
  } catch (e) {
    data = { error: `${response.status} ${response.statusText}` };
  }
  if (!response.ok) {
    const error = new Error(data.error || response.statusText);
    error.status = response.status;
    throw error;
  }
  return data;
}

function showMessage(text, isError) {
  const box = $('message');
  box.textContent = text;
  box.className = isError ? 'error' : '';
  box.hidden = !text;
}

// Runs an action; a refusal is shown with the server's (the library's) message.
async function attempt(action) {
  try {
    await action();
  } catch (error) {
    showMessage(error.message, true);
  }
}

// ---- formatting ------------------------------------------------------------

function secondsText(value) {
  return value === null || value === undefined ? '?' : value.toFixed(3);
}

// m:ss.mmm, and h:mm:ss.mmm from an hour on.
function clockText(value) {
  if (value === null || !isFinite(value)) return '?';
  const sign = value < 0 ? '-' : '';
  const ms = Math.round(Math.abs(value) * 1000);
  const hours = Math.floor(ms / 3600000);
  const minutes = Math.floor(ms / 60000) % 60;
  const rest = ((ms % 60000) / 1000).toFixed(3).padStart(6, '0');
  return hours ? `${sign}${hours}:${String(minutes).padStart(2, '0')}:${rest}` : `${sign}${minutes}:${rest}`;
}

// An id as one word of an edit operation: bare when it can be, else quoted.
function word(id) {
  return /^[^\s"{}\\]+$/.test(id) && id !== 'default' ? id : JSON.stringify(id);
}

function element(tag, attributes = {}, ...children) {
  const node = document.createElement(tag);
  for (const [key, value] of Object.entries(attributes)) {
    if (key === 'onclick') node.addEventListener('click', value);
    else if (key === 'text') node.textContent = value;
    else node.setAttribute(key, value);
  }
  for (const child of children) node.append(child);
  return node;
}

// ---- state -----------------------------------------------------------------

function setState(state) {
  app.state = state;
  $('name').textContent = state.name;
  document.title = `${state.dirty ? '* ' : ''}${state.name} - playgraph`;
  $('dirty').hidden = !state.dirty;
  $('summary').textContent = `${state.segmentCount} segments \u00b7 ${state.transitionCount} ` +
      `transitions \u00b7 default path ${state.path.length} segments, ` +
      `${clockText(state.duration)}`;
  $('undo').disabled = !state.canUndo;
  $('undo').title = state.undoLabel ? `Undo ${state.undoLabel} (Ctrl+Z)` : 'Nothing to undo';
  $('redo').disabled = !state.canRedo;
  $('redo').title = state.redoLabel ? `Redo ${state.redoLabel} (Ctrl+Shift+Z)` : 'Nothing to redo';
  $('save').disabled = state.file === null;
  $('save').title = state.file === null ? 'Not opened from a file' : `Save to ${state.file} (Ctrl+S)`;
  setPath(state.path);
}

// After any change: the state, the picture and the selection, fetched
// together; then the cursor's answer and the findings, which all depend on it.
async function refresh(state) {
  const selected = app.selected;
  const [fresh, stillThere] = await Promise.all([
    state || api('/api/state'),
    selected !== null && loadSegment(selected),
    loadGraph(selected),
  ]);
  setState(fresh);
  // The selection stays when its segment is gone, so that an undo that
  // brings it back shows it again.
  if (selected !== null && !stillThere) {
    $('segment-panel').replaceChildren(element('p', { class: 'empty', text: 'The segment is gone.' }));
  }
  await moveCursor(app.cursor);
  attempt(loadFindings);
  attempt(loadChanges);
  attempt(loadMedia);
}

async function change(path, body) {
  const state = await api(path, body);
  showMessage(state.warnings && state.warnings.length ? `Done, but ${state.warnings.join('; ')}.` : '');
  await refresh(state);
}

// Applies an edit; `made` names the segment it makes, which is then
// selected and drawn at the centre of the view.
function edit(op, made) {
  return attempt(async () => {
    await change('/api/edit', { op });
    if (made) await select(made, true);
  });
}

async function save() {
  try {
    await change('/api/save', { overwrite: false });
    showMessage(`Saved ${app.state.file}.`);
  } catch (error) {
    if (error.status !== 409) throw error;
    if (!window.confirm(`${error.message}. Overwrite it with this playgraph?`)) {
      showMessage('Not saved.', true);
      return;
    }
    await change('/api/save', { overwrite: true });
    showMessage(`Saved ${app.state.file}.`);
  }
}

// ---- the graph -------------------------------------------------------------

async function loadGraph(focus) {
  const query = focus ? `?focus=${encodeURIComponent(focus)}` : '';
  const picture = await api(`/api/graph${query}`);
  app.picture = picture;
  const svg = new DOMParser().parseFromString(picture.svg, 'image/svg+xml').documentElement;
  svg.removeAttribute('width');
  svg.removeAttribute('height');
  const box = svg.viewBox.baseVal;
  app.naturalWidth = box.width * 4 / 3;  // points to pixels
  app.naturalHeight = box.height * 4 / 3;
  const container = $('graph');
  container.replaceChildren(svg);
  if (app.zoom === null) app.zoom = Math.max(0.6, Math.min(1, container.clientWidth / app.naturalWidth));
  applyZoom();
  const shown = picture.ids.length;
  $('graph-info').textContent = shown < picture.total
    ? `${shown} of ${picture.total} nodes, around ${picture.focus}; click a node to move there`
    : `${picture.total} nodes`;
  markGraph();
  const focusNode = nodeFor(focus || picture.focus);
  if (focusNode && shown < picture.total) focusNode.scrollIntoView({ block: 'center', inline: 'center' });
}

function nodeFor(id) {
  if (!app.picture) return null;
  const index = app.picture.ids.indexOf(id);
  return index < 0 ? null : $('graph').querySelector(`g.node#n${index}`);
}

function idOfNode(node) {
  return app.picture.ids[Number(node.id.slice(1))];
}

function applyZoom() {
  const svg = $('graph').querySelector('svg');
  if (!svg) return;
  svg.style.width = `${app.naturalWidth * app.zoom}px`;
  svg.style.height = `${app.naturalHeight * app.zoom}px`;
}

// Selection, findings and unsaved changes are marked on the drawn nodes.
function markGraph() {
  const withFindings = new Set((app.findings ? app.findings.findings : [])
      .map((f) => f.segment).filter((s) => s !== null));
  const changed = new Set(app.changes ? app.changes.segments : []);
  for (const node of $('graph').querySelectorAll('g.node')) {
    const id = idOfNode(node);
    node.classList.toggle('selected', id === app.selected);
    node.classList.toggle('finding', withFindings.has(id));
    node.classList.toggle('changed', changed.has(id));
    const badge = node.querySelector('.badge');
    if (withFindings.has(id) && !badge) {
      const box = node.getBBox();
      const mark = document.createElementNS('http://www.w3.org/2000/svg', 'text');
      mark.setAttribute('class', 'badge');
      mark.setAttribute('x', box.x + box.width - 4);
      mark.setAttribute('y', box.y + 11);
      mark.textContent = '!';
      node.append(mark);
    } else if (!withFindings.has(id) && badge) {
      badge.remove();
    }
  }
}

async function select(id, centre) {
  if (!(await loadSegment(id))) return;
  app.selected = id;
  const truncated = app.picture && app.picture.ids.length < app.picture.total;
  if (truncated || !nodeFor(id)) await loadGraph(id);
  else markGraph();
  const node = nodeFor(id);
  if (centre && node) node.scrollIntoView({ block: 'center', inline: 'center' });
  drawTimeline();
}

// ---- the selected segment --------------------------------------------------

async function loadSegment(id) {
  let segment;
  try {
    segment = await api(`/api/segment?id=${encodeURIComponent(id)}`);
  } catch (error) {
    if (error.status === 404) return false;
    throw error;
  }
  renderSegment(segment);
  return true;
}

function field(table, name, value) {
  table.append(element('tr', {}, element('th', { text: name }), element('td', { text: value })));
}

function segmentLink(id) {
  return element('button', { class: 'link', type: 'button', text: id, onclick: () => attempt(() => select(id)) });
}

function renderSegment(s) {
  const panel = $('segment-panel');
  const fields = element('table', { class: 'fields' });
  field(fields, 'viewable', s.viewable === null ? 'none' : String(s.viewable));
  field(fields, 'start', `${secondsText(s.start)} s`);
  field(fields, 'end', s.playToEnd && s.end === null ? 'end of viewable' : `${secondsText(s.end)} s`);
  field(fields, 'duration', `${secondsText(s.duration)} s`);
  field(fields, 'offset in playgraph', s.onDefaultPath ? `${secondsText(s.offset)} s` : 'not on the default path');
  field(fields, 'default next', s.defaultNext === null ? 'none' : s.defaultNext);

  const transitions = element('table', { class: 'fields transitions' });
  for (const t of s.transitions) {
    const weight = element('input', { type: 'text', value: t.weight === null ? '' : String(t.weight), 'aria-label': `weight to ${t.to}` });
    const setWeight = element('button', { type: 'button', text: 'Set', onclick: () => {
      const value = Number(weight.value);
      if (weight.value.trim() === '' || !isFinite(value)) return showMessage('The weight must be a number.', true);
      return edit(`update ${word(s.id)} ${word(t.to)} ${JSON.stringify({ weight: value })}`);
    } });
    const isDefault = t.isDefault ? element('span', { class: 'star', text: '\u2605 default' })
      : element('button', { type: 'button', text: 'Make default', onclick: () => edit(`set-default ${word(s.id)} ${word(t.to)}`) });
    transitions.append(element('tr', {},
        element('td', {}, t.exists ? segmentLink(t.to) : element('span', { class: 'missing', text: `${t.to} (missing)` })),
        element('td', {}, weight, ' ', setWeight),
        element('td', { text: [t.type, t.skipRegionOffset === null ? null : `skip after ${t.skipRegionOffset} s`].filter((x) => x).join(', ') }),
        element('td', {}, isDefault)));
  }

  const addTo = element('input', { type: 'text', id: 'add-to', placeholder: 'segment id', spellcheck: 'false' });
  const addWeight = element('input', { type: 'text', id: 'add-weight', value: '50' });
  const addDefault = element('input', { type: 'checkbox', id: 'add-default' });
  const addButton = element('button', { type: 'button', id: 'add-transition', text: 'Add transition', onclick: () => {
    const value = Number(addWeight.value);
    if (!isFinite(value) || addWeight.value.trim() === '') return showMessage('The weight must be a number.', true);
    return edit(`add-transition ${word(s.id)} ${word(addTo.value)}${addDefault.checked ? ' default' : ''} ${JSON.stringify({ weight: value })}`);
  } });

  const newId = element('input', { type: 'text', id: 'insert-id', value: `${s.id}-new`, spellcheck: 'false' });
  const newViewable = element('input', { type: 'text', id: 'insert-viewable', value: s.viewable === null ? 'none' : String(s.viewable) });
  const newStart = element('input', { type: 'text', id: 'insert-start', value: '0' });
  const newEnd = element('input', { type: 'text', id: 'insert-end', value: '5' });
  const newDefault = element('input', { type: 'checkbox', id: 'insert-default', checked: '' });
  // The times go to the server as typed, which reads them as the tool does.
  const insert = (where) => {
    const viewable = newViewable.value.trim() || 'none';
    const base = `${word(s.id)} ${word(newId.value)} ${word(viewable)} ${word(newStart.value.trim())} ${word(newEnd.value.trim())}`;
    const op = where === 'after' ? `insert-after ${base}${newDefault.checked ? ' default' : ''}` : `insert-${where} ${base}`;
    return edit(op, newId.value);
  };

  const incoming = element('p', {});
  if (s.incoming.length === 0) incoming.append('none');
  s.incoming.forEach((id, i) => incoming.append(i ? ', ' : '', segmentLink(id)));
  if (s.incomingCount > s.incoming.length) incoming.append(` and ${s.incomingCount - s.incoming.length} more`);

  const findingsHere = element('ul', {});
  for (const f of (app.findings ? app.findings.findings : []).filter((f) => f.segment === s.id)) {
    findingsHere.append(element('li', { text: `${f.path}: ${f.message}` }));
  }

  const children = [
    element('h2', { text: s.id }),
    element('p', { class: 'flags', text: s.flags }),
    fields,
    element('h3', { text: 'Transitions' }),
    s.transitions.length ? transitions : element('p', { class: 'empty', text: 'none' }),
    element('h3', { text: 'Add a transition' }),
    element('div', { class: 'edit-grid' },
        element('label', { for: 'add-to', text: 'to' }), addTo,
        element('label', { for: 'add-weight', text: 'weight' }), addWeight,
        element('label', { for: 'add-default', text: 'as default' }), addDefault),
    element('div', { class: 'buttons' }, addButton),
    element('h3', { text: 'Reached from' }),
    incoming,
    element('h3', { text: 'Insert a segment' }),
    element('div', { class: 'edit-grid' },
        element('label', { for: 'insert-id', text: 'new id' }), newId,
        element('label', { for: 'insert-viewable', text: 'viewable' }), newViewable,
        element('label', { for: 'insert-start', text: 'start (s)' }), newStart,
        element('label', { for: 'insert-end', text: 'end (s)' }), newEnd,
        element('label', { for: 'insert-default', text: 'as default (after)' }), newDefault),
    element('div', { class: 'buttons' },
        element('button', { type: 'button', id: 'insert-after', text: 'Insert after', onclick: () => insert('after') }),
        element('button', { type: 'button', id: 'insert-before', text: 'Insert before', onclick: () => insert('before') }),
        element('button', { type: 'button', id: 'insert-between', text: 'Insert between',
          title: `The new segment plays after ${s.id} and leads on to ${s.defaultNext === null ? 'nothing' : s.defaultNext}`,
          onclick: () => insert('between') }),
        element('button', { type: 'button', id: 'remove', class: 'danger', text: 'Remove segment', onclick: () => edit(`remove ${word(s.id)}`) })),
  ];
  if (s.annotations !== null) children.push(element('h3', { text: 'Annotations' }), element('pre', { text: JSON.stringify(s.annotations, null, 2) }));
  if (s.userInfo !== null) children.push(element('h3', { text: 'User info' }), element('pre', { text: JSON.stringify(s.userInfo, null, 2) }));
  if (findingsHere.childElementCount) children.push(element('h3', { text: 'Check findings' }), findingsHere);
  panel.replaceChildren(...children);
}

// ---- findings --------------------------------------------------------------

async function loadFindings() {
  const revision = app.state.revision;
  const findings = await api('/api/findings');
  if (!app.state || findings.revision !== revision) return; // a later change will ask again
  app.findings = findings;
  $('findings-count').textContent = findings.total ? `(${findings.total})` : '';
  const list = $('findings');
  list.replaceChildren();
  if (findings.total === 0) list.append(element('li', { class: 'empty', text: 'No findings.' }));
  for (const f of findings.findings) {
    const item = element('li', {}, element('span', { class: 'path', text: f.path }), `: ${f.message} `);
    if (f.segment !== null) item.append(segmentLink(f.segment));
    list.append(item);
  }
  if (findings.total > findings.findings.length) list.append(element('li', { text: `and ${findings.total - findings.findings.length} more` }));
  markGraph();
}

// ---- changes since the file was opened or last saved ----------------------

async function loadChanges() {
  const revision = app.state.revision;
  const changes = await api('/api/changes');
  if (!app.state || changes.revision !== revision) return; // a later change will ask again
  app.changes = changes;
  $('changes-count').textContent = changes.total ? `(${changes.total})` : '';
  const list = $('changes');
  list.replaceChildren();
  if (changes.total === 0) list.append(element('li', { class: 'empty', text: 'No unsaved changes.' }));
  for (const c of changes.changes) {
    const what = c.renamedTo !== null ? `renamed to ${c.renamedTo}`
      : `${c.before === null ? '(absent)' : c.before} \u2192 ${c.after === null ? '(absent)' : c.after}`;
    const item = element('li', {}, element('span', { class: 'path', text: c.path }), ` ${c.kind}: ${what} `);
    const shown = c.renamedTo !== null ? c.renamedTo : c.segment;
    if (shown !== null) item.append(segmentLink(shown));
    list.append(item);
  }
  if (changes.total > changes.changes.length) list.append(element('li', { text: `and ${changes.total - changes.changes.length} more` }));
  markGraph();
}

// ---- media of the viewables (`--media`) ------------------------------------

async function loadMedia() {
  const listing = await api('/api/media');
  const list = $('media');
  list.replaceChildren();
  if (listing.source === null) {
    list.append(element('li', { class: 'empty', text: 'No media: start the server with --media FOLDER or --media map.json.' }));
    return;
  }
  for (const m of listing.media) {
    list.append(element('li', { class: 'has-media' }, `viewable ${m.viewable}: `, element('span', { class: 'path', text: m.local ? 'served' : m.url })));
  }
  for (const id of listing.missing) {
    list.append(element('li', { class: 'missing-media', text: `no media for viewable ${id}` }));
  }
}

// ---- the timeline ----------------------------------------------------------

// Play-to-end segments have no known length; they are drawn this long.
function openEndedLength(known) {
  return Math.max(10, known * 0.1);
}

function setPath(path) {
  const known = path.reduce((sum, p) => sum + (p.duration === null ? 0 : p.duration), 0);
  let offset = 0;
  app.path = path.map((p) => {
    const length = p.duration === null ? openEndedLength(known) : p.duration;
    const entry = { ...p, offset, length };
    offset += length;
    return entry;
  });
  const total = Math.max(offset, 1);
  const whole = app.view.total === undefined || (app.view.t0 === 0 && app.view.t1 === app.view.total);
  if (whole) {
    app.view = { t0: 0, t1: total, total };
  } else {
    const span = Math.min(app.view.t1 - app.view.t0, total);
    const t0 = Math.min(app.view.t0, total - span);
    app.view = { t0, t1: t0 + span, total };
  }
  drawTimeline();
}

function timelineScale(canvas) {
  return canvas.clientWidth / (app.view.t1 - app.view.t0);
}

// The index of the last path entry starting at or before `time`.
function entryAt(time) {
  let low = 0;
  let high = app.path.length - 1;
  if (high < 0 || time < app.path[0].offset) return -1;
  while (low < high) {
    const middle = (low + high + 1) >> 1;
    if (app.path[middle].offset <= time) low = middle;
    else high = middle - 1;
  }
  return low;
}

function drawTimeline() {
  const canvas = $('timeline');
  const ratio = window.devicePixelRatio || 1;
  const width = canvas.clientWidth;
  const height = canvas.clientHeight;
  if (canvas.width !== Math.round(width * ratio)) canvas.width = Math.round(width * ratio);
  canvas.height = Math.round(height * ratio);
  const g = canvas.getContext('2d');
  g.setTransform(ratio, 0, 0, ratio, 0, 0);
  g.clearRect(0, 0, width, height);
  const scale = timelineScale(canvas);
  const x = (t) => (t - app.view.t0) * scale;
  const top = 8;
  const barHeight = 36;
  g.font = '11px sans-serif';
  g.textBaseline = 'middle';
  for (let i = Math.max(0, entryAt(app.view.t0)); i < app.path.length; ++i) {
    const p = app.path[i];
    if (p.offset > app.view.t1) break;
    const left = x(p.offset);
    const w = Math.max(1, p.length * scale - 1);
    if (p.duration === null) {
      const fade = g.createLinearGradient(left, 0, left + w, 0);
      fade.addColorStop(0, '#54aeff');
      fade.addColorStop(1, 'rgba(84,174,255,0)');
      g.fillStyle = fade;
    } else {
      g.fillStyle = p.decorative ? '#d0d7de' : (i % 2 ? '#54aeff' : '#80ccff');
    }
    g.fillRect(left, top, w, barHeight);
    if (p.decorative) {
      g.strokeStyle = '#8c959f';
      g.setLineDash([4, 3]);
      g.strokeRect(left + 0.5, top + 0.5, w - 1, barHeight - 1);
      g.setLineDash([]);
    }
    if (p.id === app.selected) {
      g.strokeStyle = '#bf3989';
      g.lineWidth = 3;
      g.strokeRect(left + 1.5, top + 1.5, w - 3, barHeight - 3);
      g.lineWidth = 1;
    }
    if (w > 30) {
      g.save();
      g.beginPath();
      g.rect(left, top, w, barHeight);
      g.clip();
      g.fillStyle = '#1f2328';
      g.fillText(p.id + (p.duration === null ? ' \u2192 end' : ''), left + 4, top + barHeight / 2);
      g.restore();
    }
  }
  g.fillStyle = '#57606a';
  g.textBaseline = 'alphabetic';
  g.fillText(clockText(app.view.t0), 2, height - 6);
  const endText = clockText(app.view.t1);
  g.fillText(endText, width - g.measureText(endText).width - 2, height - 6);
  const cx = x(app.cursor);
  if (cx >= 0 && cx <= width) {
    g.strokeStyle = '#cf222e';
    g.lineWidth = 2;
    g.beginPath();
    g.moveTo(cx, 2);
    g.lineTo(cx, top + barHeight + 6);
    g.stroke();
    g.lineWidth = 1;
  }
}

// Cursor queries go one at a time; while one is out, only the latest time
// waits to be asked next.
let cursorBusy = false;
let cursorPending = null;

// `time` is a number of seconds (from the timeline) or the text of the time
// box, which the server reads as the tool reads a time and may refuse.
async function moveCursor(time) {
  const typed = typeof time === 'string';
  if (!typed) {
    app.cursor = Math.max(0, time);
    $('time').value = String(Number(app.cursor.toFixed(3)));
    drawTimeline();
  }
  const query = typed ? time : String(app.cursor);
  if (cursorBusy) {
    cursorPending = query;
    return;
  }
  cursorBusy = true;
  try {
    let next = query;
    while (next !== null) {
      cursorPending = null;
      let answer;
      try {
        answer = await api(`/api/at?t=${encodeURIComponent(next)}`);
      } catch (error) {
        if (error.status !== 400) throw error;
        answer = { refused: error.message };
      }
      if (cursorPending === null) showAnswer(answer);
      next = cursorPending;
    }
  } catch (error) {
    showMessage(error.message, true);
  } finally {
    cursorBusy = false;
  }
}

function showAnswer(answer) {
  const text = $('answer');
  if (answer.refused) {
    app.answer = null;
    text.textContent = answer.refused;
    text.className = 'none refused';
    $('split').disabled = true;
    $('split').title = 'No time to split at';
    $('split-what').textContent = 'Split at the cursor:';
    return;
  }
  app.answer = answer;
  if (answer.time !== app.cursor) {
    app.cursor = answer.time;
    drawTimeline();
  }
  if (answer.segment === null) {
    text.textContent = `no segment at ${clockText(answer.time)}`;
    text.className = 'none';
  } else {
    text.textContent = `${answer.segment} \u00b7 viewable ${answer.viewable === null ? 'none' : answer.viewable}` +
        ` \u00b7 viewable time ${secondsText(answer.viewableTime)} s`;
    text.className = '';
  }
  const canSplit = answer.segment !== null && answer.offsetInSegment !== null;
  // Disabled where the tool would refuse the split, with its reason.
  $('split').disabled = !canSplit || answer.splitProblem !== null;
  $('split').title = answer.splitProblem || '';
  $('split-what').textContent = canSplit
    ? `Split ${answer.segment} at ${secondsText(answer.offsetInSegment)} s from its start:`
    : 'Split at the cursor:';
  if (canSplit && $('split-form').dataset.segment !== answer.segment) {
    $('split-form').dataset.segment = answer.segment;
    $('split-first').value = answer.segment;
    $('split-second').value = `${answer.segment}-b`;
  }
}

function timeAtX(clientX) {
  const canvas = $('timeline');
  const box = canvas.getBoundingClientRect();
  return app.view.t0 + (clientX - box.left) / timelineScale(canvas);
}

function setUpTimeline() {
  const canvas = $('timeline');
  let dragging = false;
  let moved = false;
  canvas.addEventListener('pointerdown', (event) => {
    dragging = true;
    moved = false;
    canvas.setPointerCapture(event.pointerId);
    moveCursor(timeAtX(event.clientX));
  });
  canvas.addEventListener('pointermove', (event) => {
    if (!dragging) return;
    moved = true;
    moveCursor(timeAtX(event.clientX));
  });
  canvas.addEventListener('pointerup', (event) => {
    if (!dragging) return;
    dragging = false;
    if (!moved) {
      const index = entryAt(timeAtX(event.clientX));
      if (index >= 0 && timeAtX(event.clientX) < app.path[index].offset + app.path[index].length) {
        attempt(() => select(app.path[index].id));
      }
    }
  });
  canvas.addEventListener('wheel', (event) => {
    event.preventDefault();
    const span = app.view.t1 - app.view.t0;
    const total = app.view.total;
    if (event.shiftKey || Math.abs(event.deltaX) > Math.abs(event.deltaY)) {
      const shift = (event.deltaX || event.deltaY) / canvas.clientWidth * span;
      const t0 = Math.min(Math.max(0, app.view.t0 + shift), Math.max(0, total - span));
      app.view = { t0, t1: t0 + span, total };
    } else {
      const at = timeAtX(event.clientX);
      const factor = Math.exp(event.deltaY * 0.002);
      const newSpan = Math.min(total, Math.max(0.05, span * factor));
      const t0 = Math.min(Math.max(0, at - (at - app.view.t0) * newSpan / span), total - newSpan);
      app.view = { t0, t1: t0 + newSpan, total };
    }
    drawTimeline();
  }, { passive: false });
  window.addEventListener('resize', drawTimeline);
}

// ---- wiring ----------------------------------------------------------------

function undo() { return attempt(() => change('/api/undo', {})); }
function redo() { return attempt(() => change('/api/redo', {})); }

function setUp() {
  $('undo').addEventListener('click', undo);
  $('redo').addEventListener('click', redo);
  $('save').addEventListener('click', () => attempt(save));
  $('zoom-in').addEventListener('click', () => { app.zoom *= 1.25; applyZoom(); });
  $('zoom-out').addEventListener('click', () => { app.zoom /= 1.25; applyZoom(); });
  $('zoom-fit').addEventListener('click', () => {
    app.zoom = Math.min(4, $('graph').clientWidth / Math.max(1, app.naturalWidth));
    applyZoom();
  });
  $('graph').addEventListener('click', (event) => {
    const node = event.target.closest('g.node');
    if (node) attempt(() => select(idOfNode(node)));
  });
  $('time').addEventListener('input', () => moveCursor($('time').value));
  $('split-form').addEventListener('submit', (event) => {
    event.preventDefault();
    const answer = app.answer;
    if (!answer || answer.segment === null) return;
    const first = $('split-first').value;
    const second = $('split-second').value;
    edit(`split ${word(answer.segment)} ${answer.offsetInSegment} ${word(first)} ${word(second)}`,
        second !== answer.segment ? second : first);
  });
  document.addEventListener('keydown', (event) => {
    const typing = event.target.closest('input, textarea');
    if (!(event.ctrlKey || event.metaKey) || event.altKey) return;
    const key = event.key.toLowerCase();
    if (key === 's') {
      event.preventDefault();
      attempt(save);
    } else if (!typing && key === 'z') {
      event.preventDefault();
      if (event.shiftKey) redo();
      else undo();
    } else if (!typing && key === 'y') {
      event.preventDefault();
      redo();
    }
  });
  setUpTimeline();
  attempt(async () => {
    await refresh();
    // For tests and measurements: the page has drawn the graph and the path.
    performance.mark('playgraph-ready');
    document.body.dataset.ready = 'true';
  });
}

setUp();
