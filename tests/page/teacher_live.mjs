// The teacher's live page in Chromium, a learner on a shared device in
// another browser: an answer shows on the teacher's page within 2 s without
// a reload, with who is signed in and on what; サインアウトさせる and time
// without an action sign the learner out; a second sign-in on the device
// ends the first; the journal has sign-ins and sign-outs, never a code,
// password or cookie. The page at 1366 × 768: each section one click away
// on a bar that stays in view, none wider than the window; the report's
// bars as long as the share right; the class chooser once a second class
// is added.
//   node teacher_live.mjs PATH/TO/velmorant-server
import { execFileSync } from 'node:child_process';
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { startServer, setTeacherPassword, check, storeNumber, movableClock, raw, solveSample } from './serverLib.mjs';
import { Answer, Solved, launch, aria, settled, signIn, openSeries, resultAlert, serverState } from './browserLib.mjs';

const program = process.argv[2];
const database = process.env.VELMORANT_DATABASE || '';
const clockDir = mkdtempSync(join(tmpdir(), 'velmorant-clock-'));
const clock = movableClock(join(clockDir, 'offset'));
const server = await startServer(program, { learners: ['はな', 'aoi', 'ren'], database, env: clock.env, keepLog: true });
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

// Each section with one click on the bar, from the foot of the one before:
// the bar still at the top, the section alone and no wider than the window.
async function sections(page) {
  let farthest = 0;
  for (const name of ['結果', '学習者', '問題集', '授業中']) {
    farthest = Math.max(farthest, await page.evaluate(() => (window.scrollTo(0, 1e6), window.scrollY)));
    check(await page.$eval('#top', (bar) => bar.getBoundingClientRect().top) === 0, `the bar is in view, ${name}`);
    await page.locator(aria(name, 'link')).click();
    await page.waitForFunction((n) => document.querySelector(`section[aria-label="${n}"]`).checkVisibility(), {}, name);
    const shown = await page.evaluate(() => [[...document.querySelectorAll('#teacher > section')]
      .filter((s) => s.checkVisibility()).map((s) => s.ariaLabel).join(), document.scrollingElement.scrollWidth - innerWidth]);
    check(shown[0] === name && shown[1] <= 0, `${name} alone, no wider than the window: ${shown}`);
    if (name === '結果') await reportBars(page);
  }
  check(farthest > 300, `a section is longer than the window (${farthest} px scrolled)`);
}

// The report's bars: a bar fills its scale as the share right fills the
// problem's learners, in the green of a right first answer; wider for more.
async function reportBars(page) {
  const frame = await page.waitForFunction(() => {
    const doc = document.getElementById('report').contentDocument;
    return doc?.querySelectorAll('.bar').length === 2 && doc;
  }, { timeout: 5000 });
  const bars = await frame.evaluate((doc) => [...doc.querySelectorAll('.bar')].map((bar) => {
    const [right, learners] = bar.closest('tr').lastElementChild.textContent.split('/').map(Number);
    const rgb = (e) => getComputedStyle(e).backgroundColor.match(/\d+/g).map(Number);
    return { share: right / learners, width: bar.getBoundingClientRect().width, scale: bar.parentElement.clientWidth,
      green: [rgb(bar), rgb(doc.querySelector('td.right'))].every(([r, g, b]) => g > r && g > b),
      wider: doc.scrollingElement.scrollWidth - doc.scrollingElement.clientWidth };
  }).sort((a, b) => a.share - b.share));
  check(bars.every((b) => b.scale >= 40 && Math.abs(b.width - b.share * b.scale) <= 1 && b.green && b.wider <= 0) &&
    bars[0].share < bars[1].share && bars[0].width < bars[1].width, `the bars read as the share right: ${JSON.stringify(bars)}`);
}

// A second class on the same server: the chooser, and the class in the
// title, the report and the live view.
async function classChooser(page) {
  const db = database ? ['--database', database] : [];
  const made = execFileSync(program, [...db, '--add-learner', 'yuki', '--class', '1B', server.dir], { encoding: 'utf8' });
  await solveSample(server.url, made.trim().split('\n').pop(), 1);
  const asked = [];
  page.on('request', (r) => {
    const url = new URL(r.url());
    if (url.pathname === '/api/teacher/live') asked.push(url.searchParams.get('class'));
  });
  const shows = async (title, c) => {
    await page.waitForFunction((t, c) => {
      const report = document.getElementById('report').contentWindow;
      return document.title === t && document.getElementById('heading').textContent === t &&
        location.hash.includes('section=results') && report.document.querySelector('.bar') &&
        new URL(report.location).searchParams.get('class') === c;
    }, {}, title, c);
    // Two polls begun after the view showed: one in flight from before may
    // still be answered, and a busy machine can hold a poll past a second.
    asked.length = 0;
    const polled = () => page.waitForRequest((r) => new URL(r.url()).pathname === '/api/teacher/live', { timeout: 20000 });
    await polled();
    await polled();
    check(asked.length > 0 && asked.every((a) => a === c), `${title}, live asked for class ${asked}`);
  };
  // Chosen with a click first, as a teacher does: 戻る skips a change without one.
  const choose = async (value) => page.locator('#class').click().then(() => page.select('#class', value));
  await page.goto(`${server.url}teacher#section=results`);
  const { classes } = await page.evaluate(async () => (await fetch('/api/teacher/classes')).json());
  const [first, second] = classes;
  check(classes.length === 2 && second.name === '1B' && second.learners === 1, `the classes: ${JSON.stringify(classes)}`);
  await shows(`${first.name} — 先生のページ`, String(first.id));
  check(await page.$$eval('#class option', (o) => o.map((x) => x.textContent).join()) === `全クラス,${first.name},1B`, 'the chooser');
  await choose(String(second.id));
  await shows('1B — 先生のページ', String(second.id));
  await page.reload();
  await shows('1B — 先生のページ', String(second.id));
  await choose('all');
  await shows('全クラス — 先生のページ', null);
  check(await page.$eval('#add-form', (f) => f.hidden), '全クラス adds no learner');
  await page.evaluate(() => history.back());
  await shows('1B — 先生のページ', String(second.id));
  // 今日: the report and the grade book of that class and day.
  await page.locator('input[name="period"][value="today"]').click();
  const today = await page.evaluate(() => new Date().toLocaleDateString('sv-SE'));
  await page.waitForFunction((d) => {
    const report = document.getElementById('report').contentWindow;
    const url = new URL(report.location);
    return url.searchParams.get('from') === d && url.searchParams.get('to') === d &&
      report.document.querySelector('h1')?.textContent.includes(`（${d}〜${d}）`);
  }, {}, today);
  const book = await page.$eval('a[data-file="gradebook.csv"]', (a) => a.href);
  const got = await page.evaluate(async (u) => (await fetch(u)).text(), book);
  check(book.includes(`class=${second.id}`) && book.includes(`from=${today}`) &&
    got.replace(/^\uFEFF/, '').startsWith('組,番号,氏名') && got.includes('1B,,yuki'), `the grade book of 1B today: ${book} ${got}`);
}

try {
  const teacher = await (await browser.createBrowserContext()).newPage();
  await teacher.setViewport({ width: 1366, height: 768 });
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
  await teacher.locator(aria('結果', 'link')).click();
  await teacher.waitForFunction(() => (document.getElementById('report').contentDocument?.body?.textContent || '').includes('はな'),
    { timeout: 5000 });
  check(await teacher.evaluate(() => window.notReloaded && window.reportLoads) > reportLoads,
    'the report frame loaded again, the page itself did not');
  await teacher.locator(aria('授業中', 'link')).click();

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
  const log = await server.logNow();
  check(log.split('\n').filter((l) => l.startsWith('拒否 4xx /api/teacher/live')).length === 1,
    'thirty refusals of one path are one line');
  check(/サインイン \S*\/はな \S+/.test(log) && /サインアウト（先生による） \S*\/はな/.test(log) &&
    /サインアウト（同じ端末で次のサインイン） \S*\/はな/.test(log), `sign-ins and sign-outs are logged:\n${log}`);
  const teacherCookie = (await teacher.cookies()).find((c) => c.name.startsWith('velmorant_teacher_'));
  check(!log.includes(server.codes['はな']) && !log.includes(Password) && !log.includes(cookie.value) &&
    !log.includes(teacherCookie.value),
    'the log holds no code, password or cookie');
  check(await teacher.$$eval('#class option', (o) => o.map((x) => x.textContent).join()) === server.dir.split('/').pop() &&
    (await teacher.title()).startsWith(server.dir.split('/').pop()), 'one class: named in the title, no 全クラス');
  await solveSample(server.url, server.codes.aoi, 2);
  await solveSample(server.url, server.codes.ren, 2, [0, 1]);
  await teacher.locator(aria('学習者', 'link')).click();
  await teacher.locator('#new-name').fill('長い名前の学習者'.repeat(8));
  await teacher.locator(aria('登録', 'button')).click();
  await teacher.waitForFunction(() => document.querySelector('#sheet tbody').textContent.includes('長い名前'));
  await sections(teacher);
  await classChooser(await teacher.browserContext().newPage());
  console.log('the teacher\'s live page passed');
} catch (e) {
  console.error(`the server's log:\n${server.log()}`);
  throw e;
} finally {
  await close();
  await server.stop();
  rmSync(clockDir, { recursive: true, force: true });
}
