// The editor's form: each problem of the series as its fields, moved,
// added and removed; terms pasted from a spreadsheet with their groups. It
// changes `doc` (editor.js) and asks for the text and the board through
// schedule. Text goes in with textContent and value only.
'use strict';

const MaxTerms = 21; // SeriesState::MaxTerms
const MaxGroups = 6; // SeriesState::MaxFrames
const FieldNames = { heading: '見出し', question: '問題文', terms: '項目', groups: '分類群', answer: '正解', explanation: '解説' };

function wideDigits(n) { return String(n).replace(/[0-9]/g, (d) => String.fromCharCode(0xFF10 + Number(d))); }
function make(tag, props = {}) { return Object.assign(document.createElement(tag), props); }

// A heading the file numbers by its place: 問題１ first, 設問2 second.
const Numbered = /^(問題|設問)([0-9]+|[０-９]+)$/;
function numbering(heading) {
  const m = Numbered.exec(heading);
  if (!m) return null;
  const digits = m[2].replace(/[０-９]/g, (d) => String(d.charCodeAt(0) - 0xFF10));
  return { word: m[1], wide: m[2] !== digits, n: Number(digits) };
}
function numbered(style, n) { return style.word + (style.wide ? wideDigits(n) : String(n)); }

// A new problem's heading is numbered as the file numbers its own.
function blankProblem(n) {
  const style = doc.problems.map((p, i) => numbering(p.heading)).find((s, i) => s && s.n === i + 1) || { word: '問題', wide: true };
  return { heading: numbered(style, n), question: '', terms: [], groups: [], explanation: '' };
}

// A problem's field typed in: sent whole with the next text asked for.
function touched(p) { p.edits = (p.edits || 0) + 1; }

// After a move or a removal, the headings that were numbered by their place
// are numbered by their new one; headings of the teacher's own stay.
function renumber(before) {
  const byPlace = new Set(before.filter((p, i) => numbering(p.heading)?.n === i + 1));
  doc.problems.forEach((p, i) => {
    const heading = byPlace.has(p) ? numbered(numbering(p.heading), i + 1) : p.heading;
    if (heading !== p.heading) {
      p.heading = heading;
      touched(p);
    }
  });
}

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

function showAnswers(p, i) {
  const [list, notes] = answers(p, i);
  $(`p${i}-answers`).replaceWith(list);
  $(`f${i}-answer`).replaceWith(notes);
}

function problemForm(p, i) {
  const box = make('fieldset', { className: i === current ? 'problem current' : 'problem' });
  box.dataset.index = i;
  box.append(make('legend', { textContent: `${i + 1}問目` }));
  field(box, i, 'heading', make('input', { value: p.heading }));
  field(box, i, 'question', make('textarea', { value: p.question }));
  field(box, i, 'terms', make('textarea', { className: 'list', value: p.terms.map((t) => t.text).join('\n') }),
    `1行に1つ、${MaxTerms}個まで。表計算ソフトから「項目、タブ、分類群」の行を貼り付けると分類群も入ります`);
  field(box, i, 'groups', make('textarea', { className: 'list', value: p.groups.join('\n') }), `1行に1つ、${MaxGroups}個まで`);
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

function setCurrent(i) {
  current = i;
  for (const box of $('problems').children) box.classList.toggle('current', Number(box.dataset.index) === i);
}

$('problems').addEventListener('input', (e) => {
  const box = e.target.closest('fieldset.problem');
  const key = e.target.dataset.key;
  if (!box || !key) return;
  const i = Number(box.dataset.index);
  const p = doc.problems[i];
  if (key === 'answer') p.terms[Number(e.target.dataset.term)].group = Number(e.target.value);
  else takeField(p, key, e.target.value);
  if (key === 'terms' || key === 'groups') showAnswers(p, i);
  touched(p);
  edited();
  setCurrent(i);
  schedule('form');
});

// Rows of "term<TAB>group" pasted into 項目, as a spreadsheet copies them:
// the terms go where the cursor is, each into its group, a group made when
// there is none of its name; beyond the limits, the rest is told.
function pasteRows(p, i, area, pasted) {
  const rows = pasted.split(/\r\n|\r|\n/).map((row) => row.split('\t').map((c) => c.trim())).filter((row) => row[0]);
  const before = lines(area.value.slice(0, area.selectionStart));
  const after = lines(area.value.slice(area.selectionEnd));
  const taken = rows.slice(0, Math.max(0, MaxTerms - before.length - after.length));
  takeField(p, 'terms', [...before, ...taken.map((row) => row[0]), ...after].join('\n'));
  const unmade = new Set();
  taken.forEach((row, k) => {
    if (!row[1]) return;
    if (!p.groups.includes(row[1]) && p.groups.length < MaxGroups) p.groups.push(row[1]);
    const g = p.groups.indexOf(row[1]);
    if (g < 0) unmade.add(row[1]);
    p.terms[before.length + k].group = g + 1;
  });
  area.value = p.terms.map((t) => t.text).join('\n');
  $(`p${i}-groups`).value = p.groups.join('\n');
  showAnswers(p, i);
  touched(p);
  edited();
  const notes = [];
  if (taken.length < rows.length) {
    notes.push(`項目は${MaxTerms}個までのため、貼り付けた${rows.length}行のうち最後の${rows.length - taken.length}行は入れていません`);
  }
  if (unmade.size) notes.push(`分類群は${MaxGroups}個までのため「${[...unmade].join('」「')}」は作れず、その項目の分類群は選んでいません`);
  $('notice').textContent = notes.join('。');
  setCurrent(i);
  schedule('form');
}

$('problems').addEventListener('paste', (e) => {
  const pasted = e.clipboardData.getData('text/plain');
  const box = e.target.closest('fieldset.problem');
  if (e.target.dataset.key !== 'terms' || !box || !pasted.includes('\t')) return;
  e.preventDefault();
  const i = Number(box.dataset.index);
  pasteRows(doc.problems[i], i, e.target, pasted);
});

$('problems').addEventListener('focusin', (e) => {
  const box = e.target.closest('fieldset.problem');
  if (box && Number(box.dataset.index) !== current) {
    setCurrent(Number(box.dataset.index));
    schedule('preview');
  }
});

$('problems').addEventListener('click', (e) => {
  const act = e.target.dataset.act;
  const box = e.target.closest('fieldset.problem');
  if (act === undefined || !box) return;
  const i = Number(box.dataset.index);
  const by = Number(act);
  const before = [...doc.problems];
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
  renumber(before);
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
