// The graph, laid out by the server: zoom, selection, and the marks of
// findings and unsaved changes on its nodes.

import { api, attempt } from './api.js';
import { $ } from './dom.js';
import { loadSegment } from './panels.js';
import { app } from './state.js';
import { drawTimeline } from './timeline.js';

export async function loadGraph(focus) {
  const query = focus ? `?focus=${encodeURIComponent(focus)}` : '';
  const picture = await api(`/api/graph${query}`);
  app.picture = picture;
  const svg = new DOMParser().parseFromString(picture.svg, 'image/svg+xml').documentElement;
  svg.removeAttribute('width');
  svg.removeAttribute('height');
  const box = svg.viewBox.baseVal;
  app.naturalWidth = (box.width * 4) / 3; // points to pixels
  app.naturalHeight = (box.height * 4) / 3;
  const container = $('graph');
  container.replaceChildren(svg);
  if (app.zoom === null)
    app.zoom = Math.max(0.6, Math.min(1, container.clientWidth / app.naturalWidth));
  applyZoom();
  const shown = picture.ids.length;
  $('graph-info').textContent =
    shown < picture.total
      ? `${shown} of ${picture.total} nodes, around ${picture.focus}; click a node to move there`
      : `${picture.total} nodes`;
  markGraph();
  const focusNode = nodeFor(focus || picture.focus);
  if (focusNode && shown < picture.total)
    focusNode.scrollIntoView({ block: 'center', inline: 'center' });
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
export function markGraph() {
  const withFindings = new Set(
    (app.findings ? app.findings.findings : []).map((f) => f.segment).filter((s) => s !== null),
  );
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

export async function select(id, centre) {
  if (!(await loadSegment(id))) return;
  app.selected = id;
  const truncated = app.picture && app.picture.ids.length < app.picture.total;
  if (truncated || !nodeFor(id)) await loadGraph(id);
  else markGraph();
  const node = nodeFor(id);
  if (centre && node) node.scrollIntoView({ block: 'center', inline: 'center' });
  drawTimeline();
}

export function setUpGraph() {
  $('zoom-in').addEventListener('click', () => {
    app.zoom *= 1.25;
    applyZoom();
  });
  $('zoom-out').addEventListener('click', () => {
    app.zoom /= 1.25;
    applyZoom();
  });
  $('zoom-fit').addEventListener('click', () => {
    app.zoom = Math.min(4, $('graph').clientWidth / Math.max(1, app.naturalWidth));
    applyZoom();
  });
  $('graph').addEventListener('click', (event) => {
    const node = event.target.closest('g.node');
    if (node) attempt(() => select(idOfNode(node)));
  });
}
