// The teacher's page: sign-in, who is signed in now and the latest answers
// (asked for every second), the report, the learners and their codes, the
// series and their findings. Text goes in with textContent only.
'use strict';

// The class the page shows, by its id in the page's address (?class=);
// without one, every class the teacher sees.
const chosenClass = new URLSearchParams(window.location.search).get('class') || '';

function withClass(path) {
  return chosenClass ? `${path}${path.includes('?') ? '&' : '?'}class=${encodeURIComponent(chosenClass)}` : path;
}


function cell(row, text) {
  const td = document.createElement('td');
  td.textContent = text;
  row.appendChild(td);
  return td;
}

function button(parent, text, action) {
  const b = document.createElement('button');
  b.type = 'button';
  b.textContent = text;
  b.addEventListener('click', action);
  parent.appendChild(b);
}

function showError(reply) {
  $('message').textContent = reply.body.error || `うまくいきませんでした（${reply.status}）`;
}

// `classId`: the learner's class, or none for the class the page shows.
async function learnerAction(path, name, question, classId) {
  if (question && !window.confirm(question)) return;
  const which = classId || Number(chosenClass) || undefined;
  const reply = await call('POST', path, which ? { name, class: which } : { name });
  if (reply.status !== 200) { showError(reply); return; }
  $('message').textContent = '';
  if (reply.body.code) {
    $('new-code').hidden = false;
    $('new-code').textContent = `${reply.body.name} さんのコード: ${reply.body.code}（コードは保存されません。あとで見られるのは、このサインインのコード表だけです）`;
  }
  await load();
}

function showLearners(roster) {
  const body = $('learners').tBodies[0];
  body.replaceChildren();
  for (const { name, class: classId } of roster) {
    const row = body.insertRow();
    cell(row, name);
    button(cell(row, ''), 'コードを作り直す', () => learnerAction('/api/teacher/reset', name,
      `${name} さんのコードを作り直しますか？今のコードは使えなくなります。`, classId));
    button(cell(row, ''), '削除', () => learnerAction('/api/teacher/remove', name,
      `${name} さんと、そのマークと記録を削除しますか？`, classId));
  }
}

function showSheet(made) {
  const body = $('sheet').tBodies[0];
  body.replaceChildren();
  for (const { name, code } of made) {
    const row = body.insertRow();
    cell(row, name);
    cell(row, code);
  }
  $('print').disabled = made.length === 0;
}

// The 問題集 section is series.js's.
function showSeries(series) {
  if (window.seriesSection) window.seriesSection.show(series);
}

const clock = (ms) => new Date(ms).toLocaleTimeString('ja-JP', { hour: '2-digit', minute: '2-digit' });

function showNow(now) {
  const body = $('now').tBodies[0];
  body.replaceChildren();
  for (const n of now) {
    const row = body.insertRow();
    cell(row, n.name);
    cell(row, n.series || '問題集の一覧');
    cell(row, n.series ? `${n.problem}問目（全${n.problems}問）` : '');
    cell(row, n.series ? `${clock(n.since)}から` : `${clock(n.last)}から`);
    button(cell(row, ''), 'サインアウトさせる', () => learnerAction('/api/teacher/signout-learner', n.name,
      `${n.name} さんをサインアウトさせますか？どの端末でも、次の操作でサインインの画面になります。`, n.class));
  }
  $('now').hidden = now.length === 0;
  $('now-none').hidden = now.length > 0;
}

function showAnswers(answers) {
  const body = $('answers').tBodies[0];
  body.replaceChildren();
  for (const a of answers) {
    const row = body.insertRow();
    cell(row, clock(a.at));
    cell(row, a.name);
    cell(row, a.series);
    cell(row, a.heading);
    cell(row, a.success ? '正解' : `${a.terms}語中${a.right}語が正しい`).className = a.success ? '' : 'wrong';
  }
  $('answers').hidden = answers.length === 0;
  $('answers-none').hidden = answers.length > 0;
}

// The report is built again only when the answers change, and one load of
// it at a time: answers coming fast wait for the frame's last load.
const live = { timer: 0, asking: false, state: null, shown: null, shownNow: '', loading: false };

function reloadReport() {
  if (live.loading || live.shown === live.state) return;
  live.loading = true;
  live.shown = live.state;
  $('report').src = withClass(`/teacher/report?${Date.now()}`);
}

async function poll() {
  if (live.asking) return;
  live.asking = true;
  try {
    const reply = await call('GET', withClass('/api/teacher/live'));
    if (reply.status === 401) { stopLive(); await load(); return; }
    if (reply.status !== 200) return;
    const nowText = JSON.stringify(reply.body.now);
    if (nowText !== live.shownNow) { live.shownNow = nowText; showNow(reply.body.now); }
    if (reply.body.state !== live.state) {
      live.state = reply.body.state;
      showAnswers(reply.body.answers);
      reloadReport();
    }
  } catch (e) {
    // The server is away for a moment: the next second asks again.
  } finally {
    live.asking = false;
  }
}

function startLive() {
  if (!live.timer) live.timer = window.setInterval(poll, 1000);
  poll();
}

function stopLive() {
  window.clearInterval(live.timer);
  Object.assign(live, { timer: 0, state: null, shown: null, shownNow: '' });
}

async function load() {
  const reply = await call('GET', withClass('/api/teacher/state'));
  if (reply.status === 401) {
    stopLive();
    $('teacher').hidden = true;
    $('signin').hidden = false;
    ($('teacher-name').value ? $('password') : $('teacher-name')).focus();
    return;
  }
  if (reply.status !== 200) { showError(reply); return; }
  $('signin').hidden = true;
  $('teacher').hidden = false;
  showLearners(reply.body.roster);
  for (const a of document.querySelectorAll('a[download]')) a.href = withClass(a.getAttribute('href').split('?')[0]);
  showSheet(reply.body.made);
  showSeries(reply.body.series);
  startLive();
}

$('signin-form').addEventListener('submit', async (event) => {
  event.preventDefault();
  const submit = event.target.querySelector('button');
  submit.disabled = true;
  $('signin-error').textContent = '';
  const reply = await call('POST', '/api/teacher/signin', {
    name: $('teacher-name').value, password: $('password').value,
  });
  submit.disabled = false;
  $('password').value = '';
  if (reply.status !== 200) {
    $('signin-error').textContent = reply.body.error || `サインインできません（${reply.status}）`;
    return;
  }
  await load();
});

$('add-form').addEventListener('submit', async (event) => {
  event.preventDefault();
  const name = $('new-name').value.trim();
  await learnerAction('/api/teacher/add', name);
  if (!$('message').textContent) $('new-name').value = '';
});

$('signout').addEventListener('click', async () => {
  await call('POST', '/api/teacher/signout');
  $('new-code').hidden = true;
  await load();
});

// The cards open as a page of their own, the same sheet as --add-learners writes.
$('print').addEventListener('click', () => window.open(withClass('/teacher/cards'), '_blank'));

// The report is as tall as its content: the page scrolls, not the frame.
$('report').addEventListener('load', () => {
  live.loading = false;
  reloadReport();
  const doc = $('report').contentDocument;
  if (doc && doc.documentElement) $('report').style.height = `${doc.documentElement.scrollHeight + 4}px`;
});

load();
