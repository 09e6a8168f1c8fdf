'use strict';
// The classroom page, last of its scripts: the learner's record, and the
// page's start once every script is in.

// ---- the learner's record -----------------------------------------------------

// The desktop's 学習の記録: the server works the numbers out as the desktop
// does; record.js lays them out.
let record = null;

async function openRecord() {
  const session = signedIn;
  let reply;
  try {
    reply = await request('GET', '/api/progress');
  } catch (e) {
    notice([Lost]);
    return;
  }
  if (session !== signedIn) return;
  if (reply.status === 401) { showSignIn('もう一度サインインしてください'); return; }
  if (reply.status !== 200) { notice([reply.data.error || '学習の記録を読めません']); return; }
  record = reply.data;
  $('app').hidden = true;
  $('record').hidden = false;
  LearnerRecord.draw(record);
  $('record').scrollTop = 0;
  $('record-close').focus({ preventScroll: true });
}

function closeRecord() {
  record = null;
  $('record').hidden = true;
  $('app').hidden = false;
  draw();
}
$('record-close').addEventListener('click', closeRecord);
// Escape closes it, as it closes the desktop's dialog.
$('record').addEventListener('keydown', (e) => { if (e.key === 'Escape') closeRecord(); });

window.addEventListener('resize', () => { if (record && !$('record').hidden) LearnerRecord.drawCharts(record); });
// The editor tells the preview when the problem on it has changed.
if (Preview) {
  window.addEventListener('message', (e) => {
    if (e.origin !== location.origin || e.source !== window.parent) return;
    if (e.data && e.data.state) show(e.data.state);
    else load();
  });
}
// Every script of the page is in: the learner's screen is read.
load();
