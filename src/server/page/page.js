'use strict';
// The classroom page: draws the screen the server describes, in twips scaled
// to the window, and sends every move and button press back. The server
// decides everything; the page holds no answer. Its scripts, loaded in
// order without a build step and sharing one global scope: this one (the
// requests, sign-in and sending), page-foresee.js, page-draw.js,
// page-moves.js and page-record.js, which starts the page.

const TwipsPerPixel = 15;
const Faces = {
  'ＭＳ ゴシック': '"IPAGothic", "IPAゴシック", "MS Gothic", "Noto Sans Mono CJK JP", monospace',
  'ＭＳ Ｐゴシック': '"IPAPGothic", "IPAPゴシック", "MS PGothic", "Hiragino Sans", "Noto Sans CJK JP", sans-serif',
};
const DragThreshold = 6; // pixels a pointer moves before a press is a drag

// What is drawn: the server's last state with the actions still on their
// way done on it as the server will do them.
let state = null;
let scale = 1;
const board = document.getElementById('board');

function $(id) { return document.getElementById(id); }

// A reply that does not come is a lost connection: the action is sent again
// with its key, so it is not applied twice.
const ReplyWait = 30000;

// In the teacher's editor the page draws the preview board: the same
// requests go to the teacher's preview, which records nothing.
const Preview = location.pathname === '/teacher/preview';
const ApiBase = Preview ? '/api/teacher/preview/' : '/api/';
// The preview takes the keys only while the teacher is on it, never from
// the field being typed in.
function mayFocus() { return !Preview || document.hasFocus(); }

async function request(method, path, body) {
  if (path.startsWith('/api/')) path = ApiBase + path.slice(5);
  const options = { method, headers: {}, credentials: 'same-origin', signal: AbortSignal.timeout(ReplyWait) };
  if (body !== undefined) {
    options.headers['Content-Type'] = 'application/json';
    options.body = JSON.stringify(body);
  }
  const response = await fetch(path, options);
  let data = {};
  try { data = await response.json(); } catch (e) { data = {}; }
  return { status: response.status, data, headers: response.headers };
}

// ---- waiting for the server -------------------------------------------------

const Lost = '接続が切れています。つながり次第送ります';
const Saving = '保存できません。もう一度送っています…';

// A line at the top of the screen while something waits for the server.
function waitingNotice(text) {
  $('status').textContent = text;
  $('status').hidden = !text;
}

// A wait that the connection coming back ends early.
let wake = () => {};
function pause(ms) {
  return new Promise((resolve) => {
    const timer = setTimeout(resolve, ms);
    wake = () => { clearTimeout(timer); resolve(); };
  });
}
window.addEventListener('online', () => wake());

// 1, 2, 4 seconds, then every 5 seconds.
function backoff(tries) { return Math.min(1000 * 2 ** tries, 5000); }

function retryAfter(headers) {
  const seconds = Number(headers.get('Retry-After'));
  return seconds > 0 ? Math.min(seconds, 30) * 1000 : 1000;
}

// ---- sign-in --------------------------------------------------------------

// Each sign-in screen starts afresh: what was on its way for the learner
// before is dropped, and a reply to it still coming is not drawn.
let signedIn = 0;

function showSignIn(message) {
  ++signedIn;
  if (typeof roundStop === 'function') roundStop();
  queue.length = 0;
  waiting.length = 0;
  state = null;
  server = null;
  record = null;
  shownScreen = null;
  $('notice').hidden = true;
  $('app').hidden = true;
  $('record').hidden = true;
  $('bar').hidden = true;
  document.body.classList.remove('signed-in');
  $('signin').hidden = false;
  $('signin-error').textContent = message || '';
  document.title = '用語分類問題集 Velmorant';
  $('code').focus();
}

// Whose screen it is, with the way out beside it, on every screen.
// A screen that is no learner's (a teacher's preview) has no line.
function showLearner(name) {
  $('who').textContent = `学習の記録：${name}`;
  $('bar').hidden = !name;
  document.body.classList.toggle('signed-in', Boolean(name));
}

$('signout').addEventListener('click', async () => {
  $('signout').disabled = true;
  let told = '';
  try {
    const { status } = await request('POST', '/api/signout', {});
    if (status !== 200 && status !== 401) told = 'サインアウトを確かめられません。サインインし直してください';
  } catch (e) {
    told = 'サインアウトを送れませんでした。サインインし直してください';
  } finally {
    $('signout').disabled = false;
  }
  showSignIn(told);
});

$('signin-form').addEventListener('submit', async (event) => {
  event.preventDefault();
  const button = event.target.querySelector('button');
  button.disabled = true;
  $('signin-error').textContent = '';
  try {
    const { status, data } = await request('POST', '/api/signin', { code: $('code').value });
    if (status === 200) {
      $('code').value = '';
      await load();
    } else {
      $('signin-error').textContent = signInRefusal(status, data);
    }
  } catch (e) {
    $('signin-error').textContent = Lost;
  } finally {
    button.disabled = false;
  }
});

// The server's reason, but not the inner workings of a server fault.
function signInRefusal(status, data) {
  if (status >= 500 && (status !== 503 || !data.error)) {
    return 'いまはサインインできません。しばらくしてからもう一度サインインしてください';
  }
  return data.error || 'サインインできません';
}

// Reads the learner's state, again and again while the server cannot be
// reached.
async function load() {
  const session = signedIn;
  for (let tries = 0; ; ++tries) {
    try {
      const { status, data } = await request('GET', '/api/state');
      if (session !== signedIn) return;
      if (status === 401) { waitingNotice(''); showSignIn(); return; }
      if (status === 200) {
        waitingNotice('');
        $('signin').hidden = true;
        $('record').hidden = true;
        $('app').hidden = false;
        showLearner(Preview ? '' : data.learner);
        show(data);
        if (typeof roundListen === 'function') roundListen();
        return;
      }
    } catch (e) { /* the connection is lost: try again */ }
    waitingNotice(Lost);
    await pause(backoff(tries));
  }
}

// ---- sending --------------------------------------------------------------

// What the server last sent, and the actions it has not answered yet, in
// the order they were made; the first one is on its way.
let server = null;
const queue = [];
let sending = false;

function newKey() {
  return Array.from(crypto.getRandomValues(new Uint8Array(16)), (b) => b.toString(16).padStart(2, '0')).join('');
}

// Moves and carries are shown at once; a button or a series opened waits
// for the server's screen.
function predicted(action) { return action.path === '/api/move' || action.path === '/api/carry'; }

// An action acts on the state the learner sees. Behind moves still on their
// way that is the state their replies will bring; behind a button it is the
// state shown now, so that the server refuses it if that button changed the
// screen.
function send(path, fields) {
  const before = focusName;
  // A class round's board is named, so that the action never lands on another.
  if (server.round) fields = { ...fields, round: server.round.key };
  const queued = enqueue({ path, fields, key: newKey(), seq: queue.every(predicted) ? null : server.seq, before });
  if (predicted(queued)) {
    state = foreseen();
    if (state.focus) focusName = state.focus;
    draw();
  }
  queued.focus = focusName;
  markPending();
  drain();
}

// A move of a term not yet sent gives way to a later move of the same term
// into a frame, unless the earlier one fills the board: that one makes a
// check of its own.
function enqueue(action) {
  const last = queue[queue.length - 1];
  const frames = (a) => a.path === '/api/move' && a.fields.frame !== undefined;
  if (queue.length >= 2 && frames(last) && frames(action) && last.fields.term === action.fields.term) {
    const after = foreseen();
    if (after.board && after.board.terms.some((t) => t.frame < 0)) {
      Object.assign(last, { fields: action.fields, key: action.key });
      return last;
    }
  }
  queue.push(action);
  return action;
}

async function drain() {
  if (sending) return;
  sending = true;
  try {
    for (let tries = 0; queue.length;) {
      const wait = await sendFirst();
      if (wait === undefined) tries = 0;
      else await pause(wait || backoff(tries++));
    }
  } finally {
    sending = false;
    markPending();
  }
}

// Sends the oldest action once. Returns how long to wait before sending it
// again (0: as long as the failures so far say), or nothing when it is done.
async function sendFirst() {
  const action = queue[0];
  // Made once: a retry sends the same key and seq, so the server applies
  // the action once however many times it arrives.
  action.body = action.body || { ...action.fields, seq: action.seq ?? server.seq, key: action.key };
  let reply;
  const session = signedIn;
  try {
    reply = await request('POST', action.path, action.body);
  } catch (e) {
    waitingNotice(Lost);
    return 0;
  }
  if (session !== signedIn) return undefined;
  const { status, data, headers } = reply;
  if (status === 503) waitingNotice(Saving);
  if (status === 502 || status === 504) waitingNotice(Lost);
  if ([429, 502, 503, 504].includes(status)) return retryAfter(headers);
  waitingNotice('');
  queue.shift();
  if (status === 200) {
    taken(data, action);
    return undefined;
  }
  // Refused: what was queued behind it no longer fits, and the keys are
  // where they were before it.
  queue.length = 0;
  focusName = action.before;
  if (status === 401) showSignIn('もう一度サインインしてください');
  else if (status === 409 && data.state) show(data.state);
  else await load();
  return undefined;
}

// A reply names the focus its action left. Keys pressed since have moved
// the focus on already; it is taken only when the learner has not.
function taken(s, action) {
  const focus = s.focus;
  if (queue.length || focusName !== action.focus) s.focus = null;
  show(s);
  s.focus = focus;
}

function press(id) { send('/api/press', { button: id }); }
function carryAction(action, term) { send('/api/carry', term === undefined ? { action } : { action, term }); }
