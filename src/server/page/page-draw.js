'use strict';
// The classroom page, after page-foresee.js: the screen drawn from the
// state, the sounds and the messages.

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
  if (typeof roundShown === 'function') roundShown(s);
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
