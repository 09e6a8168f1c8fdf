// The page's foresight against the server's replies: over many random moves
// and carries on a board (terms put into frames, let go at places, picked
// up, carried with the arrow keys, put down and put back), the board the
// page foresees for each (every term's frame and place, the carried term's
// frame, where the keys go) is the board the server answers with.
//   node foresight.mjs PATH/TO/velmorant-server [MOVES] [SEED]
import { startServer, check } from './serverLib.mjs';
import { launch, signIn, openSeries } from './browserLib.mjs';

const program = process.argv[2];
const moves = Number(process.argv[3] || 300);
// A fixed seed by default, so that a run is the same each time; another
// seed explores other moves.
const seed = Number(process.argv[4] || 1);
const server = await startServer(program, { learners: ['aoi'] });
const { browser, close } = await launch();

// Runs in the page: each action foreseen on the server's last state by the
// page's own foresee(), then sent, and the two boards compared.
async function compareMoves(count, seed) {
  let x = seed;
  const random = () => {
    x = (x + 0x6D2B79F5) | 0;
    let t = Math.imul(x ^ (x >>> 15), 1 | x);
    t = (t + Math.imul(t ^ (t >>> 7), 61 | t)) ^ t;
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
  const pick = (n) => Math.floor(random() * n);
  const seen = (s) => JSON.stringify({
    terms: s.board.terms.map((t) => [t.frame, Math.round(t.box[0]), Math.round(t.box[1])]),
    carry: s.board.carry ? [s.board.carry.term, s.board.carry.frame] : null,
  });
  const act = async (path, fields) => request('POST', path, { ...fields, seq: server.seq, key: newKey() });
  const carries = ['pickUp', 'toggle', 'left', 'right', 'up', 'down', 'left', 'right', 'up', 'down', 'putDown', 'putBack'];
  // A place to let a term go: in a frame, or where another term lies now.
  const place = (b, term) => {
    const t = b.terms[term].box;
    if (random() < 0.6) {
      const f = b.frames[pick(b.frames.length)].box;
      return { left: f[0] + random() * Math.max(0, f[2] - t[2]), top: f[1] + random() * Math.max(0, f[3] - t[3]) };
    }
    const other = b.terms[pick(b.terms.length)].box;
    return { left: other[0] + pick(200) - 100, top: other[1] + pick(200) - 100 };
  };
  const faults = [];
  const tally = { compared: 0, focus: 0, busy: 0 };
  for (let n = 0; n < count && faults.length < 5; ++n) {
    const b = server.board;
    if (!b || !b.open) {
      const { data } = await act('/api/press', { button: 'retry' });
      show(data);
      continue;
    }
    let action;
    const r = random();
    if (r < 0.3) {
      action = { path: '/api/move', fields: { term: pick(b.terms.length), frame: pick(b.frames.length) } };
    } else if (r < 0.5) {
      const term = pick(b.terms.length);
      action = { path: '/api/move', fields: { term, ...place(b, term) } };
    } else {
      const carry = carries[pick(carries.length)];
      const term = b.carry && random() < 0.5 ? b.carry.term : pick(b.terms.length);
      action = { path: '/api/carry', fields: carry === 'pickUp' || carry === 'toggle' ? { action: carry, term } : { action: carry } };
    }
    const foreseen = structuredClone(server);
    foreseen.focus = null;
    foresee(foreseen, action);
    let { status, data } = await act(action.path, action.fields);
    // Checks are bounded to five a second: the same move again, as soon as
    // the bound lets it through (a refused move changes nothing).
    for (; status === 429; { status, data } = await act(action.path, action.fields)) {
      ++tally.busy;
      await new Promise((resolve) => setTimeout(resolve, 150));
    }
    const reply = status === 200 ? data : data.state;
    if (!reply || !reply.board) {
      faults.push({ action, status, data });
      break;
    }
    ++tally.compared;
    const want = seen(reply);
    const got = seen(foreseen);
    // Where the keys go, when the page moves them: the server's reply names
    // it unless the answer was checked and solved.
    const focusFault = foreseen.focus !== null && reply.board.open && foreseen.focus !== reply.focus;
    if (foreseen.focus !== null) ++tally.focus;
    if (want !== got || focusFault) {
      faults.push({ action, before: seen(server), want, got, wantFocus: reply.focus, gotFocus: foreseen.focus });
    }
    show(reply);
  }
  return { faults, tally };
}

try {
  const page = await browser.newPage();
  await page.setViewport({ width: 1280, height: 800 });
  await signIn(page, server.url, server.codes.aoi);
  await openSeries(page, '動物の多様性と分類');
  const { faults, tally } = await page.evaluate(compareMoves, moves, seed);
  for (const f of faults) console.log(JSON.stringify(f));
  check(faults.length === 0, `the page foresees every move as the server answers it (seed ${seed})`);
  check(tally.compared >= moves * 0.8 && tally.focus > moves / 20,
    `most moves compared (${tally.compared}, ${tally.focus} with the focus, ${tally.busy} waits for the bound on checks)`);
} finally {
  await close();
  await server.stop();
}
