// The page's state, shared by its parts, and the changes that renew it: an
// edit, undo, redo or save, then everything fetched again.

import { api, attempt, showMessage } from './api.js';
import { $, clockText, element } from './dom.js';
import { loadGraph, select } from './graph.js';
import { loadChanges, loadFindings, loadMedia, loadSegment } from './panels.js';
import { moveCursor, setPath } from './timeline.js';

export const app = {
  state: null, // /api/state
  path: [], // default path entries with display offsets
  picture: null, // /api/graph
  findings: null, // /api/findings
  changes: null, // /api/changes: since the file was opened or last saved
  selected: null, // selected segment id
  zoom: null, // graph scale; set to fit by the first picture
  cursor: 0, // playgraph time of the cursor, seconds
  answer: null, // /api/at for the cursor
  view: { t0: 0, t1: 1 },
};

function setState(state) {
  app.state = state;
  $('name').textContent = state.name;
  document.title = `${state.dirty ? '* ' : ''}${state.name} - playgraph`;
  $('dirty').hidden = !state.dirty;
  $('summary').textContent =
    `${state.segmentCount} segments \u00b7 ${state.transitionCount} ` +
    `transitions \u00b7 default path ${state.path.length} segments, ` +
    `${clockText(state.duration)}`;
  $('undo').disabled = !state.canUndo;
  $('undo').title = state.undoLabel ? `Undo ${state.undoLabel} (Ctrl+Z)` : 'Nothing to undo';
  $('redo').disabled = !state.canRedo;
  $('redo').title = state.redoLabel ? `Redo ${state.redoLabel} (Ctrl+Shift+Z)` : 'Nothing to redo';
  $('save').disabled = state.file === null;
  $('save').title =
    state.file === null ? 'Not opened from a file' : `Save to ${state.file} (Ctrl+S)`;
  setPath(state.path);
}

// After any change: the state, the picture and the selection, fetched
// together; then the cursor's answer and the findings, which all depend on it.
export async function refresh(state) {
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
    $('segment-panel').replaceChildren(
      element('p', { class: 'empty', text: 'The segment is gone.' }),
    );
  }
  await moveCursor(app.cursor);
  attempt(loadFindings);
  attempt(loadChanges);
  attempt(loadMedia);
}

async function change(path, body) {
  const state = await api(path, body);
  showMessage(
    state.warnings && state.warnings.length ? `Done, but ${state.warnings.join('; ')}.` : '',
  );
  await refresh(state);
}

// Applies an edit of `playgraph edit`: its verb and its words (ids and times
// as typed, "default" where the flag goes, PROPERTIES as an object); `made`
// names the segment it makes, which is then selected and drawn at the centre
// of the view.
export function edit(verb, args, made) {
  return attempt(async () => {
    await change('/api/edit', { verb, args });
    if (made) await select(made, true);
  });
}

export async function save() {
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

export function undo() {
  return attempt(() => change('/api/undo', {}));
}
export function redo() {
  return attempt(() => change('/api/redo', {}));
}
