// A school on one server, walked in Chromium: three classes from one class
// list (a header row and a 組 column); the administrator adds a class and
// a teacher from the page; two teachers, each offered only their classes;
// a series written once in the editor and given to 1A and 1B with a 期限
// on the page, first with its 期限 in their learners' lists (期限切れ when
// past) and hidden from 1C's; a save in the editor seen by every class;
// 置き換える by upload, the old file kept in 履歴/.
//   node assign.mjs PATH/TO/velmorant-server [SCREENSHOT-FOLDER]
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { startServer, setTeacherPassword, check } from './serverLib.mjs';
import { launch, aria, teacherSignIn, newSeries, openInEditor, typeProblem, serverState, settled, press } from './browserLib.mjs';

const program = process.argv[2];
const shots = process.argv[3] || '';
const dir = mkdtempSync(join(tmpdir(), 'velmorant-assign-'));
const lists = mkdtempSync(join(tmpdir(), 'velmorant-assign-list-'));
writeFileSync(join(lists, 'grade.csv'), '出席番号,組,氏名,ふりがな\r\n1,1A,青井,あおい\r\n1,1B,赤木,あかぎ\r\n1,1C,千葉,ちば\r\n');
execFileSync(program, ['--samples', '--add-learners', join(lists, 'grade.csv'), dir], { stdio: 'pipe' });
const cards = readFileSync(join(lists, 'grade-コード表.html'), 'utf8');
const codes = Object.fromEntries([...cards.matchAll(/class="name">([^<]+)<\/div><div><span class="label">コード<\/span><span class="code">(\w+)</g)]
  .map((m) => [m[1], m[2]]));
rmSync(lists, { recursive: true, force: true });
const AdminPassword = 'kyoushitsu-2026';
setTeacherPassword(program, dir, AdminPassword);
execFileSync(program, ['--add-teacher', '山田', dir], { input: 'yamada-sensei\n', stdio: 'pipe' });
execFileSync(program, ['--teacher-classes', '山田', '1A,1B', dir], { stdio: 'pipe' });

const server = await startServer(program, { folder: dir });
const { browser, close } = await launch();
const day = (d) => `${d.getFullYear()}-${String(d.getMonth() + 1).padStart(2, '0')}-${String(d.getDate()).padStart(2, '0')}`;
const soon = day(new Date(Date.now() + 7 * 86400000));
const [, soonMonth, soonDay] = soon.split('-').map(Number);

async function teacherPage(name, password) {
  const context = await browser.createBrowserContext();
  const page = await context.newPage();
  await page.setViewport({ width: 1366, height: 768 });
  page.on('dialog', (d) => d.accept());
  await teacherSignIn(page, server.url, password, name);
  return page;
}

const chooser = (page) => page.$$eval('#class option', (all) => all.map((o) => o.textContent).join());
const section = async (page, name) => {
  await page.locator(aria(name, 'link')).click();
  await page.waitForFunction((n) => document.querySelector(`section[aria-label="${n}"]`).checkVisibility(), {}, name);
};

// The class chosen on the bar, and its 問題集's assignment table read in.
async function chooseClass(page, id) {
  await page.select('#class', String(id));
  await page.waitForFunction((c) => !document.getElementById('assign-table').hidden
    && new URLSearchParams(location.hash.slice(1)).get('class') === c, {}, String(id));
}

// One series' row of the assignment table changed as a teacher does it,
// and the store has it.
async function assign(page, classId, title, { shown, due }) {
  const tr = (await page.waitForFunction((t) => [...document.querySelectorAll('#assign-table tbody tr')]
    .find((r) => r.cells[0].textContent === t), {}, title)).asElement();
  if (due !== undefined) await tr.$eval('input[type="date"]', (i, v) => { i.value = v; i.dispatchEvent(new Event('change')); }, due);
  if (shown !== undefined && await tr.$eval('input[type="checkbox"]', (b) => b.checked) !== shown) await (await tr.$('input[type="checkbox"]')).click();
  await page.waitForFunction(async (c, d, s) => {
    const rows = (await (await fetch(`/api/teacher/class-series?class=${c}`)).json()).series;
    return rows.some((r) => (d === undefined || r.due === d) && (s === undefined || r.hidden === !s));
  }, {}, classId, due, shown);
}

async function learnerPage(name) {
  const context = await browser.createBrowserContext();
  const page = await context.newPage();
  await page.setViewport({ width: 1366, height: 768 });
  await page.goto(server.url);
  await page.locator(aria('コード', 'textbox')).fill(codes[name]);
  await page.locator(aria('はじめる', 'button')).click();
  await page.waitForSelector(aria('マークの付いた問題', 'button'));
  return page;
}
const started = Date.now();
const step = (what) => console.log(`${((Date.now() - started) / 1000).toFixed(1)} s: ${what}`);
// A request made as the page's own scripts make it, with its cookies.
const api = (page, method, path, body) => page.evaluate((m, p, b) => call(m, p, b), method, path, body);
const listed = (page) => page.$$eval('.series button', (all) => all.map((b) => b.textContent));

try {
  check(Object.keys(codes).join() === '青井,赤木,千葉', `three classes' learners from one list: ${Object.keys(codes)}`);

  step("the administrator: a class and a teacher added from the page");
  // ---- the administrator: a class and a teacher added from the page ----
  const admin = await teacherPage('管理者', AdminPassword);
  await section(admin, '学習者');
  check(await admin.$eval('#admin', (a) => a.checkVisibility()), 'the administrator sees the 管理 forms');
  await admin.locator(aria('クラス名', 'textbox')).fill('1D');
  await admin.locator('#class-new button').click();
  await admin.waitForFunction(() => [...document.querySelectorAll('#class option')].some((o) => o.textContent === '1D'));
  check(await chooser(admin) === '全クラス,1A,1B,1C,1D', `the chooser names the class added: ${await chooser(admin)}`);
  check(await admin.$eval('#class', (c) => c.selectedOptions[0].textContent === document.title.split(' ')[0]),
    'the class shown stays chosen');
  await admin.locator('#teacher-new-name').fill('佐藤');
  await admin.locator('#teacher-new-password').fill('satou-sensei');
  await admin.locator('#teacher-new-again').fill('satou-sensei');
  await (await admin.waitForSelector('#teacher-new-classes label ::-p-text(1C)')).click();
  await admin.locator('#teacher-new button[type="submit"]').click();
  await admin.waitForFunction(() => document.getElementById('admin-said').textContent.includes('佐藤'), { timeout: 10000 });
  check(await admin.$eval('#teacher-new-password', (p) => p.type === 'password' && p.value === ''), 'the password is never shown and not kept');
  if (shots) await admin.screenshot({ path: join(shots, 'assign-admin.png'), fullPage: true });
  // Under 全クラス each learner is listed with class and 番号.
  await admin.select('#class', 'all');
  const everyone = await admin.waitForFunction(() => {
    const rows = [...document.querySelectorAll('#learners tbody tr')]
      .map((r) => [...r.cells].filter((c) => c.checkVisibility()).slice(0, 3).map((c) => c.textContent).join(' '));
    return rows.length === 3 && rows;
  });
  check(JSON.stringify(await everyone.jsonValue()) === '["1A 1 青井","1B 1 赤木","1C 1 千葉"]',
    `全クラス lists class, 番号 and name: ${JSON.stringify(await everyone.jsonValue())}`);

  step("two teachers, each offered their classes alone");
  // ---- two teachers, each offered their classes alone ----
  const yamada = await teacherPage('山田', 'yamada-sensei');
  check(await chooser(yamada) === '全クラス,1A,1B', `山田 is offered 1A and 1B: ${await chooser(yamada)}`);
  check(!await yamada.$eval('#admin', (a) => a.checkVisibility()), '山田 has no 管理 forms');
  check((await api(yamada, 'POST', '/api/teacher/admin/class', { name: '2A' })).status === 403, 'a teacher may not add a class');
  check((await api(yamada, 'POST', '/api/teacher/admin/teacher', { name: '伊藤', password: 'itou-sensei', classes: [] })).status === 403,
    'nor a teacher');
  const satou = await teacherPage('佐藤', 'satou-sensei');
  check(await chooser(satou) === '1C', `佐藤, added on the page, is offered 1C alone: ${await chooser(satou)}`);
  const ids = Object.fromEntries((await api(yamada, 'GET', '/api/teacher/classes')).body.classes.map((c) => [c.name, c.id]));
  const c1 = (await api(satou, 'GET', '/api/teacher/classes')).body.classes[0].id;
  check((await api(yamada, 'GET', `/api/teacher/class-series?class=${c1}`)).status === 403, '1C\'s series are not 山田\'s to see');
  const badDate = await api(yamada, 'POST', '/api/teacher/class-series', { class: ids['1A'], file: 'Bio1.TXT', hidden: false, due: '2026-02-30' });
  check(badDate.status === 400 && badDate.body.error.includes('期限'), `a malformed 期限 is refused: ${JSON.stringify(badDate)}`);

  step("a series written once, given to 1A and 1B with a 期限, hidden from 1C");
  // ---- a series written once, given to 1A and 1B with a 期限, hidden from 1C ----
  await section(yamada, '問題集');
  await yamada.select('#class', 'all');
  await yamada.waitForFunction(() => document.getElementById('assign-choose').checkVisibility());
  check(await yamada.$eval('#assign-table', (t) => t.hidden), 'with 全クラス the page asks for a class instead');
  await openInEditor(yamada, await newSeries(yamada, '細胞のつくり', 'Cell.TXT'));
  await typeProblem(yamada, 0, '細胞のつくりを分類しなさい。', ['核', '葉緑体', '細胞膜'], ['動物と植物', '植物だけ'], (t) => (t === 1 ? 1 : 0));
  await yamada.locator(aria('保存', 'button')).click();
  await yamada.waitForFunction(() => document.getElementById('saved').textContent === '保存しました');
  await yamada.goto(new URL(`/teacher#section=series&class=${ids['1A']}`, server.url).href);
  await yamada.waitForSelector('#assign-table:not([hidden])');
  await assign(yamada, ids['1A'], '細胞のつくり', { due: soon });
  if (shots) await yamada.screenshot({ path: join(shots, 'assign-teacher.png') });
  await chooseClass(yamada, ids['1B']);
  await assign(yamada, ids['1B'], '細胞のつくり', { due: '2020-01-10' });
  // 佐藤's page, open since before the series was made, shows it once loaded again.
  await satou.reload();
  await satou.waitForSelector('#assign-table:not([hidden])');
  await assign(satou, c1, '細胞のつくり', { shown: false });

  const aoi = await learnerPage('青井');
  const akagi = await learnerPage('赤木');
  const chiba = await learnerPage('千葉');
  const [aoiList, akagiList, chibaList] = [await listed(aoi), await listed(akagi), await listed(chiba)];
  check(aoiList[1].startsWith(`細胞のつくり　期限 ${soonMonth}/${soonDay}`) && /0\/1問$/.test(aoiList[1]),
    `1A's list has it first with its 期限 and nothing solved: ${aoiList}`);
  check(akagiList[1].startsWith('細胞のつくり　期限 1/10（期限切れ）'), `1B's has it first, past its 期限: ${akagiList}`);
  check(chibaList.length > 2 && !chibaList.some((t) => t.startsWith('細胞のつくり')), `1C's does not list it: ${chibaList}`);
  if (shots) {
    await aoi.screenshot({ path: join(shots, 'assign-learner.png') });
    await akagi.emulateMediaFeatures([{ name: 'prefers-color-scheme', value: 'dark' }]);
    await akagi.screenshot({ path: join(shots, 'assign-learner-dark.png') });
  }

  step("a save in the editor, seen by every class");
  // ---- a save in the editor, seen by every class ----
  const sample = await yamada.waitForSelector('article[aria-label="動物の多様性と分類"]');
  await openInEditor(yamada, sample);
  await yamada.locator('#p0-question').fill('次の生物を、なかまに分けなさい。');
  await yamada.locator(aria('保存', 'button')).click();
  await yamada.waitForFunction(() => document.getElementById('saved').textContent === '保存しました');
  for (const [who, page] of [['青井', aoi], ['赤木', akagi], ['千葉', chiba]]) {
    await page.locator(aria('動物の多様性と分類', 'button')).click();
    await page.waitForSelector('.term');
    await settled(page);
    const question = (await serverState(page)).board.question.text;
    check(question === '次の生物を、なかまに分けなさい。', `${who} sees the saved question: ${question}`);
  }

  step("a learner's 学習の記録 from the learner list");
  await yamada.goto(new URL(`/teacher#section=learners&class=${ids['1A']}`, server.url).href);
  await (await yamada.waitForSelector('#learners tbody tr ::-p-text(見る)')).click();
  await yamada.waitForSelector('#record-dialog[open]');
  check(await yamada.$eval('#record-heading', (h) => h.textContent) === '青井 さんの学習の記録'
    && (await yamada.$eval('#record-who', (p) => p.textContent)).startsWith('学習者: 青井'), '青井\'s record opens for 山田');
  if (shots) {
    await yamada.screenshot({ path: join(shots, 'assign-record.png') });
    await yamada.emulateMediaFeatures([{ name: 'prefers-color-scheme', value: 'dark' }]);
    await yamada.screenshot({ path: join(shots, 'assign-record-dark.png') });
    await yamada.emulateMediaFeatures([]);
  }
  // The teacher sees the record as 青井 sees it: the same rows and charts.
  const recordShown = (page, root) => page.evaluate((root) => {
    const rows = (id) => [...document.querySelectorAll(`${root} #${id} tbody tr`)].map((r) => [...r.cells].map((c) => c.textContent));
    const charts = [...document.querySelectorAll(`${root} figure`)].map((f) => f.querySelector('svg')?.getAttribute('aria-label'));
    return JSON.stringify({ series: rows('record-series'), terms: rows('record-terms'), charts });
  }, root);
  const forTeacher = await recordShown(yamada, '#record-dialog');
  await yamada.locator(aria('閉じる', 'button')).click();
  // She is on the saved problem: back to the list, where the record opens.
  await press(aoi, '終了：問題をやめてシリーズ一覧に戻る');
  await press(aoi, '学習の記録を見る');
  await aoi.waitForSelector('#record:not([hidden]) #chart-weeks svg');
  const forLearner = await recordShown(aoi, '#record');
  check(forTeacher === forLearner && JSON.parse(forTeacher).charts.filter(Boolean).length === 2,
    `the teacher's dialog shows 青井's own record, charts too: ${forTeacher} / ${forLearner}`);

  step("置き換える by upload");
  // ---- 置き換える by upload ----
  const before = readFileSync(join(dir, 'Cell.TXT'));
  const upload = mkdtempSync(join(tmpdir(), 'velmorant-assign-upload-'));
  writeFileSync(join(upload, 'Cell.TXT'), readFileSync(join(dir, 'Bio2.TXT')));
  const plain = await api(yamada, 'POST', '/api/teacher/series/upload', { file: 'Cell.TXT', title: 'x', add: true,
    data: readFileSync(join(upload, 'Cell.TXT')).toString('base64') });
  check(plain.status === 409, `without 置き換える a listed name is refused as before: ${plain.status}`);
  await yamada.goto(new URL(`/teacher#section=series&class=${ids['1A']}`, server.url).href);
  await yamada.waitForSelector('#series-upload-file');
  await (await yamada.$('#series-upload-file')).uploadFile(join(upload, 'Cell.TXT'));
  await yamada.locator('#series-upload-title').fill('細胞のつくり（改）');
  await yamada.locator('#series-upload button[type="submit"]').click();
  await yamada.locator(aria('置き換える', 'button')).click();
  await yamada.waitForSelector('article[aria-label="細胞のつくり（改）"]');
  rmSync(upload, { recursive: true, force: true });
  check(readFileSync(join(dir, 'Cell.TXT')).equals(readFileSync(join(dir, 'Bio2.TXT'))), 'the file is the one uploaded');
  const kept = readdirSync(join(dir, '履歴')).filter((n) => n.startsWith('Cell@'));
  check(kept.some((n) => readFileSync(join(dir, '履歴', n)).equals(before)), `the old one is kept in 履歴/: ${kept}`);
  check(!readdirSync(dir).some((n) => n.includes('.tmp') || n.startsWith('.Cell')), 'no half-written file is left');
  if (shots) {
    await yamada.emulateMediaFeatures([{ name: 'prefers-color-scheme', value: 'dark' }]);
    await yamada.screenshot({ path: join(shots, 'assign-teacher-dark.png') });

  }
} finally {
  await close();
  await server.stop();
}
console.log('ok');
