// A board's first paint after the click that opens it, against the same
// elements as static HTML fetched from the same server; in ./bench's form.
//   node bench_paint.mjs PATH/TO/velmorant-server ROUNDS
import puppeteer from 'puppeteer-core';
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { startServer, client } from './serverLib.mjs';

const [program, roundsArg] = process.argv.slice(2);
const rounds = Number(roundsArg || 15);
const server = await startServer(program, { learners: ['aoi'] });
const profile = mkdtempSync(join(tmpdir(), 'velmorant-chromium-'));
const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium', headless: true, userDataDir: profile,
  args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
         '--disable-sync', '--no-first-run'],
});
const median = (xs) => xs.slice().sort((a, b) => a - b)[Math.floor(xs.length / 2)];

// Milliseconds from the last click to the frame after `selector` is in
// the page.
const timeToPaint = (selector) => new Promise((resolve) => {
  const seen = () => {
    if (!document.querySelector(selector)) { requestAnimationFrame(seen); return; }
    requestAnimationFrame(() => setTimeout(() => resolve(performance.now() - window.clickedAt), 0));
  };
  seen();
});
const noteClicks = () => document.addEventListener('click', (e) => { window.clickedAt = e.timeStamp; }, true);

// The same elements as a static page: a click fetches them from the same
// server and puts them in.
const staticFloor = (markup) => {
  const button = document.createElement('button');
  button.id = 'static-floor';
  button.textContent = 'static';
  button.style.cssText = 'position:fixed;left:0;top:0;z-index:999';
  button.addEventListener('click', async () => {
    await (await fetch('/page.css', { cache: 'no-store' })).text();
    const holder = document.createElement('div');
    holder.innerHTML = markup.replace('id="board"', 'id="static-board"');
    document.getElementById('board').replaceWith(holder.firstChild);
  });
  document.body.appendChild(button);
};

// Back to the list, as the page's 終了 button does: naming the state it
// acts on when the server numbers its states.
const quit = async () => {
  const { seq } = await (await fetch('/api/state')).json();
  const body = Number.isInteger(seq) ? { button: 'quit', seq, key: `quit-${Date.now()}-${seq}` } : { button: 'quit' };
  await fetch('/api/press', { method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify(body) });
};

try {
  const page = await browser.newPage();
  await page.setViewport({ width: 1180, height: 820 });
  const api = client(server.url);
  await api.signIn(server.codes.aoi);
  const [name, value] = api.cookie.split('=');
  await page.setCookie({ name, value, url: server.url });
  await page.goto(server.url);
  const boards = [];
  const statics = [];
  let html;
  for (let r = 0; r < rounds; ++r) {
    await page.waitForSelector('::-p-aria([name="動物の多様性と分類"][role="button"])');
    await page.evaluate(`(${noteClicks})()`);
    const painted = page.evaluate(`(${timeToPaint})('.term')`);
    await page.click('::-p-aria([name="動物の多様性と分類"][role="button"])');
    boards.push(await painted);
    html = await page.$eval('#board', (b) => b.outerHTML);
    await page.evaluate(`(${staticFloor})(${JSON.stringify(html)})`);
    const floorPainted = page.evaluate(`(${timeToPaint})('#static-board .term')`);
    await page.click('#static-floor');
    statics.push(await floorPainted);
    await page.evaluate(quit);
    await page.goto(server.url);
  }
  const b = median(boards) * 1e6;
  const s = median(statics) * 1e6;
  console.log(`server_board_first_paint: ${Math.round(b)} ns, floor static_page ${Math.round(s)} ns, ratio ${(b / s).toFixed(2)}`);
} finally {
  await browser.close();
  rmSync(profile, { recursive: true, force: true });
  await server.stop();
}
