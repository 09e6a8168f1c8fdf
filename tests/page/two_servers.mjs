// Two velmorant-servers on one PostgreSQL behind nginx, round robin with no
// stickiness: a learner's requests go to each in turn, and she signs in
// and solves a problem through nginx as through one server.
//   with-postgres.sh node two_servers.mjs PATH/TO/velmorant-server
import { startServer, startNginx, check } from './serverLib.mjs';
import { Answer, Solved, launch, settled, signIn, openSeries, resultAlert } from './browserLib.mjs';

const program = process.argv[2];
const database = process.env.VELMORANT_DATABASE;
check(database, 'VELMORANT_DATABASE is set: run under with-postgres.sh');
const one = await startServer(program, { learners: ['aoi'], database });
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
} finally {
  await close();
  await nginx.stop();
  await two.stop({ keep: true });
  await one.stop();
}
