'use strict';
// The classroom page, after page-draw.js: terms moved with the pointer, a
// tap and the keys, each as one of the learner's verbs.

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
