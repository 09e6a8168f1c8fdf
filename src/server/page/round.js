// The projector's page of みんなで解く: the class's round as the server has
// it, with no learner named. Told of each change by an event stream; where
// that fails (or a proxy holds its events back) it asks every second and
// says it is behind. Text goes in with textContent only.
'use strict';

const $ = (id) => document.getElementById(id);
const classId = new URLSearchParams(window.location.search).get('class') || '';
const live = { source: null, timer: 0, asking: false, again: false, heard: false, updated: null };

function cell(row, text, className) {
  const td = document.createElement('td');
  if (className) td.className = className;
  if (text !== undefined) td.textContent = text;
  row.appendChild(td);
  return td;
}

function headCell(row, text, className) {
  const th = document.createElement('th');
  th.className = className || '';
  th.textContent = text;
  row.appendChild(th);
  return th;
}

function drawFrames(r) {
  const row = $('frames');
  row.replaceChildren();
  headCell(row, '項目', 'term');
  for (const f of r.frames) {
    const th = headCell(row, '');
    const chip = document.createElement('span');
    chip.className = 'chip';
    chip.style.background = f.colour;
    th.append(chip, f.name);
  }
  if (r.revealed) headCell(row, '正答率', 'share');
}

// A term's row: in each frame a bar of its colour, as long as the share of
// the class that put the term there, with the count beside it.
function drawTerm(r, t) {
  const row = document.createElement('tr');
  cell(row, t.text, 'term');
  const most = Math.max(1, r.signedIn);
  t.counts.forEach((n, f) => {
    const td = cell(row, undefined, 'count');
    const bar = document.createElement('div');
    bar.className = 'bar';
    const fill = document.createElement('span');
    fill.className = 'fill';
    fill.style.background = r.frames[f].colour;
    fill.style.width = `${Math.round((n / most) * 70)}%`;
    fill.hidden = n === 0;
    const figure = document.createElement('span');
    figure.className = 'figure';
    figure.textContent = String(n);
    bar.append(fill, figure);
    td.append(bar);
    td.title = `${r.frames[f].name}: ${n}人`;
    if (r.revealed && t.right === f) td.classList.add('right');
  });
  if (r.revealed) cell(row, `${Math.round(t.share * 100)}%`, 'share');
  return row;
}

function draw(r) {
  $('round').hidden = !r;
  if (!r) {
    $('title').textContent = 'みんなで解く';
    $('answered').textContent = '';
    $('status').textContent = 'みんなで解く問題は始まっていません。先生のページの「みんなで解く」で始めます。';
    return;
  }
  $('title').textContent = `${r.title}　${r.problem} / ${r.problems}問目`;
  $('answered').textContent = `答えた人 ${r.answered}/${r.signedIn}`;
  $('heading').textContent = r.heading;
  $('question').textContent = r.question;
  drawFrames(r);
  $('terms').replaceChildren(...r.terms.map((t) => drawTerm(r, t)));
  document.title = `${r.title} ${r.problem}問目 - みんなで解く`;
}

function tellBehind() {
  const at = live.updated ? live.updated.toLocaleTimeString('ja-JP') : '—';
  $('status').className = '';
  $('status').textContent = `更新が遅れています（${at} の時点）。つながり次第、新しくします`;
}

// One request at a time; a change told meanwhile asks once more after it.
async function refresh() {
  if (live.asking) { live.again = true; return; }
  live.asking = true;
  try {
    const response = await fetch(`/api/teacher/round?class=${encodeURIComponent(classId)}`,
      { credentials: 'same-origin' });
    const body = await response.json().catch(() => ({}));
    if (response.status === 200) {
      live.updated = new Date();
      draw(body.round);
      if (body.round) {
        $('status').className = 'quiet';
        $('status').textContent = live.timer ? '1秒ごとに新しくしています' : '';
      }
    } else {
      $('status').className = '';
      $('status').textContent = response.status === 401
        ? '先生のページでサインインしてから開いてください'
        : body.error || `表示できません（${response.status}）`;
    }
  } catch (e) {
    tellBehind();
  } finally {
    live.asking = false;
    if (live.again) { live.again = false; refresh(); }
  }
}

function startPolling() {
  if (!live.timer) live.timer = window.setInterval(refresh, 1000);
}

function stopPolling() {
  window.clearInterval(live.timer);
  live.timer = 0;
}

// Events first; without a first event soon after opening (a proxy that
// buffers) or with the stream broken, the page asks every second instead.
function listen() {
  if (!window.EventSource) { startPolling(); return; }
  live.source = new EventSource(`/api/teacher/round/events?class=${encodeURIComponent(classId)}`);
  live.source.addEventListener('round', () => {
    live.heard = true;
    stopPolling();
    refresh();
  });
  live.source.addEventListener('error', () => {
    live.heard = false;
    tellBehind();
    startPolling();
  });
  window.setTimeout(() => { if (!live.heard) startPolling(); }, 3000);
}

refresh();
listen();
