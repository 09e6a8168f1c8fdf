// The editor of one series: each problem as a form (editor-form.js), or
// the series as the text of its file, kept in step through the server's own
// reader and writer, which keeps every line the form did not change; the
// board of the problem being written, as learners will see it, in the
// learner's own page; saving that never writes over another teacher's save
// unasked, and asks before it ends learners' histories. Text goes in with
// textContent and value only.
'use strict';

const Debounce = 100; // ms after a keystroke before the board is asked for
const file = new URLSearchParams(location.search).get('file') || '';

// Every request the editor makes.
const Api = {
  text: () => call('GET', `/api/teacher/series/text?file=${encodeURIComponent(file)}`),
  save: (text, version, form) => call('POST', '/api/teacher/series/save', { file, text, version, form }),
  // The learners' histories a save of `text` would end.
  ended: (text) => call('POST', '/api/teacher/series/ended', { file, text }),
  parse: (text, signal) => call('POST', '/api/teacher/parse', { text }, signal),
  // The text of the form's problems; with `preview`, also what the reader
  // finds in it and that problem's board.
  compose: (base, problems, preview, signal) => call('POST', '/api/teacher/compose', { base, problems, preview }, signal),
  preview: (text, problem, signal) => call('POST', '/api/teacher/preview', { text, problem }, signal),
};

// The series as the form holds it, its text, the version it was read as,
// the first line of each problem in the text, and the problem on the
// preview board.
let doc = { preamble: [], problems: [] };
let starts = [];
let text = '';
let version = null;
let current = 0;
let dirty = false;
// The form is only read while the text holds what it would lose.
let locked = false;
let found = { writer: [], reader: [], board: [] };

// Something not yet saved: 保存しました no longer holds.
function edited() {
  dirty = true;
  $('saved').textContent = '';
  $('notice').textContent = '';
}

function showError(reply) {
  $('message').textContent = reply.body.error || `うまくいきませんでした（${reply.status}）`;
}

// The text read: the form's problems, each knowing the problem of the text
// it is (`source`) and sent whole only once it is changed.
function takeRead(body) {
  locked = !body.formHolds;
  doc = { preamble: body.preamble, problems: body.problems.map((p, source) => ({ ...p, source })) };
  starts = body.lines;
}

// The problems for the text asked for: a problem as read is named by its
// source alone, so that the server keeps its lines as they are.
function formProblems() {
  return doc.problems.map((p) => (p.edits || p.source === undefined
    ? { heading: p.heading, question: p.question, terms: p.terms, groups: p.groups, explanation: p.explanation, source: p.source }
    : { source: p.source }));
}

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
  // Busy from here, whoever asked: taking the saved version syncs at once.
  busy(true);
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
    const sent = doc.problems.map((p) => [p, p.edits]);
    const composed = await Api.compose(text, formProblems(), current, signal);
    if (composed.status !== 200) { showError(composed); return; }
    $('message').textContent = '';
    text = composed.body.text;
    $('text').value = text;
    // The text holds each problem as it was sent, at its place.
    sent.forEach(([p, edits], k) => {
      p.source = k;
      if (p.edits === edits) p.edits = 0;
    });
    starts = composed.body.lines || starts;
    found.writer = composed.body.findings;
    found.reader = composed.body.read;
    showBoard(composed.body.preview);
    showFindings();
    return;
  }
  if (from === 'text') text = $('text').value;
  const read = await Api.parse(text, signal);
  if (read.status !== 200) { showError(read); return; }
  $('message').textContent = '';
  found.reader = read.body.findings;
  starts = read.body.lines;
  if (from === 'text') {
    found.writer = [];
    takeRead(read.body);
    renderForm();
  }
  setCurrent(Math.max(0, Math.min(textShown() ? problemAtCursor() : current, doc.problems.length - 1)));
  const board = text.trim() && doc.problems.length ? await Api.preview(text, current, signal) : null;
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
  // Drawn as far as it is written: a term without its group waits among the terms.
  $('preview-of').textContent = board.whole ? `${name}の盤面。学習者と同じように解いてみられます（記録はされません）`
    : `${name}の書きかけの盤面。分類群を選んでいない項目は項目の欄にあります（記録はされません）`;
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

const textShown = () => $('form-view').hidden;
// The problem the text view's cursor is in.
function problemAtCursor() {
  const area = $('text');
  const line = area.value.slice(0, area.selectionStart).split('\n').length;
  let at = 0;
  starts.forEach((first, i) => { if (first <= line) at = i; });
  return at;
}
// The preview follows the cursor through the text.
for (const type of ['click', 'keyup']) {
  $('text').addEventListener(type, () => {
    if (problemAtCursor() !== current && problemAtCursor() < doc.problems.length) {
      setCurrent(problemAtCursor());
      schedule('preview');
    }
  });
}

function showView(form) {
  $('form-view').hidden = !form;
  $('text-view').hidden = form;
  $('show-form').setAttribute('aria-pressed', String(form));
  $('show-text').setAttribute('aria-pressed', String(!form));
}
$('show-form').addEventListener('click', async () => { await flush(); showView(true); });
$('show-text').addEventListener('click', async () => { await flush(); showView(false); });

// ---- saving --------------------------------------------------------------------

// Before a save that ends learners' histories, the teacher is told which
// and asks for it, in velmorant-check's words.
async function historiesAsked() {
  const ended = await Api.ended(text);
  if (ended.status !== 200) return window.confirm(`${ended.body.error || '学習者の記録を確かめられません'}。保存しますか？`);
  const said = ended.body.findings.map((f) => f.message);
  return !said.length || window.confirm(`${said.join('\n')}\n\nこのまま保存しますか？`);
}

async function save(over) {
  await flush();
  $('saved').textContent = '';
  if (!await historiesAsked()) {
    $('message').textContent = '保存していません';
    return;
  }
  const reply = await Api.save(text, over, !textShown());
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
// Ctrl+S saves the series, not the page.
document.addEventListener('keydown', (e) => {
  if ((e.ctrlKey || e.metaKey) && !e.altKey && e.key.toLowerCase() === 's') {
    e.preventDefault();
    if (!$('save').disabled) save(version);
  }
});
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
  takeRead(read.body);
  found.reader = read.body.findings;
  // A new series starts with one empty problem to write in.
  if (!doc.problems.length && !text.trim()) doc.problems.push(blankProblem(1));
  renderForm();
  showFindings();
  // The text stays as it was read until something is changed.
  if (text.trim()) await sync('preview');
}

start();
