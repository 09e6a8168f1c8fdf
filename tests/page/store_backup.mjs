// Backups taken while a class answers, and one put back:
//   - 10 backups under load: each passes SQLite's integrity check and holds
//     every answer the server had answered 200 before the backup began;
//   - a restore is refused while the server runs, and a file that is not a
//     store is refused without touching the store;
//   - after the server is killed (its -wal left full), a restore puts the
//     backup in place, keeps the old store whole beside it, and the server
//     starts on it with the backup's answers and codes.
//   node store_backup.mjs PATH/TO/velmorant-server
import { execFile } from 'node:child_process';
import { existsSync, statSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { promisify } from 'node:util';
import { startServer, client, check, storeNumber } from './serverLib.mjs';

const program = process.argv[2];
const Answer = [0, 0, 0, 0, 1, 1, 1, 2, 2, 2];
const names = Array.from({ length: 12 }, (_, i) => `learner${i}`);
const step = (what) => console.log(`- ${what}`);

// The command's status and what it wrote.
async function command(...args) {
  try {
    const { stdout, stderr } = await promisify(execFile)(program, args, { encoding: 'utf8' });
    return { status: 0, stdout, stderr };
  } catch (e) {
    return { status: e.code, stdout: e.stdout, stderr: e.stderr };
  }
}

const sqlite = (file, sql) => promisify(execFile)('sqlite3', [file, sql], { encoding: 'utf8' })
  .then(({ stdout }) => stdout.trim());

// A learner answering the first problem again and again, as fast as the
// server lets one learner check (5 a second); `tally` counts the answers
// the server has stored (the last move's 200).
async function answering(url, code, tally, running) {
  const learner = client(url);
  check((await learner.signIn(code)).status === 200, 'sign-in');
  check((await learner.post('/api/open', { entry: 1 })).status === 200, 'open');
  while (running()) {
    for (const [term, frame] of Answer.entries()) {
      const paced = new Promise((resolve) => setTimeout(resolve, 220));
      const r = await learner.post('/api/move', { term, frame });
      await paced;
      check(r.status === 200, `move: ${r.status} ${r.text}`);
    }
    tally.answers += 1;
    check((await learner.post('/api/press', { button: 'retry' })).status === 200, 'retry');
  }
}

let server = await startServer(program, { learners: names });
const { dir, codes } = server;
const store = join(dir, 'velmorant.sqlite');
try {
  step('10 backups while 12 learners answer');
  const tally = { answers: 0 };
  let running = true;
  let failed = null;
  const load = Promise.all(names.map((n) => answering(server.url, codes[n], tally, () => running && !failed)
    .catch((e) => { failed = e; })));
  const backups = [];
  for (let i = 0; i < 10; ++i) {
    await new Promise((resolve) => setTimeout(resolve, 300));
    const committed = tally.answers;
    const file = join(dir, `backup-${i}.sqlite`);
    const made = await command('--backup', file, dir);
    check(made.status === 0, `backup ${i}: ${made.status} ${made.stderr}`);
    check((statSync(file).mode & 0o777) === 0o600, `backup ${i} is private`);
    check(await sqlite(file, 'PRAGMA integrity_check') === 'ok', `backup ${i} passes the integrity check`);
    const held = Number(await sqlite(file, 'SELECT count(*) FROM statements'));
    check(held >= committed, `backup ${i} holds ${held} answers, ${committed} were stored before it`);
    backups.push({ file, held });
  }
  check((await command('--backup', backups[0].file, dir)).status === 1, 'a backup is not written over');
  const refused = await command('--restore', backups[4].file, dir);
  check(refused.status === 1 && refused.stderr.includes('サーバーを止めて'),
    `a restore is refused while the server runs: ${refused.status} ${refused.stderr}`);
  running = false;
  await load;
  if (failed) throw failed;
  const final = storeNumber(dir, '', 'SELECT count(*) FROM statements');
  check(final === tally.answers, `every answer counted is one stored (${final}, ${tally.answers})`);
  check(backups[4].held < final, 'the load went on past the fifth backup');

  step('the server killed with its -wal full; a file that is no store is refused');
  await server.stop({ keep: true, signal: 'SIGKILL' });
  check(statSync(`${store}-wal`).size > 0, 'the killed server left a -wal with pages in it');
  writeFileSync(join(dir, 'not-a-store.sqlite'), 'learner0,1\n'.repeat(200));
  const wrong = await command('--restore', join(dir, 'not-a-store.sqlite'), dir);
  check(wrong.status === 1 && !existsSync(`${store}.before-restore`), `a file that is no store is refused: ${wrong.stderr}`);

  step('the fifth backup restored');
  const restored = await command('--restore', backups[4].file, dir);
  check(restored.status === 0, `restore: ${restored.status} ${restored.stderr}`);
  check(!existsSync(`${store}-wal`) && !existsSync(`${store}-shm`), 'no -wal or -shm is left beside the restored store');
  check(Number(await sqlite(`${store}.before-restore`, 'SELECT count(*) FROM statements')) === final,
    'the store it replaced is kept whole, with its -wal');
  server = await startServer(program, { folder: dir });
  check(await sqlite(store, 'PRAGMA integrity_check') === 'ok', 'the restored store passes the integrity check');
  check(storeNumber(dir, '', 'SELECT count(*) FROM statements') === backups[4].held, 'the server has the backup\'s answers');
  const learner = client(server.url);
  check((await learner.signIn(codes.learner0)).status === 200, 'a learner of the backup signs in with the same code');
  check((await learner.get('/api/state')).status === 200, 'and is shown where the backup left them');
  console.log('store backup test passed');
} finally {
  await server.stop();
}
