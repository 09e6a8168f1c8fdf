// The picture of the teacher's page in docs/: two learners have answered,
// one was added on the page, so its code is on the sheet, and is working on
// another series; all three are signed in now; one series file is missing.
//   node teacher_screenshot.mjs PATH/TO/velmorant-server OUTDIR
import puppeteer from 'puppeteer-core';
import { appendFileSync, mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { startServer, client, teacherClient, setTeacherPassword } from './serverLib.mjs';

const [program, out] = process.argv.slice(2);
const server = await startServer(program, { learners: ['aoi', 'ren'] });
// A catalogue line whose file is missing, for the check's findings.
appendFileSync(join(server.dir, 'ZQCList.TXT'), 'Chemistry,Chem1.TXT\r\n');
const profile = mkdtempSync(join(tmpdir(), 'velmorant-chromium-'));
const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium', headless: true, userDataDir: profile,
  args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
         '--disable-sync', '--no-first-run'],
});
const Answer = [0, 0, 0, 0, 1, 1, 1, 2, 2, 2];
try {
  for (const [name, wrongFirst] of [['aoi', false], ['ren', true]]) {
    const learner = client(server.url);
    await learner.signIn(server.codes[name]);
    await learner.post('/api/open', { entry: 1 });
    for (const [term, frame] of Answer.entries()) {
      await learner.post('/api/move', { term, frame: wrongFirst && term === 5 ? 2 : frame });
    }
  }
  setTeacherPassword(program, server.dir, 'kyoushitsu-2026');
  const teacher = teacherClient(server.url);
  await teacher.signIn('kyoushitsu-2026');
  const added = await teacher.post('/api/teacher/add', { name: 'hana' });
  const hana = client(server.url);
  await hana.signIn(added.json.code);
  await hana.post('/api/open', { entry: 2 });
  await hana.post('/api/move', { term: 0, frame: 0 });
  const [name, value] = teacher.cookie.split('=');
  const page = await browser.newPage();
  await page.setCookie({ name, value, url: server.url });
  await page.setViewport({ width: 1100, height: 900 });
  await page.goto(`${server.url}teacher`);
  await page.waitForSelector('#learners tbody tr');
  await page.waitForFunction(() => document.querySelectorAll('#now tbody tr').length === 3);
  await new Promise((resolve) => setTimeout(resolve, 1000));
  await page.screenshot({ path: join(out, 'teacher.png'), fullPage: true });
} finally {
  await browser.close();
  rmSync(profile, { recursive: true, force: true });
  await server.stop();
}
