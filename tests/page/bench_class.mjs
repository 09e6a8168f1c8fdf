// The classroom server as a class, a teacher and a determined pupil use it,
// in ./bench's form: one line a row, each with the load average it ran under.
//   node bench_class.mjs SERVER MADE_UP_STORE busy [SECONDS]   (VELMORANT_DATABASE set)
//       1,000 learners answering every 2-5 s over 300,000 stored statements,
//       alone and while 40 learners sign in, the teacher opens the report and
//       6 addresses send 10 wrong teacher passwords each
//   node bench_class.mjs SERVER MADE_UP_STORE body
//       the server's memory while a 512 MiB body is sent
//   node bench_class.mjs SERVER MADE_UP_STORE year
//       40 learners with a year of answers each: their first list views at
//       once, then the teacher's report over all 292,000 statements
import { execFileSync } from 'node:child_process';
import { mkdtempSync } from 'node:fs';
import net from 'node:net';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { httpClient, inTurn, Learner, loadAverage, memory, moving, quantile, since, sleep } from './benchLib.mjs';
import { cookieName, setTeacherPassword, startServer } from './serverLib.mjs';

const [program, storeTool, mode, secondsArg] = process.argv.slice(2);
const seconds = Number(secondsArg || 30);
const database = process.env.VELMORANT_DATABASE || '';
const TeacherPassword = 'bench-teacher-password';

// A fresh folder whose store holds a made-up class (`perDay` checks a day
// for `days` days each) and the teacher's password; the learners' names,
// codes and signed-in tablets come with it.
function madeUpClass(client, count, perDay, days) {
  const dir = mkdtempSync(join(tmpdir(), 'velmorant-bench-'));
  const db = database ? ['--database', database] : [];
  const out = execFileSync(storeTool, [...db, dir, count, perDay, days].map(String),
    { encoding: 'utf8', maxBuffer: 64 << 20 });
  setTeacherPassword(program, dir, TeacherPassword, database);
  const learners = out.trim().split('\n').map((line) => {
    const [name, code, session] = line.split('\t');
    return Object.assign(new Learner(client, session), { name, code });
  });
  return { dir, learners };
}

// The learners' sessions as cookies, once the server has made the store's
// device key, which names them.
function named(learners, dir, db) {
  const name = cookieName(dir, db, 'session');
  for (const l of learners) l.cookie = `${name}=${l.cookie}`;
}

// The server is started after its store is filled; the client follows it.
function lazyClient(sockets, timeoutMs) {
  const c = { request: null };
  c.connect = (url) => Object.assign(c, httpClient(url, { sockets, timeoutMs }));
  return c;
}

async function teacherCookie(client) {
  const r = await client.request('POST', '/api/teacher/signin',
    { body: JSON.stringify({ password: TeacherPassword }) });
  if (r.status !== 200) throw new Error(`teacher sign-in: ${r.status} ${r.text}`);
  return r.headers['set-cookie'][0].split(';')[0];
}

// `seconds` of answering with `side` started 5 s in; the answering goes on
// until `side` is done too (a minute more at most).
async function phase(name, learners, side) {
  const load = loadAverage();
  const end = Date.now() + seconds * 1000;
  let sideDone = false;
  const during = (async () => {
    await sleep(5000);
    const result = side ? await side() : '';
    sideDone = true;
    return result;
  })();
  const { times, errors } = await moving(learners, () => 2000 + Math.random() * 3000,
    () => Date.now() >= end && (sideDone || Date.now() >= end + 60000));
  const extra = await during;
  console.log(`${name}: p50 ${quantile(times, 0.5)} ns, p99 ${quantile(times, 0.99)} ns,` +
    ` answers ${times.length}, errors ${errors}${extra}, load ${load}`);
}

async function signIns(client, learners) {
  const times = [];
  let refused = 0;
  await Promise.all(learners.map(async (learner, i) => {
    await sleep(i * (1000 / learners.length));
    const started = process.hrtime.bigint();
    const r = await client.request('POST', '/api/signin', { body: JSON.stringify({ code: learner.code }) });
    times.push(since(started));
    if (r.status !== 200) refused += 1;
  }));
  return `, sign-ins ${times.length} p50 ${quantile(times, 0.5)} ns max ${quantile(times, 1)} ns refused ${refused}`;
}

// The teacher's report: its time, status and length, as a row gives them.
async function report(client, cookie) {
  const started = process.hrtime.bigint();
  const r = await client.request('GET', '/teacher/report', { headers: { Cookie: cookie } });
  return `${since(started)} ns status ${r.status} ${r.text.length} chars`;
}

// Each of 127.0.0.2-7 sends its ten wrong passwords one after another.
async function wrongPasswords(client) {
  const statuses = {};
  const started = process.hrtime.bigint();
  await Promise.all([2, 3, 4, 5, 6, 7].map(async (host) => {
    for (let i = 0; i < 10; i += 1) {
      const r = await client.request('POST', '/api/teacher/signin',
        { body: JSON.stringify({ password: `wrong-${host}-${i}` }), localAddress: `127.0.0.${host}` });
      statuses[r.status] = (statuses[r.status] || 0) + 1;
    }
  }));
  const counted = Object.entries(statuses).map(([s, n]) => `${s}x${n}`).join(' ');
  return `, wrong passwords 60 in ${since(started)} ns (${counted})`;
}

async function busy() {
  const client = lazyClient(1100, 60000);
  const { dir, learners } = madeUpClass(client, 1000, 1, 300);
  const server = await startServer(program, { database, folder: dir });
  named(learners, dir, database);
  client.connect(server.url);
  try {
    await inTurn(learners, 10, async (learner) => {
      await learner.state();
      const r = await learner.act('/api/open', { entry: 1 });
      if (r.status !== 200) throw new Error(`open: ${r.status} ${r.text}`);
    });
    const teacher = await teacherCookie(client);
    const name = 'server_answer_postgresql_1000_every_2_5s';
    await phase(name, learners);
    await phase(`${name}_signins_40`, learners, () => signIns(client, learners.slice(0, 40)));
    await phase(`${name}_report_300000`, learners, async () => `, report ${await report(client, teacher)}`);
    await phase(`${name}_wrong_passwords_6x10`, learners, () => wrongPasswords(client));
  } finally {
    client.close();
    await server.stop();
  }
}

// Sends the head and then up to `size` bytes of body, a mebibyte at a time
// as the socket takes them, until the server answers or closes (or 10 s
// after the last byte).
function sendBody(url, size, look) {
  const u = new URL(url);
  return new Promise((resolve) => {
    const socket = net.connect(Number(u.port), u.hostname);
    let sent = 0;
    let reply = 'none';
    let open = true;
    let wake = () => {};
    const chunk = Buffer.alloc(1 << 20, 'a');
    const finish = () => {
      if (!open) return;
      open = false;
      wake();
      socket.destroy();
      resolve({ sent, reply });
    };
    socket.on('data', (d) => { reply = d.toString('latin1').split('\r\n')[0]; finish(); });
    socket.on('error', finish);
    socket.on('close', finish);
    socket.on('drain', () => wake());
    setTimeout(finish, 60000).unref();
    socket.on('connect', async () => {
      socket.write(`POST /api/signin HTTP/1.1\r\nHost: ${u.host}\r\nOrigin: ${u.origin}\r\n` +
        `Content-Type: application/json\r\nContent-Length: ${size}\r\n\r\n`);
      while (open && sent < size) {
        look();
        sent += chunk.length;
        if (!socket.write(chunk)) await new Promise((r) => { wake = r; });
      }
      for (let i = 0; open && i < 100; i += 1) {
        look();
        await sleep(100);
      }
      finish();
    });
  });
}

async function body() {
  const server = await startServer(program, {});
  try {
    await sleep(500);
    const load = loadAverage();
    const idle = memory(server.child.pid).rss;
    let highest = idle;
    const look = () => {
      try { highest = Math.max(highest, memory(server.child.pid).rss); } catch (e) { /* ended */ }
    };
    const watch = setInterval(look, 50);
    const { sent, reply } = await sendBody(server.url, 512 * 1024 * 1024, look);
    await sleep(1000);
    clearInterval(watch);
    look();
    const alive = server.child.exitCode === null;
    const after = alive ? memory(server.child.pid).rss : 0;
    console.log(`server_memory_512mib_body: grew ${highest - idle} bytes, idle ${idle} bytes,` +
      ` highest ${highest} bytes, after ${after} bytes, sent ${sent} bytes, reply "${reply}",` +
      ` server ${alive ? 'running' : `ended ${server.child.exitCode}`}, load ${load}`);
  } finally {
    await server.stop();
  }
}

async function year() {
  const client = lazyClient(50, 120000);
  const { dir, learners } = madeUpClass(client, 40, 20, 365);
  const server = await startServer(program, { folder: dir });
  named(learners, dir, '');
  client.connect(server.url);
  try {
    await sleep(500);
    let load = loadAverage();
    const times = [];
    let errors = 0;
    await Promise.all(learners.map(async (learner) => {
      const started = process.hrtime.bigint();
      const r = await learner.state();
      times.push(since(started));
      if (r.status !== 200 || !r.text.includes('"list"')) errors += 1;
    }));
    console.log(`server_first_list_view_40_year: p50 ${quantile(times, 0.5)} ns,` +
      ` p99 ${quantile(times, 0.99)} ns, views ${times.length}, errors ${errors},` +
      ` statements ${40 * 20 * 365}, load ${load}`);
    const teacher = await teacherCookie(client);
    await sleep(1000);
    load = loadAverage();
    const before = memory(server.child.pid).rss;
    const shown = await report(client, teacher);
    await sleep(2000);
    const after = memory(server.child.pid);
    console.log(`server_teacher_report_292000: ${shown}, memory before ${before} bytes,` +
      ` after ${after.rss} bytes, highest ${after.peak} bytes, load ${load}`);
  } finally {
    client.close();
    await server.stop();
  }
}

await { busy, body, year }[mode]();
