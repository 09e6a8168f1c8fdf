// The pictures of the page in docs/: a problem half answered on a phone
// upright (with the hint to turn it) and on its side, and on a tablet in
// landscape; the result on a tablet in portrait.
//   node screenshots.mjs PATH/TO/velmorant-server OUTDIR
import puppeteer from 'puppeteer-core';
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { startServer, client } from './serverLib.mjs';

const [program, out] = process.argv.slice(2);
const server = await startServer(program, { learners: ['aoi'] });
const profile = mkdtempSync(join(tmpdir(), 'velmorant-chromium-'));
const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium', headless: true, userDataDir: profile,
  args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
         '--disable-sync', '--no-first-run'],
});
const Answer = [0, 0, 0, 0, 1, 1, 1, 2, 2, 2];
try {
  const api = client(server.url);
  await api.signIn(server.codes.aoi);
  const [name, value] = api.cookie.split('=');
  const page = await browser.newPage();
  await page.setCookie({ name, value, url: server.url });
  await api.post('/api/open', { entry: 1 });
  for (const term of [0, 1, 4, 7]) await api.post('/api/move', { term, frame: Answer[term] });
  await api.post('/api/move', { term: 5, frame: 2 });
  for (const [way, width, height] of [['portrait', 390, 844], ['landscape', 844, 390]]) {
    await page.setViewport({ width, height, deviceScaleFactor: 2, hasTouch: true, isMobile: true });
    await page.goto(server.url);
    await page.waitForSelector('.term');
    await page.screenshot({ path: join(out, `server-phone-${way}.png`) });
  }

  await page.setViewport({ width: 1180, height: 820, hasTouch: true, isMobile: true });
  await page.goto(server.url);
  await page.waitForSelector('.term');
  await page.screenshot({ path: join(out, 'server-tablet-landscape.png') });

  await api.post('/api/move', { term: 5, frame: 1 });
  for (const term of [2, 3, 6, 8, 9]) await api.post('/api/move', { term, frame: Answer[term] });
  await page.setViewport({ width: 820, height: 1180, hasTouch: true, isMobile: true });
  await page.goto(server.url);
  await page.waitForSelector('[role="alert"].message');
  await page.screenshot({ path: join(out, 'server-tablet-portrait.png') });
} finally {
  await browser.close();
  rmSync(profile, { recursive: true, force: true });
  await server.stop();
}
