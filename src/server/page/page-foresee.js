'use strict';
// The classroom page, after page.js: the board as the server will leave it
// once the actions on their way are done.

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
