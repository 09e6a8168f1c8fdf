// みんなで解く under load: LEARNERS learners of one class each put a term
// every 1-3 s, first outside a round and then in one, while the projector
// holds its event stream and loads the round's view at each event. Prints,
// in ./bench's form, how long after a learner's move was answered the
// projector had a view with it (p50, p99), the learners' action times in
// the round, and the server's processor time an action in the round against
// one outside.
//   node bench_round.mjs PATH/TO/velmorant-server LEARNERS SECONDS
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import http from 'node:http';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { httpClient, Learner, loadAverage, quantile, sleep } from './benchLib.mjs';
import { startServer, raw, setTeacherPassword } from './serverLib.mjs';

const [program, learnersArg, secondsArg] = process.argv.slice(2);
const count = Number(learnersArg);
const seconds = Number(secondsArg);
const Answer = [0, 0, 0, 0, 1, 1, 1, 2, 2, 2];
const cpu = (pid) => {
  const fields = readFileSync(`/proc/${pid}/stat`, 'utf8').split(') ')[1].split(' ');
  return (Number(fields[11]) + Number(fields[12])) * 1e7;
};

const dir = mkdtempSync(join(tmpdir(), 'velmorant-bench-round-'));
const lists = mkdtempSync(join(tmpdir(), 'velmorant-bench-round-list-'));
const rows = Array.from({ length: count }, (_, i) => `1A,${i + 1},生徒${String(i + 1).padStart(3, '0')}`);
writeFileSync(join(lists, 'class.csv'), `組,番号,氏名\r\n${rows.join('\r\n')}\r\n`);
execFileSync(program, ['--samples', '--add-learners', join(lists, 'class.csv'), dir], { stdio: 'pipe' });
const cards = readFileSync(join(lists, 'class-コード表.html'), 'utf8');
const codes = [...cards.matchAll(/<span class="code">(\w+)</g)].map((m) => m[1]);
rmSync(lists, { recursive: true, force: true });
setTeacherPassword(program, dir, 'kyoushitsu-2026');

const server = await startServer(program, { folder: dir });
const client = httpClient(server.url, { sockets: count + 10 });
const origin = new URL(server.url).origin;
const post = async (path, body, cookie = '') => raw(server.url, 'POST', path,
  { headers: { Origin: origin, 'Content-Type': 'application/json', ...(cookie ? { Cookie: cookie } : {}) }, body: JSON.stringify(body) });

// Every learner moving for `seconds`; the round's key goes with each move in a round.
async function phase(learners, round) {
  const times = [];
  const replied = [];
  let errors = 0;
  const before = cpu(server.child.pid);
  const end = Date.now() + seconds * 1000;
  await Promise.all(learners.map(async (learner, i) => {
    await sleep((i * 1000) / learners.length);
    let term = 0;
    while (Date.now() < end) {
      const extra = round ? { round: learner.round } : {};
      const started = process.hrtime.bigint();
      const r = await learner.act('/api/move', { term, frame: Answer[term], ...extra });
      times.push(Number(process.hrtime.bigint() - started));
      if (r.status === 200) replied.push(Date.now()); else errors += 1;
      term += 1;
      if (term === Answer.length) {
        term = 0;
        const p = await learner.act('/api/press', { button: 'retry', ...extra });
        if (p.status === 200) replied.push(Date.now()); else errors += 1;
      }
      await sleep(1000 + Math.random() * 2000);
    }
  }));
  return { times, replied, errors, cpu: (cpu(server.child.pid) - before) / Math.max(1, times.length) };
}

try {
  const cookies = [];
  for (const code of codes) {
    const r = await post('/api/signin', { code });
    cookies.push(r.headers['set-cookie'][0].split(';')[0]);
  }
  const learners = cookies.map((cookie) => new Learner(client, cookie));
  for (const learner of learners) {
    await learner.state();
    await learner.act('/api/open', { entry: 1 });
  }
  const load = loadAverage();
  const outside = await phase(learners, false);

  const signin = await post('/api/teacher/signin', { password: 'kyoushitsu-2026' });
  const teacher = signin.headers['set-cookie'].map((c) => c.split(';')[0]).join('; ');
  const classes = JSON.parse((await raw(server.url, 'GET', '/api/teacher/classes', { headers: { Cookie: teacher } })).text).classes;
  const classId = classes[0].id;
  await post('/api/teacher/round/start', { class: classId, series: 'Bio1.TXT', problem: 1 }, teacher);
  for (const learner of learners) {
    const r = await learner.state();
    learner.round = JSON.parse(r.text).round.key;
  }
  // The projector: at each event, the view loaded; when each load ended,
  // and how many board changes the event said there were.
  const views = [];
  const stream = http.get(`${server.url}api/teacher/round/events?class=${classId}`, { headers: { Cookie: teacher } }, (res) => {
    let buffered = '';
    res.on('data', async (chunk) => {
      buffered += chunk;
      for (let at = buffered.indexOf('\n\n'); at >= 0; at = buffered.indexOf('\n\n')) {
        const event = buffered.slice(0, at);
        buffered = buffered.slice(at + 2);
        const m = /^data: \d+\/(\d+)$/m.exec(event);
        if (!m) continue;
        const moves = Number(m[1]);
        const r = await client.request('GET', `/api/teacher/round?class=${classId}`, { headers: { Cookie: teacher } });
        if (r.status === 200) views.push({ at: Date.now(), moves });
      }
    });
  });
  await sleep(500);
  const inside = await phase(learners, true);
  await sleep(1500);
  stream.destroy();
  // The k-th change answered is in the first view whose event counted k.
  const replied = [...inside.replied].sort((a, b) => a - b);
  const lags = replied.map((t, k) => {
    const seen = views.find((v) => v.moves >= k + 1 && v.at >= t);
    return seen ? (seen.at - t) * 1e6 : Infinity;
  });
  const ns = (x) => Math.round(x);
  console.log(`server_round_projector_${count}: ${ns(quantile(lags, 0.5))} ns, p99 ${ns(quantile(lags, 0.99))} ns, changes ${lags.length}, views ${views.length}, load ${load}`);
  console.log(`server_round_action_${count}: ${ns(quantile(inside.times, 0.5))} ns, p99 ${ns(quantile(inside.times, 0.99))} ns, errors ${inside.errors}; outside a round ${ns(quantile(outside.times, 0.5))} ns, p99 ${ns(quantile(outside.times, 0.99))} ns, errors ${outside.errors}`);
  console.log(`server_round_processor_${count}: ${ns(inside.cpu)} ns an action, floor outside a round ${ns(outside.cpu)} ns, ratio ${(inside.cpu / outside.cpu).toFixed(2)}`);
} finally {
  client.close();
  await server.stop();
}
