// The teacher's page: which series the chosen class sees and their 期限
// (問題集), and one learner's 学習の記録 as the learner sees it (学習者 and
// 結果). Uses call, cell, showError and view of teacher.js. Text goes in
// with textContent only.
'use strict';

// ---- 問題集: the series one class sees, and their 期限 ----

function chosenClassId() {
  return view.chosen && view.chosen !== 'all' ? Number(view.chosen) : 0;
}

// One series' row: 見せる and 期限, each saved as soon as it changes.
function assignRow(body, s, row) {
  const tr = body.insertRow();
  const title = cell(tr, s.title);
  title.title = s.file;
  const shown = document.createElement('input');
  shown.type = 'checkbox';
  shown.checked = !row.hidden;
  shown.setAttribute('aria-label', `${s.title}を見せる`);
  const due = document.createElement('input');
  due.type = 'date';
  due.value = row.due || '';
  due.setAttribute('aria-label', `${s.title}の期限`);
  const save = async () => {
    const reply = await call('POST', '/api/teacher/class-series',
      { class: chosenClassId(), file: s.file, hidden: !shown.checked, due: due.value });
    if (reply.status !== 200) { showError(reply); return; }
    $('message').textContent = '';
    tr.classList.toggle('assign-hidden', !shown.checked);
  };
  shown.addEventListener('change', save);
  due.addEventListener('change', save);
  const label = document.createElement('label');
  label.append(shown, ' 見せる');
  cell(tr, '').appendChild(label);
  cell(tr, '').appendChild(due);
  tr.classList.toggle('assign-hidden', Boolean(row.hidden));
}

async function showAssign(series) {
  const id = chosenClassId();
  $('assign-choose').hidden = id > 0;
  $('assign-table').hidden = true;
  if (!id) return;
  const reply = await call('GET', `/api/teacher/class-series?class=${id}`);
  // The class may have changed while it was asked for.
  if (reply.status !== 200 || id !== chosenClassId()) { if (reply.status !== 200) showError(reply); return; }
  const rows = new Map(reply.body.series.map((r) => [r.file.toLowerCase(), r]));
  const body = $('assign-table').tBodies[0];
  body.replaceChildren();
  for (const s of series.filter((x) => !x.catalogue)) assignRow(body, s, rows.get(s.file.toLowerCase()) || {});
  $('assign-table').hidden = false;
}

window.seriesAssign = { show: showAssign };

// ---- one learner's 学習の記録 ----

let recordShown = null;

async function openRecord(id, name) {
  const reply = await call('GET', `/api/teacher/learner-record?learner=${encodeURIComponent(id)}`);
  if (reply.status !== 200) { showError(reply); return; }
  recordShown = reply.body;
  $('record-heading').textContent = `${name} さんの学習の記録`;
  // Open first: the charts take the width the dialog gives them.
  $('record-dialog').showModal();
  LearnerRecord.draw(recordShown);
}

window.addEventListener('resize', () => { if ($('record-dialog').open) LearnerRecord.drawCharts(recordShown); });

$('record-close').addEventListener('click', () => $('record-dialog').close());

// 結果: the learners of the class shown, each record one choice away.
function showRecordChoice(roster) {
  const options = roster.map((l) => new Option(roster.some((o) => o.class !== l.class) ? `${l.className} ${l.name}` : l.name, l.id));
  $('record-learner').replaceChildren(new Option('学習者を選ぶ', ''), ...options);
  $('record-choice').hidden = roster.length === 0;
}

$('record-choice').addEventListener('submit', (event) => {
  event.preventDefault();
  const chosen = $('record-learner').selectedOptions[0];
  if (chosen && chosen.value) openRecord(chosen.value, chosen.textContent);
});

window.learnerRecord = { open: openRecord, showChoice: showRecordChoice };
