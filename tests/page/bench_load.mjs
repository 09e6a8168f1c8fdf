// Simulated learners answering once a second; prints the answer round
// trips, and the server's memory idle and with every learner signed in, in
// ./bench's form.
//   node bench_load.mjs PATH/TO/velmorant-server LEARNERS SECONDS NAME
// With VELMORANT_DATABASE set, the learners and their sessions are put
// straight into that database (signing 1,000 learners in would measure the
// code hash, not answering).
import { execFileSync } from 'node:child_process';
import { createHash, randomBytes } from 'node:crypto';
import { readFileSync } from 'node:fs';
import http from 'node:http';
import { startServer, raw } from './serverLib.mjs';

const [program, learnersArg, secondsArg, name] = process.argv.slice(2);
const count = Number(learnersArg);
const seconds = Number(secondsArg);
const database = process.env.VELMORANT_DATABASE || '';
const Answer = [0, 0, 0, 0, 1, 1, 1, 2, 2, 2];

const rss = (pid) => Number(/VmRSS:\s+(\d+)/.exec(readFileSync(`/proc/${pid}/status`, 'utf8'))[1]) * 1024;
// The server's processor time so far, in nanoseconds (user + system ticks).
const cpu = (pid) => {
  const fields = readFileSync(`/proc/${pid}/stat`, 'utf8').split(') ')[1].split(' ');
  return (Number(fields[11]) + Number(fields[12])) * 1e7;
};
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

async function sessions(server) {
  const names = Array.from({ length: count }, (_, i) => `learner${String(i + 1).padStart(4, '0')}`);
  if (database) {
    const ids = names.map(() => randomBytes(32).toString('hex'));
    const rows = names.map((n, i) =>
      `INSERT INTO learners (name, salt, code_hash) VALUES ('${n}', '', 'no code ${n}');` +
      `INSERT INTO sessions VALUES ('${createHash('sha256').update(ids[i]).digest('hex')}', '${n}', ${Date.now() + 3600e3});`);
    execFileSync('psql', ['-q', '-v', 'ON_ERROR_STOP=1', database], { input: rows.join('\n') });
    return ids.map((id) => `velmorant_session=${id}`);
  }
  const cookies = [];
  for (const n of names) {
    const out = execFileSync(program, ['--add-learner', n, server.dir], { encoding: 'utf8', stdio: ['ignore', 'pipe', 'ignore'] });
    const code = out.trim().split('\n').pop();
    const r = await raw(server.url, 'POST', '/api/signin', {
      headers: { Origin: new URL(server.url).origin, 'Content-Type': 'application/json' },
      body: JSON.stringify({ code }) });
    cookies.push(r.headers['set-cookie'][0].split(';')[0]);
  }
  return cookies;
}

const server = await startServer(program, { database });
const agent = new http.Agent({ keepAlive: true, maxSockets: count + 10 });
const origin = new URL(server.url).origin;
function post(cookie, path, data) {
  const u = new URL(server.url);
  const body = JSON.stringify(data);
  return new Promise((resolve, reject) => {
    const req = http.request({ host: u.hostname, port: u.port, method: 'POST', path, agent,
      headers: { Cookie: cookie, Origin: origin, 'Content-Type': 'application/json', 'Content-Length': Buffer.byteLength(body) } },
    (res) => { const parts = []; res.on('data', (c) => parts.push(c)); res.on('end', () => resolve({ status: res.statusCode, body: Buffer.concat(parts).toString() })); });
    req.on('error', reject);
    req.end(body);
  });
}

try {
  await raw(server.url, 'GET', '/');
  await sleep(500);
  const idle = rss(server.child.pid);
  const cookies = await sessions(server);
  for (const c of cookies) {
    const r = await post(c, '/api/open', { entry: 1 });
    if (r.status !== 200) throw new Error(`open: ${r.status} ${r.body}`);
  }
  const times = [];
  let errors = 0;
  const cpuBefore = cpu(server.child.pid);
  const end = Date.now() + seconds * 1000;
  await Promise.all(cookies.map(async (cookie, i) => {
    await sleep((i * 1000) / cookies.length);
    let term = 0;
    for (let next = Date.now(); next < end; next += 1000) {
      const started = process.hrtime.bigint();
      const r = await post(cookie, '/api/move', { term, frame: Answer[term] });
      times.push(Number(process.hrtime.bigint() - started));
      if (r.status !== 200) errors += 1;
      term += 1;
      if (term === Answer.length) {
        term = 0;
        if ((await post(cookie, '/api/press', { button: 'retry' })).status !== 200) errors += 1;
      }
      await sleep(Math.max(0, next + 1000 - Date.now()));
    }
  }));
  const busy = rss(server.child.pid);
  const cpuPerAnswer = Math.round((cpu(server.child.pid) - cpuBefore) / times.length);
  times.sort((a, b) => a - b);
  const at = (q) => times[Math.min(times.length - 1, Math.floor(q * times.length))];
  console.log(`${name}: ${at(0.5)} ns, p99 ${at(0.99)} ns, answers ${times.length}, errors ${errors}, server processor ${cpuPerAnswer} ns an answer`);
  console.log(`${name}_memory: ${busy} bytes, floor idle ${idle} bytes, ratio ${(busy / idle).toFixed(2)}`);
} finally {
  agent.destroy();
  await server.stop();
}
