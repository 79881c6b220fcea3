// The page of `playgraph serve`: the graph (laid out by the server), the
// default path as a timeline with a time cursor, the selected segment with
// its edits, and the findings of `playgraph check`. Every answer comes from
// the library through the server's JSON API.

import { attempt } from './api.js';
import { $ } from './dom.js';
import { setUpGraph } from './graph.js';
import { redo, refresh, save, undo } from './state.js';
import { setUpTimeline } from './timeline.js';

function setUp() {
  $('undo').addEventListener('click', undo);
  $('redo').addEventListener('click', redo);
  $('save').addEventListener('click', () => attempt(save));
  setUpGraph();
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
