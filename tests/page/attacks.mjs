// The server under attack: every row is a request a hostile or broken
// client could send, and the answer it must get.
//   node attacks.mjs PATH/TO/velmorant-server
import { execFileSync, spawnSync } from 'node:child_process';
import { appendFileSync, chmodSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { startServer, samePort, raw, client, check, fakeClock, setTeacherPassword, teacherClient, sendRaw, openIdle, rss } from './serverLib.mjs';

const program = process.argv[2];
const database = process.env.VELMORANT_DATABASE || '';
let server = await startServer(program, { learners: ['aoi', 'ren', 'mei'], database });
const codes = server.codes;
let base = server.url;
// A series file the reader cannot take (UTF-16), listed in the catalogue.
appendFileSync(join(server.dir, 'ZQCList.TXT'), 'Broken,Broken.TXT\r\n');
writeFileSync(join(server.dir, 'Broken.TXT'), Buffer.from('\ufeff問題1 壊れた\r\n', 'utf16le'));
const origin = new URL(base).origin;
let failures = 0;

function expect(name, got, status) {
  const ok = got.status === status;
  if (!ok) failures += 1;
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${name}: ${got.status}${ok ? '' : ` (wanted ${status}) ${got.text.slice(0, 200)}`}`);
}

try {
  const aoi = client(base);
  const ren = client(base);
  check((await aoi.signIn(server.codes.aoi)).status === 200, 'aoi signs in');
  check((await ren.signIn(server.codes.ren)).status === 200, 'ren signs in');
  check(/HttpOnly/.test(aoi.cookie + (await client(base).signIn(server.codes.aoi)).headers['set-cookie']),
    'the session cookie is HttpOnly');
  check((await aoi.post('/api/open', { entry: 1 })).status === 200, 'aoi opens a series');

  setTeacherPassword(program, server.dir, 'kyoushitsu-2026', database);
  const teacher = teacherClient(base);
  const teacherSignIn = await teacher.signIn('kyoushitsu-2026');
  check(teacherSignIn.status === 200, 'the teacher signs in');
  check(/HttpOnly/.test(teacherSignIn.headers['set-cookie'][0]) && /SameSite=Strict/.test(teacherSignIn.headers['set-cookie'][0]) &&
    /Max-Age=43200/.test(teacherSignIn.headers['set-cookie'][0]), 'the teacher\'s cookie is HttpOnly, same-site only, 12 hours');
  const asTeacher = { Cookie: teacher.cookie, 'Content-Type': 'application/json' };
  // A learner's session id offered as the teacher's cookie.
  const learnerAsTeacher = aoi.cookie.replace('velmorant_session_', 'velmorant_teacher_');
  const big = JSON.stringify({ term: 0, frame: 0, pad: 'x'.repeat(70 * 1024) });
  await ren.get('/api/state');
  const withSession = { Cookie: aoi.cookie, Origin: origin, 'Content-Type': 'application/json' };
  const editorRows = () => {
    const json = { 'Content-Type': 'application/json' };
    const teacherHere = { ...asTeacher, Origin: origin };
    const evil = { ...asTeacher, Origin: 'http://evil.example' };
    const text = '{"text":"問題１　分類しなさい。\\nＡ群\\n・ウニ\\nＢ群\\nａ．棘皮動物\\n正解a,\\n","problem":0}';
    const rows = [];
    for (const path of ['/api/teacher/parse', '/api/teacher/compose', '/api/teacher/preview']) {
      rows.push([`${path}, no session`, 'POST', path, { headers: { ...json, Origin: origin }, body: text }, 401]);
      rows.push([`${path}, learner session`, 'POST', path, { headers: withSession, body: text }, 401]);
      rows.push([`${path}, foreign origin`, 'POST', path, { headers: evil, body: text }, 403]);
      rows.push([`${path}, over 64 KB`, 'POST', path, { headers: teacherHere, body: `{"text":"${'あ'.repeat(30 * 1024)}"}` }, 413]);
      rows.push([`${path}, not JSON`, 'POST', path, { headers: teacherHere, body: '{text:' }, 400]);
    }
    return rows.concat([
      // The editor's page is a shell that asks for the teacher's session.
      ['editor page, no session', 'GET', '/teacher/editor', {}, 200],
      ['histories a save ends, no session', 'POST', '/api/teacher/series/ended', { headers: { ...json, Origin: origin }, body: '{"file":"Bio1.TXT","text":""}' }, 401],
      ['preview page, no session', 'GET', '/teacher/preview', {}, 401],
      ['preview board, no session', 'GET', '/api/teacher/preview/state', {}, 401],
      ['preview move, learner session', 'POST', '/api/teacher/preview/move', { headers: withSession, body: '{"term":0,"frame":0}' }, 401],
      ['preview move, foreign origin', 'POST', '/api/teacher/preview/move', { headers: evil, body: '{"term":0,"frame":0}' }, 403],
      ['preview board before any preview', 'GET', '/api/teacher/preview/state', { headers: asTeacher }, 404],
      ['compose, problems not a list', 'POST', '/api/teacher/compose', { headers: teacherHere, body: '{"problems":3}' }, 400],
      ['preview, no such problem', 'POST', '/api/teacher/preview', { headers: teacherHere, body: text.replace('"problem":0', '"problem":5') }, 400],
      ['preview, teacher session', 'POST', '/api/teacher/preview', { headers: teacherHere, body: text }, 200],
      ['preview move, state not shown', 'POST', '/api/teacher/preview/move', { headers: teacherHere, body: '{"term":0,"frame":0,"seq":0}' }, 409],
      ['preview move, no such verb', 'POST', '/api/teacher/preview/solve', { headers: teacherHere, body: '{}' }, 404],
      ['preview board, teacher session', 'GET', '/api/teacher/preview/state', { headers: asTeacher }, 200],
    ]);
  };
  const rows = [
    ['body over 64 KB', 'POST', '/api/move', { headers: withSession, body: big }, 413],
    ['parent folder', 'GET', '/../velmorant.sqlite', {}, 404],
    ['encoded parent folder', 'GET', '/%2e%2e/velmorant.sqlite', {}, 404],
    ['encoded slash', 'GET', '/..%2fZQCList.TXT', {}, 404],
    ['double-encoded', 'GET', '/%252e%252e%252fZQCList.TXT', {}, 404],
    ['absolute path', 'GET', '//etc/passwd', {}, 404],
    ['the database', 'GET', '/velmorant.sqlite', {}, 404],
    ['the catalogue', 'GET', '/ZQCList.TXT', {}, 404],
    ['a series file', 'GET', '/Bio1.TXT', {}, 404],
    ['the marks file', 'GET', '/Marked.txt', {}, 404],
    ['a sound by its file name', 'GET', '/sounds/Seikai.WAV', {}, 404],
    ['out of the sounds', 'GET', '/sounds/../velmorant.sqlite', {}, 404],
    ['encoded out of the sounds', 'GET', '/sounds/..%2fvelmorant.sqlite', {}, 404],
    ['below a page file', 'GET', '/page.js/../../velmorant.sqlite', {}, 404],
    ['no cookie: state', 'GET', '/api/state', {}, 401],
    ['no cookie: open', 'POST', '/api/open', { headers: { Origin: origin }, body: '{"entry":1}' }, 401],
    ['forged cookie', 'GET', '/api/state', { headers: { Cookie: `${aoi.cookie.split('=')[0]}=` + 'ab'.repeat(32) } }, 401],
    ['foreign origin', 'POST', '/api/press', { headers: { ...withSession, Origin: 'http://evil.example' }, body: '{"button":"quit"}' }, 403],
    ['foreign referer', 'POST', '/api/press', { headers: { Cookie: aoi.cookie, Referer: 'http://evil.example/x' }, body: '{"button":"quit"}' }, 403],
    ['no origin at all', 'POST', '/api/press', { headers: { Cookie: aoi.cookie }, body: '{"button":"quit"}' }, 403],
    ['term beyond any problem', 'POST', '/api/move', { headers: withSession, body: aoi.acting('{"term":99,"frame":0}') }, 400],
    ['term beyond this problem', 'POST', '/api/move', { headers: withSession, body: aoi.acting('{"term":15,"frame":0}') }, 400],
    ['frame beyond this problem', 'POST', '/api/move', { headers: withSession, body: aoi.acting('{"term":0,"frame":4}') }, 400],
    ['frame beyond any problem', 'POST', '/api/move', { headers: withSession, body: aoi.acting('{"term":0,"frame":6}') }, 400],
    ['term as text', 'POST', '/api/move', { headers: withSession, body: aoi.acting('{"term":"0","frame":0}') }, 400],
    ['fractional term', 'POST', '/api/move', { headers: withSession, body: aoi.acting('{"term":0.5,"frame":0}') }, 400],
    ['place far off', 'POST', '/api/move', { headers: withSession, body: aoi.acting('{"term":0,"left":1e300,"top":0}') }, 400],
    ['not JSON', 'POST', '/api/move', { headers: withSession, body: '{term:0' }, 400],
    ['unknown button', 'POST', '/api/press', { headers: withSession, body: aoi.acting('{"button":"solve"}') }, 400],
    ['button not shown', 'POST', '/api/press', { headers: withSession, body: aoi.acting('{"button":"next"}') }, 409],
    ['teacher state, learner session', 'GET', '/api/teacher/state', { headers: { Cookie: aoi.cookie } }, 401],
    ['teacher state, learner id as teacher cookie', 'GET', '/api/teacher/state', { headers: { Cookie: learnerAsTeacher } }, 401],
    ['results.csv, learner session', 'GET', '/teacher/results.csv', { headers: { Cookie: aoi.cookie } }, 401],
    ['report, no session', 'GET', '/teacher/report', {}, 401],
    ['add a learner, learner session', 'POST', '/api/teacher/add', { headers: withSession, body: '{"name":"x"}' }, 401],
    ['remove a learner, no session', 'POST', '/api/teacher/remove', { headers: { Origin: origin }, body: '{"name":"ren"}' }, 401],
    ['add a learner, foreign origin', 'POST', '/api/teacher/add', { headers: { ...asTeacher, Origin: 'http://evil.example' }, body: '{"name":"x"}' }, 403],
    ['reset a code, no origin', 'POST', '/api/teacher/reset', { headers: asTeacher, body: '{"name":"ren"}' }, 403],
    ['teacher sign-in, foreign origin', 'POST', '/api/teacher/signin', { headers: { Origin: 'http://evil.example' }, body: '{"password":"kyoushitsu-2026"}' }, 403],
    ['teacher state, teacher session', 'GET', '/api/teacher/state', { headers: { Cookie: teacher.cookie } }, 200],
    // The series routes: only the teacher, only from the page, only names
    // of files in the class folder, nothing over the size limit.
    ['series list, no session', 'GET', '/api/teacher/series', {}, 401],
    ['series text, learner session', 'GET', '/api/teacher/series/text?file=Bio1.TXT', { headers: { Cookie: aoi.cookie } }, 401],
    ['series download, no session', 'GET', '/teacher/series/download?file=Bio1.TXT', {}, 401],
    ['series save, no session', 'POST', '/api/teacher/series/save', { headers: { Origin: origin }, body: '{"file":"Bio1.TXT","text":"","version":""}' }, 401],
    ['series new, foreign origin', 'POST', '/api/teacher/series/new', { headers: { ...asTeacher, Origin: 'http://evil.example' }, body: '{"file":"X.TXT","title":"x"}' }, 403],
    ['series save, no origin', 'POST', '/api/teacher/series/save', { headers: asTeacher, body: '{"file":"Bio1.TXT","text":"","version":""}' }, 403],
    ...[['..', '../ZQCList.TXT'], ['/', 'a/b.TXT'], ['\\', 'a\\b.TXT'], ['NUL', 'a\u0000.TXT'], ['device name', 'CON.TXT'],
      ['device name', 'lpt1.txt'], ['absolute path', '/etc/passwd'], ['no .TXT', 'passwd']].flatMap(([what, file]) => [
      [`series new, ${what} in the name`, 'POST', '/api/teacher/series/new', { headers: { ...asTeacher, Origin: origin }, body: JSON.stringify({ file, title: 'x' }) }, 400],
      [`series upload, ${what} in the name`, 'POST', '/api/teacher/series/upload', { headers: { ...asTeacher, Origin: origin }, body: JSON.stringify({ file, title: 'x', data: 'AA==', add: true }) }, 400],
      [`series save, ${what} in the name`, 'POST', '/api/teacher/series/save', { headers: { ...asTeacher, Origin: origin }, body: JSON.stringify({ file, text: 'x', version: '' }) }, 400],
    ]),
    ['series text, .. in the query', 'GET', '/api/teacher/series/text?file=..%2FZQCList.TXT', { headers: { Cookie: teacher.cookie } }, 400],
    ['series download, NUL in the query', 'GET', '/teacher/series/download?file=Bio1.TXT%00.png', { headers: { Cookie: teacher.cookie } }, 400],
    ['series download, a file not listed', 'GET', '/teacher/series/download?file=Marked.TXT', { headers: { Cookie: teacher.cookie } }, 404],
    ['series upload over the size limit (46 KB)', 'POST', '/api/teacher/series/upload', { headers: { ...asTeacher, Origin: origin },
      body: JSON.stringify({ file: 'Big.TXT', title: 'x', data: Buffer.alloc(46 * 1024, 0x41).toString('base64'), add: false }) }, 413],
    ['series upload over the request limit (60 KB)', 'POST', '/api/teacher/series/upload', { headers: { ...asTeacher, Origin: origin },
      body: JSON.stringify({ file: 'Big.TXT', title: 'x', data: Buffer.alloc(60 * 1024, 0x41).toString('base64'), add: true }) }, 413],
    ['series download, teacher session', 'GET', '/teacher/series/download?file=bio1.txt', { headers: { Cookie: teacher.cookie } }, 200],
    // The editor's routes: the teacher's alone, from the teacher's page.
    ...editorRows(),
    ['live page, no session', 'GET', '/api/teacher/live', {}, 401],
    ['live page, learner session', 'GET', '/api/teacher/live', { headers: { Cookie: aoi.cookie } }, 401],
    ['live page, teacher session', 'GET', '/api/teacher/live', { headers: { Cookie: teacher.cookie } }, 200],
    ['sign a learner out, no session', 'POST', '/api/teacher/signout-learner', { headers: { Origin: origin }, body: '{"name":"ren"}' }, 401],
    ['sign a learner out, learner session', 'POST', '/api/teacher/signout-learner', { headers: withSession, body: '{"name":"ren"}' }, 401],
    ['sign a learner out, foreign origin', 'POST', '/api/teacher/signout-learner', { headers: { ...asTeacher, Origin: 'http://evil.example' }, body: '{"name":"ren"}' }, 403],
    ['sign a learner out, no name', 'POST', '/api/teacher/signout-learner', { headers: { ...asTeacher, Origin: origin }, body: '{"learner":"ren"}' }, 400],
    ['sign a learner out, not JSON', 'POST', '/api/teacher/signout-learner', { headers: { ...asTeacher, Origin: origin }, body: 'ren' }, 400],
    ['unknown series', 'POST', '/api/open', { headers: { ...withSession, Cookie: ren.cookie }, body: ren.acting('{"entry":49}') }, 400],
  ];
  for (const [name, method, path, options, status] of rows) {
    expect(name, await raw(base, method, path, options), status);
  }

  const broken = await ren.post('/api/open', { entry: 5 });
  expect('a broken series file is told, not served', {
    status: broken.status === 200 && broken.json.screen === 'list' && broken.json.notices.join('').includes('UTF-16') ? 200 : 500,
    text: broken.text }, 200);

  // aoi solves problem 1 and marks it; ren's marked series stays empty.
  const answer = [0, 0, 0, 0, 1, 1, 1, 2, 2, 2];
  let last;
  for (let term = 0; term < answer.length; ++term) last = await aoi.post('/api/move', { term, frame: answer[term] });
  check(last.json.screen === 'result', 'aoi solved problem 1');
  check((await aoi.post('/api/press', { button: 'mark' })).status === 200, 'aoi marks it');
  check((await aoi.post('/api/press', { button: 'toList' })).status === 200, 'aoi leaves');
  const renMarks = await ren.post('/api/open', { entry: 0 });
  expect("ren opens the marked series: none of aoi's marks", { status: renMarks.json.screen === 'list' &&
    renMarks.json.notices.join('').includes('マークの付いた問題は登録されていません') ? 200 : 500, text: renMarks.text }, 200);
  const aoiMarks = await aoi.post('/api/open', { entry: 0 });
  expect('aoi sees her mark', { status: aoiMarks.json.screen === 'problem' ? 200 : 500, text: aoiMarks.text }, 200);

  // ren marks a solved problem and the server is stopped before she leaves
  // it: the mark is stored on the way out, and the session outlives the
  // server.
  await ren.post('/api/open', { entry: 1 });
  for (let term = 0; term < answer.length; ++term) await ren.post('/api/move', { term, frame: answer[term] });
  await ren.post('/api/press', { button: 'mark' });
  const status = await server.stop({ keep: true });
  server = await startServer(program, { database, folder: server.dir, port: samePort(server) });
  base = server.url;
  // She goes on where she was, on the result, and finds the problem in
  // the marked series.
  const renAfter = client(base, ren.cookie);
  const continued = await renAfter.get('/api/state');
  expect('after a restart the session continues on its result', {
    status: status === 0 && continued.json && continued.json.screen === 'result' ? 200 : 500,
    text: `exit ${status} ${continued.text.slice(0, 200)}` }, 200);
  await renAfter.post('/api/press', { button: 'toList' });
  const kept = await renAfter.post('/api/open', { entry: 0 });
  expect('the mark pending at SIGTERM is kept', { status: kept.json && kept.json.screen === 'problem' ? 200 : 500,
    text: kept.text.slice(0, 200) }, 200);
  await renAfter.post('/api/press', { button: 'quit' });

  // mei marks a solved problem and the terminal the server was started
  // from is closed (SIGHUP): the mark is stored as at SIGTERM.
  const mei = client(base);
  await mei.signIn(codes.mei);
  await mei.post('/api/open', { entry: 1 });
  for (let term = 0; term < answer.length; ++term) await mei.post('/api/move', { term, frame: answer[term] });
  await mei.post('/api/press', { button: 'mark' });
  const hangUp = await server.stop({ keep: true, signal: 'SIGHUP' });

  // Forty days on, ren's answered problem is due: the review entry comes
  // last in her list and opens it; aoi's record is not hers.
  server = await startServer(program, { database, folder: server.dir, port: samePort(server), env: fakeClock('+40d') });
  base = server.url;
  const meiLater = client(base);
  await meiLater.signIn(codes.mei);
  // She goes on from her result, and leaving it keeps her mark.
  await meiLater.post('/api/press', { button: 'toList' });
  const meiMarks = await meiLater.post('/api/open', { entry: 0 });
  expect('a mark pending at SIGHUP is kept, exit status 0', { status: hangUp === 0 && meiMarks.json &&
    meiMarks.json.screen === 'problem' ? 200 : 500, text: `exit ${hangUp} ${meiMarks.text}` }, 200);
  const later = client(base);
  await later.signIn(codes.ren);
  const list = (await later.get('/api/state')).json.list;
  expect('the review entry lists the problem due', { status: list[list.length - 1] === '今日の復習（1問）' ? 200 : 500,
    text: JSON.stringify(list) }, 200);
  const review = await later.post('/api/open', { entry: list.length - 1 });
  expect('the review opens the problem due', { status: review.json.screen === 'problem' &&
    review.json.board.terms[0].text === 'ザリガニ' ? 200 : 500, text: review.text.slice(0, 200) }, 200);

  // 200 wrong codes sent at once from one address, each claiming another
  // (no proxy is trusted, so none is believed): no more than the address's
  // 100 a minute are checked, the rest refused at once with Retry-After.
  const started = Date.now();
  const flood = await Promise.all(Array.from({ length: 200 }, (_, i) =>
    client(base).post('/api/signin', { code: 'AAAAAAAA' }, { 'X-Forwarded-For': `10.9.${i >> 8}.${i & 255}` })));
  const checked = flood.filter((r) => r.status === 401).length;
  const refused = flood.filter((r) => r.status === 429 && Number(r.headers['retry-after']) > 0).length;
  expect('200 guesses at once: 100 checked, 100 refused with Retry-After', passed(checked === 100 && refused === 100,
    `${checked} × 401, ${refused} × 429`), 200);
  expect('wrong codes are answered slowly', passed(Date.now() - started >= 900, `${Date.now() - started} ms`), 200);
  // The address is out, but a device that signed in before (meiLater's
  // browser) is not, whoever signs in on it; nor is the teacher.
  expect('a browser new to the address is refused', await client(base).signIn(codes.ren), 429);
  expect('a device that signed in before signs in right after', await meiLater.signIn(codes.ren), 200);
  expect('the teacher signs in from the address the learners used up', await teacherClient(base).signIn('kyoushitsu-2026'), 200);

  // Behind the school's proxy, with the names the folder gives the server.
  await server.stop({ keep: true });
  writeFileSync(join(server.dir, 'velmorant.conf'), 'server-name = class.example, [fd00::5]\naddress = http://cards.example/\n');
  server = await startServer(program, { database, folder: server.dir, port: samePort(server), args: ['--trusted-proxy', '127.0.0.1'], keepLog: true });
  base = server.url;
  const via = (address) => ({ 'X-Forwarded-For': `192.0.2.1, ${address}` });
  // A class of 40 behind one address, each mistyping once, then signing in.
  const typos = await Promise.all(Array.from({ length: 40 }, () => client(base).post('/api/signin', { code: 'AAAAAAAA' }, via('10.1.0.1'))));
  expect('40 wrong codes from one address are all answered 401', passed(typos.every((r) => r.status === 401),
    typos.map((r) => r.status).join()), 200);
  expect('the class signs in after them', await client(base).signIn(codes.ren, via('10.1.0.1')), 200);
  // Wrong codes that begin like a classmate's, each from an address of its own.
  const prefix = codes.aoi.slice(0, 4);
  const tries = ['CCCC', 'DDDD', 'EEEE', 'FFFF', 'GGGG', 'HHHH', 'JJJJ', 'KKKK', 'MMMM', 'NNNN', 'PPPP', 'QQQQ']
    .filter((rest) => prefix + rest !== codes.aoi);
  await Promise.all(tries.map((rest, i) => client(base).post('/api/signin', { code: prefix + rest }, via(`10.2.0.${i}`))));
  expect("wrong codes that begin like a classmate's do not keep her out", await client(base).signIn(codes.aoi, via('10.3.0.1')), 200);
  // Ten wrong teacher passwords from one address: the eleventh try is
  // refused there, but not the learners' codes, nor the teacher's browser
  // that signed in before.
  // The eleventh goes while the ten are still being hashed: they took their
  // places when they arrived, however long the hashing takes on a busy machine.
  const pending = Array.from({ length: 10 }, (_, i) => teacherClient(base).signIn(`guess-${i}-wrong`, via('10.6.0.1')));
  await new Promise((done) => setTimeout(done, 500));
  expect('the teacher\'s password is refused after 10 wrong ones', await teacherClient(base).signIn('kyoushitsu-2026', via('10.6.0.1')), 429);
  const guesses = await Promise.all(pending);
  expect('wrong teacher passwords are refused', passed(guesses.every((r) => r.status === 401), ''), 200);
  expect('learners sign in from there all the same', await client(base).signIn(codes.mei, via('10.6.0.1')), 200);
  const teacherBrowser = Object.assign(teacherClient(base), { device: teacher.device });
  expect('the teacher\'s own browser signs in from there', await teacherBrowser.signIn('kyoushitsu-2026', via('10.6.0.1')), 200);
  // Only the server's own names: a page elsewhere whose name points here
  // gets nothing, not even the page.
  const port = new URL(base).port;
  for (const [name, method, path, host, status] of [
    ['foreign Host: the page', 'GET', '/', 'rebind.example', 421],
    ['foreign Host: a static file', 'GET', '/page.js', `rebind.example:${port}`, 421],
    ['foreign Host: sign-in', 'POST', '/api/signin', `rebind.example:${port}`, 421],
    ['foreign Host: the teacher\'s sign-in', 'POST', '/api/teacher/signin', 'rebind.example', 421],
    ['a name the folder gives', 'GET', '/page.js', `CLASS.example:${port}`, 200],
    ['an IPv6 address the folder gives', 'GET', '/', '[fd00::5]', 200],
    ['the host of the cards\' address', 'GET', '/', 'cards.example', 200],
    ['localhost', 'GET', '/', `localhost:${port}`, 200],
    ['a malformed Host', 'GET', '/', 'class.example:80:80', 400],
  ]) {
    const body = method === 'POST' ? JSON.stringify({ code: codes.ren, password: 'kyoushitsu-2026' }) : undefined;
    expect(name, await raw(base, method, path, { headers: { Host: host, Origin: `http://${host}`, 'Content-Type': 'application/json' }, body }), status);
  }
  // The journal tells each lock-out, never a code tried or a cookie.
  const log = await server.logNow();
  const secrets = ['AAAAAAAA', codes.ren, codes.aoi, codes.mei, ...tries.map((rest) => prefix + rest),
    ...[teacherBrowser.cookie, teacher.device, meiLater.device].map((c) => c.split('=')[1])];
  expect('lock-outs are logged without codes or cookies', passed(log.includes('締め出し 先生のパスワード（10.6.0.1）') &&
    /サインイン \S*\/ren 10\.1\.0\.1/.test(log) && !secrets.some((secret) => log.includes(secret)), log), 200);

  // A learner removed on the command line while signed in here: her next
  // action is refused at once, and nothing of it is stored.
  const leaving = client(base);
  check((await leaving.signIn(codes.mei)).status === 200, 'mei signs in');
  await leaving.get('/api/state');
  execFileSync(program, [...(database ? ['--database', database] : []), '--remove-learner', 'mei', server.dir]);
  expect('a removed learner is refused at once', await leaving.post('/api/press', { button: 'quit' }), 401);
} finally {
  await server.stop();
}

// What one connection can make the server hold or wait for, each on a
// server of its own: one with the open files of a small machine, one with
// short timeouts, one over TLS.
function passed(ok, text = '') {
  return { status: ok ? 200 : 500, text };
}

async function framingRows(base) {
  const post = 'POST /api/signin HTTP/1.1\r\nHost: h\r\nContent-Type: application/json\r\n';
  const rows = [
    ['two Content-Lengths', `${post}Content-Length: 2\r\nContent-Length: 20\r\n\r\n{}`, 400],
    ['negative Content-Length', `${post}Content-Length: -1\r\n\r\n{}`, 400],
    ['Content-Length with chunked', `${post}Content-Length: 2\r\nTransfer-Encoding: chunked\r\n\r\n2\r\n{}\r\n0\r\n\r\n`, 400],
    ['chunked body', `${post}Transfer-Encoding: chunked\r\n\r\n2\r\n{}\r\n0\r\n\r\n`, 411],
  ];
  for (const [name, head, status] of rows) expect(name, await sendRaw(base, head, { timeoutMs: 5000 }), status);
}

// A huge body or header is refused when it starts, and never held.
async function hugeRows(small) {
  const before = rss(small.child.pid);
  let peak = before;
  const sampler = setInterval(() => { peak = Math.max(peak, rss(small.child.pid)); }, 10);
  const body = await sendRaw(small.url, 'POST /api/move HTTP/1.1\r\nHost: h\r\nContent-Length: 536870912\r\n\r\n',
    { pad: 512 << 20, timeoutMs: 60000 });
  clearInterval(sampler);
  expect('512 MiB body: 413 at once', passed(body.status === 413 && body.sentAtAnswer < 64 << 20,
    `${body.status} after ${body.sentAtAnswer} bytes`), 200);
  expect('512 MiB body: memory grows at most 10 MB', passed(peak - before <= 10 << 20,
    `${((peak - before) / 1048576).toFixed(1)} MB`), 200);
  const header = await sendRaw(small.url, 'GET / HTTP/1.1\r\nHost: h\r\nX-Filler: ', { pad: 64 << 20, timeoutMs: 30000 });
  expect('64 MiB header', header, 431);
}

// With 1,024 open files at most, 1,100 connections that send nothing still
// leave room for a sign-in.
async function fileLimitRows(small) {
  const limits = readFileSync(`/proc/${small.child.pid}/limits`, 'utf8');
  expect('the open-file limit raised to the hard limit', passed(/Max open files\s+1024\s+1024/.test(limits),
    /Max open files.*/.exec(limits)[0]), 200);
  const closeIdle = await openIdle(small.url, 1100);
  const signIn = await raw(small.url, 'POST', '/api/signin', { timeout: 10000,
    headers: { Origin: new URL(small.url).origin, 'Content-Type': 'application/json' },
    body: JSON.stringify({ code: small.codes.mio }) }).catch((e) => ({ status: 0, text: e.message }));
  closeIdle();
  expect('a sign-in past 1,100 idle connections', signIn, 200);
}

// --idle-timeout 2, --request-timeout 1: each connection is closed after
// its own timeout and not long before.
async function timeoutRows(base) {
  const rows = [
    ['idle connection closed', '', 1500, 5000],
    ['half-sent head closed', 'GET / HTTP/1.1\r\nHost: h\r\n', 700, 4000],
    ['short body closed', 'POST /api/signin HTTP/1.1\r\nHost: h\r\nContent-Length: 100\r\n\r\n{', 700, 4000],
  ];
  const got = await Promise.all(rows.map(([, head]) => sendRaw(base, head, { timeoutMs: 8000 })));
  rows.forEach(([name, , least, most], i) => expect(name, passed(got[i].how === 'closed' &&
    got[i].ms >= least && got[i].ms <= most, `${got[i].how} after ${got[i].ms} ms`), 200));
}

function handshakes(port, options) {
  const r = spawnSync('openssl', ['s_client', '-connect', `127.0.0.1:${port}`, ...options],
    { input: '', timeout: 10000, encoding: 'utf8' });
  return /Cipher is (?!\(NONE\))/.test(r.stdout);
}

// --request-timeout 2 over TLS: handshakes that never come hold up no one
// and go after the timeout; only TLS 1.2 and later, forward secret and
// AEAD; HSTS on every answer.
async function tlsRows(secure) {
  const stalled = sendRaw(secure.url, '', { timeoutMs: 10000 });
  const closeStalled = await openIdle(secure.url, 80);
  const page = await raw(secure.url, 'GET', '/', { timeout: 1500 }).catch((e) => ({ status: 0, text: e.message }));
  expect('HTTPS past 80 connections without a handshake', page, 200);
  closeStalled();
  const missing = await raw(secure.url, 'GET', '/nothing-here', { timeout: 5000 }).catch((e) => ({ status: 0, text: e.message }));
  expect('HSTS on every answer', passed([page, missing].every((r) => r.headers &&
    r.headers['strict-transport-security'] === 'max-age=31536000'), JSON.stringify(missing.headers)), 200);
  const port = new URL(secure.url).port;
  const offers = {
    'TLS 1.1': handshakes(port, ['-tls1_1', '-cipher', 'DEFAULT@SECLEVEL=0']),
    'TLS 1.2 CBC': handshakes(port, ['-tls1_2', '-cipher', 'ECDHE-RSA-AES128-SHA']),
    'TLS 1.2 RSA key exchange': handshakes(port, ['-tls1_2', '-cipher', 'AES128-GCM-SHA256']),
    'TLS 1.2 ECDHE GCM': handshakes(port, ['-tls1_2', '-cipher', 'ECDHE-RSA-AES128-GCM-SHA256']),
  };
  expect('TLS 1.2 or later, forward-secret AEAD only', passed(Object.values(offers).join() === 'false,false,false,true',
    JSON.stringify(offers)), 200);
  const gone = await stalled;
  expect('a handshake not begun is closed', passed(gone.how === 'closed' && gone.ms >= 1500 && gone.ms <= 4500,
    `${gone.how} after ${gone.ms} ms`), 200);
}

// One server for a school: a teacher of 1C reaches nothing of 1A, by any
// route or id; a learner of 1A sees none of the series hidden from 1A.
async function schoolRows() {
  const school = await startServer(program, { database });
  const db = database ? ['--database', database] : [];
  const command = (args, input = '') => execFileSync(program, [...db, ...args, school.dir], { input, encoding: 'utf8', stdio: 'pipe' });
  try {
    const code = (name, className) => command(['--add-learner', name, '--class', className]).trim().split('\n').pop();
    const aoiCode = code('青井', '1A');
    const soraCode = code('黄田', '1C');
    setTeacherPassword(program, school.dir, 'kyoushitsu-2026', database);
    command(['--add-teacher', '山田'], 'yamada-password\n');
    command(['--teacher-classes', '山田', '1C']);
    const admin = teacherClient(school.url);
    const yamada = teacherClient(school.url);
    await admin.post('/api/teacher/signin', { name: '管理者', password: 'kyoushitsu-2026' }).then((r) => admin.keepCookies(r));
    expect('a teacher signs in with name and password', await yamada.post('/api/teacher/signin', { name: '山田', password: 'yamada-password' })
      .then((r) => yamada.keepCookies(r)), 200);
    expect('a right password under another teacher\'s name is refused',
      await teacherClient(school.url).post('/api/teacher/signin', { name: '山田', password: 'kyoushitsu-2026' }), 401);
    const all = (await admin.get('/api/teacher/classes')).json;
    const id = Object.fromEntries(all.classes.map((c) => [c.name, c.id]));
    const mine = (await yamada.get('/api/teacher/classes')).json;
    expect('the teacher of 1C is given 1C alone', passed(!mine.admin && mine.classes.length === 1 && mine.classes[0].id === id['1C'],
      JSON.stringify(mine)), 200);
    const a = id['1A'];
    const asYamada = { headers: { Cookie: yamada.cookie } };
    const posted = (body) => ({ headers: { Cookie: yamada.cookie, Origin: new URL(school.url).origin, 'Content-Type': 'application/json' },
      body: JSON.stringify(body) });
    for (const [name, method, path, options, status] of [
      ['1A\'s report', 'GET', `/teacher/report?class=${a}`, asYamada, 403],
      ['1A\'s results.csv', 'GET', `/teacher/results.csv?class=${a}`, asYamada, 403],
      ['1A\'s live view', 'GET', `/api/teacher/live?class=${a}`, asYamada, 403],
      ['1A\'s learners', 'GET', `/api/teacher/state?class=${a}`, asYamada, 403],
      ['1A\'s cards', 'GET', `/teacher/cards?class=${a}`, asYamada, 403],
      ['1A\'s series visibility', 'GET', `/api/teacher/class-series?class=${a}`, asYamada, 403],
      ['hiding a series from 1A', 'POST', '/api/teacher/class-series', posted({ class: a, file: 'Bio1.TXT', hidden: true }), 403],
      ['a new code for a learner of 1A', 'POST', '/api/teacher/reset', posted({ name: '青井', class: a }), 403],
      ['removing a learner of 1A', 'POST', '/api/teacher/remove', posted({ name: '青井', class: a }), 403],
      ['signing a learner of 1A out', 'POST', '/api/teacher/signout-learner', posted({ name: '青井', class: a }), 403],
      ['adding a learner to 1A', 'POST', '/api/teacher/add', posted({ name: '侵入', class: a }), 403],
      ['a learner of 1A named in 1C', 'POST', '/api/teacher/reset', posted({ name: '青井', class: id['1C'] }), 409],
      ['a class id no class has', 'GET', '/api/teacher/state?class=999999', asYamada, 403],
      ['a class id that is no number', 'GET', '/api/teacher/state?class=1A', asYamada, 400],
      ['1A\'s report for the administrator', 'GET', `/teacher/report?class=${a}`, { headers: { Cookie: admin.cookie } }, 200],
    ]) expect(`the teacher of 1C: ${name}`, await raw(school.url, method, path, options), status);
    const aoi = client(school.url);
    const sora = client(school.url);
    await aoi.signIn(aoiCode);
    await sora.signIn(soraCode);
    const live = (await yamada.get('/api/teacher/live')).json;
    const state = (await yamada.get('/api/teacher/state')).json;
    expect('全クラス is the teacher\'s classes alone', passed(JSON.stringify(state.learners) === '["黄田"]' &&
      live.now.length === 1 && live.now[0].name === '黄田', `${JSON.stringify(state.learners)} ${JSON.stringify(live.now)}`), 200);

    expect('the administrator hides 細胞と代謝 from 1A', await admin.post('/api/teacher/class-series', { class: a, file: 'Bio2.TXT', hidden: true }), 200);
    const aoiAgain = client(school.url);
    await aoiAgain.signIn(aoiCode);
    const listOf = async (learner) => (await learner.get('/api/state')).json.list || [];
    const aoiList = await listOf(aoiAgain);
    const soraList = await listOf(sora);
    expect('a learner of 1A sees no series hidden from 1A; 1C sees it', passed(!aoiList.includes('細胞と代謝') &&
      soraList.includes('細胞と代謝') && aoiList.length === soraList.length - 1, `${aoiList} | ${soraList}`), 200);
    expect('nor opens it by its place in the list of 1C', await aoiAgain.post('/api/open', { entry: soraList.length - 1 }), 400);
  } finally {
    await school.stop();
  }
}

const certDir = mkdtempSync(join(tmpdir(), 'velmorant-tls-'));
execFileSync('openssl', ['req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-days', '1', '-subj', '/CN=127.0.0.1',
  '-keyout', join(certDir, 'key.pem'), '-out', join(certDir, 'cert.pem')], { stdio: 'ignore' });
chmodSync(join(certDir, 'key.pem'), 0o600);
const servers = [];
try {
  servers.push(await startServer(program, { learners: ['mio'], database, wrap: ['prlimit', '--nofile=256:1024'] }));
  servers.push(await startServer(program, { database, args: ['--idle-timeout', '2', '--request-timeout', '1'] }));
  servers.push(await startServer(program, { database, args: ['--request-timeout', '2',
    '--tls-cert', join(certDir, 'cert.pem'), '--tls-key', join(certDir, 'key.pem')] }));
  const [small, quick, secure] = servers;
  await framingRows(small.url);
  await hugeRows(small);
  await fileLimitRows(small);
  await timeoutRows(quick.url);
  await tlsRows(secure);
  await schoolRows();
} finally {
  for (const s of servers) await s.stop();
  rmSync(certDir, { recursive: true, force: true });
}
console.log(failures === 0 ? 'all rows passed' : `${failures} rows failed`);
process.exit(failures === 0 ? 0 : 1);
