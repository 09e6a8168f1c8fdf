// The page on a phone, upright and on its side: no text below 12 CSS px and
// no target below 24 x 24 on any screen, and upright a hint to turn it.
// Screenshots of each go to OUTDIR, to be looked at.
//   node phone.mjs PATH/TO/velmorant-server OUTDIR
import { mkdirSync } from 'node:fs';
import { join } from 'node:path';
import { startServer, client, check } from './serverLib.mjs';
import { Answer, launch, settled } from './browserLib.mjs';

const [program, out] = process.argv.slice(2);
mkdirSync(out, { recursive: true });
const server = await startServer(program, { learners: ['aoi'] });
const { browser, close } = await launch();
const Upright = { width: 390, height: 844 };
const OnItsSide = { width: 844, height: 390 };
const Hint = '横向きにすると大きく表示されます';

// What is too small on the screen as drawn: every text by its font size
// times the page's zoom, every target by its box.
async function tooSmall(page) {
  return page.evaluate(() => {
    const zoom = window.visualViewport ? window.visualViewport.scale : 1;
    const drawn = (el) => el.getClientRects().length > 0 && getComputedStyle(el).visibility !== 'hidden';
    const found = [];
    for (const el of document.querySelectorAll('body *')) {
      const text = [...el.childNodes].some((n) => n.nodeType === Node.TEXT_NODE && n.textContent.trim());
      const size = parseFloat(getComputedStyle(el).fontSize) * zoom;
      if (text && drawn(el) && size < 11.99) found.push(`${size.toFixed(1)}px text "${el.textContent.trim().slice(0, 12)}"`);
    }
    for (const el of document.querySelectorAll('button, input, .term, .frame, .caption')) {
      const r = el.getBoundingClientRect();
      if (drawn(el) && (r.width * zoom < 24 || r.height * zoom < 24)) {
        found.push(`${r.width.toFixed(0)}x${r.height.toFixed(0)} target "${el.textContent.trim().slice(0, 12)}"`);
      }
    }
    return found;
  });
}

async function hintShown(page) {
  return page.evaluate(() => document.getElementById('turn')?.getClientRects().length > 0);
}

// Each screen upright and on its side: measured, and its picture taken.
async function both(page, name, ready) {
  for (const [way, size] of [['portrait', Upright], ['landscape', OnItsSide]]) {
    await page.setViewport({ ...size, deviceScaleFactor: 2, hasTouch: true, isMobile: true });
    await page.waitForSelector(ready);
    await settled(page);
    await page.screenshot({ path: join(out, `phone-${name}-${way}.png`) });
    const small = await tooSmall(page);
    check(small.length === 0, `${name} (${way}): ${small.slice(0, 5).join(', ')}`);
    check(await hintShown(page) === (way === 'portrait'), `${name} (${way}): the hint to turn shows only upright`);
  }
}

try {
  const api = client(server.url);
  await api.signIn(server.codes.aoi);
  const [name, value] = api.cookie.split('=');
  const page = await browser.newPage();
  await page.setCookie({ name, value, url: server.url });
  await page.setViewport({ ...Upright, deviceScaleFactor: 2, hasTouch: true, isMobile: true });
  await page.goto(server.url);

  console.log('- the list');
  await both(page, 'list', '.series button');
  check(await page.$eval('#turn', (t) => t.textContent) === Hint, 'the hint reads as it should');
  console.log('- a problem half answered');
  await api.post('/api/open', { entry: 1 });
  for (const term of [0, 4, 7]) await api.post('/api/move', { term, frame: Answer[term] });
  await page.reload();
  await both(page, 'problem', '.term');

  console.log('- a term tapped and its frame tapped, on its side');
  const term = await (await page.$('[data-term="1"]')).boundingBox();
  await page.touchscreen.tap(term.x + term.width / 2, term.y + term.height / 2);
  await page.waitForSelector('.term.lifted');
  await settled(page);
  await page.$eval('[data-frame="0"].frame', (f) => f.scrollIntoView({ block: 'end' }));
  const frame = await (await page.$('[data-frame="0"].frame')).boundingBox();
  await page.touchscreen.tap(frame.x + frame.width / 2, frame.y + frame.height - 20);
  await settled(page);
  check((await api.get('/api/state')).json.board.terms[1].frame === 0, 'the tapped term is in the tapped frame');

  console.log('- the result');
  for (const t of [2, 3, 5, 6, 8, 9]) await api.post('/api/move', { term: t, frame: Answer[t] });
  await page.reload();
  await both(page, 'result', '[role="alert"].message');

  console.log('- 学習の記録');
  await api.post('/api/press', { button: 'toList' });
  await page.reload();
  await page.waitForSelector('.series button');
  await page.$eval('button.c', () => {});
  await page.evaluate(() => [...document.querySelectorAll('#board button')].find((b) => b.textContent === '学習の記録を見る').click());
  await both(page, 'record', '#record:not([hidden]) #chart-weeks svg');
  console.log('phone test passed');
} finally {
  await close();
  await server.stop();
}
