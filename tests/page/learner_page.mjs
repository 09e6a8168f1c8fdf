// The learner's page on a shared device: whose screen it is, with
// サインアウト, on every screen; 学習の記録 with the server's numbers as a
// table and charts; a session ended elsewhere brings back the sign-in.
//   node learner_page.mjs PATH/TO/velmorant-server
import { startServer, check } from './serverLib.mjs';
import { Answer, Solved, launch, aria, settled, signIn, openSeries, resultAlert, press } from './browserLib.mjs';

const [program] = process.argv.slice(2);
const server = await startServer(program, { learners: ['aoi'] });
const { browser, close } = await launch();
const step = (what) => console.log(`- ${what}`);

// The line above the screen: whose it is, and the way out.
async function bar(page) {
  return page.evaluate(() => {
    const shown = (id) => document.getElementById(id)?.getClientRects().length > 0;
    return shown('who') && shown('signout') ? `${document.getElementById('who').textContent} ${document.getElementById('signout').textContent}` : '';
  });
}

async function expectBar(page, where) {
  check(await bar(page) === '学習の記録：aoi サインアウト', `the learner and サインアウト show on ${where}: "${await bar(page)}"`);
}

try {
  const page = await browser.newPage();
  await page.setViewport({ width: 1280, height: 800 });
  step('aoi signs in: the list says tap or click, and whose it is');
  await signIn(page, server.url, server.codes.aoi);
  await expectBar(page, 'the list');
  const line = await page.$eval('#board', (b) => b.textContent);
  check(line.includes('選んでタップ/クリックして下さい') && !line.includes('ダブルクリック'),
    'the list\'s instruction line is the browser\'s own');

  step('solves a problem with a wrong check first, by keys');
  await openSeries(page, '動物の多様性と分類');
  await expectBar(page, 'the problem');
  await page.waitForFunction(() => document.activeElement.classList.contains('term'));
  const wrong = [1, ...Answer.slice(1)];
  for (const frame of wrong) {
    await page.keyboard.press(String(frame + 1));
    await settled(page);
  }
  await page.focus('[data-term="0"]');
  await page.keyboard.press(String(Answer[0] + 1));
  await settled(page);
  check(await resultAlert(page) === Solved, 'the problem is solved');
  await expectBar(page, 'the result');
  await press(page, '終了：シリーズを終えて一覧に戻る');

  step('opens 学習の記録: the table and charts hold the server\'s numbers');
  await page.locator(aria('学習の記録を見る', 'button')).click();
  await page.waitForSelector('#record:not([hidden]) #record-series tbody tr');
  await expectBar(page, '学習の記録');
  const served = await page.evaluate(async () => (await fetch('/api/progress')).json());
  const shown = await page.evaluate(() => ({
    who: document.getElementById('record-who').textContent,
    series: [...document.querySelectorAll('#record-series tbody tr')].map((r) => [...r.cells].map((c) => c.textContent)),
    terms: [...document.querySelectorAll('#record-terms tbody tr')].map((r) => [...r.cells].map((c) => c.textContent)),
    bars: [...document.querySelectorAll('#chart-days rect')].map((r) => Number(r.getAttribute('height')) > 0),
    points: document.querySelectorAll('#chart-weeks circle').length,
    days: document.querySelector('#chart-days svg').getAttribute('aria-label'),
  }));
  check(served.answers === 2 && shown.who === '学習者: aoi　　これまでの回答: 2回', `the learner and answers: ${shown.who}`);
  const rows = served.series.map((s) => [s.title, String(s.seen), s.seen ? String(s.rightPercent) : '—', String(s.dueToday), String(s.dueThisWeek)]);
  check(JSON.stringify(shown.series) === JSON.stringify(rows), `the series table: ${JSON.stringify(shown.series)}`);
  check(shown.series[0].slice(0, 3).join(' ') === '動物の多様性と分類 1 0', `the first check was wrong: ${shown.series[0]}`);
  const terms = served.terms.map((t) => [t.heading, t.term, t.group, String(t.rightPercent), `${t.right}/${t.firstChecks}`]);
  check(JSON.stringify(shown.terms) === JSON.stringify(terms) && shown.terms[0][3] === '0', `the terms table: ${JSON.stringify(shown.terms[0])}`);
  check(shown.bars.length === 30 && shown.bars.filter(Boolean).length === 1 && shown.bars[29], 'today\'s bar alone stands');
  check(shown.points === 1 && shown.days.endsWith(served.daysText), 'the week\'s point, and the days told in words');
  await press(page, '閉じる');
  await page.waitForSelector(aria('動物の多様性と分類', 'button'));

  step('サインアウト brings back the sign-in, and the session is over');
  await page.locator(aria('サインアウト', 'button')).click();
  await page.waitForSelector('#signin:not([hidden])');
  check(await bar(page) === '', 'no learner shows on the sign-in screen');
  check((await page.evaluate(async () => (await fetch('/api/state')).status)) === 401, 'the session has ended');

  step('a session ended elsewhere: the next tap shows the sign-in cleanly');
  await signIn(page, server.url, server.codes.aoi);
  await page.evaluate(() => fetch('/api/signout', { method: 'POST', body: '{}' }));
  await page.locator(aria('動物の多様性と分類', 'button')).click();
  await page.waitForSelector('#signin:not([hidden])');
  const after = await page.evaluate(() => ({
    message: document.getElementById('signin-error').textContent,
    board: document.getElementById('app').getClientRects().length,
    status: document.getElementById('status').hidden,
  }));
  check(after.message === 'もう一度サインインしてください' && !after.board && after.status && await bar(page) === '',
    `the sign-in screen alone shows: ${JSON.stringify(after)}`);
  console.log('learner page test passed');
} finally {
  await close();
  await server.stop();
}
