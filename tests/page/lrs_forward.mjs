// The server forwards answers to a learning record store that is down at
// first, then comes up and fails a while: every statement arrives once,
// and a restart sends nothing again.
//   node lrs_forward.mjs PATH/TO/velmorant-server PATH/TO/endpoint.py
import { spawn } from 'node:child_process';
import { chmodSync, existsSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import net from 'node:net';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { startServer, samePort, client, check } from './serverLib.mjs';

const [program, endpointScript] = process.argv.slice(2);
const work = mkdtempSync(join(tmpdir(), 'velmorant-lrs-'));
const auth = join(work, 'auth');
writeFileSync(auth, 'teacher:secret\n');
chmodSync(auth, 0o600);
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
const port = await new Promise((resolve) => {
  const probe = net.createServer().listen(0, '127.0.0.1', () => {
    const { port: free } = probe.address();
    probe.close(() => resolve(free));
  });
});
const args = ['--lrs', `http://127.0.0.1:${port}/xapi`, '--lrs-auth', auth];
let server = await startServer(program, { learners: ['aoi'], args });
const aoiCode = server.codes.aoi;
let endpoint;
const storeFile = join(work, 'kept.jsonl');
const kept = (file = storeFile) => (existsSync(file) ? readFileSync(file, 'utf8').trim().split('\n').filter(Boolean).map((l) => JSON.parse(l)) : []);
try {
  // Problem 1, solved with two wrong checks first: several statements.
  const aoi = client(server.url);
  await aoi.signIn(server.codes.aoi);
  await aoi.post('/api/open', { entry: 1 });
  const right = [0, 0, 0, 0, 1, 1, 1, 2, 2, 2];
  for (const [term, frame] of right.entries()) await aoi.post('/api/move', { term, frame: term === 9 ? 0 : frame });
  // Term 9 in the other wrong frame, then in its own: each move a check.
  for (const frame of [1, 2]) {
    const r = await aoi.post('/api/move', { term: 9, frame });
    check(r.status === 200, `an answer is taken while the store is down: ${r.status}`);
  }
  await sleep(3000);
  endpoint = spawn('python3', [endpointScript, join(work, 'port'), storeFile, 'teacher:secret', '--fail', '2', '--port', String(port)],
    { stdio: 'inherit' });
  let got = [];
  for (let waited = 0; waited < 60000 && got.length === 0; waited += 500) {
    await sleep(500);
    got = kept();
  }
  await sleep(3000);
  got = kept();
  const ids = got.map((s) => s.id);
  check(ids.length >= 2 && new Set(ids).size === ids.length, `each statement arrives once: ${ids.length}`);

  // A restart remembers what was sent: a store started afresh receives only
  // the answer given after it.
  endpoint.kill();
  await server.stop({ keep: true });
  const freshFile = join(work, 'fresh.jsonl');
  endpoint = spawn('python3', [endpointScript, join(work, 'port2'), freshFile, 'teacher:secret', '--port', String(port)],
    { stdio: 'inherit' });
  server = await startServer(program, { folder: server.dir, port: samePort(server), args });
  await sleep(3000);
  const again = client(server.url);
  await again.signIn(aoiCode);
  // Her session continues on the result she left; from there, problem 1 again.
  check((await again.post('/api/press', { button: 'retry' })).status === 200, 'the session continues after a restart');
  for (const [term, frame] of right.entries()) await again.post('/api/move', { term, frame });
  let fresh = [];
  for (let waited = 0; waited < 20000 && fresh.length === 0; waited += 500) {
    await sleep(500);
    fresh = kept(freshFile);
  }
  await sleep(2500);
  fresh = kept(freshFile);
  check(fresh.length >= 1 && fresh.every((s) => !ids.includes(s.id)),
    `after a restart only the new answer is sent: ${fresh.length}, ${fresh.filter((s) => ids.includes(s.id)).length} again`);
  console.log(`${ids.length} statements forwarded once each, ${fresh.length} after the restart`);
} finally {
  await server.stop();
  if (endpoint) endpoint.kill();
  rmSync(work, { recursive: true, force: true });
}
