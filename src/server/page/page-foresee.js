'use strict';
// The classroom page, after page.js: the board as the server will leave it
// once the actions on their way are done. Where terms go is the server's
// (ScreenJson::foresee): each frame's slots ("slots": the first one's
// left and top, the step to the next, how many fit), the frame the arrow
// keys carry a term to from it ("steps"), and where a term waits when its
// frame is full ("park"). tests/page/foresight.mjs holds the page's
// foresight to the server's replies.

// ---- the board as the server will leave it ----------------------------------

// Does on state `s` what the server will do with `action`, as far as the
// page can tell, and moves the focus as the keys will; the server's reply
// replaces it.
function foresee(s, action) {
  const b = s.board;
  if (!b || !b.open) return;
  const f = action.fields;
  if (action.path === '/api/move') {
    if (f.frame !== undefined) {
      putIn(s, f.term, f.frame, true);
    } else {
      // A term let go puts down any term picked up.
      b.carry = null;
      dropAt(b, f.term, frameAt(b, f.term, f.left, f.top), f.left, f.top);
    }
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
    putIn(s, c.term, c.frame, false);
  } else if (c) {
    c.frame = b.frames[c.frame].steps[action];
  }
  if (b.carry) b.carry.name = `移動先の${b.frames[b.carry.frame].name}`;
}

// A term put into a frame; the focus moves on to the next term not in one.
// Moved (not carried) into the frame it lies in once every term lies in
// one, it stays as it is and is not checked again.
function putIn(s, term, frame, moved) {
  const b = s.board;
  if (frame < 0 || frame >= b.frames.length) return;
  if (moved && b.terms[term].frame === frame && b.terms.every((t) => t.frame >= 0)) return;
  b.carry = null;
  dropAt(b, term, frame, b.terms[term].box[0], b.terms[term].box[1]);
  const next = b.terms.findIndex((t, k) => t.frame < 0 && k > term);
  const first = b.terms.findIndex((t) => t.frame < 0);
  if (next >= 0 || first >= 0) s.focus = `term:${next >= 0 ? next : first}`;
}

// Each frame's terms, in their slots' order.
function termsIn(b, frame) {
  return b.terms.flatMap((t, k) => (t.frame === frame ? [k] : []))
    .sort((j, k) => b.terms[j].box[1] - b.terms[k].box[1]);
}

// A term taken out of its frame and let go at a place, into `frame` or none
// (-1): back in the frame it came from it takes its slot again, in another
// the next free one, and where no slot is left it waits above the frames,
// in none. Each frame's terms then close up in their slots.
function dropAt(b, term, frame, left, top) {
  const t = b.terms[term];
  const from = t.frame;
  const slotWas = from >= 0 ? termsIn(b, from).indexOf(term) : -1;
  t.frame = -1;
  t.box = [left, top, t.box[2], t.box[3]];
  t.right = null;
  delete t.back;
  const lists = b.frames.map((f, c) => termsIn(b, c));
  if (frame >= 0) {
    const [slotLeft, , , room] = b.frames[frame].slots;
    const slot = frame === from ? slotWas : lists[frame].length;
    t.box[0] = slotLeft;
    if (slot < room) {
      lists[frame].splice(slot, 0, term);
      t.frame = frame;
    } else {
      t.box[1] = b.park;
    }
  }
  t.description = t.frame >= 0 ? `${b.frames[t.frame].name}にあります。` : '';
  lists.forEach((list, c) => {
    const [, slotsTop, step] = b.frames[c].slots;
    list.forEach((k, i) => {
      const u = b.terms[k];
      u.box = [u.box[0], slotsTop + i * step, u.box[2], u.box[3]];
    });
  });
}

// The frame under a term's centre, or -1.
function frameAt(b, term, left, top) {
  const x = left + b.terms[term].box[2] / 2;
  const y = top + b.terms[term].box[3] / 2;
  return b.frames.findIndex(({ box: [l, t, w, h] }) => l < x && x < l + w && t - 100 < y && y < t + h);
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
