// Two tabs of one learner: one moves on, and what the other still shows is
// no longer there. A key or マークをつける pressed in the stale tab is
// refused, nothing lands on the problem the learner is on, and the stale
// tab then shows that problem.
//   node stale_tab.mjs PATH/TO/velmorant-server
import { startServer, check, storeNumber } from './serverLib.mjs';
import { Answer, Solved, launch, aria, settled, signIn, openSeries, resultAlert, press, serverState }
  from './browserLib.mjs';

const program = process.argv[2];
const database = process.env.VELMORANT_DATABASE || '';
const server = await startServer(program, { learners: ['aoi'], database });
const { browser, close } = await launch();
const count = (table) => storeNumber(server.dir, database, `SELECT count(*) FROM ${table} WHERE learner LIKE '%/aoi'`);
// Problem 2 of the series: the frame of each term.
const Answer2 = [3, 0, 5, 2, 1, 4, 0, 5, 2, 3, 1, 4];

async function heading(page) {
  return page.$eval('.wrap', (el) => el.textContent);
}

async function tab() {
  const page = await browser.newPage();
  await page.setViewport({ width: 1280, height: 800 });
  return page;
}

async function solveByKeys(page, answer) {
  await page.bringToFront();
  await page.focus('.term[data-term="0"]');
  for (const frame of answer) {
    await page.keyboard.press(String(frame + 1));
    await settled(page);
  }
  check(await resultAlert(page) === Solved, 'the problem is solved');
}

try {
  const first = await tab();
  await signIn(first, server.url, server.codes.aoi);
  await openSeries(first, '動物の多様性と分類');
  const second = await tab();
  await second.goto(server.url);
  await second.waitForSelector('.term');
  await press(second, '次へ');
  const problem2 = await heading(second);

  await first.bringToFront();
  await first.focus('.term[data-term="0"]');
  await first.keyboard.press('1');
  await settled(first);
  check(await heading(first) === problem2, 'after its key is refused the stale tab shows problem 2');
  const placed = (await serverState(first)).board.terms.filter((t) => t.frame >= 0).length;
  check(placed === 0, 'no term of problem 2 is in a frame');
  check(count('statements') === 0, 'no answer is recorded');

  // The first tab solves problem 2; the second, now showing its result,
  // falls behind while the first goes back to problem 1 and solves it.
  await solveByKeys(first, Answer2);
  await second.bringToFront();
  await second.reload();
  await second.waitForSelector(aria('マークをつける', 'button'));
  await first.bringToFront();
  await press(first, '前の問題へ');
  const problem1 = await heading(first);
  await solveByKeys(first, Answer);
  await second.bringToFront();
  await press(second, 'マークをつける');
  check(await heading(second) === problem1, 'after マークをつける is refused the stale tab shows problem 1');
  const mark = (await serverState(second)).buttons.find((b) => b.id === 'mark');
  check(mark && mark.text === 'マークをつける', 'problem 1 is not marked');
  console.log('stale tab test passed');
} finally {
  await close();
  await server.stop();
}
