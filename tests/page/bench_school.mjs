// A school on one server, in ./bench's form: one line a row, each with its
// goal and the load average it ran under.
//   node bench_school.mjs SERVER MADE_UP_STORE answers SECONDS [fast]
//       1,200 learners in 30 classes moving every 2-5 s (on PostgreSQL when
//       VELMORANT_DATABASE is set); with `fast`, then 1,000 moves a second
//       and the server's processor time per answer
//   node bench_school.mjs SERVER MADE_UP_STORE reports
//       1,200 learners in 30 classes with 1,008,000 statements: a learner's
//       first list view, one class's report, the comparison of a teacher's
//       three classes and the grade book of all 30 classes
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { httpClient, inTurn, Learner, loadAverage, moving, partWay, quantile, since, sleep } from './benchLib.mjs';
import { cookieName, setTeacherPassword, startServer } from './serverLib.mjs';

const [program, storeTool, mode, secondsArg, fast] = process.argv.slice(2);
const seconds = Number(secondsArg || 30);
const database = process.env.VELMORANT_DATABASE || '';
const Classes = 30;
const PerClass = 40;
const Passwords = { admin: 'bench-admin-password', teacher: 'bench-teacher-password' };
const ms = (ns) => (ns / 1e6).toFixed(1);

// The server's processor time so far, in nanoseconds (user + system ticks).
const cpu = (pid) => {
  const fields = readFileSync(`/proc/${pid}/stat`, 'utf8').split(') ')[1].split(' ');
  return (Number(fields[11]) + Number(fields[12])) * 1e7;
};

// A school of 30 classes of 40 (`perDay` checks a day for `days` days each),
// the administrator's password and a teacher of 1組-3組; then the server on
// it, and its learners' signed-in tablets.
async function school(perDay, days, sockets) {
  const dir = mkdtempSync(join(tmpdir(), 'velmorant-school-'));
  const db = database ? ['--database', database] : [];
  const out = execFileSync(storeTool, [...db, '--classes', Classes, dir, PerClass, perDay, days].map(String),
    { encoding: 'utf8', maxBuffer: 64 << 20 });
  setTeacherPassword(program, dir, Passwords.admin, database);
  execFileSync(program, [...db, '--add-teacher', '先生', dir], { input: `${Passwords.teacher}\n`, stdio: 'pipe' });
  execFileSync(program, [...db, '--teacher-classes', '先生', '1組,2組,3組', dir], { stdio: 'pipe' });
  const server = await startServer(program, { database, folder: dir });
  const client = httpClient(server.url, { sockets, timeoutMs: 120000 });
  const session = cookieName(dir, database, 'session');
  const learners = out.trim().split('\n').map((line) => {
    const [key, , id] = line.split('\t');
    return Object.assign(new Learner(client, `${session}=${id}`), { key });
  });
  return { server, client, learners };
}

async function teacherCookie(client, name, password) {
  const r = await client.request('POST', '/api/teacher/signin', { body: JSON.stringify({ name, password }) });
  if (r.status !== 200) throw new Error(`teacher sign-in: ${r.status} ${r.text}`);
  return r.headers['set-cookie'][0].split(';')[0];
}

// Every learner moves a term every `gap()` ms for `seconds`; each move's
// round trip, and the server's processor time per move.
async function answering(server, learners, gap) {
  const before = cpu(server.child.pid);
  const end = Date.now() + seconds * 1000;
  const { times, errors } = await moving(learners, gap, () => Date.now() >= end);
  const perAnswer = (cpu(server.child.pid) - before) / times.length;
  return { times, errors, perAnswer };
}

async function answers() {
  const { server, client, learners } = await school(0, 0, Classes * PerClass + 20);
  try {
    await inTurn(learners, 10, async (learner) => {
      await learner.state();
      const r = await learner.act('/api/open', { entry: 1 });
      if (r.status !== 200) throw new Error(`open: ${r.status} ${r.text}`);
      await partWay(learner);
    });
    const store = database ? 'postgresql' : 'sqlite';
    let load = loadAverage();
    const slow = await answering(server, learners, () => 2000 + Math.random() * 3000);
    console.log(`server_answer_${store}_school_1200_every_2_5s: p50 ${ms(quantile(slow.times, 0.5))} ms` +
      ` (goal 5 ms), p99 ${ms(quantile(slow.times, 0.99))} ms (goal 50 ms), answers ${slow.times.length},` +
      ` ${Math.round(slow.times.length / seconds)} a second, errors ${slow.errors}, load ${load}`);
    if (!fast) return;
    // 1,200 learners each moving every 1.2 s: 1,000 moves a second.
    load = loadAverage();
    const busy = await answering(server, learners, () => 1200);
    console.log(`server_answer_${store}_school_1000_a_second: p99 ${ms(quantile(busy.times, 0.99))} ms` +
      ` (goal 100 ms), server processor ${(busy.perAnswer / 1e6).toFixed(2)} ms an answer (goal 0.4 ms),` +
      ` p50 ${ms(quantile(busy.times, 0.5))} ms, answers ${busy.times.length},` +
      ` ${Math.round(busy.times.length / seconds)} a second, errors ${busy.errors}, load ${load}`);
  } finally {
    client.close();
    await server.stop();
  }
}

// A teacher's request: its time, status and length.
async function timed(client, cookie, path) {
  const started = process.hrtime.bigint();
  const r = await client.request('GET', path, { headers: { Cookie: cookie } });
  if (r.status !== 200) throw new Error(`${path}: ${r.status} ${r.text.slice(0, 200)}`);
  return { ns: since(started), length: r.text.length, text: r.text };
}

async function reports() {
  const { server, client, learners } = await school(20, 42, 20);
  try {
    await sleep(500);
    // Learners of the last class, none of whom has opened the page since
    // their 840 statements: one after another, as a class arrives.
    let load = loadAverage();
    const views = [];
    for (const learner of learners.slice(-PerClass)) {
      const started = process.hrtime.bigint();
      const r = await learner.state();
      views.push(since(started));
      if (r.status !== 200 || !r.text.includes('"list"')) throw new Error(`list view: ${r.status}`);
    }
    console.log(`server_school_first_list_view_840_statements: p50 ${ms(quantile(views, 0.5))} ms,` +
      ` max ${ms(quantile(views, 1))} ms (goal 200 ms), views ${views.length}, load ${load}`);
    const admin = await teacherCookie(client, '管理者', Passwords.admin);
    const teacher = await teacherCookie(client, '先生', Passwords.teacher);
    const classes = JSON.parse((await timed(client, admin, '/api/teacher/classes')).text);
    const first = (classes.classes || classes)[0].id;
    const rows = [
      ['server_school_class_report_33600', admin, `/teacher/report?class=${first}`, 1000],
      ['server_school_comparison_3_classes_100800', teacher, '/teacher/comparison.csv', 2000],
      ['server_school_gradebook_30_classes_1008000', admin, '/teacher/gradebook.csv', 5000],
    ];
    for (const [name, cookie, path, goal] of rows) {
      await sleep(1000);
      load = loadAverage();
      const { ns, length } = await timed(client, cookie, path);
      console.log(`${name}: ${ms(ns)} ms (goal ${goal} ms), ${length} chars, load ${load}`);
    }
  } finally {
    client.close();
    await server.stop();
  }
}

await { answers, reports }[mode]();
