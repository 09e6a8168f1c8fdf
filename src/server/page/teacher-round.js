// みんなで解く under 授業中: the class shown is given one problem of a series
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
new MutationObserver(refreshRound).observe($('teacher'), { attributes: true, attributeFilter: ['hidden'] });
// The panel's count of answers follows while 授業中 is shown.
window.setInterval(() => { if (!$('teacher').hidden && !$('live').hidden) refreshRound(); }, 3000);
refreshRound();
