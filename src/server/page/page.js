'use strict';
// The classroom page: draws the screen the server describes, in twips scaled
// to the window, and sends every move and button press back. The server
// decides everything; the page holds no answer.

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

// ---- the board as the server will leave it ----------------------------------

// The server's slots in a frame (twips): the terms stack below the caption.
const SlotIndent = 120;
const SlotsTop = 250;

// Does on state `s` what the server will do with `action`, as far as the
// page can tell, and moves the focus as the keys will; the server's reply
// replaces it.
function foresee(s, action) {
  const b = s.board;
  if (!b || !b.open) return;
  const f = action.fields;
  if (action.path === '/api/move') {
    const frame = f.frame ?? frameAt(b, f.term, f.left, f.top);
    if (f.frame !== undefined) putIn(s, f.term, frame);
    else dropAt(b, f.term, frame, f.left, f.top);
  } else if (action.path === '/api/carry') {
    foreseeCarry(s, f);
  }
}

function foreseeCarry(s, f) {
  const b = s.board;
  const c = b.carry;
  const action = f.action === 'toggle' ? (c && c.term === f.term ? 'putDown' : 'pickUp') : f.action;
  if (action === 'pickUp') {
    b.carry = { term: f.term, frame: Math.max(b.terms[f.term].frame, 0) };
    s.focus = `term:${f.term}`;
  } else if (action === 'putBack') {
    b.carry = null;
  } else if (c && action === 'putDown') {
    putIn(s, c.term, c.frame);
  } else if (c) {
    c.frame = frameInDirection(b, c.frame, action);
  }
  if (b.carry) b.carry.name = `移動先の${b.frames[b.carry.frame].name}`;
}

// A term put into a frame; the focus moves on to the next term not in one.
function putIn(s, term, frame) {
  const b = s.board;
  if (frame < 0 || frame >= b.frames.length) return;
  b.carry = null;
  dropAt(b, term, frame, 0, Infinity);
  const next = b.terms.findIndex((t, k) => t.frame < 0 && k > term);
  const first = b.terms.findIndex((t) => t.frame < 0);
  if (next >= 0 || first >= 0) s.focus = `term:${next >= 0 ? next : first}`;
}

// A term let go at a place, inside a frame or not; each frame's terms close
// up below its caption in the order they lie.
function dropAt(b, term, frame, left, top) {
  const t = b.terms[term];
  t.box = [left, top, t.box[2], t.box[3]];
  t.frame = frame;
  t.right = null;
  delete t.back;
  t.description = frame >= 0 ? `${b.frames[frame].name}にあります。` : '';
  b.frames.forEach((f, c) => {
    const inside = b.terms.filter((u) => u.frame === c).sort((u, v) => u.box[1] - v.box[1]);
    inside.forEach((u, k) => {
      u.box = [f.box[0] + SlotIndent, f.box[1] + SlotsTop + k * u.box[3], u.box[2], u.box[3]];
    });
  });
}

// The frame under a term's centre, or -1.
function frameAt(b, term, left, top) {
  const x = left + b.terms[term].box[2] / 2;
  const y = top + b.terms[term].box[3] / 2;
  return b.frames.findIndex(({ box: [l, t, w, h] }) => l < x && x < l + w && t - 100 < y && y < t + h);
}

// Left and right step through the frames in order, round; up and down go
// to the nearest frame that way, if any.
function frameInDirection(b, from, way) {
  const n = b.frames.length;
  if (way === 'left' || way === 'right') return (from + (way === 'left' ? n - 1 : 1)) % n;
  const centre = ({ box: [l, t, w, h] }) => [l + w / 2, t + h / 2];
  const [ox, oy] = centre(b.frames[from]);
  const sign = way === 'up' ? -1 : 1;
  let best = from;
  let bestScore = Infinity;
  b.frames.forEach((f, c) => {
    const [x, y] = centre(f);
    const ahead = sign * (y - oy);
    const score = ahead + 2 * Math.abs(x - ox);
    if (c !== from && ahead > 0 && score < bestScore) [best, bestScore] = [c, score];
  });
  return best;
}

// The server's state with the actions on their way done on it; its focus
// is where the last of them leaves the keys, if it moves them.
function foreseen() {
  const s = structuredClone(server);
  for (const action of queue) {
    s.focus = null;
    foresee(s, action);
  }
  return s;
}

// ---- drawing --------------------------------------------------------------

function px(twips) { return twips / TwipsPerPixel * scale; }

function place(el, box) {
  el.style.left = px(box[0]) + 'px';
  el.style.top = px(box[1]) + 'px';
  el.style.width = px(box[2]) + 'px';
  el.style.height = px(box[3]) + 'px';
}

function styleText(el, c) {
  if (c.font) {
    el.style.fontFamily = Faces[c.font.face] || Faces['ＭＳ Ｐゴシック'];
    el.style.fontSize = px(c.font.twips) + 'px';
    el.style.fontWeight = c.font.bold ? 'bold' : 'normal';
  }
  if (c.back) el.style.background = c.back;
  if (c.fore) el.style.color = c.fore;
}

function make(tag, cls, c, parent) {
  const el = document.createElement(tag);
  el.className = 'c ' + (cls || '');
  if (c) {
    if (c.box) place(el, c.box);
    styleText(el, c);
  }
  (parent || board).appendChild(el);
  return el;
}

// A caption wider than its box in the browser's font is shrunk to fit.
function fit(el) {
  const size = parseFloat(el.style.fontSize);
  if (!size || el.scrollWidth <= el.clientWidth + 1) return;
  const least = document.body.classList.contains('small') ? SmallestText : 0;
  el.style.fontSize = Math.max(size * el.clientWidth / el.scrollWidth, size * 0.6, least) + 'px';
}

// Below these a phone's text cannot be read, nor its targets hit (CSS px).
const SmallestText = 12;
const SmallestTarget = 24;

// A phone or a narrow window: the board is drawn no smaller than its text
// and targets allow, and scrolls.
function small(w) {
  return window.innerWidth < w || window.matchMedia('(pointer: coarse)').matches;
}

// The scale at which the screen's smallest text and smallest target are
// as large as they must be. The list's entries are made tall enough by
// the style sheet.
function smallestScale(s) {
  const fonts = [];
  const targets = [];
  const walk = (c, target) => {
    if (!c || typeof c !== 'object') return;
    if (c.font) fonts.push(c.font.twips);
    if (target && c.box) targets.push(Math.min(c.box[2], c.box[3]));
  };
  [s.instruction, s.listBox, s.progressButton, s.message].forEach((c) => walk(c, c === s.progressButton));
  if (s.board) {
    [s.board.heading, s.board.question].forEach((c) => walk(c, false));
    s.board.frames.forEach((f) => { walk(f.caption, true); walk(f, true); });
    s.board.terms.forEach((t) => walk(t, true));
  }
  (s.buttons || []).forEach((b) => walk(b, true));
  if (s.explanation) { walk(s.explanation, false); walk(s.explanation.body, false); }
  const px = (twips) => twips / TwipsPerPixel;
  return Math.max(0, ...fonts.map((t) => SmallestText / px(t)), ...targets.map((t) => SmallestTarget / px(t)));
}

function fitScale(s) {
  const w = s.client[0] / TwipsPerPixel;
  const h = s.client[1] / TwipsPerPixel;
  const area = $('app');
  const width = area.clientWidth;
  const height = area.clientHeight;
  scale = Math.min(width / w, height / h);
  const narrow = small(w);
  document.body.classList.toggle('small', narrow);
  if (narrow && scale < smallestScale(s)) {
    // Too small to use whole: as wide as the screen allows, scrolled
    // down, but never below the smallest sizes.
    scale = Math.max(smallestScale(s), width / w);
  }
  board.style.width = w * scale + 'px';
  board.style.height = h * scale + 'px';
  board.style.left = Math.max(0, (width - w * scale) / 2) + 'px';
  board.style.top = Math.max(0, (height - h * scale) / 2) + 'px';
  board.style.background = s.back;
  area.style.background = s.back;
}

// The control the server left the keyboard on, until another is named.
let focusName = null;

function show(s) {
  server = s;
  if (s.focus) focusName = s.focus;
  state = foreseen();
  draw();
  if (s.sound) play(s.sound);
  if (s.notices && s.notices.length) notice(s.notices.slice());
}

function carried() { return state && state.board ? state.board.carry : null; }

// While a pointer is down on the board its elements stay, so that a reply
// arriving meanwhile takes neither a drag nor a tap (a click needs the same
// element under the press and the release); the board is drawn again once
// the release has been handled.
let holding = false;
let drawLater = false;
board.addEventListener('pointerdown', () => { holding = true; }, true);
function letGo() {
  holding = false;
  setTimeout(() => { if (!holding && drawLater) draw(); });
}
window.addEventListener('pointerup', letGo, true);
window.addEventListener('pointercancel', letGo, true);

// The board is marked while something the learner did is not yet drawn as
// the server holds it.
function markPending() {
  if (queue.length || drawLater) board.dataset.pending = '1';
  else delete board.dataset.pending;
}

function draw() {
  const s = state;
  drawLater = Boolean(s) && holding;
  markPending();
  if (!s || holding) return;
  document.title = s.title;
  fitScale(s);
  board.replaceChildren();
  if (s.screen === 'list') {
    drawList(s);
  } else {
    drawBoard(s);
  }
  if (s.instruction && s.instruction.text) {
    const line = make('div', 'wrap', s.instruction);
    line.textContent = s.instruction.text;
    line.style.background = 'transparent';
  }
  scrollToStart(s.screen);
}

// A board larger than the phone starts each screen at its top, the list
// in the middle, where its entries are; a problem at its left, where the
// question starts.
let shownScreen = null;
function scrollToStart(screen) {
  if (screen === shownScreen) return;
  shownScreen = screen;
  const area = $('app');
  area.scrollTop = 0;
  area.scrollLeft = screen === 'list' ? (area.scrollWidth - area.clientWidth) / 2 : 0;
}

function drawList(s) {
  const logo = make('img', 'logo', { box: s.titleBox });
  logo.src = '/title.png';
  logo.alt = '';
  const list = make('ul', 'series', s.listBox);
  list.setAttribute('aria-label', '問題集');
  s.list.forEach((title, entry) => {
    const item = document.createElement('li');
    const button = document.createElement('button');
    button.type = 'button';
    button.textContent = title;
    button.addEventListener('click', () => send('/api/open', { entry }));
    item.appendChild(button);
    list.appendChild(item);
  });
  if (s.progressButton) {
    const open = make('button', '', s.progressButton);
    open.type = 'button';
    open.textContent = s.progressButton.text;
    open.addEventListener('click', openRecord);
    fit(open);
  }
  const first = list.querySelector('button');
  if (first && !document.activeElement.closest('#notice')) first.focus();
}

function drawBoard(s) {
  const b = s.board;
  const heading = make('div', 'wrap', b.heading);
  heading.textContent = b.heading.text;
  const question = make('div', 'wrap', b.question);
  question.textContent = b.question.text;
  b.frames.forEach((f, i) => drawFrame(f, i));
  b.terms.forEach((t, i) => drawTerm(t, i, b));
  if (s.panel) {
    const panel = make('div', 'panel', { box: s.panel.box });
    panel.style.background = s.panel.fill;
    panel.style.border = px(45) + 'px solid ' + s.panel.border;
    panel.setAttribute('role', 'region');
    panel.setAttribute('aria-label', '結果');
  }
  if (s.message) {
    const message = make('div', 'message', s.message);
    message.setAttribute('role', 'alert');
    message.textContent = s.message.text;
  }
  if (s.explanation) drawExplanation(s.explanation);
  for (const c of s.buttons) drawButton(c, s);
  focusAfterDraw(s);
}

function drawFrame(f, i) {
  const frame = make('div', 'frame', f);
  frame.style.background = f.fill || 'transparent';
  frame.style.borderColor = f.border;
  frame.style.borderWidth = px(30) + 'px';
  frame.setAttribute('role', 'group');
  frame.setAttribute('aria-label', f.name);
  frame.dataset.frame = i;
  const c = carried();
  if (c && c.frame === i) {
    frame.classList.add('target');
    frame.setAttribute('aria-description', c.name);
  }
  onTap(frame, () => frameTapped(i));
  const caption = make('div', 'caption', f.caption);
  caption.textContent = f.caption.text;
  caption.dataset.frame = i;
  onTap(caption, () => frameTapped(i));
  fit(caption);
}

// A tap counts when the pointer goes down: a reply drawn before it comes up
// replaces the element, and the click would then never come. A click with
// no pointer (the keyboard, a screen reader) counts too.
function onTap(el, tapped) {
  el.addEventListener('pointerdown', (e) => {
    if (e.button > 0) return;
    e.stopPropagation();
    tapped();
  });
  el.addEventListener('click', (e) => { if (e.detail === 0) tapped(); });
}

function drawTerm(t, i, b) {
  t.index = i;
  const term = make('button', 'term', t);
  term.type = 'button';
  term.textContent = t.text;
  term.dataset.term = i;
  term.setAttribute('aria-description', t.description);
  const c = carried();
  if (c && c.term === i) term.classList.add('lifted');
  if (!canMove()) term.setAttribute('aria-disabled', 'true');
  term.addEventListener('pointerdown', (e) => pointerDown(e, i));
  term.addEventListener('keydown', (e) => termKey(e, i));
  fit(term);
}

function drawButton(c, s) {
  const button = make('button', c.id === 'quit' || c.id.startsWith('arrow') ? '' : 'result-button', c);
  button.type = 'button';
  button.textContent = c.text;
  button.dataset.button = c.id;
  if (c.label !== c.text) button.setAttribute('aria-label', c.label);
  if (c.id === 'explanationBack') button.style.zIndex = 71;
  button.addEventListener('click', () => press(c.id));
  fit(button);
}

function drawExplanation(e) {
  const panel = make('div', 'explanation', e);
  panel.style.background = '#fff';
  panel.setAttribute('role', 'region');
  panel.setAttribute('aria-label', e.text);
  const legend = document.createElement('span');
  legend.className = 'legend';
  legend.textContent = e.text;
  legend.style.color = e.fore;
  panel.appendChild(legend);
  const text = document.createElement('textarea');
  text.readOnly = true;
  text.value = e.explanation;
  text.setAttribute('aria-label', e.text);
  place(text, e.body.box);
  styleText(text, e.body);
  panel.appendChild(text);
}

function focusAfterDraw(s) {
  if (!mayFocus()) return;
  if (document.activeElement && document.activeElement.closest('#notice')) return;
  let target = null;
  const [kind, which] = (focusName || '').split(':');
  if (kind === 'term') target = board.querySelector(`[data-term="${which}"]`);
  if (kind === 'button') target = board.querySelector(`[data-button="${which}"]`);
  if (kind === 'explanation') target = board.querySelector('textarea');
  // A control that is gone leaves the keyboard on what the screen offers first.
  if (!target && s.screen === 'result') target = board.querySelector('.result-button');
  if (!target && s.screen === 'explanation') target = board.querySelector('textarea');
  if (target) target.focus({ preventScroll: true });
}

// ---- sounds and messages ---------------------------------------------------

const sounds = {};
function play(name) {
  if (!['correct', 'wrong', 'more', 'notmore'].includes(name)) return;
  const audio = sounds[name] || (sounds[name] = new Audio(`/sounds/${name}.wav`));
  audio.currentTime = 0;
  audio.play().catch(() => {});
  board.dataset.sound = name;
}

const waiting = [];
function notice(texts) {
  waiting.push(...texts);
  if (!$('notice').hidden) return;
  nextNotice();
}
function nextNotice() {
  const text = waiting.shift();
  if (text === undefined) {
    $('notice').hidden = true;
    focusAfterDraw(state);
    return;
  }
  $('notice-text').textContent = text;
  $('notice').hidden = false;
  if (mayFocus()) $('notice-ok').focus();
}
$('notice-ok').addEventListener('click', nextNotice);

// ---- moving terms ------------------------------------------------------------

// A tap on a frame puts the picked-up term there.
function frameTapped(frame) {
  const c = carried();
  if (c) send('/api/move', { term: c.term, frame });
}

// Terms move only on a problem being answered, as on the desktop.
function canMove() {
  return state && state.screen === 'problem' && state.board.open;
}

function pointerDown(e, i) {
  if (!canMove() || e.button > 0) return;
  e.preventDefault();
  const el = e.currentTarget;
  el.setPointerCapture(e.pointerId);
  const start = { x: e.clientX, y: e.clientY, left: el.offsetLeft, top: el.offsetTop };
  let dragging = false;
  const move = (m) => {
    const dx = m.clientX - start.x;
    const dy = m.clientY - start.y;
    if (!dragging && Math.hypot(dx, dy) < DragThreshold) return;
    dragging = true;
    el.classList.add('lifted');
    el.style.left = start.left + dx + 'px';
    el.style.top = start.top + dy + 'px';
  };
  const up = () => {
    el.removeEventListener('pointermove', move);
    el.removeEventListener('pointerup', up);
    el.removeEventListener('pointercancel', cancel);
    if (dragging) {
      const left = el.offsetLeft / scale * TwipsPerPixel;
      const top = el.offsetTop / scale * TwipsPerPixel;
      send('/api/move', { term: i, left, top });
    } else {
      tapTerm(i);
    }
  };
  const cancel = () => {
    el.removeEventListener('pointermove', move);
    el.removeEventListener('pointerup', up);
    el.removeEventListener('pointercancel', cancel);
    draw();
  };
  el.addEventListener('pointermove', move);
  el.addEventListener('pointerup', up);
  el.addEventListener('pointercancel', cancel);
}

// A tap on a term picks it up, or puts it back when it was.
function tapTerm(i) {
  const c = carried();
  if (c && c.term === i) carryAction('putBack');
  else carryAction('pickUp', i);
}

// The desktop's keys on a focused term, as the learner's verbs.
const CarryKeys = { ArrowLeft: 'left', ArrowRight: 'right', ArrowUp: 'up', ArrowDown: 'down' };

function termKey(e, i) {
  if (!canMove() || e.shiftKey) return;
  const digit = /^Digit([1-6])$|^Numpad([1-6])$/.exec(e.code);
  if (digit) {
    e.preventDefault();
    // A digit beyond the frames on the board does nothing.
    const frame = Number(digit[1] || digit[2]) - 1;
    if (frame < state.board.frames.length) send('/api/move', { term: i, frame });
  } else if (e.key === ' ' || e.key === 'Enter') {
    e.preventDefault();
    carryAction('toggle', i);
  } else if (CarryKeys[e.key]) {
    e.preventDefault();
    carryAction(CarryKeys[e.key]);
  } else if (e.key === 'Escape') {
    e.preventDefault();
    carryAction('putBack');
  }
}

// A tap on the board outside the terms and frames puts a picked-up term down
// where it was.
board.addEventListener('click', (e) => {
  if (e.target === board && carried()) carryAction('putBack');
});
window.addEventListener('resize', () => { if (state) draw(); });
// The focus follows the learner's Tab key too, so that a redraw leaves it
// where they put it.
board.addEventListener('focusin', (e) => {
  const { term, button } = e.target.dataset;
  if (term !== undefined) focusName = `term:${term}`;
  if (button !== undefined) focusName = `button:${button}`;
});
document.addEventListener('keydown', (e) => {
  if (e.key === 'Escape' && !$('notice').hidden) nextNotice();
});
// ---- the learner's record -----------------------------------------------------

// The desktop's 学習の記録: the server works the numbers out as the desktop
// does; the page only lays them out.
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
  drawRecord(record);
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

function cell(row, text, number) {
  const td = document.createElement('td');
  td.textContent = text;
  if (number) td.className = 'number';
  row.appendChild(td);
}

function drawRecord(p) {
  $('record-who').textContent = `学習者: ${p.learner}　　これまでの回答: ${p.answers}回`;
  $('record-aside').textContent = p.setAside;
  $('record-aside').hidden = !p.setAside;
  const series = $('record-series').tBodies[0];
  series.replaceChildren();
  if (p.answers === 0) {
    const row = series.insertRow();
    cell(row, 'まだ回答の記録がありません');
    row.cells[0].colSpan = 5;
  }
  for (const s of p.answers === 0 ? [] : p.series) {
    const row = series.insertRow();
    cell(row, s.title);
    row.cells[0].title = s.series;
    // Nothing seen has no rate, which is not the same as none right.
    [s.seen, s.seen > 0 ? s.rightPercent : '—', s.dueToday, s.dueThisWeek].forEach((n) => cell(row, n, true));
  }
  const terms = $('record-terms').tBodies[0];
  terms.replaceChildren();
  for (const t of p.terms) {
    const row = terms.insertRow();
    [t.heading, t.term, t.group].forEach((text) => cell(row, text));
    row.cells[0].title = t.series;
    cell(row, t.rightPercent, true);
    cell(row, `${t.right}/${t.firstChecks}`, true);
  }
  drawCharts(p);
}

// ---- the record's charts, as SVG drawn here --------------------------------------

const Svg = 'http://www.w3.org/2000/svg';
const ChartHeight = 240;
const Plot = { left: 44, right: 18, top: 10, bottom: 26 };

function svg(tag, attributes, parent) {
  const el = document.createElementNS(Svg, tag);
  for (const [name, value] of Object.entries(attributes)) el.setAttribute(name, value);
  if (parent) parent.appendChild(el);
  return el;
}

function label(parent, x, y, text, anchor) {
  const t = svg('text', { x, y, 'text-anchor': anchor }, parent);
  t.textContent = text;
}

// A chart the width of its place, in CSS pixels, so that its text is the
// size the style sheet gives it; named by its title, told in words.
function chart(figure, description) {
  figure.querySelector('svg')?.remove();
  const width = Math.max(280, Math.min(560, figure.clientWidth || 400));
  const el = svg('svg', { width, height: ChartHeight, viewBox: `0 0 ${width} ${ChartHeight}`, role: 'img' }, figure);
  el.setAttribute('aria-label', `${figure.querySelector('figcaption').textContent}: ${description}`);
  return { el, plotWidth: width - Plot.left - Plot.right, plotHeight: ChartHeight - Plot.top - Plot.bottom };
}

// The value axis from 0 to `top` in `steps` steps, with its grid.
function valueAxis(c, top, steps, format) {
  for (let k = 0; k <= steps; ++k) {
    const y = Plot.top + c.plotHeight - (k * c.plotHeight) / steps;
    svg('line', { x1: Plot.left, x2: Plot.left + c.plotWidth, y1: y, y2: y, class: k ? 'grid' : 'axis' }, c.el);
    label(c.el, Plot.left - 6, y + 4, format((top * k) / steps), 'end');
  }
}

// The dates under `count` places: every `every`th, counting back from the
// last, as the desktop names them.
function dateAxis(c, dates, every) {
  const slot = c.plotWidth / dates.length;
  for (let i = (dates.length - 1) % every; i < dates.length; i += every) {
    const [, month, day] = dates[i].split('-').map(Number);
    label(c.el, Plot.left + slot * (i + 0.5), ChartHeight - 8, `${month}/${day}`, 'middle');
  }
  return slot;
}

function drawCharts(p) {
  const days = chart($('chart-days'), p.daysText);
  // Four steps of whole answers, so that no label repeats.
  const step = Math.max(1, Math.ceil(Math.max(0, ...p.days.map((d) => d.answers)) / 4));
  valueAxis(days, step * 4, 4, (v) => String(v));
  const slot = dateAxis(days, p.days.map((d) => d.day), 7);
  p.days.forEach((d, i) => {
    const h = (d.answers / (step * 4)) * days.plotHeight;
    svg('rect', { x: Plot.left + slot * (i + 0.15), y: Plot.top + days.plotHeight - h, width: slot * 0.7, height: h, class: 'data' }, days.el);
  });

  const weeks = chart($('chart-weeks'), p.weeksText);
  valueAxis(weeks, 100, 5, (v) => `${v}%`);
  const wslot = dateAxis(weeks, p.weeks.map((w) => w.monday), 2);
  // A week without reviews has no point; the line joins the others.
  const points = p.weeks.flatMap((w, i) => (w.reviews > 0
    ? [[Plot.left + wslot * (i + 0.5), Plot.top + weeks.plotHeight * (1 - w.rightPercent / 100)]] : []));
  if (points.length > 1) svg('polyline', { points: points.map((q) => q.join(',')).join(' '), class: 'line' }, weeks.el);
  for (const [x, y] of points) svg('circle', { cx: x, cy: y, r: 4, class: 'data' }, weeks.el);
}

window.addEventListener('resize', () => { if (record && !$('record').hidden) drawCharts(record); });
// The editor tells the preview when the problem on it has changed.
if (Preview) {
  window.addEventListener('message', (e) => {
    if (e.origin !== location.origin || e.source !== window.parent) return;
    if (e.data && e.data.state) show(e.data.state);
    else load();
  });
}
load();
