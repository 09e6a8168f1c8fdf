// The store unavailable for 10 s just as the move that completes the
// answer is made: the page says saving waits and shows no result, then the
// answer is stored exactly once and the result shows. A sign-in meanwhile
// is told the store is away.
//   node store_outage.mjs PATH/TO/velmorant-server [--screenshot FILE]
import { startServer, check, storeNumber, storeOutage } from './serverLib.mjs';
import { Answer, Solved, Saving, launch, settled, signIn, openSeries, resultAlert } from './browserLib.mjs';

const [program, ...rest] = process.argv.slice(2);
const shot = rest[rest.indexOf('--screenshot') + 1];
const database = process.env.VELMORANT_DATABASE || '';
const server = await startServer(program, { learners: ['aoi'], database });
const { browser, close } = await launch();
const statements = () => storeNumber(server.dir, database, "SELECT count(*) FROM statements WHERE learner LIKE '%/aoi'");

try {
  const page = await browser.newPage();
  await page.setViewport({ width: 1280, height: 800 });
  await signIn(page, server.url, server.codes.aoi);
  await openSeries(page, '動物の多様性と分類');
  for (const frame of Answer.slice(0, -1)) {
    await page.keyboard.press(String(frame + 1));
    await settled(page);
  }
  check(statements() === 0, 'no answer is stored before the board is full');

  const restore = await storeOutage(server.dir, database);
  let other;
  let classmate;
  const down = Date.now();
  try {
    await page.keyboard.press(String(Answer[Answer.length - 1] + 1));
    const notice = await page.waitForSelector('#status[role="status"]:not([hidden])', { visible: true, timeout: 9000 });
    check(await notice.evaluate((n) => n.textContent) === Saving, 'the page says saving waits');
    if (shot && rest.includes('--screenshot')) await page.screenshot({ path: shot });
    // A classmate signs in meanwhile.
    other = await browser.createBrowserContext();
    classmate = await other.newPage();
    await classmate.goto(server.url);
    await classmate.locator('#code').fill(server.codes.aoi);
    await classmate.locator('#signin button').click();
    await new Promise((resolve) => setTimeout(resolve, Math.max(0, 10000 - (Date.now() - down))));
    check(await page.$('.message') === null, 'no result shows while the store is down');
  } finally {
    await restore();
  }

  // The classmate is signed in once the store is back, or told that it
  // is away: never that the code is wrong, never where the store is.
  await classmate.waitForFunction(() => document.getElementById('signin-error').textContent ||
    !document.getElementById('app').hidden, { timeout: 20000 });
  const refusal = await classmate.$eval('#signin-error', (e) => e.textContent);
  check(!/コードが違います|postgresql:|sqlite/.test(refusal), `a sign-in while the store is away says why: ${refusal}`);
  await other.close();

  await settled(page, 30000);
  check(await resultAlert(page) === Solved, 'the result shows once the answer is stored');
  check(await page.$eval('#status', (n) => n.hidden), 'the notice is gone');
  check(statements() === 1, `the answer is stored exactly once (${statements()})`);
  console.log('store outage test passed');
} finally {
  await close();
  await server.stop();
}
