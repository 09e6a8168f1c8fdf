// The teacher's page: sign-in; a bar with the class shown and the page's
// sections (授業中, 結果, 学習者, 問題集), one shown at a time; who is signed
// in now and the latest answers (asked for every second), the report, the
// learners and their codes, the series and their findings. Text goes in
// with textContent only.
'use strict';

// The section and the class shown are kept in the address's hash
// (#section=results&class=2), so that a reload or 戻る shows them again.
const Sections = ['live', 'results', 'learners', 'series'];
// classes: the teacher's classes as the server tells them; null when it
// tells none (a folder of one class), undefined until asked. chosen: the
// id of the class shown, 'all' for 全クラス, or '' without classes.
const view = { classes: undefined, chosen: '', section: 'live' };

function fromHash() {
  const params = new URLSearchParams(window.location.hash.slice(1));
  const section = params.get('section');
  return { section: Sections.includes(section) ? section : 'live', chosen: params.get('class') || '' };
}

function hashOf(section, chosen) {
  const params = new URLSearchParams({ section });
  if (chosen) params.set('class', chosen);
  return `#${params}`;
}

// A teacher route asked for the class shown; 全クラス and a server without
// classes ask without one.
function withClass(path) {
  if (!view.chosen || view.chosen === 'all') return path;
  return `${path}${path.includes('?') ? '&' : '?'}class=${encodeURIComponent(view.chosen)}`;
}

// The days the report covers, as the 期間 form chooses them: none for
// every day; today and this week (from Monday) by the browser's calendar.
function period() {
  const chosen = new FormData($('period')).get('period');
  const day = (d) => `${d.getFullYear()}-${String(d.getMonth() + 1).padStart(2, '0')}-${String(d.getDate()).padStart(2, '0')}`;
  const today = new Date();
  if (chosen === 'today') return { from: day(today), to: day(today) };
  if (chosen === 'week') {
    const monday = new Date(today);
    monday.setDate(today.getDate() - ((today.getDay() + 6) % 7));
    return { from: day(monday), to: day(today) };
  }
  if (chosen === 'range') return { from: $('from').value, to: $('to').value };
  return {};
}

// A report's address for the class and the days shown.
function reportAddress(path) {
  const params = new URLSearchParams(Object.entries(period()).filter(([, v]) => v));
  return withClass(params.size ? `${path}?${params}` : path);
}

function className() {
  if (view.chosen === 'all') return '全クラス';
  const shown = (view.classes || []).find((c) => String(c.id) === view.chosen);
  return shown ? shown.name : '';
}

// The chooser's list; hidden when the server tells no classes.
function showClasses(classes) {
  view.classes = classes;
  $('class-choice').hidden = !classes;
  if (!classes) return;
  const options = classes.map((c) => new Option(c.name, String(c.id)));
  if (classes.length > 1) options.unshift(new Option('全クラス', 'all'));
  $('class').replaceChildren(...options);
}

// The class asked for if the teacher may see it, else the first.
function chooseClass(asked) {
  if (!view.classes) return '';
  const known = view.classes.some((c) => String(c.id) === asked) || (asked === 'all' && view.classes.length > 1);
  return known ? asked : String(view.classes[0]?.id ?? '');
}

// The report is as tall as its content: the page scrolls, not the frame.
function fitReport() {
  const doc = $('report').contentDocument;
  if (!$('results').hidden && doc && doc.documentElement && doc.URL !== 'about:blank') {
    $('report').style.height = `${doc.documentElement.scrollHeight + 4}px`;
  }
}

function showView() {
  const name = className();
  $('heading').textContent = name ? `${name} — 先生のページ` : '先生のページ';
  document.title = name ? `${name} — 先生のページ` : '先生のページ - Velmorant';
  $('class').value = view.chosen;
  for (const a of document.querySelectorAll('#top nav a')) {
    a.href = hashOf(a.dataset.section, view.chosen);
    if (a.dataset.section === view.section) a.setAttribute('aria-current', 'page');
    else a.removeAttribute('aria-current');
  }
  for (const s of document.querySelectorAll('#teacher > section')) s.hidden = s.dataset.section !== view.section;
  for (const a of document.querySelectorAll('.downloads a')) a.href = reportAddress(`/teacher/${a.dataset.file}`);
  $('add-form').hidden = view.chosen === 'all';
  $('add-choose').hidden = view.chosen !== 'all';
  reloadReport();
  fitReport();
}

// The hash read again: another class is loaded, another section shown.
async function followHash() {
  const asked = fromHash();
  const chosen = chooseClass(asked.chosen);
  const hash = hashOf(asked.section, chosen);
  if (window.location.hash !== hash) window.history.replaceState(null, '', hash);
  const changed = chosen !== view.chosen;
  Object.assign(view, { section: asked.section, chosen });
  showView();
  if (changed) {
    stopLive();
    $('new-code').hidden = true;
    await load();
  }
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
  const which = classId || Number(view.chosen) || undefined;
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
  // Under 全クラス two learners of one name are told apart by their class.
  const everyClass = view.chosen === 'all';
  $('learners').tHead.querySelector('.class-column').hidden = !everyClass;
  for (const { id, name, number, className, class: classId } of roster) {
    const row = body.insertRow();
    cell(row, className).hidden = !everyClass;
    cell(row, number ? String(number) : '').className = 'number';
    cell(row, name);
    button(cell(row, ''), '見る', () => window.learnerRecord.open(id, name));
    button(cell(row, ''), 'コードを作り直す', () => learnerAction('/api/teacher/reset', name,
      `${name} さんのコードを作り直しますか？今のコードは使えなくなります。`, classId));
    button(cell(row, ''), '削除', () => learnerAction('/api/teacher/remove', name,
      `${name} さんと、そのマークと記録を削除しますか？`, classId));
  }
}

function showSheet(made) {
  const body = $('sheet').tBodies[0];
  body.replaceChildren();
  for (const { class: className, name, code } of made) {
    const row = body.insertRow();
    cell(row, className);
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

// The report is built again only when the answers change and 結果 is
// shown, one load of it at a time: answers coming fast wait for the
// frame's last load.
const live = { timer: 0, asking: false, state: null, shown: null, shownNow: '', loading: false };

function reloadReport() {
  if (view.section !== 'results' || live.loading || live.shown === live.state) return;
  live.loading = true;
  live.shown = live.state;
  const address = reportAddress('/teacher/report');
  showReport(`${address}${address.includes('?') ? '&' : '?'}${Date.now()}`);
}

// Loaded in place: a load of the frame is no step that 戻る goes back to.
function showReport(address) {
  $('report').contentWindow.location.replace(address);
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

// Another class's report is never shown under this one's name.
function stopLive() {
  window.clearInterval(live.timer);
  Object.assign(live, { timer: 0, state: null, shown: null, shownNow: '', loading: false });
  showReport('about:blank');
}

function showSignIn() {
  stopLive();
  view.classes = undefined;
  $('teacher').hidden = true;
  $('signin').hidden = false;
  ($('teacher-name').value ? $('password') : $('teacher-name')).focus();
}

// The classes are asked for once a sign-in; a server that has no such
// route (404) serves one class, as the page did before classes.
async function loadClasses() {
  const reply = await call('GET', '/api/teacher/classes');
  if (reply.status === 401) return reply;
  view.admin = reply.status === 200 && reply.body.admin === true;
  if (reply.status === 200 && Array.isArray(reply.body.classes)) showClasses(reply.body.classes);
  else if (reply.status === 404) showClasses(null);
  else return reply;
  view.chosen = chooseClass(fromHash().chosen);
  window.history.replaceState(null, '', hashOf(view.section, view.chosen));
  return reply;
}

async function load() {
  if (view.classes === undefined) {
    const classes = await loadClasses();
    if (classes.status === 401) { showSignIn(); return; }
    if (view.classes === undefined) { showError(classes); return; }
  }
  const reply = await call('GET', withClass('/api/teacher/state'));
  if (reply.status === 401) { showSignIn(); return; }
  if (reply.status !== 200) { showError(reply); return; }
  $('signin').hidden = true;
  $('teacher').hidden = false;
  showView();
  showLearners(reply.body.roster);
  window.learnerRecord?.showChoice(reply.body.roster);
  window.teacherAdmin?.show(view);
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

$('report').addEventListener('load', () => {
  live.loading = false;
  reloadReport();
  fitReport();
});

// Another period: the report and its downloads again.
$('period').addEventListener('change', (event) => {
  if (event.target.type === 'date') $('period').elements.period.value = 'range';
  live.shown = undefined;
  showView();
});
$('class').addEventListener('change', () => { window.location.hash = hashOf(view.section, $('class').value); });
window.addEventListener('hashchange', followHash);

view.section = fromHash().section;
load();
