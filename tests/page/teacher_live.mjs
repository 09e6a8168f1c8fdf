// The teacher's live page in Chromium, a learner on a shared device in
// another browser: an answer shows on the teacher's page within 2 s without
// a reload, with who is signed in and on what; サインアウトさせる and time
// without an action sign the learner out; a second sign-in on the device
// ends the first; the journal has sign-ins and sign-outs, never a code,
// password or cookie.
//   node teacher_live.mjs PATH/TO/velmorant-server
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { startServer, setTeacherPassword, check, storeNumber, movableClock, raw } from './serverLib.mjs';
import { Answer, Solved, launch, aria, settled, signIn, openSeries, resultAlert, serverState } from './browserLib.mjs';

const program = process.argv[2];
const database = process.env.VELMORANT_DATABASE || '';
const clockDir = mkdtempSync(join(tmpdir(), 'velmorant-clock-'));
const clock = movableClock(join(clockDir, 'offset'));
const server = await startServer(program, { learners: ['はな'], database, env: clock.env, keepLog: true });
const Password = 'kyoushitsu-2026';
setTeacherPassword(program, server.dir, Password, database);
const { browser, close } = await launch();
const sessions = () => storeNumber(server.dir, database, "SELECT count(*) FROM sessions WHERE learner LIKE '%/はな'");

async function solve(page) {
  await page.focus('.term[data-term="0"]');
  for (const frame of Answer) {
    await page.keyboard.press(String(frame + 1));
    await settled(page);
  }
  check(await resultAlert(page) === Solved, 'はな solves problem 1');
}

// An action of the learner: term 1 moved to frame `frame` with its key.
async function act(page, frame) {
  await page.focus('.term[data-term="0"]');
  await page.keyboard.press(String(frame + 1));
}

// The same, and the server has taken it.
async function acted(page, frame) {
  const before = (await serverState(page)).seq;
  await act(page, frame);
  await settled(page);
  for (let i = 0; i < 50 && (await serverState(page)).seq === before; ++i) await new Promise((r) => setTimeout(r, 100));
}

async function signedOutShown(page) {
  await page.waitForSelector(aria('コード', 'textbox'), { visible: true, timeout: 5000 });
}

try {
  const teacher = await (await browser.createBrowserContext()).newPage();
  await teacher.goto(`${server.url}teacher`);
  await teacher.locator('#teacher-name').fill('管理者');
  await teacher.locator('#password').fill(Password);
  await teacher.locator(aria('はじめる', 'button')).click();
  await teacher.waitForSelector('#now-none', { visible: true });
  const reportLoads = await teacher.evaluate(() => {
    window.reportLoads = 0;
    document.getElementById('report').addEventListener('load', () => { window.reportLoads += 1; });
    window.notReloaded = true;
    return window.reportLoads;
  });

  const learnerContext = await browser.createBrowserContext();
  const hana = await learnerContext.newPage();
  await hana.setViewport({ width: 1280, height: 800 });
  await signIn(hana, server.url, server.codes['はな']);
  const cookie = (await hana.cookies()).find((c) => c.name.startsWith('velmorant_session_'));
  check(cookie && cookie.session, `the learner's cookie goes when the browser closes: ${JSON.stringify(cookie)}`);

  await openSeries(hana, '動物の多様性と分類');
  await teacher.waitForFunction(() => document.querySelector('#now tbody').textContent.includes('動物の多様性と分類'),
    { timeout: 2000 });
  const row = await teacher.$eval('#now tbody tr', (r) => [...r.cells].map((c) => c.textContent));
  check(row[1] === '動物の多様性と分類' && /^1問目（全\d+問）$/.test(row[2]) && /から$/.test(row[3]),
    `はな is signed in, on problem 1 of the series: ${row}`);

  await solve(hana);
  const solvedAt = Date.now();
  await teacher.waitForFunction(() => document.querySelector('#answers tbody').textContent.includes('はな'), { timeout: 2000 });
  const answer = await teacher.$eval('#answers tbody tr', (r) => [...r.cells].map((c) => c.textContent));
  check(answer[1] === 'はな' && answer[4] === '正解', `her answer is on the page in ${Date.now() - solvedAt} ms: ${answer}`);
  await teacher.waitForFunction(() => (document.getElementById('report').contentDocument?.body?.textContent || '').includes('はな'),
    { timeout: 5000 });
  check(await teacher.evaluate(() => window.notReloaded && window.reportLoads) > reportLoads,
    'the report frame loaded again, the page itself did not');

  // A sign-in from the device that still has a session ends that one.
  check(sessions() === 1, 'はな has one session');
  await hana.evaluate((code) => fetch('/api/signin', { method: 'POST', body: JSON.stringify({ code }),
    headers: { 'Content-Type': 'application/json' } }), server.codes['はな']);
  check(sessions() === 1, 'a second sign-in on the device ends the first');

  // The teacher signs her out: her next action shows the sign-in screen.
  teacher.once('dialog', (d) => d.accept());
  await teacher.locator(aria('サインアウトさせる', 'button')).click();
  await teacher.waitForSelector('#now-none', { visible: true, timeout: 3000 });
  check(sessions() === 0, 'サインアウトさせる ended her session');
  await hana.locator(aria('この問題をもう一度', 'button')).click();
  await signedOutShown(hana);

  // An action keeps her signed in; 30 minutes without one signs her out.
  await hana.locator(aria('コード', 'textbox')).fill(server.codes['はな']);
  await hana.locator(aria('はじめる', 'button')).click();
  await hana.locator(aria('この問題をもう一度', 'button')).click();
  await hana.waitForSelector('.term');
  await settled(hana);
  await clock.set('+20m');
  await acted(hana, 1);
  await clock.set('+45m');
  await acted(hana, 2);
  check(await hana.$eval('#signin', (s) => s.hidden), 'an action 25 minutes after the last one finds her signed in');
  await clock.set('+76m');
  await teacher.waitForSelector('#now-none', { visible: true, timeout: 3000 });
  await act(hana, 1);
  await signedOutShown(hana);
  console.log('- signed out after 30 minutes without an action');

  // The journal: each sign-in and sign-out, never a code, password or cookie;
  // a page polling without its session is one line, not one a second.
  await Promise.all(Array.from({ length: 30 }, () => raw(server.url, 'GET', '/api/teacher/live')));
  const log = server.log();
  check(log.split('\n').filter((l) => l.startsWith('拒否 4xx /api/teacher/live')).length === 1,
    'thirty refusals of one path are one line');
  check(/サインイン \S*\/はな \S+/.test(log) && /サインアウト（先生による） \S*\/はな/.test(log) &&
    /サインアウト（同じ端末で次のサインイン） \S*\/はな/.test(log), `sign-ins and sign-outs are logged:\n${log}`);
  const teacherCookie = (await teacher.cookies()).find((c) => c.name.startsWith('velmorant_teacher_'));
  check(!log.includes(server.codes['はな']) && !log.includes(Password) && !log.includes(cookie.value) &&
    !log.includes(teacherCookie.value),
    'the log holds no code, password or cookie');
  console.log('the teacher\'s live page passed');
} catch (e) {
  console.error(`the server's log:\n${server.log()}`);
  throw e;
} finally {
  await close();
  await server.stop();
  rmSync(clockDir, { recursive: true, force: true });
}
