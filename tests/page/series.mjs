// The teacher's 問題集 section in Chromium: a new series (its .TXT added),
// uploads in UTF-8 and in code page 932 with their findings, moved and
// removed; and a learner in the middle of a series while the teacher saves
// it.
//   node series.mjs PATH/TO/velmorant-server
import { appendFileSync, copyFileSync, existsSync, readFileSync, writeFileSync, mkdtempSync, rmSync } from 'node:fs';
import { execFileSync } from 'node:child_process';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { startServer, samePort, client, raw, teacherClient, setTeacherPassword, check } from './serverLib.mjs';
import { launch, aria, Answer, teacherSignIn, newSeries } from './browserLib.mjs';

const program = process.argv[2];
const Password = 'kyoushitsu-2026';
let server = await startServer(program, { learners: ['aoi'] });
const { browser, close } = await launch();
const files = mkdtempSync(join(tmpdir(), 'velmorant-uploads-'));
const cp932 = (text) => execFileSync('iconv', ['-f', 'UTF-8', '-t', 'CP932'], { input: text });
const catalogue = () => execFileSync('iconv', ['-f', 'CP932', '-t', 'UTF-8'], { input: readFileSync(join(server.dir, 'ZQCList.TXT')) }).toString();

try {
  setTeacherPassword(program, server.dir, Password);
  const page = await browser.newPage();
  page.on('dialog', (dialog) => dialog.accept());
  await teacherSignIn(page, server.url, Password);
  const section = '#series-section';
  await page.waitForSelector(`${section} article ::-p-text(動物の多様性と分類)`);

  // A new series named without .TXT: listed last as Gene.TXT, its empty
  // file told.
  await newSeries(page, '遺伝', 'Gene');
  await page.waitForSelector('article[aria-label="遺伝"] ::-p-text(ファイルが空です)');
  check(catalogue().endsWith('"ヒトのからだ（神経,ホルモン,血液,免疫）",Bio4.TXT\r\n遺伝,Gene.TXT\r\n'),
    `the new series is added at the end of the catalogue, in its encoding and line ends: ${catalogue()}`);
  check(readFileSync(join(server.dir, 'Gene.TXT')).length === 0, 'its file is made');

  // Uploads: the findings come first, then the series is added.
  const problem = '問題1 細胞の分類\r\nＡ群\r\n・核　・膜\r\nＢ群\r\nａ．構造　ｂ．働き\r\n正解a,b,\r\n';
  writeFileSync(join(files, 'Utf.TXT'), Buffer.from(problem.replace('細胞', '細胞𠮷'), 'utf8'));
  writeFileSync(join(files, 'Sjis.TXT'), cp932(`${problem}問題2 答えのない問題\r\n`));
  for (const [name, finding, encoding] of [['Utf.TXT', '指摘はありません', 'UTF-8'], ['Sjis.TXT', '7行目', 'CP932']]) {
    const upload = await page.$('form[aria-label="アップロード"]');
    await (await upload.$('input[type=file]')).uploadFile(join(files, name));
    await (await upload.$(aria('アップロード', 'button'))).click();
    const result = await page.waitForSelector(`${section} [role=region][aria-label="指摘"]:not([hidden]) ::-p-text(${name}（${encoding}`);
    check(result, `${name}: its encoding is told`);
    await page.waitForSelector(`#series-upload-result ::-p-text(${finding})`);
    check(!catalogue().includes(name), `${name} is only checked before the teacher adds it`);
    await page.locator('#series-upload-result ::-p-text(一覧に追加)').click();
    await page.waitForSelector(`article[aria-label="${name.replace('.TXT', '')}"]`);
    check(readFileSync(join(server.dir, name)).equals(readFileSync(join(files, name))), `${name} is kept byte for byte`);
  }

  // Moved up past the series above it, then removed: its file kept aside.
  await page.locator('article[aria-label="Utf"] ::-p-aria([name="上へ"][role="button"])').click();
  await page.waitForFunction(() => [...document.querySelectorAll('#series article')].map((a) => a.ariaLabel).join() ===
    '問題集の一覧,動物の多様性と分類,細胞と代謝,植物の生活と生態系,ヒトのからだ（神経,ホルモン,血液,免疫）,Utf,遺伝,Sjis');
  check(catalogue().endsWith('遺伝,Gene.TXT\r\nSjis,Sjis.TXT\r\n'), `the catalogue is in the new order: ${catalogue()}`);
  await page.locator('article[aria-label="遺伝"] ::-p-aria([name="一覧から外す"][role="button"])').click();
  await page.waitForFunction(() => !document.querySelector('article[aria-label="遺伝"]'));
  check(!catalogue().includes('Gene.TXT') && !existsSync(join(server.dir, 'Gene.TXT')) &&
    existsSync(join(server.dir, '削除済み', 'Gene.TXT')), 'a removed series\' file is kept in 削除済み');

  // Downloaded as it lies on disk.
  const teacher = teacherClient(server.url);
  await teacher.signIn(Password);
  const download = await raw(server.url, 'GET', '/teacher/series/download?file=sjis.txt', { headers: { Cookie: teacher.cookie } });
  check(download.status === 200 && download.bytes.equals(readFileSync(join(files, 'Sjis.TXT'))) &&
    download.headers['content-disposition'] === 'attachment; filename="Sjis.TXT"', 'a series downloads byte for byte');

  // A series the catalogue names in Japanese, as teachers often do, is
  // reached too, and downloads under its name.
  appendFileSync(join(server.dir, 'ZQCList.TXT'), cp932('日本語の名前,生物.TXT\r\n'));
  copyFileSync(join(server.dir, 'Bio2.TXT'), join(server.dir, '生物.TXT'));
  const named = await raw(server.url, 'GET', `/teacher/series/download?file=${encodeURIComponent('生物.TXT')}`,
    { headers: { Cookie: teacher.cookie } });
  check(named.status === 200 && named.bytes.equals(readFileSync(join(server.dir, 'Bio2.TXT'))) &&
    named.headers['content-disposition'].endsWith("filename*=UTF-8''%E7%94%9F%E7%89%A9.TXT"),
    `a series named in Japanese downloads: ${named.status} ${named.headers['content-disposition']}`);

  // A learner half-way through problem 1 while the teacher saves the series
  // with problems 1 and 2 reworded: problem 1 stays as it was on screen,
  // problem 2 comes as saved.
  const aoi = client(server.url);
  await aoi.signIn(server.codes.aoi);
  await aoi.post('/api/open', { entry: 1 });
  await aoi.post('/api/move', { term: 0, frame: 0 });
  const { text, version } = (await teacher.get('/api/teacher/series/text?file=Bio1.TXT')).json;
  const saved = await teacher.post('/api/teacher/series/save', { file: 'Bio1.TXT', version,
    text: text.replace('次の無脊椎動物を', '次の無脊椎動物（改）を').replace('次の脊椎動物を', '次の脊椎動物（改）を') });
  check(saved.status === 200, `the teacher saves: ${saved.text}`);
  // A second teacher saving over the version the first replaced is refused,
  // and told the text as it is now; the file stays the first one's.
  const stale = await teacher.post('/api/teacher/series/save', { file: 'Bio1.TXT', version, text: '問題1 上書き\n' });
  check(stale.status === 409 && stale.json.version === saved.json.version && stale.json.text.includes('（改）') &&
    !readFileSync(join(server.dir, 'Bio1.TXT')).includes('上書き'), `a stale save is refused: ${stale.text.slice(0, 100)}`);
  let state = (await aoi.get('/api/state')).json;
  check(state.screen === 'problem' && !JSON.stringify(state).includes('（改）'), 'the problem on screen stays as it was');
  for (let term = 1; term < Answer.length; ++term) state = (await aoi.post('/api/move', { term, frame: Answer[term] })).json;
  check(state.screen === 'result', 'the learner solves it');
  state = (await aoi.post('/api/press', { button: 'next' })).json;
  check(JSON.stringify(state).includes('次の脊椎動物（改）を'), 'the next problem comes as saved');

  // Saved again, and the server started again: the learner goes on in the
  // series, not at the list.
  const again = (await teacher.get('/api/teacher/series/text?file=Bio1.TXT')).json;
  check((await teacher.post('/api/teacher/series/save', { file: 'Bio1.TXT', version: again.version,
    text: again.text.replace('次の脊椎動物（改）を', '次の脊椎動物（再）を') })).status === 200, 'saved again');
  await server.stop({ keep: true });
  server = await startServer(program, { folder: server.dir, port: samePort(server) });
  state = (await client(server.url, aoi.cookie).get('/api/state')).json;
  check(state.screen === 'problem' && JSON.stringify(state).includes('脊椎動物（再）'),
    `after a restart the learner goes on at the problem as saved: ${JSON.stringify(state).slice(0, 200)}`);
  console.log('the series section passed');
} finally {
  await close();
  await server.stop();
  rmSync(files, { recursive: true, force: true });
}
