// Input at 400 ms added latency, 150 ms apart, and for a while with the
// network gone: every key and tap lands, each term in the frame the learner
// chose, though most are pressed before the server has answered the one
// before; while the network is gone a notice says so and the moves stay.
//   node latency.mjs PATH/TO/velmorant-server
import { startServer, check } from './serverLib.mjs';
import { Answer, Solved, launch, settled, signIn, openSeries, resultAlert, serverState, network } from './browserLib.mjs';

const program = process.argv[2];
const database = process.env.VELMORANT_DATABASE || '';
const server = await startServer(program, { learners: ['aoi'], database });
const { browser, close } = await launch();
const apart = () => new Promise((resolve) => setTimeout(resolve, 150));

// The centre of a term, or the foot of a frame, as drawn now (looked up and
// measured at once: a reply may draw the board again at any moment).
async function spot(page, selector) {
  return page.evaluate((sel) => {
    const el = document.querySelector(sel);
    const r = el.getBoundingClientRect();
    return { x: r.x + r.width / 2, y: r.y + (el.dataset.term ? r.height / 2 : r.height * 0.92) };
  }, selector);
}

async function tap(page, selector) {
  const { x, y } = await spot(page, selector);
  await page.mouse.click(x, y);
  await apart();
}

try {
  const page = await browser.newPage();
  await page.setViewport({ width: 1280, height: 800 });
  await signIn(page, server.url, server.codes.aoi);
  await openSeries(page, '動物の多様性と分類');
  await page.waitForFunction(() => document.activeElement.dataset.term === '0');
  const setNetwork = await network(page);
  await setNetwork(400);

  // Digits for the first terms, the fifth carried one frame right with the
  // arrow keys, the last four by taps: a term, then its frame.
  for (let i = 0; i < 6; ++i) {
    if (i === 4) {
      for (const key of ['Space', 'ArrowRight', 'Space']) {
        await page.keyboard.press(key);
        await apart();
      }
    } else {
      await page.keyboard.press(String(Answer[i] + 1));
      await apart();
    }
  }
  const tapInto = async (i) => {
    await tap(page, `.term[data-term="${i}"]`);
    await tap(page, `.frame[data-frame="${Answer[i]}"]`);
  };
  await setNetwork(400, true);
  await tapInto(6);
  await tapInto(7);
  const notice = await page.waitForSelector('#status[role="status"]:not([hidden])', { visible: true, timeout: 10000 });
  check((await notice.evaluate((n) => n.textContent)).includes('接続が切れています'), 'the page says the connection is lost');
  await new Promise((resolve) => setTimeout(resolve, 3000));
  const shown = await page.$$eval('.term', (all) => all.slice(6, 8).map((t) => t.getAttribute('aria-description')));
  check(shown.every((d, k) => d.startsWith(`枠${Answer[6 + k] + 1}`)), `the moves made offline stay: ${shown}`);
  await setNetwork(400);
  await tapInto(8);
  await tapInto(9);
  const pending = await page.evaluate(() => Boolean(document.getElementById('board').dataset.pending));
  check(pending, 'the input ran ahead of the replies (the latency is in force)');
  await settled(page);

  const held = (await serverState(page)).board.terms.map((t) => t.frame);
  check(JSON.stringify(held) === JSON.stringify(Answer), `each term lies in the frame chosen for it: ${held}`);
  check(await resultAlert(page) === Solved, 'the page says solved');
  console.log('latency test passed');
} finally {
  await close();
  await server.stop();
}
