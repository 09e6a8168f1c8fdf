// Simulated learners answering once a second; prints the answer round
// trips, and the server's memory idle and with every learner signed in, in
// ./bench's form.
//   node bench_load.mjs PATH/TO/velmorant-server LEARNERS SECONDS NAME [MADE_UP_STORE]
// With VELMORANT_DATABASE set, made_up_store puts the learners and their
// sessions straight into that database (signing 1,000 learners in would
// measure the code hash, not answering).
import { execFileSync } from 'node:child_process';
import { readFileSync } from 'node:fs';
import { httpClient, Learner, loadAverage, sleep } from './benchLib.mjs';
import { cookieName, startServer, raw, rss } from './serverLib.mjs';

const [program, learnersArg, secondsArg, name, storeTool] = process.argv.slice(2);
const count = Number(learnersArg);
const seconds = Number(secondsArg);
const database = process.env.VELMORANT_DATABASE || '';
const Answer = [0, 0, 0, 0, 1, 1, 1, 2, 2, 2];

// The server's processor time so far, in nanoseconds (user + system ticks).
const cpu = (pid) => {
  const fields = readFileSync(`/proc/${pid}/stat`, 'utf8').split(') ')[1].split(' ');
  return (Number(fields[11]) + Number(fields[12])) * 1e7;
};

async function sessions(server) {
  if (database) {
    const out = execFileSync(storeTool, ['--database', database, server.dir, String(count), '0', '0'],
      { encoding: 'utf8' });
    return out.trim().split('\n').map((line) => `${cookieName(server.dir, database, 'session')}=${line.split('\t')[2]}`);
  }
  const cookies = [];
  for (let i = 1; i <= count; i += 1) {
    const n = `learner${String(i).padStart(4, '0')}`;
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
const client = httpClient(server.url, { sockets: count + 10 });
try {
  await raw(server.url, 'GET', '/');
  await sleep(500);
  const idle = rss(server.child.pid);
  const learners = (await sessions(server)).map((cookie) => new Learner(client, cookie));
  for (const learner of learners) {
    await learner.state();
    const r = await learner.act('/api/open', { entry: 1 });
    if (r.status !== 200) throw new Error(`open: ${r.status} ${r.text}`);
  }
  const times = [];
  let errors = 0;
  const cpuBefore = cpu(server.child.pid);
  const load = loadAverage();
  const end = Date.now() + seconds * 1000;
  await Promise.all(learners.map(async (learner, i) => {
    await sleep((i * 1000) / learners.length);
    let term = 0;
    for (let next = Date.now(); next < end; next += 1000) {
      const started = process.hrtime.bigint();
      const r = await learner.act('/api/move', { term, frame: Answer[term] });
      times.push(Number(process.hrtime.bigint() - started));
      if (r.status !== 200) errors += 1;
      term += 1;
      if (term === Answer.length) {
        term = 0;
        if ((await learner.act('/api/press', { button: 'retry' })).status !== 200) errors += 1;
      }
      await sleep(Math.max(0, next + 1000 - Date.now()));
    }
  }));
  const busy = rss(server.child.pid);
  const cpuPerAnswer = Math.round((cpu(server.child.pid) - cpuBefore) / times.length);
  times.sort((a, b) => a - b);
  const at = (q) => times[Math.min(times.length - 1, Math.floor(q * times.length))];
  console.log(`${name}: ${at(0.5)} ns, p99 ${at(0.99)} ns, answers ${times.length}, errors ${errors}, server processor ${cpuPerAnswer} ns an answer, load ${load}`);
  console.log(`${name}_memory: ${busy} bytes, floor idle ${idle} bytes, ratio ${(busy / idle).toFixed(2)}`);
} finally {
  client.close();
  await server.stop();
}
