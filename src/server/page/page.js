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

let state = null;
let scale = 1;
let busy = false;
const board = document.getElementById('board');

function $(id) { return document.getElementById(id); }

async function request(method, path, body) {
  const options = { method, headers: {}, credentials: 'same-origin' };
  if (body !== undefined) {
    options.headers['Content-Type'] = 'application/json';
    options.body = JSON.stringify(body);
  }
  const response = await fetch(path, options);
  let data = {};
  try { data = await response.json(); } catch (e) { data = {}; }
  return { status: response.status, data };
}

// ---- sign-in --------------------------------------------------------------

function showSignIn(message) {
  $('app').hidden = true;
  $('signin').hidden = false;
  $('signin-error').textContent = message || '';
  document.title = '用語分類問題集 Velmorant';
  $('code').focus();
}

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
      $('signin-error').textContent = data.error || 'サインインできません';
    }
  } finally {
    button.disabled = false;
  }
});

async function load() {
  const { status, data } = await request('GET', '/api/state');
  if (status === 401) { showSignIn(); return; }
  $('signin').hidden = true;
  $('app').hidden = false;
  show(data);
}

// ---- sending --------------------------------------------------------------

// Every action is sent in order, one at a time: one made while another is
// on its way waits for it, so no key or tap is lost.
const queue = [];
function send(path, body) {
  queue.push({ path, body });
  if (!busy) drain();
}

async function drain() {
  busy = true;
  board.dataset.pending = '1';
  try {
    while (queue.length) {
      const { path, body } = queue.shift();
      const { status, data } = await request('POST', path, body);
      if (status === 401) { queue.length = 0; showSignIn('もう一度サインインしてください'); return; }
      if (status !== 200) {
        // The server refused: what was queued after it no longer fits;
        // draw what the server holds now.
        queue.length = 0;
        const again = await request('GET', '/api/state');
        if (again.status === 200) show(again.data);
        return;
      }
      show(data);
    }
  } finally {
    busy = false;
    delete board.dataset.pending;
  }
}

function press(id) { send('/api/press', { button: id }); }
function carryAction(action, term) { send('/api/carry', term === undefined ? { action } : { action, term }); }

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
  el.style.fontSize = Math.max(size * el.clientWidth / el.scrollWidth, size * 0.6) + 'px';
}

function fitScale(s) {
  const w = s.client[0] / TwipsPerPixel;
  const h = s.client[1] / TwipsPerPixel;
  scale = Math.min(window.innerWidth / w, window.innerHeight / h);
  board.style.width = w * scale + 'px';
  board.style.height = h * scale + 'px';
  board.style.left = Math.max(0, (window.innerWidth - w * scale) / 2) + 'px';
  board.style.top = Math.max(0, (window.innerHeight - h * scale) / 2) + 'px';
  board.style.background = s.back;
}

// The control the server left the keyboard on, until another is named.
let focusName = null;

function show(s) {
  state = s;
  if (s.focus) focusName = s.focus;
  draw();
  if (s.sound) play(s.sound);
  if (s.notices && s.notices.length) notice(s.notices.slice());
}

function carried() { return state && state.board ? state.board.carry : null; }

function draw() {
  const s = state;
  if (!s) return;
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
  const out = document.createElement('button');
  out.className = 'signout';
  out.type = 'button';
  out.textContent = 'サインアウト';
  out.addEventListener('click', async () => {
    await request('POST', '/api/signout', {});
    state = null;
    showSignIn();
  });
  board.appendChild(out);
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
  frame.addEventListener('click', () => frameTapped(i));
  const caption = make('div', 'caption', f.caption);
  caption.textContent = f.caption.text;
  caption.dataset.frame = i;
  caption.addEventListener('click', () => frameTapped(i));
  fit(caption);
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
  $('notice-ok').focus();
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
  if (!canMove() || busy || e.button > 0) return;
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
document.addEventListener('keydown', (e) => {
  if (e.key === 'Escape' && !$('notice').hidden) nextNotice();
});
load();
