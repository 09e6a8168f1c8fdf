// Two learners in headless Chromium: sign in, solve a problem by mouse,
// by touch and by keys, mark it, find it in the marked series; the second
// learner sees none of the first one's marks.
//   node browser.mjs PATH/TO/velmorant-server [--database URL] [--screenshots DIR]
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import { startServer, check } from './serverLib.mjs';
import { Answer, Solved, launch, aria, settled, signIn as signInAt, openSeries, terms, frameBox, resultAlert, press }
  from './browserLib.mjs';

const [program, ...rest] = process.argv.slice(2);
const option = (name) => { const i = rest.indexOf(name); return i >= 0 ? rest[i + 1] : ''; };
const database = option('--database') || process.env.VELMORANT_DATABASE || '';
const shots = option('--screenshots');

const server = await startServer(program, { learners: ['aoi', 'ren'], database });
const marksBefore = readFileSync(join(server.dir, 'Marked.txt'));
const { browser, close } = await launch();

const step = (what) => console.log(`- ${what}`);
const signIn = (page, code) => signInAt(page, server.url, code);

async function solveByMouse(page) {
  const names = (await terms(page)).map((t) => t.text);
  for (let i = 0; i < names.length; ++i) {
    const term = await page.$(aria(names[i], 'button'));
    const from = await term.boundingBox();
    const to = await frameBox(page, Answer[i]);
    await page.mouse.move(from.x + from.width / 2, from.y + from.height / 2);
    await page.mouse.down();
    await page.mouse.move(to.x + to.width / 2, to.y + to.height * 0.7, { steps: 8 });
    await page.mouse.up();
    await settled(page);
  }
}

async function solveByTouch(page) {
  const names = (await terms(page)).map((t) => t.text);
  for (let i = 0; i < names.length; ++i) {
    const term = await (await page.$(aria(names[i], 'button'))).boundingBox();
    await page.touchscreen.tap(term.x + term.width / 2, term.y + term.height / 2);
    await page.waitForSelector('.term.lifted');
    await settled(page);
    const to = await frameBox(page, Answer[i]);
    await page.touchscreen.tap(to.x + to.width / 2, to.y + to.height * 0.9);
    await settled(page);
  }
}

async function solveByKeys(page) {
  await page.waitForFunction(() => document.activeElement.classList.contains('term'));
  // The first term picked up and put down, the fifth carried with an
  // arrow, one picked up and put back with Escape; the rest by digits.
  await page.keyboard.press('Space');
  await page.keyboard.press('Enter');
  await settled(page);
  for (let i = 1; i < Answer.length; ++i) {
    if (i === 4) {
      await page.keyboard.press('Space');
      await page.keyboard.press('ArrowRight');
      await page.keyboard.press('Space');
    } else if (i === 7) {
      await page.keyboard.press('Space');
      await page.keyboard.press('Escape');
      await page.keyboard.press(String(Answer[i] + 1));
    } else {
      await page.keyboard.press(String(Answer[i] + 1));
    }
    await settled(page);
  }
}

try {
  const page = await browser.newPage();
  await page.setViewport({ width: 1280, height: 800 });
  step('aoi signs in and opens a series');
  await signIn(page, server.codes.aoi);
  await openSeries(page, '動物の多様性と分類');
  if (shots) await page.screenshot({ path: join(shots, 'server-board-1280x800.png') });

  step('solves problem 1 by dragging with the mouse');
  await solveByMouse(page);
  check(await resultAlert(page) === Solved, 'the result alert says solved');

  step('solves it again by tapping on a 1180 x 820 touch screen');
  await page.setViewport({ width: 1180, height: 820, hasTouch: true, isMobile: true });
  await press(page, 'この問題をもう一度');
  const fits = await page.evaluate(() => {
    const b = document.getElementById('board').getBoundingClientRect();
    return b.right <= innerWidth + 1 && b.bottom <= innerHeight + 1 && document.scrollingElement.scrollHeight <= innerHeight;
  });
  check(fits, 'the whole board shows without scrolling at 1180 x 820');
  await solveByTouch(page);
  check(await resultAlert(page) === Solved, 'the result alert says solved after tapping');
  if (shots) await page.screenshot({ path: join(shots, 'server-result-1180x820.png') });

  step('solves it again with the keys');
  await page.setViewport({ width: 1280, height: 800 });
  await press(page, 'この問題をもう一度');
  await solveByKeys(page);
  check(await resultAlert(page) === Solved, 'the result alert says solved after the keys');

  step('marks it, leaves, finds it in the marked series');
  await press(page, 'マークをつける');
  await page.waitForSelector(aria('マーク取消', 'button'));
  await press(page, '終了：シリーズを終えて一覧に戻る');
  await openSeries(page, 'マークの付いた問題');
  const marked = await terms(page);
  check(marked.length === Answer.length && marked[0].text === 'ザリガニ', 'the marked series holds the problem');
  await press(page, '終了：問題をやめてシリーズ一覧に戻る');

  step('ren, in another browser context, sees none of aoi\'s marks');
  const other = await browser.createBrowserContext();
  const renPage = await other.newPage();
  await renPage.setViewport({ width: 820, height: 1180, hasTouch: true, isMobile: true });
  await signIn(renPage, server.codes.ren);
  await renPage.locator(aria('マークの付いた問題', 'button')).click();
  const note = await renPage.waitForSelector('#notice:not([hidden]) #notice-text');
  check((await note.evaluate((n) => n.textContent)) === 'マークの付いた問題は登録されていません',
    'ren is told there are no marked problems');
  await other.close();

  check(readFileSync(join(server.dir, 'Marked.txt')).equals(marksBefore),
    "the learners' marks never go into the folder's marks file");
  console.log('browser test passed');
} finally {
  await close();
  await server.stop();
}
