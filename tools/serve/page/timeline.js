// The default path as a timeline with a time cursor, what plays at the
// cursor, and the split there.

import { api, attempt, showMessage } from './api.js';
import { $, clockText, secondsText } from './dom.js';
import { select } from './graph.js';
import { app, edit } from './state.js';

// Play-to-end segments have no known length; they are drawn this long.
function openEndedLength(known) {
  return Math.max(10, known * 0.1);
}

export function setPath(path) {
  const known = path.reduce((sum, p) => sum + (p.duration === null ? 0 : p.duration), 0);
  let offset = 0;
  app.path = path.map((p) => {
    const length = p.duration === null ? openEndedLength(known) : p.duration;
    const entry = { ...p, offset, length };
    offset += length;
    return entry;
  });
  const total = Math.max(offset, 1);
  const whole =
    app.view.total === undefined || (app.view.t0 === 0 && app.view.t1 === app.view.total);
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

export function drawTimeline() {
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
      g.fillStyle = p.decorative ? '#d0d7de' : i % 2 ? '#54aeff' : '#80ccff';
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
export async function moveCursor(time) {
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
    text.textContent =
      `${answer.segment} \u00b7 viewable ${answer.viewable === null ? 'none' : answer.viewable}` +
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

export function setUpTimeline() {
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
  canvas.addEventListener(
    'wheel',
    (event) => {
      event.preventDefault();
      const span = app.view.t1 - app.view.t0;
      const total = app.view.total;
      if (event.shiftKey || Math.abs(event.deltaX) > Math.abs(event.deltaY)) {
        const shift = ((event.deltaX || event.deltaY) / canvas.clientWidth) * span;
        const t0 = Math.min(Math.max(0, app.view.t0 + shift), Math.max(0, total - span));
        app.view = { t0, t1: t0 + span, total };
      } else {
        const at = timeAtX(event.clientX);
        const factor = Math.exp(event.deltaY * 0.002);
        const newSpan = Math.min(total, Math.max(0.05, span * factor));
        const t0 = Math.min(
          Math.max(0, at - ((at - app.view.t0) * newSpan) / span),
          total - newSpan,
        );
        app.view = { t0, t1: t0 + newSpan, total };
      }
      drawTimeline();
    },
    { passive: false },
  );
  window.addEventListener('resize', drawTimeline);
  $('time').addEventListener('input', () => moveCursor($('time').value));
  $('split-form').addEventListener('submit', (event) => {
    event.preventDefault();
    const answer = app.answer;
    if (!answer || answer.segment === null) return;
    const first = $('split-first').value;
    const second = $('split-second').value;
    edit(
      'split',
      [answer.segment, answer.offsetInSegment, first, second],
      second !== answer.segment ? second : first,
    );
  });
}
