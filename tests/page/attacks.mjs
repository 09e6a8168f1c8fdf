// The server under attack: every row is a request a hostile or broken
// client could send, and the answer it must get.
//   node attacks.mjs PATH/TO/velmorant-server
import { appendFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { startServer, raw, client, check, fakeClock, setTeacherPassword, teacherClient } from './serverLib.mjs';

const program = process.argv[2];
const database = process.env.VELMORANT_DATABASE || '';
let server = await startServer(program, { learners: ['aoi', 'ren'], database });
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
  const learnerAsTeacher = aoi.cookie.replace('velmorant_session=', 'velmorant_teacher=');
  const big = JSON.stringify({ term: 0, frame: 0, pad: 'x'.repeat(70 * 1024) });
  await ren.get('/api/state');
  const withSession = { Cookie: aoi.cookie, Origin: origin, 'Content-Type': 'application/json' };
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
    ['forged cookie', 'GET', '/api/state', { headers: { Cookie: 'velmorant_session=' + 'ab'.repeat(32) } }, 401],
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
  server = await startServer(program, { database, folder: server.dir });
  base = server.url;
  // She goes on where she was, on the result, and finds the problem in
  // the marked series.
  const renAfter = client(base, ren.cookie);
  await renAfter.post('/api/press', { button: 'toList' });
  const kept = await renAfter.post('/api/open', { entry: 0 });
  expect('a mark pending at SIGTERM is kept', { status: status === 0 && kept.json && kept.json.screen === 'problem' ? 200 : 500,
    text: `exit ${status} ${kept.text}` }, 200);
  await renAfter.post('/api/press', { button: 'quit' });

  // Forty days on, ren's answered problem is due: the review entry comes
  // last in her list and opens it; aoi's record is not hers.
  await server.stop({ keep: true });
  server = await startServer(program, { database, folder: server.dir, env: fakeClock('+40d') });
  base = server.url;
  const later = client(base);
  await later.signIn(codes.ren);
  const list = (await later.get('/api/state')).json.list;
  expect('the review entry lists the problem due', { status: list[list.length - 1] === '今日の復習（1問）' ? 200 : 500,
    text: JSON.stringify(list) }, 200);
  const review = await later.post('/api/open', { entry: list.length - 1 });
  expect('the review opens the problem due', { status: review.json.screen === 'problem' &&
    review.json.board.terms[0].text === 'ザリガニ' ? 200 : 500, text: review.text.slice(0, 200) }, 200);

  // Ten wrong codes in a minute, sent at once: each answered after a
  // delay, then the address is refused even with a right code.
  const started = Date.now();
  const wrong = await Promise.all(Array.from({ length: 10 }, () => client(base).signIn('AAAAAAAA')));
  expect('wrong codes are refused', { status: wrong.every((r) => r.status === 401) ? 401 : 500, text: '' }, 401);
  expect('wrong codes are answered slowly', { status: Date.now() - started >= 900 ? 200 : 500, text: `${Date.now() - started} ms` }, 200);
  expect('locked out after 10 wrong codes', await client(base).signIn(server.codes.ren), 429);

  // Ten wrong teacher passwords: the same lock-out, the right password
  // refused after them (on a fresh server: the learners' lock-out is over).
  await server.stop({ keep: true });
  server = await startServer(program, { database, folder: server.dir });
  base = server.url;
  const guesses = await Promise.all(Array.from({ length: 10 }, (_, i) => teacherClient(base).signIn(`guess-${i}-wrong`)));
  expect('wrong teacher passwords are refused', { status: guesses.every((r) => r.status === 401) ? 401 : 500, text: '' }, 401);
  expect('locked out after 10 wrong passwords', await teacherClient(base).signIn('kyoushitsu-2026'), 429);
  expect('learner codes locked out from there too', await client(base).signIn(server.codes.ren || codes.ren), 429);
} finally {
  await server.stop();
}
console.log(failures === 0 ? 'all rows passed' : `${failures} rows failed`);
process.exit(failures === 0 ? 0 : 1);
