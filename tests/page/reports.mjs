// The reports of a school of two classes, 1A and 1C, as their teachers
// fetch them: the teacher of 1C gets 1C's 成績一覧.csv (one row per learner,
// 番号 order, none of 1A's) and a 1C learner's 学習の記録, and is refused
// 1A's (403); the administrator compares the two classes side by side.
// 復習の調整 on 1C's page: its calibration chart of ten bins a curve, the
// fit kept at the defaults with too few reviews, a retention kept or
// refused, and 1A's fit refused to 1C's teacher.
//   node reports.mjs PATH/TO/velmorant-server
import { execFileSync } from 'node:child_process';
import { mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { startServer, client, teacherClient, setTeacherPassword, check } from './serverLib.mjs';
import { launch, aria } from './browserLib.mjs';

const program = process.argv[2];
const dir = mkdtempSync(join(tmpdir(), 'velmorant-reports-'));
// The class list and the code cards written beside it, outside the folder.
const lists = mkdtempSync(join(tmpdir(), 'velmorant-list-'));
const list = join(lists, 'list.csv');
writeFileSync(list, '組,番号,氏名\r\n1A,2,青井\r\n1A,1,赤木\r\n1C,2,千葉\r\n');
execFileSync(program, ['--samples', '--add-learners', list, dir], { stdio: 'pipe' });
rmSync(lists, { recursive: true, force: true });
const code = execFileSync(program, ['--add-learner', '黒田', '--class', '1C', dir], { encoding: 'utf8' })
  .trim().split('\n').pop();
setTeacherPassword(program, dir, 'kyoushitsu-2026');
execFileSync(program, ['--add-teacher', '鈴木', dir], { input: 'suzuki-sensei\n', stdio: 'pipe' });
execFileSync(program, ['--teacher-classes', '鈴木', '1C', dir], { stdio: 'pipe' });

const server = await startServer(program, { folder: dir });
try {
  // 黒田 of 1C solves problem 1 of the first series.
  const kuroda = client(server.url);
  check((await kuroda.signIn(code)).status === 200, '黒田 signs in');
  await kuroda.post('/api/open', { entry: 1 });
  let last;
  for (const [term, frame] of [0, 0, 0, 0, 1, 1, 1, 2, 2, 2].entries()) last = await kuroda.post('/api/move', { term, frame });
  check(last.json.screen === 'result', '黒田 solved problem 1');

  const admin = teacherClient(server.url);
  check((await admin.signIn('kyoushitsu-2026')).status === 200, 'the administrator signs in');
  const suzuki = teacherClient(server.url);
  const signedIn = suzuki.keepCookies(await suzuki.post('/api/teacher/signin', { name: '鈴木', password: 'suzuki-sensei' }));
  check(signedIn.status === 200, `鈴木 signs in: ${signedIn.text}`);
  const classes = (await admin.get('/api/teacher/classes')).json.classes;
  const id = (name) => classes.find((c) => c.name === name).id;

  const refused = await suzuki.get(`/teacher/gradebook.csv?class=${id('1A')}`);
  check(refused.status === 403, `1A's grade book is refused to 1C's teacher: ${refused.status}`);
  const book = await suzuki.get(`/teacher/gradebook.csv?class=${id('1C')}`);
  check(book.status === 200, `1C's grade book: ${book.status}`);
  check((book.headers['content-disposition'] || '').includes(`filename*=UTF-8''${encodeURIComponent('成績一覧.csv')}`),
    `saved as 成績一覧.csv: ${book.headers['content-disposition']}`);
  const rows = book.text.replace(/^\uFEFF/, '').split('\r\n').filter(Boolean).map((r) => r.split(','));
  check(rows[0].slice(0, 3).join() === '組,番号,氏名', `the grade book's columns: ${rows[0]}`);
  check(rows.slice(1).map((r) => r.slice(0, 3).join()).join(' ') === '1C,2,千葉 1C,,黒田',
    `one row per learner of 1C, by 番号: ${book.text}`);
  check(rows[2].slice(3).join() !== rows[1].slice(3).join(), `黒田's row has his work: ${book.text}`);

  const roster = async (who, name) => (await who.get(`/api/teacher/state?class=${id(name)}`)).json.roster;
  const own = (await roster(suzuki, '1C')).find((l) => l.name === '黒田');
  const record = await suzuki.get(`/api/teacher/learner-record?learner=${encodeURIComponent(own.id)}`);
  check(record.status === 200 && record.json.answers >= 1 && Array.isArray(record.json.series),
    `黒田's 学習の記録 for his teacher: ${record.text.slice(0, 200)}`);
  const other = (await roster(admin, '1A')).find((l) => l.name === '青井');
  const foreign = await suzuki.get(`/api/teacher/learner-record?learner=${encodeURIComponent(other.id)}`);
  check(foreign.status === 403, `1A's learner's record is refused to 1C's teacher: ${foreign.status}`);
  check((await admin.get(`/api/teacher/learner-record?learner=${encodeURIComponent(other.id)}`)).status === 200,
    'the administrator sees it');
  check((await suzuki.get('/api/teacher/learner-record?learner=nobody')).status === 404, 'an unknown id is 404');

  const badDay = await suzuki.get(`/teacher/report?class=${id('1C')}&from=2026-13-01`);
  check(badDay.status === 400, `a malformed date is refused: ${badDay.status}`);
  const compared = await admin.get('/teacher/comparison.csv');
  const head = compared.text.replace(/^\uFEFF/, '').split('\r\n')[0];
  check(head.includes('1A 初回正解率(%)') && head.includes('1C 初回正解率(%)'), `both classes compared: ${head}`);
  const page = (await admin.get('/teacher/report')).text;
  check(page.includes('全クラスの結果') && page.includes('クラスごとの初回正解率'), 'the report of every class compares them');
  check((await suzuki.get(`/teacher/report?class=${id('1C')}`)).text.includes('1C の結果'), '1C\'s report is named so');

  const foreignFit = await suzuki.post('/api/teacher/fit', { class: id('1A') });
  check(foreignFit.status === 403 && foreignFit.json.error === 'このクラスは見られません',
    `1A's fit is refused to 1C's teacher: ${foreignFit.status} ${foreignFit.text}`);
  const tooHigh = await suzuki.post('/api/teacher/retention', { class: id('1C'), retention: 0.99 });
  check(tooHigh.status === 400 && /0\.70 から 0\.97/.test(tooHigh.json.error), `0.99 is refused: ${tooHigh.text}`);
  const aimed = await suzuki.post('/api/teacher/retention', { class: id('1C'), retention: 0.85 });
  check(aimed.status === 200 && aimed.json.kept.retention === 0.85 && aimed.json.report.retention === 0.85,
    `1C aims at 0.85: ${aimed.text.slice(0, 200)}`);
  const { browser, close } = await launch();
  try {
    const page = await browser.newPage();
    const [name, value] = suzuki.cookie.split('=');
    await page.setCookie({ name, value, url: server.url });
    await page.goto(`${server.url}teacher#section=results&class=${id('1C')}`);
    await page.waitForFunction(() => !document.getElementById('fit-shown').hidden);
    const bins = await page.evaluate(() => ['default', 'fitted'].map((c) =>
      document.querySelectorAll(`#fit-calibration svg g[data-curve="${c}"] .fit-bin title`).length));
    check(bins.join() === '10,10', `the calibration chart has ten bins a curve: ${bins}`);
    const axes = await page.$$eval('#fit-calibration .fit-axis-title', (t) => t.map((e) => e.textContent).join());
    check(axes === '予測した思い出せる見込み,実際に思い出せた割合', `its axes: ${axes}`);
    check(await page.$$eval('#fit-forecast .fit-bar', (b) => b.length) === 30, 'the forecast has 30 days');
    await page.locator(aria('このクラスの答えで調整する', 'button')).click();
    await page.waitForFunction(() => /あと \d+件要ります/.test(document.getElementById('fit-told').textContent));
    const kept = await page.$eval('#fit-kept', (p) => p.textContent);
    check(kept.includes('標準のパラメーター') && kept.includes('0.85'), `too few reviews keep the defaults: ${kept}`);
  } finally {
    await close();
  }
} finally {
  await server.stop();
}
console.log('ok');
