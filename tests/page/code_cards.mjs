// A class of 30 registered from the class list Excel saves, as CSV in code
// page 932 (no byte order mark, CR LF) and as CSV UTF-8 (with the mark):
// the code-card sheet has every name as written, escaped, with a code that
// signs in; it prints as A4 pages of 3 × 8 cards with nothing cut off. A
// list with a fault registers no one; names already registered are named.
// The teacher's page prints the codes it made as the same sheet.
// The sheet's picture is saved in OUTDIR.
//   node code_cards.mjs PATH/TO/velmorant-server OUTDIR
import { execFileSync, spawnSync } from 'node:child_process';
import { mkdirSync, mkdtempSync, readdirSync, readFileSync, rmSync, statSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { inflateSync } from 'node:zlib';
import { startServer, client, check, raw, setTeacherPassword, teacherClient } from './serverLib.mjs';
import { launch } from './browserLib.mjs';

const [program, out] = process.argv.slice(2);
mkdirSync(out, { recursive: true });
const Address = 'http://192.168.10.5:8080/';
const names = ['山田 太郎', '佐藤, 花子', '鈴木 "ジロー"', '<b>&amp;高橋', 'ﾀﾅｶ ﾕｳｷ', '渡辺　美咲',
  '髙橋 﨑子', 'Emma Schmidt', '伊藤 翼', '中村 陽菜',
  ...Array.from({ length: 20 }, (_, i) => `生徒${String(i + 11).padStart(2, '0')} 長い名前のある学習者の例`)];
const step = (what) => console.log(`- ${what}`);

// Rows as Excel writes them: a header, a number column, a blank row, a
// name padded with ideographic spaces (trimmed), quotes only where needed.
function csv(list) {
  const field = (t) => (/[",]/.test(t) ? `"${t.replaceAll('"', '""')}"` : t);
  const rows = list.map((n, i) => `${field(i === 8 ? `　${n}　` : n)},${i + 1}`);
  rows.splice(5, 0, ',');
  return `氏名,出席番号\r\n${rows.join('\r\n')}\r\n`;
}

function run(...args) {
  const r = spawnSync(program, args, { encoding: 'utf8' });
  return { status: r.status, stdout: r.stdout, stderr: r.stderr };
}

const unescape = (t) => t.replaceAll('&lt;', '<').replaceAll('&gt;', '>').replaceAll('&quot;', '"').replaceAll('&amp;', '&');

// The sheet's cards, in order.
function cards(html) {
  return [...html.matchAll(/<div class="name(?: long)?">(.*?)<\/div>.*?<span class="code">(.*?)<\/span>.*?<div class="address">(.*?)<\/div>/gs)]
    .map((m) => ({ name: unescape(m[1]), code: m[2], address: unescape(m[3]) }));
}

// A PDF's pages, counted in its objects, compressed ones too.
function pdfPages(pdf) {
  const text = pdf.toString('latin1');
  const parts = [text];
  for (const m of text.matchAll(/stream\r?\n/g)) {
    const end = text.indexOf('endstream', m.index);
    try {
      parts.push(inflateSync(pdf.subarray(m.index + m[0].length, end)).toString('latin1'));
    } catch (e) { /* not deflated */ }
  }
  return parts.reduce((n, t) => n + (t.match(/\/Type\s*\/Page\b/g) || []).length, 0);
}

const work = mkdtempSync(join(tmpdir(), 'velmorant-cards-'));
const { browser, close } = await launch();
const servers = [];
try {
  const lists = {
    cp932: execFileSync('iconv', ['-f', 'UTF-8', '-t', 'CP932'], { input: csv(names) }),
    utf8: Buffer.concat([Buffer.from([0xef, 0xbb, 0xbf]), Buffer.from(csv(names))]),
  };
  const sheets = {};
  for (const [kind, bytes] of Object.entries(lists)) {
    step(`a class list in ${kind}`);
    const list = join(work, `1年2組-${kind}.csv`);
    writeFileSync(list, bytes);
    const folder = join(work, kind);
    const made = run('--samples', '--add-learners', list, '--address', Address, folder);
    check(made.status === 0, `--add-learners: ${made.status} ${made.stderr}`);
    sheets[kind] = join(work, `1年2組-${kind}-コード表.html`);
    check(made.stdout.includes(sheets[kind]), `the sheet's place is printed: ${made.stdout}`);
    check((statSync(sheets[kind]).mode & 0o777) === 0o600, 'the sheet with the codes is private');
    const got = cards(readFileSync(sheets[kind], 'utf8'));
    check(JSON.stringify(got.map((c) => c.name)) === JSON.stringify(names.map((n) => n.trim().replace(/^　|　$/g, ''))),
      `the cards have the list's names in its order: ${got.map((c) => c.name)}`);
    check(got.every((c) => /^[A-Z0-9]{6,}$/.test(c.code) && c.address === Address), 'each card has a code and the address');
    const server = await startServer(program, { folder });
    servers.push(server);
    for (const c of kind === 'cp932' ? got : got.slice(0, 3)) {
      const r = await client(server.url).signIn(c.code);
      check(r.status === 200, `${c.name} signs in with the card's code: ${r.status} ${r.text}`);
    }

    step('the same list again, and a list with a fault');
    const again = run('--add-learners', list, folder);
    check(again.status === 1 && /\d+行目: \S+の「山田 太郎」はもう登録されています/.test(again.stderr) &&
      again.stderr.includes('だれも登録していません'), `names already registered are named by their line: ${again.stderr}`);
    const faulty = join(work, `faulty-${kind}.csv`);
    writeFileSync(faulty, `新しい 名前\r\n${'長'.repeat(65)}\r\n`);
    const refused = run('--add-learners', faulty, folder);
    check(refused.status === 1 && refused.stderr.includes('2行目'), `the faulty line is named: ${refused.stderr}`);
    check(!run('--learners', folder).stdout.includes('新しい 名前'), 'a list with a fault registers no one');
  }
  check(readdirSync(work).filter((f) => f.endsWith('.html')).length === 2, 'no sheet is made when no one is registered');

  step('a grade in one file: its columns by the header row, cards by class and 番号');
  const grade = join(work, '1年.csv');
  writeFileSync(grade, '番号,氏名,ふりがな,組\r\n2,青井 葵,あおい,1B\r\n1,赤木 蓮,れん,1A\r\n' +
    '1,黄田 空,そら,1B\r\n1,緑川 海,うみ,1C\r\n2,青井 葵,あおい,1C\r\n');
  const school = join(work, 'school');
  const gradeMade = run('--samples', '--add-learners', grade, '--address', Address, school);
  check(gradeMade.status === 0, `a grade's list: ${gradeMade.status} ${gradeMade.stderr}`);
  const gradeSheet = readFileSync(join(work, '1年-コード表.html'), 'utf8');
  const onCards = [...gradeSheet.matchAll(/<div class="class">(.*?)<\/div>/g)].map((m) => m[1]);
  check(JSON.stringify(onCards) === '["1A","1B","1B","1C","1C"]' &&
    JSON.stringify(cards(gradeSheet).map((c) => c.name)) === '["赤木 蓮","黄田 空","青井 葵","緑川 海","青井 葵"]',
  `cards by class, in 番号 order, with the class's name: ${onCards} ${cards(gradeSheet).map((c) => c.name)}`);
  const classPages = [...gradeSheet.matchAll(/<section class="sheet">([\s\S]*?)<\/section>/g)]
    .map((m) => [...new Set([...m[1].matchAll(/<div class="class">(.*?)<\/div>/g)].map((c) => c[1]))].join());
  check(JSON.stringify(classPages) === '["1A","1B","1C"]', `each class on a page of its own: ${JSON.stringify(classPages)}`);
  check(run('--learners', school).stdout === '1A\t1\t赤木 蓮\n1B\t1\t黄田 空\n1B\t2\t青井 葵\n1C\t1\t緑川 海\n1C\t2\t青井 葵\n',
    `learners by class and 番号, the same name in two classes twice: ${run('--learners', school).stdout}`);
  const unnamed = run('--add-learner', '転入生', school);
  check(unnamed.status === 1 && unnamed.stderr.includes('--class'), `a learner needs a class among several: ${unnamed.stderr}`);
  const named = run('--add-learner', '転入生', '--class', '1A', school);
  check(named.status === 0 && /^[A-Z2-9]{8}$/.test(named.stdout.trim().split('\n').pop()), `the code is the last line: ${named.stdout}`);
  const kept = spawnSync(program, ['--remove-class', '1C', school], { input: 'n\n', encoding: 'utf8' });
  check(kept.status === 1 && run('--learners', school).stdout.includes('1C\t1\t緑川 海'), `"n" from a pipe removes nothing: ${kept.stderr}`);
  check(run('--remove-class', '1C', '--yes', school).status === 0 && !run('--learners', school).stdout.includes('1C'),
    'the class and its learners are removed with --yes');

  step('the teacher page\'s codes as the same sheet');
  setTeacherPassword(program, servers[0].dir, 'kyoushitsu-2026');
  const teacher = teacherClient(servers[0].url);
  await teacher.signIn('kyoushitsu-2026');
  check((await teacher.post('/api/teacher/add', { name: '<i>転入生</i>' })).status === 200, 'a learner added on the page');
  const sheet = await teacher.get('/teacher/cards');
  const onPage = cards(sheet.text);
  check(sheet.status === 200 && onPage.length === 1 && onPage[0].name === '<i>転入生</i>',
    `the page's sheet has the learner it made: ${sheet.status} ${JSON.stringify(onPage)}`);
  check(onPage[0].address === servers[0].url.replace('127.0.0.1', new URL(onPage[0].address).hostname) &&
    !onPage[0].address.includes('127.0.0.1'), `the address is one learners can open: ${onPage[0].address}`);
  check(/style-src 'unsafe-inline'/.test(sheet.headers['content-security-policy']), 'the sheet\'s own style is allowed');
  check((await client(servers[0].url).signIn(onPage[0].code)).status === 200, 'its code signs in');
  check((await raw(servers[0].url, 'GET', '/teacher/cards')).status === 401, 'the sheet needs the teacher');

  step('the sheet printed');
  const page = await browser.newPage();
  await page.setViewport({ width: 794, height: 1123 });
  await page.goto(`file://${sheets.cp932}`);
  await page.emulateMediaType('print');
  const layout = await page.$$eval('.sheet', (sheets) => sheets.map((s) => [...s.querySelectorAll('.card')].map((c) => {
    const box = c.getBoundingClientRect();
    return { w: box.width, h: box.height, x: box.left, y: box.top,
      cut: [...c.children].some((e) => e.scrollWidth > e.clientWidth + 1) || c.scrollHeight > c.clientHeight + 1 };
  })));
  check(layout.length === 2 && layout[0].length === 24 && layout[1].length === 6, `24 cards a page: ${layout.map((s) => s.length)}`);
  const mm = 96 / 25.4;
  check(layout[0].every((c) => Math.abs(c.w - 190 / 3 * mm) < 2 && Math.abs(c.h - 277 / 8 * mm) < 2),
    `each card is a third of A4's width and an eighth of its height: ${JSON.stringify(layout[0][0])}`);
  check(new Set(layout[0].map((c) => Math.round(c.x))).size === 3, 'three cards a row');
  check(layout.flat().every((c) => !c.cut), 'nothing on a card is cut off');
  const pdf = await page.pdf({ preferCSSPageSize: true });
  const pages = pdfPages(Buffer.from(pdf));
  check(pages === 2, `30 cards print on 2 pages: ${pages}`);
  // The first page as the screen shows it: the sheet on white paper.
  await page.emulateMediaType('screen');
  await page.setViewport({ width: 900, height: 1300 });
  const first = await page.$eval('.sheet', (s) => {
    const box = s.getBoundingClientRect();
    return { x: box.left, y: box.top + window.scrollY, width: box.width, height: box.height };
  });
  const margin = 10 * mm;
  await page.screenshot({ path: join(out, 'code-cards.png'),
    clip: { x: first.x - margin, y: first.y - margin, width: first.width + 2 * margin, height: first.height + 2 * margin } });
  console.log(`code cards test passed; the sheet's picture: ${join(out, 'code-cards.png')}`);
} finally {
  await close();
  for (const s of servers) await s.stop();
  rmSync(work, { recursive: true, force: true });
}
