// みんなで解く on the learner's page: while the class has a round open the
// server gives the round's problem in place of the learner's own, and the
// bar says 「先生の問題です」. The page hears of the round's steps by an
// event stream and loads its state again; where the stream fails (or a
// proxy holds its events back) it asks every second and says when it is
// behind. Uses page.js's Preview, load, queue and $.
'use strict';

const roundWatch = { source: null, timer: 0, known: null, heard: false, failed: false };

// The bar's notice, from the state the server sent.
function roundShown(s) {
  if (Preview) return;
  $('round-notice').hidden = !s.round;
  $('round-notice').textContent = s.round ? s.round.notice : '';
}

function roundBehind(behind) {
  roundWatch.failed = behind;
  $('round-behind').hidden = !behind;
}

// A step of the round seen: the state is loaded again once the learner's
// own actions on their way have been answered.
function roundHeard(step) {
  if (roundWatch.known === null) { roundWatch.known = step; return; }
  if (step === roundWatch.known) return;
  const reload = () => {
    if (queue.length) { window.setTimeout(reload, 100); return; }
    roundWatch.known = step;
    load();
  };
  reload();
}

async function roundAsk() {
  try {
    const response = await fetch('/api/round', { credentials: 'same-origin' });
    if (response.status === 401) { roundStop(); return; }
    const body = await response.json();
    roundBehind(false);
    if (response.status === 200) roundHeard(String(body.round));
  } catch (e) {
    roundBehind(true);
  }
}

function roundPoll() {
  if (!roundWatch.timer) roundWatch.timer = window.setInterval(roundAsk, 1000);
}

function roundListen() {
  if (Preview || roundWatch.source || roundWatch.timer) return;
  if (!window.EventSource) { roundPoll(); return; }
  const source = new EventSource('/api/round/events');
  roundWatch.source = source;
  source.addEventListener('round', (event) => {
    roundWatch.heard = true;
    window.clearInterval(roundWatch.timer);
    roundWatch.timer = 0;
    roundBehind(false);
    roundHeard(event.data);
  });
  source.addEventListener('error', () => {
    if (roundWatch.source !== source) return;
    roundWatch.heard = false;
    roundPoll();
  });
  window.setTimeout(() => { if (roundWatch.source === source && !roundWatch.heard) roundPoll(); }, 3000);
}

// Signed out: no stream, no asking, no notice.
function roundStop() {
  if (roundWatch.source) roundWatch.source.close();
  window.clearInterval(roundWatch.timer);
  Object.assign(roundWatch, { source: null, timer: 0, known: null, heard: false });
  roundBehind(false);
  $('round-notice').hidden = true;
}
