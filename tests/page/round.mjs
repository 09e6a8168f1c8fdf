// みんなで解く in Chromium: the administrator starts a round of 1A's on the
// teacher's page; three 1A learners (one mid-problem in another series) get
// its problem within a second with 「先生の問題です」, their moves reach the
// projector's counts within a second with no name on it, 答えを見せる marks
// each term's right frame and share right (most missed first), 次の問題 and
// 終わる take everyone on and back (the learner mid-problem finds their own
// board as they left it), a 1B learner sees nothing of it, and 1B's teacher
// is refused 1A's round; 結果 shows the round's first checks term by
// frame. The projector is read at 1920 × 1080 and 1280 × 720.
// Under with-postgres.sh: two servers on one PostgreSQL, the teacher and
// the projector on one, the learners on the other, one of them through
// nginx (round robin over both).
//   [with-postgres.sh] node round.mjs PATH/TO/velmorant-server [SCREENSHOT-FOLDER]
import { execFileSync } from 'node:child_process';
import { mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { startServer, startNginx, setTeacherPassword, client, check } from './serverLib.mjs';
import { launch, aria, teacherSignIn, openSeries, terms, settled } from './browserLib.mjs';

const program = process.argv[2];
const shots = process.argv[3] || '';
const dir = mkdtempSync(join(tmpdir(), 'velmorant-round-'));
const lists = mkdtempSync(join(tmpdir(), 'velmorant-round-list-'));
writeFileSync(join(lists, 'grade.csv'), '組,番号,氏名\r\n1A,1,青井\r\n1A,2,赤木\r\n1A,3,井上\r\n1B,1,千葉\r\n');
const database = process.env.VELMORANT_DATABASE || '';
const db = database ? ['--database', database] : [];
execFileSync(program, [...db, '--samples', '--add-learners', join(lists, 'grade.csv'), dir], { stdio: 'pipe' });
const cards = readFileSync(join(lists, 'grade-コード表.html'), 'utf8');
const codes = Object.fromEntries([...cards.matchAll(/class="name">([^<]+)<\/div><div><span class="label">コード<\/span><span class="code">(\w+)</g)]
  .map((m) => [m[1], m[2]]));
rmSync(lists, { recursive: true, force: true });
const AdminPassword = 'kyoushitsu-2026';
setTeacherPassword(program, dir, AdminPassword, database);
execFileSync(program, [...db, '--add-teacher', '山田', dir], { input: 'yamada-sensei\n', stdio: 'pipe' });
execFileSync(program, [...db, '--teacher-classes', '山田', '1B', dir], { stdio: 'pipe' });

const server = await startServer(program, { folder: dir, database });
const other = database ? await startServer(program, { folder: dir, database }) : null;
const nginx = other ? await startNginx([server.url, other.url]) : null;
// Where each learner signs in.
const learnerUrl = (name) => (!other ? server.url : name === '井上' ? nginx.url : other.url);
const { browser, close } = await launch();
const started = Date.now();
const step = (what) => console.log(`${((Date.now() - started) / 1000).toFixed(1)} s: ${what}`);

async function newPage(width, height) {
  const context = await browser.createBrowserContext();
  const page = await context.newPage();
  await page.setViewport({ width, height });
  return page;
}

async function learnerPage(name) {
  const page = await newPage(1366, 768);
  await page.goto(learnerUrl(name));
  await page.locator(aria('コード', 'textbox')).fill(codes[name]);
  await page.locator(aria('はじめる', 'button')).click();
  await page.waitForSelector(aria('マークの付いた問題', 'button'));
  // Whether 「先生の問題です」 was ever shown on this page.
  await page.evaluate(() => new MutationObserver(() => {
    if (!document.getElementById('round-notice').hidden) window.sawRound = true;
  }).observe(document.getElementById('round-notice'), { attributes: true }));
  return page;
}

// A move as the page makes it, answered before going on.
async function move(page, term, frame) {
  await page.evaluate((t, f) => send('/api/move', { term: t, frame: f }), term, frame);
  await settled(page);
}

// Each term's frame on the board the server last sent the page (-1: none).
const frames = (page) => page.evaluate(() => server.board.terms.map((t) => t.frame));
const notice = (page) => page.$eval('#round-notice', (n) => (n.hidden ? '' : n.textContent));
// The projector's row of a term: its counts by frame, right frame and share.
const projected = (page) => page.$$eval('#terms tr', (rows) => rows.map((r) => ({
  term: r.cells[0].textContent,
  counts: [...r.querySelectorAll('td.count .figure')].map((f) => Number(f.textContent)),
  right: [...r.querySelectorAll('td.count')].findIndex((c) => c.classList.contains('right')),
  share: r.querySelector('td.share')?.textContent ?? '',
})));

try {
  step('learners sign in; 青井 is mid-problem in another series');
  const [aoi, akagi, inoue, chiba] = await Promise.all(['青井', '赤木', '井上', '千葉'].map(learnerPage));
  await openSeries(aoi, '細胞と代謝');
  await move(aoi, 0, 1);
  await move(aoi, 2, 0);
  const aoiOwn = await frames(aoi);
  await openSeries(chiba, '細胞と代謝');
  const chibaBoard = await frames(chiba);

  step('1B\'s teacher is refused 1A\'s round');
  const yamada = client(server.url);
  yamada.keepCookies(await yamada.post('/api/teacher/signin', { name: '山田', password: 'yamada-sensei' }));
  const classes = (await yamada.get('/api/teacher/classes')).json.classes;
  check(classes.length === 1 && classes[0].name === '1B', `山田 sees 1B alone: ${JSON.stringify(classes)}`);
  const teacher = await newPage(1366, 768);
  await teacherSignIn(teacher, server.url, AdminPassword);
  const all = await teacher.evaluate(async () => (await (await fetch('/api/teacher/classes')).json()).classes);
  const id = (name) => all.find((c) => c.name === name).id;
  const refused = await yamada.post('/api/teacher/round/start', { class: id('1A'), series: 'Bio1.TXT', problem: 1 });
  check(refused.status === 403 && refused.json.error === 'このクラスは見られません', `1A is not 山田's: ${refused.text}`);
  check((await yamada.get(`/api/teacher/round?class=${id('1A')}`)).status === 403, '1A\'s projector is not 山田\'s');

  step('the round starts from the teacher\'s page');
  await teacher.goto(new URL(`/teacher#section=live&class=${id('1A')}`, server.url).href);
  await teacher.waitForSelector('#round-start:not([hidden]) #round-series option');
  await teacher.select('#round-series', 'Bio1.TXT');
  // No round yet: nothing to reveal, step on or end.
  check(await teacher.$eval('#round-steps', (p) => p.offsetParent === null), 'no round\'s steps before 始める');
  const popup = new Promise((resolve) => teacher.once('popup', resolve));
  await teacher.locator(aria('始める', 'button')).click();
  await teacher.waitForFunction(() => !document.getElementById('round-steps').hidden, { polling: 50 });
  const begun = Date.now();
  const projector = await popup;
  await projector.setViewport({ width: 1920, height: 1080 });
  for (const page of [aoi, akagi, inoue]) {
    await page.waitForFunction(() => !document.getElementById('round-notice').hidden, { timeout: 3000, polling: 50 });
  }
  const reached = Date.now() - begun;
  check(reached < 1000, `1A's three pages show the round within 1 s: ${reached} ms`);
  for (const page of [aoi, akagi, inoue]) {
    check(await notice(page) === '先生の問題です', 'the notice says whose problem it is');
    check((await frames(page)).every((f) => f < 0), 'the round\'s board starts empty');
  }
  check((await aoi.$eval('#board', (b) => b.textContent)).includes('動物'), '青井 has the round\'s series\' problem');

  step('moves reach the projector');
  await projector.bringToFront();
  await projector.waitForSelector('#terms tr');
  const first = (await projected(projector))[0].term;
  const moved = Date.now();
  await Promise.all([move(aoi, 0, 0), move(akagi, 0, 1)]);
  for (const [term, frame] of [0, 0, 0, 0, 1, 1, 1, 2, 2, 2].entries()) await move(inoue, term, frame);
  await projector.waitForFunction(() => document.getElementById('answered').textContent === '答えた人 1/3'
    && document.querySelector('#terms tr .figure').textContent === '2', { timeout: 3000, polling: 50 });
  const counted = Date.now() - moved;
  check(counted < 3000, `the moves are counted on the projector: ${counted} ms after the first`);
  const before = await projected(projector);
  check(before[0].term === first && before[0].counts.join() === '2,1,0' && before[0].right === -1 && !before[0].share,
    `term 1 is in frame 1 twice, in frame 2 once, nothing revealed: ${JSON.stringify(before[0])}`);
  const text = await projector.$eval('body', (b) => b.textContent);
  check(!['青井', '赤木', '井上'].some((n) => text.includes(n)), 'no learner is named on the projector');
  if (shots) {
    mkdirSync(shots, { recursive: true });
    await projector.screenshot({ path: join(shots, 'round-before.png') });
    await aoi.screenshot({ path: join(shots, 'round-learner.png') });
  }

  step('the projector is readable at 1920 × 1080 and 1280 × 720');
  for (const [width, height] of [[1920, 1080], [1280, 720]]) {
    await projector.setViewport({ width, height });
    const sizes = await projector.evaluate(() => ({
      term: parseFloat(getComputedStyle(document.querySelector('td.term')).fontSize),
      count: parseFloat(getComputedStyle(document.querySelector('.figure')).fontSize),
      wide: document.documentElement.scrollWidth <= window.innerWidth,
    }));
    check(sizes.term >= 28 && sizes.count >= 20 && sizes.wide, `at ${width} × ${height}: ${JSON.stringify(sizes)}`);
  }
  await projector.setViewport({ width: 1920, height: 1080 });

  step('答えを見せる');
  await teacher.bringToFront();
  await teacher.locator(aria('答えを見せる', 'button')).click();
  await projector.bringToFront();
  await projector.waitForSelector('td.share');
  const after = await projected(projector);
  check(after[0].term === first && after[0].right === 0 && after[0].share === '67%',
    `the most missed term first, its right frame marked, 2 of 3 right: ${JSON.stringify(after[0])}`);
  check(after.slice(1).every((t) => t.share === '100%' && t.right >= 0), `the others right every time: ${JSON.stringify(after)}`);
  if (shots) await projector.screenshot({ path: join(shots, 'round-after.png') });

  step('次の問題, then 終わる');
  const problem1 = await aoi.$eval('#board', (b) => b.textContent);
  await teacher.bringToFront();
  await teacher.locator(aria('次の問題', 'button')).click();
  await aoi.waitForFunction((was) => document.getElementById('board').textContent !== was, { timeout: 3000, polling: 50 }, problem1);
  check(await notice(aoi) === '先生の問題です' && (await terms(inoue)).length > 0, 'problem 2 is everyone\'s');
  await projector.waitForFunction(() => document.getElementById('title').textContent.includes('2 / '), { polling: 50 });
  await teacher.bringToFront();
  await teacher.locator(aria('終わる', 'button')).click();
  await aoi.waitForFunction(() => document.getElementById('round-notice').hidden, { timeout: 3000, polling: 50 });
  await settled(aoi);
  check(JSON.stringify(await frames(aoi)) === JSON.stringify(aoiOwn) && aoiOwn[0] === 1 && aoiOwn[2] === 0,
    `青井 is back on her own board: ${JSON.stringify(await frames(aoi))}`);
  await akagi.waitForSelector(aria('マークの付いた問題', 'button'));
  await projector.waitForFunction(() => document.getElementById('round').hidden, { polling: 50 });

  step('結果 of the round: first checks by term and frame');
  const rounds = await teacher.evaluate(async (c) => (await (await fetch(`/api/teacher/rounds?class=${c}`)).json()).rounds, id('1A'));
  check(rounds.length === 1 && !rounds[0].open, `one round, ended: ${JSON.stringify(rounds)}`);
  check((await yamada.get(`/api/teacher/rounds?class=${id('1A')}&round=${rounds[0].id}`)).status === 403, '1A\'s rounds are not 山田\'s');
  await teacher.bringToFront();
  await teacher.goto(new URL(`/teacher#section=results&class=${id('1A')}`, server.url).href);
  await teacher.waitForSelector('#rounds-shown table', { timeout: 5000 });
  const report = await teacher.$$eval('#rounds-shown tr', (rows) => rows.map((r) => [...r.cells].map((c) => c.textContent)));
  check(report[1].join() === `${first},1 ✓,0,0,100%` && report.length === 11,
    `井上's first check is the round's, term by frame: ${JSON.stringify(report.slice(0, 2))}`);

  step('1B saw nothing of it');
  check(!(await chiba.evaluate(() => window.sawRound)) && JSON.stringify(await frames(chiba)) === JSON.stringify(chibaBoard),
    '千葉 of 1B was never given the round');
  step('done');
} finally {
  await close();
  if (nginx) await nginx.stop();
  if (other) await other.stop({ keep: true });
  await server.stop();
  rmSync(dir, { recursive: true, force: true });
}
