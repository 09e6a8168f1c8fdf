// Another program holds the store's write lock (an administrator's sqlite3,
// a backup) while the class acts, more writers than the server has threads:
// a page load, the teacher's live page and the report are served at once, a
// move is answered 503 within about a second and lands once after the lock.
//   node store_lock.mjs PATH/TO/velmorant-server
import { startServer, client, teacherClient, setTeacherPassword, check, holdWriteLock } from './serverLib.mjs';

const program = process.argv[2];
const database = process.env.VELMORANT_DATABASE || '';
const crowd = Array.from({ length: 10 }, (_, i) => `k${i}`);
const server = await startServer(program, { learners: ['aoi', 'ren', ...crowd], database });
const timed = async (what, ms, status) => {
  const started = Date.now();
  const r = await what();
  r.ms = Date.now() - started;
  check(r.status === status && r.ms < ms, `${status} within ${ms} ms: ${r.status} in ${r.ms} ms`);
  return r;
};

try {
  setTeacherPassword(program, server.dir, 'kyoushitsu-2026', database);
  const teacher = teacherClient(server.url);
  await teacher.signIn('kyoushitsu-2026');
  const signedIn = async (name) => {
    const c = client(server.url);
    check((await c.signIn(server.codes[name])).status === 200, `${name} signs in`);
    return c;
  };
  const [aoi, ren, ...others] = await Promise.all(['aoi', 'ren', ...crowd].map(signedIn));
  check((await aoi.post('/api/open', { entry: 1 })).status === 200, 'aoi opens a series');
  const sent = { seq: aoi.seq, key: 'a'.repeat(32), term: 0, frame: 0 };

  const release = await holdWriteLock(server.dir, database);
  try {
    const writes = Promise.all(others.map((c) => c.post('/api/open', { entry: 1 })));
    const move = timed(() => aoi.post('/api/move', sent), 1500, 503);
    await new Promise((resolve) => setTimeout(resolve, 100));
    // ren's session is brought up from the store for the first time.
    await timed(() => ren.get('/api/state'), 500, 200);
    check((await timed(() => teacher.get('/api/teacher/live'), 500, 200)).json.now.length === 12,
      'the live page shows who is signed in');
    await timed(() => teacher.get('/teacher/results.csv'), 500, 200);
    check(Number((await move).headers['retry-after']) > 0, 'the move is told when to come again');
    check((await writes).every((r) => r.status === 503), 'every write meanwhile is answered 503');
  } finally {
    await release();
  }

  // The page sends the same action again, twice: it lands once.
  const landed = [await aoi.post('/api/move', sent), await aoi.post('/api/move', sent)];
  check(landed.every((r) => r.status === 200 && r.json.seq === sent.seq + 1), 'the move lands once after the lock');
  check((await aoi.get('/api/state')).json.board.terms[0].frame === 0, 'and is kept');
  console.log('store lock test passed');
} finally {
  await server.stop();
}
