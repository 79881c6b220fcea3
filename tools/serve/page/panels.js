// The side panels: the selected segment with its edits, the findings of
// `playgraph check`, the changes since the file was opened or saved, and the
// viewables' media.

import { api, attempt, showMessage } from './api.js';
import { $, element, secondsText } from './dom.js';
import { markGraph, select } from './graph.js';
import { app, edit } from './state.js';

export async function loadSegment(id) {
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
  return element('button', {
    class: 'link',
    type: 'button',
    text: id,
    onclick: () => attempt(() => select(id)),
  });
}

function renderSegment(s) {
  const panel = $('segment-panel');
  const fields = element('table', { class: 'fields' });
  field(fields, 'viewable', s.viewable === null ? 'none' : String(s.viewable));
  field(fields, 'start', `${secondsText(s.start)} s`);
  field(
    fields,
    'end',
    s.playToEnd && s.end === null ? 'end of viewable' : `${secondsText(s.end)} s`,
  );
  field(fields, 'duration', `${secondsText(s.duration)} s`);
  field(
    fields,
    'offset in playgraph',
    s.onDefaultPath ? `${secondsText(s.offset)} s` : 'not on the default path',
  );
  field(fields, 'default next', s.defaultNext === null ? 'none' : s.defaultNext);

  const transitions = element('table', { class: 'fields transitions' });
  for (const t of s.transitions) {
    const weight = element('input', {
      type: 'text',
      value: t.weight === null ? '' : String(t.weight),
      'aria-label': `weight to ${t.to}`,
    });
    const setWeight = element('button', {
      type: 'button',
      text: 'Set',
      onclick: () => {
        const value = Number(weight.value);
        if (weight.value.trim() === '' || !isFinite(value))
          return showMessage('The weight must be a number.', true);
        return edit('update', [s.id, t.to, { weight: value }]);
      },
    });
    const isDefault = t.isDefault
      ? element('span', { class: 'star', text: '\u2605 default' })
      : element('button', {
          type: 'button',
          text: 'Make default',
          onclick: () => edit('set-default', [s.id, t.to]),
        });
    transitions.append(
      element(
        'tr',
        {},
        element(
          'td',
          {},
          t.exists
            ? segmentLink(t.to)
            : element('span', { class: 'missing', text: `${t.to} (missing)` }),
        ),
        element('td', {}, weight, ' ', setWeight),
        element('td', {
          text: [t.type, t.skipRegionOffset === null ? null : `skip after ${t.skipRegionOffset} s`]
            .filter((x) => x)
            .join(', '),
        }),
        element('td', {}, isDefault),
      ),
    );
  }

  const addTo = element('input', {
    type: 'text',
    id: 'add-to',
    placeholder: 'segment id',
    spellcheck: 'false',
  });
  const addWeight = element('input', { type: 'text', id: 'add-weight', value: '50' });
  const addDefault = element('input', { type: 'checkbox', id: 'add-default' });
  const addButton = element('button', {
    type: 'button',
    id: 'add-transition',
    text: 'Add transition',
    onclick: () => {
      const value = Number(addWeight.value);
      if (!isFinite(value) || addWeight.value.trim() === '')
        return showMessage('The weight must be a number.', true);
      return edit('add-transition', [
        s.id,
        addTo.value,
        ...(addDefault.checked ? ['default'] : []),
        { weight: value },
      ]);
    },
  });

  const newId = element('input', {
    type: 'text',
    id: 'insert-id',
    value: `${s.id}-new`,
    spellcheck: 'false',
  });
  const newViewable = element('input', {
    type: 'text',
    id: 'insert-viewable',
    value: s.viewable === null ? 'none' : String(s.viewable),
  });
  const newStart = element('input', { type: 'text', id: 'insert-start', value: '0' });
  const newEnd = element('input', { type: 'text', id: 'insert-end', value: '5' });
  const newDefault = element('input', { type: 'checkbox', id: 'insert-default', checked: '' });
  // The times go to the server as typed, which reads them as the tool does.
  const insert = (where) => {
    const viewable = newViewable.value.trim() || 'none';
    const args = [s.id, newId.value, viewable, newStart.value.trim(), newEnd.value.trim()];
    if (where === 'after' && newDefault.checked) args.push('default');
    return edit(`insert-${where}`, args, newId.value);
  };

  const incoming = element('p', {});
  if (s.incoming.length === 0) incoming.append('none');
  s.incoming.forEach((id, i) => incoming.append(i ? ', ' : '', segmentLink(id)));
  if (s.incomingCount > s.incoming.length)
    incoming.append(` and ${s.incomingCount - s.incoming.length} more`);

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
    element(
      'div',
      { class: 'edit-grid' },
      element('label', { for: 'add-to', text: 'to' }),
      addTo,
      element('label', { for: 'add-weight', text: 'weight' }),
      addWeight,
      element('label', { for: 'add-default', text: 'as default' }),
      addDefault,
    ),
    element('div', { class: 'buttons' }, addButton),
    element('h3', { text: 'Reached from' }),
    incoming,
    element('h3', { text: 'Insert a segment' }),
    element(
      'div',
      { class: 'edit-grid' },
      element('label', { for: 'insert-id', text: 'new id' }),
      newId,
      element('label', { for: 'insert-viewable', text: 'viewable' }),
      newViewable,
      element('label', { for: 'insert-start', text: 'start (s)' }),
      newStart,
      element('label', { for: 'insert-end', text: 'end (s)' }),
      newEnd,
      element('label', { for: 'insert-default', text: 'as default (after)' }),
      newDefault,
    ),
    element(
      'div',
      { class: 'buttons' },
      element('button', {
        type: 'button',
        id: 'insert-after',
        text: 'Insert after',
        onclick: () => insert('after'),
      }),
      element('button', {
        type: 'button',
        id: 'insert-before',
        text: 'Insert before',
        onclick: () => insert('before'),
      }),
      element('button', {
        type: 'button',
        id: 'insert-between',
        text: 'Insert between',
        title: `The new segment plays after ${s.id} and leads on to ${s.defaultNext === null ? 'nothing' : s.defaultNext}`,
        onclick: () => insert('between'),
      }),
      element('button', {
        type: 'button',
        id: 'remove',
        class: 'danger',
        text: 'Remove segment',
        onclick: () => edit('remove', [s.id]),
      }),
    ),
  ];
  if (s.annotations !== null)
    children.push(
      element('h3', { text: 'Annotations' }),
      element('pre', { text: JSON.stringify(s.annotations, null, 2) }),
    );
  if (s.userInfo !== null)
    children.push(
      element('h3', { text: 'User info' }),
      element('pre', { text: JSON.stringify(s.userInfo, null, 2) }),
    );
  if (findingsHere.childElementCount)
    children.push(element('h3', { text: 'Check findings' }), findingsHere);
  panel.replaceChildren(...children);
}

export async function loadFindings() {
  const revision = app.state.revision;
  const findings = await api('/api/findings');
  if (!app.state || findings.revision !== revision) return; // a later change will ask again
  app.findings = findings;
  $('findings-count').textContent = findings.total ? `(${findings.total})` : '';
  const list = $('findings');
  list.replaceChildren();
  if (findings.total === 0) list.append(element('li', { class: 'empty', text: 'No findings.' }));
  for (const f of findings.findings) {
    const item = element(
      'li',
      {},
      element('span', { class: 'path', text: f.path }),
      `: ${f.message} `,
    );
    if (f.segment !== null) item.append(segmentLink(f.segment));
    list.append(item);
  }
  if (findings.total > findings.findings.length)
    list.append(element('li', { text: `and ${findings.total - findings.findings.length} more` }));
  markGraph();
}

export async function loadChanges() {
  const revision = app.state.revision;
  const changes = await api('/api/changes');
  if (!app.state || changes.revision !== revision) return; // a later change will ask again
  app.changes = changes;
  $('changes-count').textContent = changes.total ? `(${changes.total})` : '';
  const list = $('changes');
  list.replaceChildren();
  if (changes.total === 0)
    list.append(element('li', { class: 'empty', text: 'No unsaved changes.' }));
  for (const c of changes.changes) {
    const what =
      c.renamedTo !== null
        ? `renamed to ${c.renamedTo}`
        : `${c.before === null ? '(absent)' : c.before} \u2192 ${c.after === null ? '(absent)' : c.after}`;
    const item = element(
      'li',
      {},
      element('span', { class: 'path', text: c.path }),
      ` ${c.kind}: ${what} `,
    );
    const shown = c.renamedTo !== null ? c.renamedTo : c.segment;
    if (shown !== null) item.append(segmentLink(shown));
    list.append(item);
  }
  if (changes.total > changes.changes.length)
    list.append(element('li', { text: `and ${changes.total - changes.changes.length} more` }));
  markGraph();
}

export async function loadMedia() {
  const listing = await api('/api/media');
  const list = $('media');
  list.replaceChildren();
  if (listing.source === null) {
    list.append(
      element('li', {
        class: 'empty',
        text: 'No media: start the server with --media FOLDER or --media map.json.',
      }),
    );
    return;
  }
  for (const m of listing.media) {
    list.append(
      element(
        'li',
        { class: 'has-media' },
        `viewable ${m.viewable}: `,
        element('span', { class: 'path', text: m.local ? 'served' : m.url }),
      ),
    );
  }
  for (const id of listing.missing) {
    list.append(element('li', { class: 'missing-media', text: `no media for viewable ${id}` }));
  }
}
