// The teacher's page, as a teacher uses it: the password set on the command
// line, sign-in, a learner added who answers through the learner API, the
// results downloaded, and velmorant-check's report of the server's folder
// the same bytes, also after a series is saved.
//   node teacher.mjs PATH/TO/velmorant-server PATH/TO/velmorant-check
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { startServer, client, teacherClient, setTeacherPassword, check } from './serverLib.mjs';

const program = process.argv[2];
const checkProgram = process.argv[3];
const server = await startServer(program);
try {
  let refused = '';
  try {
    execFileSync(program, ['--set-teacher-password', server.dir], { input: 'short\n', stdio: 'pipe' });
  } catch (e) { refused = e.stderr.toString(); }
  check(refused.includes('8文字以上'), `a short password is refused in Japanese: ${refused}`);
  setTeacherPassword(program, server.dir, 'kyoushitsu-2026');

  const teacher = teacherClient(server.url);
  check((await teacher.signIn('kyoushitsu-2026')).status === 200, 'the teacher signs in');
  const added = await teacher.post('/api/teacher/add', { name: 'はな' });
  check(added.status === 200 && /^[A-Z2-9]{8}$/.test(added.json.code), `a learner is added: ${added.text}`);
  const state = (await teacher.get('/api/teacher/state')).json;
  check(state.learners.includes('はな') && state.made.some((m) => m.code === added.json.code),
    'the new code is on this session\'s sheet');
  check(state.series.some((s) => s.file === 'Bio1.TXT' && s.problems > 0), 'the series are listed with the check');

  // はな answers problem 1 of the first series through the learner API.
  const hana = client(server.url);
  check((await hana.signIn(added.json.code)).status === 200, 'はな signs in with the code shown');
  await hana.post('/api/open', { entry: 1 });
  let last;
  for (const [term, frame] of [0, 0, 0, 0, 1, 1, 1, 2, 2, 2].entries()) last = await hana.post('/api/move', { term, frame });
  check(last.json.screen === 'result', 'はな solved problem 1');

  const csv = await teacher.get('/teacher/results.csv');
  check(/attachment; filename="results.csv"/.test(csv.headers['content-disposition'] || ''), 'results.csv downloads');
  const bytes = Buffer.from(csv.text, 'utf8');
  check(bytes[0] === 0xef && bytes[1] === 0xbb && bytes[2] === 0xbf, 'results.csv starts with the byte order mark');
  const rows = csv.text.slice(1).split('\r\n');
  check(rows.some((row) => row.startsWith('はな,') && row.includes('Bio1')), `a row of はな's answer: ${csv.text.slice(0, 300)}`);
  check((await teacher.get('/teacher/report')).text.includes('はな'), 'the report on the page shows her');

  // The check reads the server's folder as the page does, before and after
  // the teacher changes a term of the problem answered in the editor.
  const sameAsCheck = async (when) => {
    const out = mkdtempSync(join(tmpdir(), 'velmorant-report-'));
    try {
      execFileSync(checkProgram, ['--report', out, server.dir], { stdio: 'pipe' });
      for (const name of ['results.csv', 'confusions.csv', 'terms.csv']) {
        const served = Buffer.from((await teacher.get(`/teacher/${name}`)).text, 'utf8');
        check(served.length > 3 && served.equals(readFileSync(join(out, name))),
          `${name} of velmorant-check --report is the page's, byte for byte, ${when}`);
      }
      return readFileSync(join(out, 'results.csv'), 'utf8');
    } finally {
      rmSync(out, { recursive: true, force: true });
    }
  };
  check(!(await sameAsCheck('as answered')).includes('変わったか'), 'the answer is of the problem as it is');
  const { text, version } = (await teacher.get('/api/teacher/series/text?file=Bio1.TXT')).json;
  const saved = await teacher.post('/api/teacher/series/save',
    { file: 'Bio1.TXT', version, text: text.replace('ザリガニ', 'アメリカザリガニ') });
  check(saved.status === 200, `the teacher saves a changed term: ${saved.text}`);
  check((await sameAsCheck('after the save')).includes('変わったか'), 'the report says the problem changed');

  // A code made again replaces the old one and ends its sessions; a removed
  // learner's session ends.
  const reset = await teacher.post('/api/teacher/reset', { name: 'はな' });
  check(reset.status === 200 && reset.json.code !== added.json.code, 'a new code is made');
  check((await client(server.url).signIn(added.json.code)).status === 401, 'the old code no longer signs in');
  check((await hana.get('/api/state')).status === 401, 'nor does a session of the old code go on');
  const hanaAgain = client(server.url);
  check((await hanaAgain.signIn(reset.json.code)).status === 200, 'the new code signs in');
  check((await hanaAgain.get('/api/state')).status === 200, 'with a session');
  check((await teacher.post('/api/teacher/remove', { name: 'はな' })).status === 200, 'はな is removed');
  check((await hanaAgain.get('/api/state')).status === 401, 'her session ends with her');
  console.log('the teacher\'s flow passed');
} finally {
  await server.stop();
}
