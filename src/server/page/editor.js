// The editor of one series: each problem as a form, or the series as the
// text of its file, kept in step through the server's own reader and
// writer; the board of the problem being written, as learners will see it,
// in the learner's own page; saving that never writes over another
// teacher's save unasked. Text goes in with textContent and value only.
'use strict';

const Debounce = 100; // ms after a keystroke before the board is asked for
const file = new URLSearchParams(location.search).get('file') || '';

// Every request the editor makes.
const Api = {
  text: () => call('GET', `/api/teacher/series/text?file=${encodeURIComponent(file)}`),
  save: (text, version) => call('POST', '/api/teacher/series/save', { file, text, version }),
  parse: (text, signal) => call('POST', '/api/teacher/parse', { text }, signal),
  // The text of the form's problems; with `preview`, also what the reader
  // finds in it and that problem's board.
  compose: (doc, preview, signal) => call('POST', '/api/teacher/compose', { ...doc, preview }, signal),
  preview: (text, problem, signal) => call('POST', '/api/teacher/preview', { text, problem }, signal),
};

// The series as the form holds it, its text, the version it was read as,
// and the problem on the preview board.
let doc = { preamble: [], problems: [] };
let text = '';
let version = null;
let current = 0;
let dirty = false;
// The form is only read while the text holds what it would lose.
let locked = false;
let found = { writer: [], reader: [], board: [] };

const FieldNames = { heading: '見出し', question: '問題文', terms: '項目', groups: '分類群', answer: '正解', explanation: '解説' };

function wideDigits(n) { return String(n).replace(/[0-9]/g, (d) => String.fromCharCode(0xFF10 + Number(d))); }
// Something not yet saved: 保存しました no longer holds.
function edited() {
  dirty = true;
  $('saved').textContent = '';
}

function blankProblem(n) { return { heading: `問題${wideDigits(n)}`, question: '', terms: [], groups: [], explanation: '' }; }

function showError(reply) {
  $('message').textContent = reply.body.error || `うまくいきませんでした（${reply.status}）`;
}

// ---- the form ----------------------------------------------------------------

function make(tag, props = {}) { return Object.assign(document.createElement(tag), props); }

// A labelled control for field `key` of problem `i`, with the list of what
// was found about it right below.
function field(box, i, key, control, hint) {
  control.id = `p${i}-${key}`;
  control.dataset.key = key;
  box.append(make('label', { htmlFor: control.id, textContent: FieldNames[key] }));
  if (hint) box.append(make('span', { className: 'note', id: `${control.id}-hint`, textContent: hint }));
  box.append(control);
  const list = make('ul', { className: 'field-findings', id: `f${i}-${key}` });
  box.append(list);
  control.setAttribute('aria-describedby', [hint ? `${control.id}-hint` : '', list.id].join(' ').trim());
}

// Each term's group, chosen from the groups: a select named by its term.
function answers(p, i) {
  const box = make('div', { className: 'answers', id: `p${i}-answers` });
  p.terms.forEach((term, t) => {
    box.append(make('span', { textContent: term.text }));
    const select = make('select');
    select.setAttribute('aria-label', term.text);
    select.dataset.key = 'answer';
    select.dataset.term = t;
    select.append(make('option', { value: '0', textContent: '（分類群を選ぶ）' }));
    p.groups.forEach((g, k) => select.append(make('option', { value: String(k + 1), textContent: `${String.fromCharCode(97 + k)}. ${g}` })));
    select.value = String(term.group);
    box.append(select);
  });
  const list = make('ul', { className: 'field-findings', id: `f${i}-answer` });
  return [box, list];
}

function problemForm(p, i) {
  const box = make('fieldset', { className: i === current ? 'problem current' : 'problem' });
  box.dataset.index = i;
  box.append(make('legend', { textContent: `${i + 1}問目` }));
  field(box, i, 'heading', make('input', { value: p.heading }));
  field(box, i, 'question', make('textarea', { value: p.question }));
  field(box, i, 'terms', make('textarea', { className: 'list', value: p.terms.map((t) => t.text).join('\n') }), '1行に1つ、21個まで');
  field(box, i, 'groups', make('textarea', { className: 'list', value: p.groups.join('\n') }), '1行に1つ、6個まで');
  box.append(make('p', { className: 'note', textContent: '各項目の分類群' }), ...answers(p, i));
  field(box, i, 'explanation', make('textarea', { value: p.explanation }));
  const tools = make('div', { className: 'tools' });
  for (const [label, act] of [['上へ', -1], ['下へ', 1], ['この問題を削除', 0]]) {
    const b = make('button', { type: 'button', textContent: label });
    b.dataset.act = act;
    tools.append(b);
  }
  box.append(tools);
  return box;
}

function renderForm() {
  $('problems').replaceChildren(...doc.problems.map(problemForm));
  for (const box of $('problems').children) box.disabled = locked;
  $('add').disabled = locked;
  $('form-locked').hidden = !locked;
  $('preamble-note').hidden = !doc.preamble.length;
  $('preamble-note').textContent = `ファイルの始めの ${doc.preamble.length} 行（題名やメモ）はそのまま残します。テキストの表示で直せます。`;
}

function lines(value) { return value.split('\n').map((l) => l.trim()).filter((l) => l !== ''); }

// A field typed in: the problem takes it. A term keeps the group it had at
// its place, or the one it had under the same name.
function takeField(p, key, value) {
  if (key === 'terms') {
    const byText = new Map(p.terms.map((t) => [t.text, t.group]));
    const old = p.terms;
    p.terms = lines(value).map((t, k) => ({ text: t, group: old[k] && old[k].text === t ? old[k].group : byText.get(t) ?? old[k]?.group ?? 0 }));
  } else if (key === 'groups') {
    p.groups = lines(value);
    for (const t of p.terms) if (t.group > p.groups.length) t.group = 0;
  } else {
    p[key] = value;
  }
}

$('problems').addEventListener('input', (e) => {
  const box = e.target.closest('fieldset.problem');
  const key = e.target.dataset.key;
  if (!box || !key) return;
  const i = Number(box.dataset.index);
  const p = doc.problems[i];
  if (key === 'answer') p.terms[Number(e.target.dataset.term)].group = Number(e.target.value);
  else takeField(p, key, e.target.value);
  if (key === 'terms' || key === 'groups') {
    const [list, notes] = answers(p, i);
    $(`p${i}-answers`).replaceWith(list);
    $(`f${i}-answer`).replaceWith(notes);
  }
  edited();
  setCurrent(i);
  schedule('form');
});

$('problems').addEventListener('focusin', (e) => {
  const box = e.target.closest('fieldset.problem');
  if (box && Number(box.dataset.index) !== current) {
    setCurrent(Number(box.dataset.index));
    schedule('preview');
  }
});

function setCurrent(i) {
  current = i;
  for (const box of $('problems').children) box.classList.toggle('current', Number(box.dataset.index) === i);
}

$('problems').addEventListener('click', (e) => {
  const act = e.target.dataset.act;
  const box = e.target.closest('fieldset.problem');
  if (act === undefined || !box) return;
  const i = Number(box.dataset.index);
  const by = Number(act);
  if (by === 0) {
    if (!window.confirm(`${i + 1}問目を削除しますか？`)) return;
    doc.problems.splice(i, 1);
    current = Math.max(0, Math.min(current, doc.problems.length - 1));
  } else {
    const j = i + by;
    if (j < 0 || j >= doc.problems.length) return;
    [doc.problems[i], doc.problems[j]] = [doc.problems[j], doc.problems[i]];
    current = j;
  }
  edited();
  renderForm();
  const moved = $(`p${current}-heading`);
  if (moved && by !== 0) moved.closest('fieldset').querySelector(`[data-act="${act}"]`).focus();
  schedule('form');
});

$('add').addEventListener('click', () => {
  doc.problems.push(blankProblem(doc.problems.length + 1));
  current = doc.problems.length - 1;
  edited();
  renderForm();
  $(`p${current}-question`).focus();
  schedule('form');
});

// ---- in step with the server ----------------------------------------------------

// One request at a time: a keystroke's request makes the one before it
// stale, and that one is cancelled.
let timer = null;
let waitingFrom = null;
let inFlight = null;

// The page is busy while an edit is not yet on the board.
function busy(on) {
  if (on) document.body.dataset.busy = '1';
  else delete document.body.dataset.busy;
}

function schedule(from) {
  busy(true);
  // A form edit outranks a mere change of the problem previewed.
  if (waitingFrom !== 'form' && waitingFrom !== 'text') waitingFrom = from;
  clearTimeout(timer);
  timer = setTimeout(() => { const f = waitingFrom; waitingFrom = null; timer = null; sync(f); }, Debounce);
}

// Runs what is waiting now, for a save.
async function flush() {
  if (timer) {
    clearTimeout(timer);
    timer = null;
    const f = waitingFrom;
    waitingFrom = null;
    await sync(f);
  } else if (inFlight) {
    await inFlight.done;
  }
}

async function sync(from) {
  if (inFlight) inFlight.controller.abort();
  const controller = new AbortController();
  const run = { controller };
  run.done = step(from, controller.signal).catch((e) => {
    if (e.name !== 'AbortError') $('message').textContent = '接続が切れています。入力はこの画面に残っています';
  });
  inFlight = run;
  await run.done;
  if (inFlight === run) inFlight = null;
  if (!inFlight && !timer) busy(false);
}

async function step(from, signal) {
  if (from === 'form') {
    const composed = await Api.compose(doc, current, signal);
    if (composed.status !== 200) { showError(composed); return; }
    $('message').textContent = '';
    text = composed.body.text;
    $('text').value = text;
    found.writer = composed.body.findings;
    found.reader = composed.body.read;
    showBoard(composed.body.preview);
    showFindings();
    return;
  }
  if (from === 'text') text = $('text').value;
  const [read, board] = await Promise.all([
    Api.parse(text, signal),
    text.trim() ? Api.preview(text, current, signal) : null,
  ]);
  if (read.status !== 200) { showError(read); return; }
  $('message').textContent = '';
  found.reader = read.body.findings;
  if (from === 'text') {
    found.writer = [];
    locked = !read.body.formHolds;
    doc = { preamble: read.body.preamble, problems: read.body.problems };
    current = Math.max(0, Math.min(current, doc.problems.length - 1));
    renderForm();
  }
  showBoard(board && board.status === 200 ? board.body : null);
  showFindings();
}

// The board of the problem previewed, handed to the learner page in the
// frame; a problem that cannot be shown leaves the board as it was.
function showBoard(board) {
  found.board = board ? board.findings : [];
  const p = doc.problems[current];
  const name = p ? `${current + 1}問目（${p.heading}）` : '';
  if (!board || !board.shown) {
    $('preview-of').textContent = p ? `${name}はまだ盤面にできません。指摘を見てください` : '問題がありません';
    return;
  }
  $('preview-of').textContent = `${name}の盤面。学習者と同じように解いてみられます（記録はされません）`;
  const frame = $('board');
  if (!frame.getAttribute('src')) frame.src = '/teacher/preview';
  else frame.contentWindow.postMessage({ state: board.state }, location.origin);
}

// Every finding once: the writer's, the reader's and the board's.
function showFindings() {
  const seen = new Set();
  const all = [...found.writer, ...found.board, ...found.reader].filter((f) => {
    const key = `${f.problem}|${f.field}|${f.message}`;
    return !seen.has(key) && seen.add(key);
  });
  for (const list of document.querySelectorAll('.field-findings')) list.replaceChildren();
  const place = $('finding-list');
  place.replaceChildren();
  if (!all.length) place.append(make('li', { textContent: '指摘はありません' }));
  for (const f of all) {
    const where = f.problem >= 0 ? `${f.problem + 1}問目の${FieldNames[f.field] || '文'}` : `${f.line}行目`;
    const kind = f.error ? 'エラー' : '注意';
    place.append(make('li', { className: f.error ? 'finding-error' : 'finding-warning', textContent: `${where}: ${kind}: ${f.message}` }));
    const near = $(`f${f.problem}-${f.field}`);
    if (near) near.append(make('li', { className: f.error ? 'finding-error' : 'finding-warning', textContent: f.message }));
  }
}

$('text').addEventListener('input', () => { edited(); schedule('text'); });

function showView(form) {
  $('form-view').hidden = !form;
  $('text-view').hidden = form;
  $('show-form').setAttribute('aria-pressed', String(form));
  $('show-text').setAttribute('aria-pressed', String(!form));
}
$('show-form').addEventListener('click', async () => { await flush(); showView(true); });
$('show-text').addEventListener('click', async () => { await flush(); showView(false); });

// ---- saving --------------------------------------------------------------------

async function save(over) {
  await flush();
  $('saved').textContent = '';
  const reply = await Api.save(text, over);
  if (reply.status === 200) {
    version = reply.body.version;
    dirty = false;
    $('conflict').hidden = true;
    $('message').textContent = '';
    $('saved').textContent = '保存しました';
  } else if (reply.status === 409 && reply.body.text !== undefined) {
    showConflict(reply.body);
  } else {
    showError(reply);
  }
}

// Another teacher saved meanwhile: both versions are shown, and nothing is
// written until this teacher chooses.
let theirs = null;
function showConflict(body) {
  theirs = body;
  choosing(true);
  $('mine').textContent = text;
  $('theirs').textContent = body.text;
  $('conflict').hidden = false;
  $('message').textContent = body.error || '';
  $('keep-mine').focus();
}

// While choosing, both versions and the choices; once the saved one is
// taken, this screen's stays shown to copy from until closed.
function choosing(on) {
  $('conflict-title').textContent = on ? 'ほかの人が先に保存しました' : '保存されている版にしました';
  $('conflict-note').textContent = on ? 'どちらの版を残すか選んでください。選ぶまで何も保存されません。'
    : 'この画面で書いた版は、閉じるまでここに残ります。使いたい部分をコピーしてください。';
  $('theirs-box').hidden = !on;
  $('keep-mine').hidden = !on;
  $('take-theirs').hidden = !on;
  $('close-conflict').hidden = on;
}

$('save').addEventListener('click', () => save(version));
$('keep-mine').addEventListener('click', () => save(theirs.version));
$('take-theirs').addEventListener('click', async () => {
  version = theirs.version;
  $('text').value = theirs.text;
  choosing(false);
  $('message').textContent = '';
  await sync('text');
  dirty = false;
  $('close-conflict').focus();
});
$('close-conflict').addEventListener('click', () => { $('conflict').hidden = true; });

window.addEventListener('beforeunload', (e) => { if (dirty) e.preventDefault(); });

async function start() {
  $('file-name').textContent = file;
  const reply = await Api.text();
  if (reply.status === 401) { location.href = '/teacher'; return; }
  if (reply.status !== 200) {
    // Nothing read is nothing to edit: a save could only write over the file.
    showError(reply);
    for (const control of document.querySelectorAll('button, textarea')) control.disabled = true;
    return;
  }
  text = reply.body.text;
  version = reply.body.version;
  // Saved in the encoding it has: a teacher who needs the other knows why.
  $('file-name').textContent = `${file}（${reply.body.encoding === 'UTF-8' ? 'UTF-8' : 'シフトJIS'}で保存）`;
  $('text').value = text;
  const read = await Api.parse(text);
  if (read.status !== 200) { showError(read); return; }
  locked = !read.body.formHolds;
  doc = { preamble: read.body.preamble, problems: read.body.problems };
  found.reader = read.body.findings;
  // A new series starts with one empty problem to write in.
  if (!doc.problems.length && !text.trim()) doc.problems.push(blankProblem(1));
  renderForm();
  showFindings();
  // The text stays as it was read until something is changed.
  if (text.trim()) await sync('preview');
}

start();
