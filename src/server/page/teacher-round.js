// みんなで解く under 授業中 (and its rounds under 結果): the class shown is given one problem of a series
// (始める), then its answers are shown (答えを見せる), the next problem
// given (次の問題) and the round ended (終わる). The picture of the class's
// answers is the projector's page, /teacher/round, in a window of its own.
// Uses call, view and showError of teacher.js; text goes in with
// textContent only.
'use strict';

const round = { seriesLoaded: false };

function roundClassId() {
  return view.chosen && view.chosen !== 'all' ? Number(view.chosen) : 0;
}

function projectorAddress() {
  return `/teacher/round?class=${encodeURIComponent(view.chosen)}`;
}

// The panel as the server has the round: which problem, and the steps.
function showRound(r) {
  $('round-steps').hidden = !r;
  $('round-open').href = projectorAddress();
  if (!r) { $('round-now').textContent = ''; return; }
  $('round-now').textContent = `${r.title}　${r.problem} / ${r.problems}問目　答えた人 ${r.answered}/${r.signedIn}` +
    (r.revealed ? '　（答えを見せています）' : '');
  $('round-reveal').disabled = r.revealed;
  $('round-next').disabled = r.problem >= r.problems;
}

async function loadRoundSeries() {
  if (round.seriesLoaded) return;
  const reply = await call('GET', '/api/teacher/series');
  if (reply.status !== 200 || !Array.isArray(reply.body)) return;
  round.seriesLoaded = true;
  $('round-series').replaceChildren(...reply.body.filter((s) => !s.catalogue && s.problems > 0)
    .map((s) => new Option(`${s.title}（${s.problems}問）`, s.file)));
}

async function refreshRound() {
  const id = roundClassId();
  $('round-choose').hidden = Boolean(id);
  $('round-start').hidden = !id;
  if (!id) { showRound(null); return; }
  await loadRoundSeries();
  const reply = await call('GET', `/api/teacher/round?class=${id}`);
  if (reply.status === 200) showRound(reply.body.round);
}

async function roundStep(path, data) {
  const reply = await call('POST', `/api/teacher/round/${path}`, { class: roundClassId(), ...data });
  if (reply.status !== 200) { showError(reply); return false; }
  $('message').textContent = '';
  showRound(reply.body.round);
  return true;
}

$('round-start').addEventListener('submit', async (event) => {
  event.preventDefault();
  // Opened within the click, so that no pop-up blocker holds it back.
  const projector = window.open(projectorAddress(), 'velmorant-round');
  const started = await roundStep('start', { series: $('round-series').value, problem: Number($('round-problem').value) });
  if (!started && projector) projector.close();
});
$('round-reveal').addEventListener('click', () => roundStep('reveal'));
$('round-next').addEventListener('click', () => roundStep('next'));
$('round-end').addEventListener('click', () => roundStep('end'));
window.addEventListener('hashchange', refreshRound);
// The class list comes with the sign-in: the panel follows once it is there.
new MutationObserver(() => { refreshRound(); loadRounds(); }).observe($('teacher'), { attributes: true, attributeFilter: ['hidden'] });
// ---- 結果: one round's first checks, term by frame ----

function roundTable(problem) {
  const table = document.createElement('table');
  const head = table.createTHead().insertRow();
  for (const text of ['項目', ...problem.frames, '初回正解率']) {
    const th = document.createElement('th');
    th.textContent = text;
    head.appendChild(th);
  }
  const body = table.createTBody();
  for (const t of problem.terms) {
    const row = body.insertRow();
    cell(row, t.text);
    t.counts.forEach((n, f) => cell(row, f === t.right ? `${n} ✓` : String(n)));
    cell(row, `${Math.round(t.share * 100)}%`);
  }
  return table;
}

async function showRoundReport() {
  const id = roundClassId();
  const reply = await call('GET', `/api/teacher/rounds?class=${id}&round=${encodeURIComponent($('rounds-choice').value)}`);
  if (reply.status !== 200) { showError(reply); return; }
  $('rounds-shown').replaceChildren(...reply.body.problems.flatMap((p) => {
    const h = document.createElement('h3');
    h.textContent = `${p.heading}　${p.question}（初回の答え ${p.answers}人）`;
    return [h, roundTable(p)];
  }));
}

async function loadRounds() {
  const id = roundClassId();
  $('rounds').hidden = true;
  if (!id || $('results').hidden) return;
  const reply = await call('GET', `/api/teacher/rounds?class=${id}`);
  if (reply.status !== 200 || !reply.body.rounds.length) return;
  $('rounds-choice').replaceChildren(...reply.body.rounds.map((r) => new Option(`${r.started}　${r.series}${r.open ? '（続いています）' : ''}`, r.id)));
  $('rounds').hidden = false;
  await showRoundReport();
}

$('rounds-choice').addEventListener('change', showRoundReport);
window.addEventListener('hashchange', loadRounds);

// The panel's count of answers follows while 授業中 is shown.
window.setInterval(() => { if (!$('teacher').hidden && !$('live').hidden) refreshRound(); }, 3000);
refreshRound();
