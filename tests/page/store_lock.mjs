// Another program holds the store's write lock for a while (an
// administrator's sqlite3, a backup): page loads, the teacher's live page
// and the report are served at once, a move is answered 503 within about a
// second, and lands once when sent again after the lock is gone.
//   node store_lock.mjs PATH/TO/velmorant-server
import { startServer, client, teacherClient, setTeacherPassword, check, holdWriteLock } from './serverLib.mjs';

const program = process.argv[2];
const database = process.env.VELMORANT_DATABASE || '';
const crowd = ['k1', 'k2', 'k3', 'k4', 'k5', 'k6', 'k7', 'k8', 'k9', 'k10'];
const server = await startServer(program, { learners: ['aoi', 'ren', ...crowd], database });
const timed = async (what) => {
  const started = Date.now();
  const r = await what();
  return { ...r, ms: Date.now() - started };
};

try {
  setTeacherPassword(program, server.dir, 'kyoushitsu-2026', database);
  const teacher = teacherClient(server.url);
  check((await teacher.signIn('kyoushitsu-2026')).status === 200, 'the teacher signs in');
  const signedIn = async (name) => {
    const c = client(server.url);
    check((await c.signIn(server.codes[name])).status === 200, `${name} signs in`);
    return c;
  };
  const aoi = await signedIn('aoi');
  check((await aoi.post('/api/open', { entry: 1 })).status === 200, 'aoi opens a series');
  check((await aoi.post('/api/move', { term: 0, frame: 0 })).status === 200, 'aoi places a term');
  // ren has signed in and not loaded the page yet: their session is
  // brought up from the store while the lock is held.
  const ren = await signedIn('ren');
  const others = await Promise.all(crowd.map(signedIn));

  const release = await holdWriteLock(server.dir, database);
  let move;
  try {
    // The class goes on acting meanwhile, more writers than the server has
    // threads.
    const writes = others.map((c) => c.post('/api/open', { entry: 1 }));
    const key = 'a'.repeat(32);
    const sent = { seq: aoi.seq, key, term: 1, frame: 0 };
    move = timed(() => aoi.post('/api/move', sent));
    await new Promise((resolve) => setTimeout(resolve, 100));
    const load = await timed(() => ren.get('/api/state'));
    check(load.status === 200 && load.ms < 500, `a page load is served at once: ${load.status} in ${load.ms} ms`);
    const live = await timed(() => teacher.get('/api/teacher/live'));
    check(live.status === 200 && live.ms < 500, `the live page is served at once: ${live.status} in ${live.ms} ms`);
    check(live.json.now.some((l) => l.name === 'aoi'), 'it shows who is signed in');
    const report = await timed(() => teacher.get('/teacher/results.csv'));
    check(report.status === 200 && report.ms < 500, `the report is served at once: ${report.status} in ${report.ms} ms`);
    move = await move;
    check(move.status === 503 && Number(move.headers['retry-after']) > 0 && move.ms < 1500,
      `a move waits about a second and is told to come again: ${move.status} in ${move.ms} ms`);
    const refused = await Promise.all(writes);
    check(refused.every((r) => r.status === 503), `every write meanwhile is answered 503: ${refused.map((r) => r.status)}`);
    move.sent = sent;
    // Held for a few seconds in all, as a backup would.
    await new Promise((resolve) => setTimeout(resolve, 2500));
    const again = await timed(() => aoi.post('/api/move', sent));
    check(again.status === 503 && again.ms < 1500, `sent again while held: ${again.status} in ${again.ms} ms`);
    console.log(`while held: page load ${load.ms} ms, live page ${live.ms} ms, report ${report.ms} ms,`
      + ` move 503 in ${move.ms} ms and ${again.ms} ms`);
  } finally {
    await release();
  }

  // The page sends the same action again: it lands once.
  const first = await aoi.post('/api/move', move.sent);
  const second = await aoi.post('/api/move', move.sent);
  check(first.status === 200 && second.status === 200, `the move lands after the lock: ${first.status} ${second.status}`);
  check(first.json.seq === move.sent.seq + 1 && second.json.seq === first.json.seq, 'and is applied once');
  const frames = (await aoi.get('/api/state')).json.board.terms.map((t) => t.frame);
  check(frames[0] === 0 && frames[1] === 0, `both placements are kept: ${frames}`);
  check((await others[0].post('/api/open', { entry: 1 })).status === 200, 'the others act again');
  console.log('store lock test passed');
} finally {
  await server.stop();
}
