// Two velmorant-servers on one PostgreSQL behind nginx, round robin with no
// stickiness: a learner's requests go to each in turn, and she signs in
// and solves a problem through nginx as through one server.
//   with-postgres.sh node two_servers.mjs PATH/TO/velmorant-server
import { startServer, startNginx, check, client } from './serverLib.mjs';
import { Answer, Solved, launch, settled, signIn, openSeries, resultAlert } from './browserLib.mjs';

const program = process.argv[2];
const database = process.env.VELMORANT_DATABASE;
check(database, 'VELMORANT_DATABASE is set: run under with-postgres.sh');
// Learners whose first actions race, one to each server.
const Racers = ['ren', 'mio', 'sora', 'kai', 'yui', 'rin', 'nao', 'emi'];
const one = await startServer(program, { learners: ['aoi', ...Racers], database });
const two = await startServer(program, { database, folder: one.dir });
const nginx = await startNginx([one.url, two.url]);
const { browser, close } = await launch();

try {
  const page = await browser.newPage();
  await page.setViewport({ width: 1280, height: 800 });
  // The server that answered each of the learner's actions.
  const answeredBy = [];
  page.on('response', (r) => {
    if (r.request().method() === 'POST' && r.url().includes('/api/')) answeredBy.push(r.headers()['x-upstream']);
  });
  await signIn(page, nginx.url, one.codes.aoi);
  await openSeries(page, '動物の多様性と分類');
  for (const frame of Answer) {
    await page.keyboard.press(String(frame + 1));
    await settled(page);
  }
  check(await resultAlert(page) === Solved, 'the problem is solved through nginx');
  const hosts = [one.url, two.url].map((u) => new URL(u).host);
  const counts = hosts.map((h) => answeredBy.filter((a) => a === h).length);
  check(answeredBy.length >= 12 && counts.every((n) => n >= 4), `both servers answered her: ${answeredBy.join(' ')}`);
  console.log(`two servers answered ${counts.join(' and ')} of her actions`);

  // A learner's very first action from two devices at once, one through
  // each server: the learner is held from the first read to the commit, so
  // one is taken and the other is told it is behind; none is acknowledged
  // and then overwritten.
  for (const name of Racers) {
    const first = client(one.url);
    const second = client(two.url);
    await first.signIn(one.codes[name]);
    await second.signIn(one.codes[name]);
    const [a, b] = await Promise.all([first, second].map((c) => c.post('/api/open', { entry: 1, seq: 0 })));
    const state = await first.get('/api/state');
    check([a.status, b.status].sort().join() === '200,409' && state.json.seq === 1,
      `${name}'s two first actions: one taken, one behind (${a.status}, ${b.status}, seq ${state.json.seq})`);
  }
} finally {
  await close();
  await nginx.stop();
  await two.stop({ keep: true });
  await one.stop();
}
