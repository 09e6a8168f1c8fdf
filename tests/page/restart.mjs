// The server stopped mid-problem and started again on the same folder and
// store: a move made while it is gone waits with a notice, and the page
// goes on with the same problem and the same placements. A teacher's edit
// of the question's wording, then a crash: the placements stay; an edit of
// a term, then a crash: the problem starts again, and the page says why.
//   node restart.mjs PATH/TO/velmorant-server
import { startServer, check, freePort, setTeacherPassword, teacherClient } from './serverLib.mjs';
import { Answer, Solved, launch, settled, signIn, openSeries, resultAlert, serverState } from './browserLib.mjs';

const program = process.argv[2];
const database = process.env.VELMORANT_DATABASE || '';
const port = await freePort();
let server = await startServer(program, { learners: ['aoi'], database, port });
const { browser, close } = await launch();
const step = (what) => console.log(`- ${what}`);
const frames = async (page) => (await serverState(page)).board.terms.map((t) => t.frame);

try {
  const page = await browser.newPage();
  await page.setViewport({ width: 1280, height: 800 });
  await signIn(page, server.url, server.codes.aoi);
  await openSeries(page, '動物の多様性と分類');
  const heading = await page.$eval('.wrap', (el) => el.textContent);
  for (const frame of Answer.slice(0, 4)) {
    await page.keyboard.press(String(frame + 1));
    await settled(page);
  }

  step('the server is stopped with four terms placed');
  const status = await server.stop({ keep: true });
  check(status === 0, `the server ends cleanly on SIGTERM: ${status}`);
  await page.keyboard.press(String(Answer[4] + 1));
  const notice = await page.waitForSelector('#status[role="status"]:not([hidden])', { visible: true, timeout: 5000 });
  check((await notice.evaluate((n) => n.textContent)).includes('接続が切れています'), 'the page says the connection is lost');
  check(await page.$eval('.term[data-term="4"]', (t) => t.offsetTop > 0 && t.getAttribute('aria-description').includes('枠2')),
    'the move shows while it waits');
  step('a move waits while it is gone; it is started again');
  server = await startServer(program, { database, folder: server.dir, port });
  await settled(page);
  check(await page.$eval('#status', (n) => n.hidden), 'the notice is gone once the move is stored');

  step('the page is loaded again');
  await page.reload();
  await page.waitForSelector('.term');
  check(await page.$eval('.wrap', (el) => el.textContent) === heading, 'the page shows the same problem');
  const held = await frames(page);
  check(JSON.stringify(held) === JSON.stringify([...Answer.slice(0, 5), -1, -1, -1, -1, -1]),
    `the placements are kept, the one made while the server was gone too: ${held}`);

  // The teacher saves problem 1 in the editor, then the server is killed.
  setTeacherPassword(program, server.dir, 'kyoushitsu-2026', database);
  const edit = async (from, to) => {
    const teacher = teacherClient(server.url);
    await teacher.signIn('kyoushitsu-2026');
    const { text, version } = (await teacher.get('/api/teacher/series/text?file=Bio1.TXT')).json;
    const saved = await teacher.post('/api/teacher/series/save', { file: 'Bio1.TXT', version, text: text.replace(from, to) });
    check(saved.status === 200 && text.includes(from), `${from} is changed and saved: ${saved.text}`);
    await server.stop({ keep: true, signal: 'SIGKILL' });
    server = await startServer(program, { database, folder: server.dir, port });
    await page.reload();
    await page.waitForSelector('.term');
    return frames(page);
  };
  step('the question is reworded, and the server killed');
  const kept = await edit('次の無脊椎動物を', 'つぎの無脊椎動物を');
  check(JSON.stringify(kept) === JSON.stringify(held), `the placements survive: ${kept}`);
  check(await page.$eval('#notice', (n) => n.hidden), 'and nothing is said');
  step('a term is changed, and the server killed');
  check((await edit('ザリガニ', 'アメリカザリガニ')).every((f) => f === -1), 'the problem starts again');
  const told = await page.waitForSelector('#notice:not([hidden])', { visible: true, timeout: 5000 });
  check((await told.evaluate((n) => n.textContent)).includes('先生が問題を直したため'), 'the page says why');
  await page.click('#notice-ok');
  await page.focus('.term[data-term="0"]');
  for (const frame of Answer) {
    await page.keyboard.press(String(frame + 1));
    await settled(page);
  }
  check(await resultAlert(page) === Solved, 'the problem is solved after the restarts');
  console.log('restart test passed');
} finally {
  await close();
  await server.stop();
}
