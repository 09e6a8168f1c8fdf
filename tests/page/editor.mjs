// The teacher's editor in Chromium, from a new series in 問題集 to a file
// learners use: a sample series written back from the form byte for byte
// but for the field changed; three problems typed into the form (one of 21
// terms and 6 groups, one pasted from a spreadsheet), the board learners
// will see drawn beside it while typing, terms before their groups too, with
// a finding for a term too wide for its frame; the preview solved by drag
// and taps with nothing recorded; each keystroke followed by the redrawn
// board; default headings numbered anew after a move;
// the text view's preview following its cursor; a problem the form cannot
// hold never lost to it; a character code page 932 lacks refused by problem
// and field; the save (Ctrl+S, its button in view) in code page 932 with
// CR LF that velmorant-check passes and a learner opens as previewed; a save
// that ends a learner's history asked first, and told in 問題集 before and
// after a restart; a second teacher's stale save refused until chosen, with
// both versions kept; the editor signed out sending to the sign-in; a picture
// of it all. With DESKTOP, the class's
// series, their catalogue and the learner's first board are left there for
// editor_desktop_test.sh to open in the desktop program.
//   node editor.mjs PATH/TO/velmorant-server PATH/TO/velmorant-check [PICTURE.png [DESKTOP]]
import { copyFileSync, mkdirSync, readFileSync, readdirSync, rmSync, writeFileSync } from 'node:fs';
import { execFileSync } from 'node:child_process';
import { join } from 'node:path';
import { launch, aria, teacherSignIn, newSeries, signIn, openSeries, serverState, openInEditor, typeProblem, previewFrame,
  keystrokesToBoard } from './browserLib.mjs';
import { startServer, samePort, setTeacherPassword, check, client, teacherClient } from './serverLib.mjs';

const program = process.argv[2];
const checkProgram = process.argv[3];
const picture = process.argv[4] || '';
const desktop = process.argv[5] || '';
const Password = 'kyoushitsu-2026';
const Title = '動物の分類（新）';
const File = 'Kind.TXT';
const Groups = ['節足動物', '軟体動物', '棘皮動物', '脊索動物', '刺胞動物', '環形動物'];
// Term 20 is far wider than a frame of a board with six.
const Terms = [...Array.from({ length: 20 }, (_, t) => `語${t + 1}`), '光エネルギーを吸収して化学エネルギーに変える'];
const groupOf = (t) => t % 6;

const step = (what) => console.log(`- ${what}`);

async function resultRows(page) {
  const csv = await page.evaluate(async () => (await fetch('/teacher/results.csv')).text());
  return csv.split('\r\n').filter((row) => row.trim()).length;
}

async function boardTerms(frame) {
  return frame.$$eval('.term', (all) => all.map((t) => t.textContent.trim()));
}

const decode = (bytes) => new TextDecoder('shift_jis').decode(bytes);
const onDisk = () => readFileSync(join(server.dir, File));
const editorText = (page) => page.$eval('#text', (t) => t.value);
const idle = (page) => page.waitForFunction(() => !document.body.dataset.busy);
const saved = (page) => page.waitForFunction(() => document.getElementById('saved').textContent === '保存しました');

// The board's frames and terms as drawn: the same for the preview and a learner.
const layout = (state) => JSON.stringify({ frames: state.board.frames, terms: state.board.terms });
const boardIs = (frame, want) => frame.waitForFunction((w) => [...document.querySelectorAll('.term')].map((t) => t.textContent.trim()).join() === w, {}, want);
const ctrl = async (page, key) => {
  await page.keyboard.down('Control');
  await page.keyboard.press(key);
  await page.keyboard.up('Control');
};
// Rows pasted as a spreadsheet copies them.
const paste = (page, selector, rows) => page.$eval(selector, (area, data) => {
  area.focus();
  const clip = new DataTransfer();
  clip.setData('text/plain', data);
  area.dispatchEvent(new ClipboardEvent('paste', { clipboardData: clip, bubbles: true, cancelable: true }));
}, rows);

// The catalogue, the series it lists and the learner's board in design
// pixels (the state's boxes are in twips), for the desktop program's check.
function leaveForDesktop(folder, state) {
  rmSync(folder, { recursive: true, force: true });
  mkdirSync(folder, { recursive: true });
  const catalogue = decode(readFileSync(join(server.dir, 'ZQCList.TXT')));
  const files = catalogue.split('\r\n').filter((row) => row.trim()).map((row) => row.split(',').pop());
  for (const name of ['ZQCList.TXT', ...files]) copyFileSync(join(server.dir, name), join(folder, name));
  const pixels = (box) => box.map((twips) => Math.round(twips / 15));
  writeFileSync(join(folder, 'board.json'), JSON.stringify({
    series: Title, client: pixels(state.client), back: state.back,
    frames: state.board.frames.map((f) => ({ box: pixels(f.box), fill: f.fill, border: f.border })),
    terms: state.board.terms.map((t) => ({ text: t.text, box: pixels(t.box), back: t.back })),
  }, null, 1));
}

let server = await startServer(program, { learners: ['aoi'] });
const { browser, close } = await launch();
try {
  setTeacherPassword(program, server.dir, Password);
  const page = await browser.newPage();
  const dialogs = [];
  page.on('dialog', (dialog) => { dialogs.push(dialog.message()); dialog.accept(); });
  await page.setViewport({ width: 1500, height: 1100 });
  step('the teacher signs in and makes a new series in 問題集');
  await teacherSignIn(page, server.url, Password);
  const rowsBefore = await resultRows(page);

  step('a sample series read into problems and written back is the same text but for the field changed');
  // As the editor gets a file's text: each line end a \n.
  const sample = decode(readFileSync(join(server.dir, 'Bio1.TXT'))).replaceAll('\r\n', '\n');
  const post = (path, body) => page.evaluate(async (p, b) => (await fetch(p, { method: 'POST',
    headers: { 'Content-Type': 'application/json' }, body: JSON.stringify(b) })).json(), path, body);
  const read = await post('/api/teacher/parse', { text: sample });
  check(read.problems.length === 6 && read.findings.length === 0 && read.preamble[0].startsWith('動物の多様性'),
    `the sample reads whole: ${read.problems.length} problems, ${JSON.stringify(read.findings)}`);
  check(read.problems[1].terms[0].group === 4 && !read.problems[0].question.startsWith('　'), 'groups by number, the question without its blank');
  const form = read.problems.map((p, source) => ({ ...p, source }));
  const written = await post('/api/teacher/compose', { base: sample, problems: form });
  check(written.text === sample && written.findings.length === 0, 'the form written back is the file, byte for byte');
  form[1].question = '次の脊椎動物を、なかまに分けなさい。';
  const one = (await post('/api/teacher/compose', { base: sample, problems: [form[0], form[1], ...form.slice(2).map((p) => ({ source: p.source }))] })).text.split('\n');
  const was = sample.split('\n');
  const differ = was.flatMap((line, n) => (line === one[n] ? [] : [n]));
  check(one.length === was.length && differ.length === 1 && one[differ[0]].endsWith('次の脊椎動物を、なかまに分けなさい。'),
    `a question changed in the form changes its line alone: ${differ.map((n) => one[n])}`);
  for (const name of ['Bio1.TXT', 'Bio2.TXT', 'Bio3.TXT', 'Bio4.TXT']) {
    const whole = await post('/api/teacher/parse', { text: decode(readFileSync(join(server.dir, name))) });
    check(whole.formHolds, `the form holds ${name}`);
  }
  await openInEditor(page, await newSeries(page, Title, File));

  step('types a problem of 21 terms and 6 groups into the form');
  check(await page.$(aria('問題文', 'textbox')), 'the question is named 問題文');
  await typeProblem(page, 0, '次の生物や特徴を分類しなさい。', Terms, Groups, groupOf);
  check(await page.$(aria(Terms[0], 'combobox')), 'each term\'s group is a choice named by the term');
  await page.locator(aria('解説', 'textbox')).fill('　節足動物は外骨格をもつ。');

  step('sees the board in プレビュー and the too-wide term in 指摘');
  const frame = await previewFrame(page);
  await frame.waitForFunction((n) => document.querySelectorAll('.term').length === n, {}, Terms.length);
  check((await boardTerms(frame)).join() === Terms.join(), 'the board shows the 21 terms as typed');
  check(await frame.$$eval('[role="group"]', (g) => g.length) === 6, 'and 6 frames');
  check(await frame.$eval('#bar', (bar) => bar.hidden), 'and no learner\'s name or サインアウト: it is nobody\'s screen');
  const wide = await page.waitForFunction(() => {
    const all = [...document.querySelectorAll('[aria-labelledby="findings-title"] li')].map((li) => li.textContent);
    return all.find((t) => t.includes('枠より広く'));
  });
  check((await wide.jsonValue()).includes('光エネルギー'), `a finding names the wide term: ${await wide.jsonValue()}`);
  check(await page.$eval('#f0-terms', (l) => l.textContent.includes('枠より広く')), 'and stands next to 項目');
  const text = await page.$eval('#text', (t) => t.value);
  check(text.includes('Ｂ群') && text.includes('正解a,b,c,d,e,f,'), 'the text view holds the file\'s format');

  await page.waitForFunction(() => !document.body.dataset.busy);
  if (picture) {
    await page.evaluate(() => window.scrollTo(0, 0));
    await page.screenshot({ path: picture, fullPage: false });
    step(`picture: ${picture}`);
  }

  step('solves the preview by a drag and taps');
  const settled = () => frame.waitForFunction(() => !document.getElementById('board').dataset.pending);
  await settled();
  const box = async (selector) => (await frame.$(selector)).boundingBox();
  const from = await box('.term[data-term="0"]');
  const to = await box('[role="group"][data-frame="0"]');
  await page.mouse.move(from.x + from.width / 2, from.y + from.height / 2);
  await page.mouse.down();
  await page.mouse.move(to.x + to.width / 2, to.y + to.height * 0.7, { steps: 8 });
  await page.mouse.up();
  await settled();
  for (let t = 1; t < Terms.length; ++t) {
    await frame.click(`.term[data-term="${t}"]`);
    await settled();
    await frame.click(`[role="group"][data-frame="${groupOf(t)}"]`);
    await settled();
  }
  const alert = await frame.waitForSelector('[role="alert"].message', { timeout: 10000 });
  const said = await alert.evaluate((a) => a.textContent);
  check(said.includes('正解'), `the preview is solved: ${said}`);
  check(await resultRows(page) === rowsBefore, 'nothing of the preview is in the class report');
  const marksBefore = readFileSync(join(server.dir, 'Marked.txt'));
  // A mark is written on leaving its problem.
  await frame.click('[data-button="mark"]');
  await settled();
  await frame.click('[data-button="toList"]');
  await settled();
  await frame.waitForSelector('.term');
  check(readFileSync(join(server.dir, 'Marked.txt')).equals(marksBefore), 'a mark on the preview is kept nowhere');

  // Each keystroke redraws the board (its speed is measured in ./bench).
  step('20 keystrokes, each followed by the redrawn board');
  await keystrokesToBoard(page, frame, Terms[Terms.length - 1], Terms.length, 20);
  check(await resultRows(page) === rowsBefore, 'still nothing recorded');

  step('the wide term shortened, its finding goes');
  await page.$eval('#p0-terms', (t) => t.setSelectionRange(t.value.lastIndexOf('\n') + 1, t.value.length));
  await page.keyboard.type('光合成');
  await page.waitForFunction(() => ![...document.querySelectorAll('#finding-list li')].some((li) => li.textContent.includes('枠より広く')));
  await frame.waitForFunction(() => [...document.querySelectorAll('.term')].some((t) => t.textContent.trim() === '光合成'));

  step('adds a problem, its board drawn from its first terms; pastes one from a spreadsheet; moves it up, its heading numbered anew');
  await page.locator(aria('問題を追加', 'button')).click();
  await page.locator('#p1-question').fill('次の動物を分類しなさい。');
  await page.click('#p1-terms');
  await page.keyboard.type('ウニ\nイカ');
  await boardIs(frame, 'ウニ,イカ');
  check(await page.$eval('#preview-of', (p) => p.textContent.includes('書きかけ')), 'terms without groups are drawn at once');
  await page.click('#p1-groups');
  await page.keyboard.type('棘皮動物\n軟体動物');
  await frame.waitForFunction(() => document.querySelectorAll('[role="group"]').length === 2);
  for (const t of [0, 1]) await page.select(`#p1-answers select[data-term="${t}"]`, String(t + 1));
  await page.locator(aria('問題を追加', 'button')).click();
  await page.locator('#p2-question').fill('次の動物を門に分けなさい。');
  await paste(page, '#p2-terms', 'ミミズ\t環形動物\r\nクラゲ\t刺胞動物\r\nゴカイ\t環形動物\r\n');
  await boardIs(frame, 'ミミズ,クラゲ,ゴカイ');
  check(await page.$eval('#p2-groups', (g) => g.value) === '環形動物\n刺胞動物' &&
    (await page.$$eval('#p2-answers select', (all) => all.map((s) => s.value))).join() === '1,2,1',
  'rows pasted from a spreadsheet fill the terms and their groups');
  await page.click('fieldset[data-index="2"] button[data-act="-1"]');
  await idle(page);
  const moved = await editorText(page);
  check(moved.indexOf('語1') < moved.indexOf('ミミズ') && moved.indexOf('ミミズ') < moved.indexOf('ウニ') &&
    await page.$eval('#p1-terms', (t) => t.value) === 'ミミズ\nクラゲ\nゴカイ', '上へ moves it up in the form and in the text');
  check(moved.includes('問題２　次の動物を門に') && moved.includes('問題３　次の動物を分類') &&
    await page.$eval('#p1-heading', (h) => h.value) === '問題２', `default headings are numbered by their new places: ${moved.slice(-200)}`);

  step('the text view edited, the form follows; what the form cannot hold is never lost to it');
  const whole = await editorText(page);
  await page.locator(aria('テキスト', 'button')).click();
  await page.click('#text');
  await page.keyboard.down('Control');
  await page.keyboard.press('End');
  await page.keyboard.up('Control');
  await page.keyboard.type('\n問題４　次を分けなさい。\nＡ群\n・甲　・乙\nＢ群\nａ．一　ｂ．二\n正解a,c,\n' +
    '\n問題５　Ａ群の行を書き忘れた問題\n・丙　・丁\nＢ群\nａ．三\n正解a,a,\n');
  await idle(page);
  await boardIs(frame, '甲,乙');
  await ctrl(page, 'Home');
  await frame.waitForFunction((n) => document.querySelectorAll('.term').length === n, {}, Terms.length);
  check(await page.$eval('#preview-of', (p) => p.textContent.startsWith('1問目')), 'the preview follows the text view\'s cursor');
  await page.locator(aria('フォーム', 'button')).click();
  check(await page.$$eval('fieldset.problem', (f) => f.length) === 4, 'a problem typed as text is a form');
  check(await page.$eval('#p3-terms', (t) => t.value) === '甲\n乙', 'with its terms');
  check(await page.$eval('#f3-answer', (l) => l.textContent.includes('正解の2番目「c」')),
    'the reader\'s finding about its answer line stands next to the answers');
  await page.type('#p0-explanation', '追記');
  await idle(page);
  check((await editorText(page)).includes('Ａ群の行を書き忘れた問題\n・丙'), 'an edit of the form loses no line of the text');
  check(await page.$eval('#finding-list', (l) => l.textContent.includes('行目: エラー: この行からの問題はフォームでは表せません')),
    `指摘 tells what the form cannot hold: ${await page.$eval('#finding-list', (l) => l.textContent)}`);
  check(await page.$eval('fieldset.problem', (f) => f.disabled) && !await page.$eval('#form-locked', (p) => p.hidden),
    'the form is only read until the text is mended');
  // Mended as a teacher pastes: the form can be edited again.
  await page.locator(aria('テキスト', 'button')).click();
  await page.$eval('#text', (t, value) => { t.value = value; t.dispatchEvent(new Event('input')); }, whole);
  await idle(page);
  await page.locator(aria('フォーム', 'button')).click();
  check(!await page.$eval('#p0-explanation', (t) => t.disabled) && await page.$eval('#form-locked', (p) => p.hidden),
    'the text mended, the form is edited again');

  step('a character code page 932 lacks is refused by its problem and field');
  await page.type('#p2-explanation', '𠮷');
  await idle(page);
  await page.locator(aria('保存', 'button')).click();
  await page.waitForFunction(() => document.getElementById('message').textContent.includes('𠮷'));
  const refused = await page.$eval('#message', (m) => m.textContent);
  check(refused.startsWith('3問目（問題３）の解説の「𠮷」はシフトJIS'), `the refusal names the problem and field: ${refused}`);
  await page.click('#p2-explanation');
  await ctrl(page, 'a');
  await page.keyboard.press('Backspace');

  step('Ctrl+S saves, 保存 in view at the foot of the form: code page 932 with CR LF, which velmorant-check passes');
  await page.click('#p0-heading');
  await idle(page);
  await page.evaluate(() => window.scrollTo(0, document.body.scrollHeight));
  check(await page.$eval('#save', (b) => b.getBoundingClientRect().top >= 0 && b.getBoundingClientRect().bottom <= innerHeight),
    '保存 stays in view');
  await ctrl(page, 's');
  await saved(page);
  const bytes = onDisk();
  const savedText = await editorText(page);
  check(bytes.equals(execFileSync('iconv', ['-f', 'UTF-8', '-t', 'CP932'], { input: savedText.replaceAll('\n', '\r\n') })) &&
    !/[^\r]\n/.test(bytes.toString('latin1')) && bytes.includes(Buffer.from('\x8c\xf5\x8d\x87\x90\xac', 'latin1')),
    'the file is the editor\'s text in code page 932 with CR LF');
  const report = execFileSync(checkProgram, [join(server.dir, File)], { encoding: 'utf8' });
  check(/除いた問題 0問（エラー 0、警告 0）/.test(report) && report.includes('使える問題 3問'), `velmorant-check finds nothing: ${report}`);

  step('a learner opens the series and gets the board of the preview');
  const previewed = await page.evaluate(async () => (await fetch('/api/teacher/preview/state')).json());
  const learnerContext = await browser.createBrowserContext();
  const learner = await learnerContext.newPage();
  await learner.setViewport({ width: 1280, height: 960 });
  await signIn(learner, server.url, server.codes.aoi);
  await openSeries(learner, Title);
  const learned = await serverState(learner);
  check(layout(learned) === layout(previewed) && learned.board.terms.length === Terms.length,
    `the learner's board is the preview's: ${layout(learned).slice(0, 200)} / ${layout(previewed).slice(0, 200)}`);
  if (desktop) {
    leaveForDesktop(desktop, learned);
    step(`for the desktop program: ${desktop}`);
  }

  step('a save that changes a term of a problem a learner answered asks first, and 問題集 tells it');
  const aoi = client(server.url);
  await aoi.signIn(server.codes.aoi);
  let answered = (await aoi.get('/api/state')).json;
  for (let t = 0; t < Terms.length; ++t) answered = (await aoi.post('/api/move', { term: t, frame: groupOf(t) })).json;
  check(answered.screen === 'result', `the learner answers 問題１: ${answered.screen}`);
  await page.focus('#p0-terms');
  await page.$eval('#p0-terms', (t) => t.setSelectionRange(0, 2));
  await page.keyboard.type('語一');
  await idle(page);
  dialogs.length = 0;
  await page.locator(aria('保存', 'button')).click();
  await saved(page);
  const Ended = '「問題１」の項目・分類群・正解が、学習者が答えたときから変わっています。新しい問題として始まり、学習者1人のこれまでの記録（復習の予定）はここで終わります';
  check(dialogs.length === 1 && dialogs[0].startsWith(Ended) && decode(onDisk()).includes('語一'), `asked before the save: ${dialogs}`);
  const list = await browser.newPage();
  await list.goto(new URL('/teacher#section=series', server.url).href);
  await list.waitForSelector(`article[aria-label="${Title}"] ::-p-text(${Ended})`);
  await list.close();

  step('a second teacher\'s stale save is refused until chosen, and both versions stay');
  const otherContext = await browser.createBrowserContext();
  const other = await otherContext.newPage();
  await other.setViewport({ width: 1500, height: 1100 });
  await teacherSignIn(other, server.url, Password);
  await other.goto(new URL(`/teacher/editor?file=${File}`, server.url).href);
  await other.waitForFunction(() => document.querySelector('#p0-question')?.value.startsWith('次の生物'));
  await page.type('#p1-explanation', '一人目の先生の解説');
  await idle(page);
  await page.locator(aria('保存', 'button')).click();
  await saved(page);
  const first = onDisk();
  await other.type('#p2-explanation', '二人目の先生の解説');
  await idle(other);
  await other.locator(aria('保存', 'button')).click();
  await other.waitForSelector('#conflict:not([hidden])');
  const afterStale = decode(onDisk());
  check(afterStale.includes('一人目の先生の解説') && !afterStale.includes('二人目'),
    `the stale save is refused: ${decode(first) === afterStale ? 'the first save stands' : 'the file changed after the first save'}: ${afterStale}`);
  check(await other.$eval('#theirs', (p) => p.textContent.includes('一人目の先生の解説')), 'the saved version is shown');
  check(await other.$eval('#mine', (p) => p.textContent.includes('二人目の先生の解説')), 'this screen\'s version is shown');
  await other.locator(aria('この画面の版で上書きする', 'button')).click();
  await saved(other);
  const history = join(server.dir, '履歴');
  const kept = readdirSync(history).map((f) => readFileSync(join(history, f)));
  check(decode(onDisk()).includes('二人目の先生の解説') && kept.some((b) => b.equals(first)),
    'the chosen version is saved, the other kept in 履歴');
  // The first teacher, now behind, takes the saved version: their own stays
  // on screen to copy from.
  await page.type('#p0-explanation', '一人目の書きかけ');
  await idle(page);
  await page.locator(aria('保存', 'button')).click();
  await page.waitForSelector('#conflict:not([hidden])');
  await page.locator(aria('保存されている版を使う', 'button')).click();
  await idle(page);
  check((await editorText(page)).includes('二人目の先生の解説') &&
    await page.$eval('#conflict', (c) => !c.hidden && c.querySelector('#mine').textContent.includes('一人目の書きかけ')),
    'taking the saved version keeps this screen\'s on show');
  await page.locator(aria('閉じる', 'button')).click();

  step('a spreadsheet\'s rows beyond a board are told');
  await page.locator(aria('問題を追加', 'button')).click();
  await paste(page, '#p3-terms', Array.from({ length: 23 }, (_, k) => `語${k}\t群${k % 7}`).join('\n'));
  const notice = await page.$eval('#notice', (n) => n.textContent);
  check(await page.$eval('#p3-terms', (t) => t.value.split('\n').length) === 21 &&
    await page.$eval('#p3-groups', (g) => g.value) === '群0\n群1\n群2\n群3\n群4\n群5' &&
    notice.includes('最後の2行は入れていません') && notice.includes('「群6」は作れず'), `the rest is told: ${notice}`);

  step('the editor opened signed out goes to the sign-in');
  const nobody = await (await browser.createBrowserContext()).newPage();
  await nobody.goto(new URL(`/teacher/editor?file=${File}`, server.url).href);
  await nobody.waitForSelector(aria('パスワード', 'textbox'));
  check(new URL(nobody.url()).pathname === '/teacher', `at the sign-in: ${nobody.url()}`);

  step('after a restart 問題集 still tells the ended history');
  await server.stop({ keep: true });
  server = await startServer(program, { folder: server.dir, port: samePort(server) });
  const teacher = teacherClient(server.url);
  await teacher.signIn(Password);
  const listed = (await teacher.get('/api/teacher/series')).json.find((s) => s.file === File);
  check(listed.findings.some((f) => f.message === Ended), `told after a restart: ${JSON.stringify(listed.findings)}`);
  console.log('the editor passed');
} finally {
  await close();
  await server.stop();
}
