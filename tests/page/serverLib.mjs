// Starts velmorant-server on a fresh folder for a test, with learners, and
// talks to it over plain HTTP (node:http sends a path exactly as given).
import { spawn, execFileSync } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync, renameSync, rmSync, writeFileSync } from 'node:fs';
import net from 'node:net';
import { userInfo } from 'node:os';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import http from 'node:http';
import https from 'node:https';
import { createHash, randomBytes } from 'node:crypto';

// `env`: more environment for the server, such as a fake clock.
// `args`: more options for the server, such as --lrs.
// `port`: a fixed port, so that a server started again is where the page
// left it (0: any free one).
// `wrap`: a command the server runs under, such as prlimit with its options.
// `keepLog`: its standard error is kept for log() rather than shown.
export async function startServer(program, { learners = [], database = '', folder = '', env = {}, args = [], port = 0, wrap = [], keepLog = false } = {}) {
  const dir = folder || mkdtempSync(join(tmpdir(), 'velmorant-server-'));
  // A fresh folder is given the samples by the first command on it.
  const db = [...(database ? ['--database', database] : []), ...(folder ? [] : ['--samples'])];
  const codes = {};
  for (const name of learners) {
    const out = execFileSync(program, [...db, '--add-learner', name, dir], { encoding: 'utf8' });
    codes[name] = out.trim().split('\n').pop();
  }
  const child = spawn(wrap[0] || program, [...wrap.slice(1), ...(wrap.length ? [program] : []), ...db, ...args, '--port', String(port), dir],
    { stdio: ['ignore', 'pipe', keepLog ? 'pipe' : 'inherit'], env: { ...process.env, ...env } });
  let logged = '';
  if (keepLog) child.stderr.on('data', (chunk) => { logged += chunk; });
  const url = await new Promise((resolve, reject) => {
    let seen = '';
    child.stdout.on('data', (chunk) => {
      seen += chunk;
      const m = /^(https?:\/\/\S+)$/m.exec(seen);
      if (m) resolve(m[1]);
    });
    child.on('exit', (code) => reject(new Error(`velmorant-server ended (${code}): ${seen}`)));
  });
  // Ends the server as a teacher's Ctrl+C or a shutdown does (or closing
  // its terminal: SIGHUP); returns its exit status, or the signal that
  // ended it. The folder is removed unless it is kept for a restart.
  const stop = async ({ keep = false, signal = 'SIGTERM' } = {}) => {
    let status = child.exitCode ?? child.signalCode;
    if (status === null) {
      const ended = new Promise((resolve) => child.on('exit', (code, by) => resolve(code ?? by)));
      child.kill(signal);
      status = await ended;
    }
    if (!keep) rmSync(dir, { recursive: true, force: true });
    return status;
  };
  // The log up to now. The server's lines come through a pipe that is read
  // whenever this process gets to it, so a line may still be on its way when
  // the answer it was written before has come. A path no one asks for is
  // refused with a line of its own, and the server writes its lines in
  // order: once that line is here, so is every line before it.
  const logNow = async () => {
    const mark = `/log-${randomBytes(6).toString('hex')}`;
    await raw(url, 'GET', mark);
    for (let i = 0; i < 400 && !logged.includes(mark); i += 1) await new Promise((r) => setTimeout(r, 25));
    return logged;
  };
  return { url, dir, codes, child, stop, log: () => logged, logNow };
}

// The port of a server, for one started again where the browsers left it:
// the cookies' names carry it.
export function samePort(server) {
  return Number(new URL(server.url).port);
}

// Sets the teacher's password through the command line.
export function setTeacherPassword(program, dir, password, database = '') {
  const db = database ? ['--database', database] : [];
  return execFileSync(program, [...db, '--set-teacher-password', dir], { input: `${password}\n`, encoding: 'utf8' });
}

// The teacher's client: signs in with the password, keeps the teacher's cookie.
export function teacherClient(base) {
  const c = client(base);
  c.signIn = async function signIn(password, extra = {}) {
    return this.keepCookies(await this.post('/api/teacher/signin', { password }, extra));
  };
  return c;
}

// A body goes with its Content-Length, as browsers send it: the server takes
// no chunked bodies.
// Over HTTPS too, trusting the test's own certificate; `timeout` (ms) gives
// up on a server that does not answer.
export function raw(base, method, path, { headers = {}, body, timeout = 0 } = {}) {
  const u = new URL(base);
  const sized = body === undefined || Object.keys(headers).some((h) => /^(content-length|transfer-encoding)$/i.test(h))
    ? headers : { ...headers, 'Content-Length': Buffer.byteLength(body) };
  return new Promise((resolve, reject) => {
    const req = (u.protocol === 'https:' ? https : http).request({ host: u.hostname, port: u.port, method, path,
      headers: sized, rejectUnauthorized: false }, (res) => {
      const chunks = [];
      res.on('data', (c) => chunks.push(c));
      res.on('end', () => {
        const bytes = Buffer.concat(chunks);
        const text = bytes.toString('utf8');
        let json = null;
        try { json = JSON.parse(text); } catch (e) { json = null; }
        resolve({ status: res.statusCode, headers: res.headers, text, json, bytes });
      });
    });
    req.on('error', reject);
    if (timeout) req.setTimeout(timeout, () => req.destroy(new Error(`no answer in ${timeout} ms`)));
    if (body !== undefined) req.write(body);
    req.end();
  });
}

// The learner's actions: each names the state it acts on and has a key of
// its own, as the page sends them.
const Actions = ['/api/open', '/api/move', '/api/carry', '/api/press'];

export function actionKey() {
  return randomBytes(16).toString('hex');
}

// A learner's client: the page's own origin, the session cookie and, once
// it has signed in, the device cookie, sent as a browser sends them. It
// remembers the seq of the last state it was given and sends it, with a new
// key, in each action that does not name its own.
export function client(base, cookie = '') {
  const origin = new URL(base).origin;
  return {
    cookie,
    device: '',
    seq: undefined,
    cookies() {
      return [this.cookie, this.device].filter(Boolean).join('; ');
    },
    async post(path, data, extra = {}) {
      const headers = { 'Content-Type': 'application/json', Origin: origin, ...extra };
      if (this.cookies() && !headers.Cookie) headers.Cookie = this.cookies();
      let body = data;
      if (Actions.includes(path) && data && typeof data === 'object' && !Array.isArray(data)) {
        if (this.seq === undefined && this.cookie && !('seq' in data)) await this.get('/api/state');
        body = { seq: this.seq, key: actionKey(), ...data };
      }
      return this.seen(await raw(base, 'POST', path, { headers, body: JSON.stringify(body) }));
    },
    // A raw action body with this learner's seq and a new key put in front.
    acting(json) {
      const seq = this.seq === undefined ? '' : `"seq":${this.seq},`;
      return `{${seq}"key":"${actionKey()}",${json.slice(1)}`;
    },
    async get(path) {
      return this.seen(await raw(base, 'GET', path, { headers: this.cookies() ? { Cookie: this.cookies() } : {} }));
    },
    seen(r) {
      const seq = r.json && (r.json.seq ?? (r.json.state && r.json.state.seq));
      if (Number.isInteger(seq)) this.seq = seq;
      return r;
    },
    async signIn(code, extra = {}) {
      return this.keepCookies(await this.post('/api/signin', { code }, extra));
    },
    // The session cookie comes first, the device cookie after it.
    keepCookies(r) {
      const set = (r.headers['set-cookie'] || []).map((c) => c.split(';')[0]);
      if (set.length) this.cookie = set[0];
      this.device = set.find((c) => /^velmorant_device_[0-9a-f]+=/.test(c)) || this.device;
      return r;
    },
  };
}

// Problems 1 and 2 of the first sample series: the frame of each term.
export const SampleAnswers = [[0, 0, 0, 0, 1, 1, 1, 2, 2, 2], [3, 0, 5, 2, 1, 4, 0, 5, 2, 3, 1, 4]];

// A learner solves the first `count` problems of the first sample series
// through the learner API; in the problems of `wrongFirst` (0-based) the
// first check has its first term in a wrong group.
export async function solveSample(base, code, count, wrongFirst = []) {
  const learner = client(base);
  await learner.signIn(code);
  await learner.post('/api/open', { entry: 1 });
  for (const [problem, answer] of SampleAnswers.slice(0, count).entries()) {
    if (problem > 0) await learner.post('/api/press', { button: 'next' });
    const wrong = wrongFirst.includes(problem);
    let state;
    for (const [term, frame] of answer.entries()) {
      state = await learner.post('/api/move', { term, frame: wrong && term === 0 ? (frame + 1) % 3 : frame });
    }
    if (wrong) state = await learner.post('/api/move', { term: 0, frame: answer[0] });
    check(state.json.screen === 'result', `problem ${problem + 1} is solved: ${state.text.slice(0, 200)}`);
  }
}

// The server's clock moved on by `offset` (libfaketime, preloaded into the
// server itself so that signals reach it).
export function fakeClock(offset) {
  return { LD_PRELOAD: faketimeLibrary(), FAKETIME: offset, FAKETIME_DONT_RESET: '1' };
}

function faketimeLibrary() {
  const lib = ['/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1', '/usr/lib/faketime/libfaketime.so.1']
    .find((path) => existsSync(path));
  if (!lib) throw new Error('libfaketime is not installed');
  return lib;
}

// A clock the test moves while the server runs: the offset ('+31m') is
// written to `file`, which the server reads at every look at the clock
// (read once a second instead, a change could take two). Only the calendar
// clock moves, not the timers'.
export function movableClock(file) {
  writeFileSync(file, '+0\n');
  return {
    env: { LD_PRELOAD: faketimeLibrary(), FAKETIME_TIMESTAMP_FILE: file, FAKETIME_NO_CACHE: '1',
           DONT_FAKE_MONOTONIC: '1', FAKETIME_DONT_RESET: '1' },
    set: async (offset) => {
      // Renamed into place: the server never reads a half-written file.
      writeFileSync(`${file}.new`, `${offset}\n`);
      renameSync(`${file}.new`, file);
      await new Promise((resolve) => setTimeout(resolve, 100));
    },
  };
}

// Sends `head` over a plain socket, then `pad` bytes of 'a' as fast as the
// server takes them, until the server closes (or, with `untilClose` false,
// has answered) or `timeoutMs` pass. The answer's status (0: none), its
// text, how many bytes had been sent when the answer came, and how long
// the connection lasted.
export function sendRaw(base, head, { pad = 0, timeoutMs = 10000, untilClose = true } = {}) {
  const u = new URL(base);
  return new Promise((resolve) => {
    const socket = net.connect(Number(u.port), u.hostname);
    const chunks = [];
    const block = Buffer.alloc(1 << 20, 'a');
    const started = Date.now();
    let sent = 0;
    let sentAtAnswer = -1;
    let done = false;
    const finish = (how) => {
      if (done) return;
      done = true;
      clearTimeout(timer);
      socket.destroy();
      const text = Buffer.concat(chunks).toString('utf8');
      const m = /^HTTP\/1\.[01] (\d{3})/.exec(text);
      resolve({ status: m ? Number(m[1]) : 0, text, sentAtAnswer, ms: Date.now() - started, how });
    };
    const timer = setTimeout(() => finish('timeout'), timeoutMs);
    // One block a turn of the event loop, so that an answer is seen when it
    // comes and not after the last block: a reader as fast as the writer
    // would otherwise keep this loop from ever yielding.
    const pump = () => {
      if (done || sent >= pad) return;
      const n = Math.min(block.length, pad - sent);
      sent += n;
      if (socket.write(n === block.length ? block : block.subarray(0, n))) setImmediate(pump);
      else socket.once('drain', pump);
    };
    socket.on('connect', () => { socket.write(head); pump(); });
    socket.on('data', (c) => {
      chunks.push(c);
      if (sentAtAnswer < 0) sentAtAnswer = sent;
      const text = Buffer.concat(chunks).toString('latin1');
      const end = text.indexOf('\r\n\r\n');
      const length = /\r\ncontent-length: *(\d+)/i.exec(text);
      if (!untilClose && end >= 0 && length && text.length >= end + 4 + Number(length[1])) finish('answered');
    });
    socket.on('error', () => {});
    socket.on('close', () => finish('closed'));
  });
}

// Opens `count` connections that send nothing; resolves once all are open,
// with a function that closes them.
export async function openIdle(base, count) {
  const u = new URL(base);
  const sockets = await Promise.all(Array.from({ length: count }, () => new Promise((resolve, reject) => {
    const s = net.connect(Number(u.port), u.hostname, () => resolve(s));
    s.on('error', (e) => (s.connecting ? reject(e) : null));
  })));
  return () => sockets.forEach((s) => s.destroy());
}

// The server's resident memory, in bytes.
export function rss(pid) {
  return Number(/VmRSS:\s+(\d+)/.exec(readFileSync(`/proc/${pid}/status`, 'utf8'))[1]) * 1024;
}

export function check(condition, what) {
  if (!condition) throw new Error(what);
}

// A port nothing listens on now.
export function freePort() {
  return new Promise((resolve, reject) => {
    const probe = net.createServer();
    probe.on('error', reject);
    probe.listen(0, '127.0.0.1', () => {
      const { port } = probe.address();
      probe.close(() => resolve(port));
    });
  });
}

// One number from the store the server uses: its SQLite file in the folder,
// or the PostgreSQL database.
// The name of a store's cookie of `kind` (session, teacher, device): it
// ends in an id the server makes from the store's device key.
export function cookieName(dir, database, kind) {
  const sql = 'SELECT secret FROM device_key';
  const key = (database
    ? execFileSync('psql', ['-X', '-tA', '-c', sql, database], { encoding: 'utf8' })
    : execFileSync('sqlite3', [join(dir, 'velmorant.sqlite'), sql], { encoding: 'utf8' })).trim();
  const id = createHash('sha256').update(Buffer.concat([Buffer.from('cookie names\n'), Buffer.from(key, 'hex')]))
    .digest('hex').slice(0, 8);
  return `velmorant_${kind}_${id}`;
}

export function storeNumber(dir, database, sql) {
  const out = database
    ? execFileSync('psql', ['-X', '-tA', '-c', sql, database], { encoding: 'utf8' })
    : execFileSync('sqlite3', [join(dir, 'velmorant.sqlite'), sql], { encoding: 'utf8' });
  return Number(out.trim());
}

// The store unavailable until the returned function is called: PostgreSQL
// stopped (through the control script with-postgres.sh leaves), or the
// SQLite file's write lock held by sqlite3, as a teacher's sqlite3 can.
export async function storeOutage(dir, database) {
  if (database) {
    const control = process.env.VELMORANT_PG_CTL;
    if (!control) throw new Error('VELMORANT_PG_CTL is not set: run under with-postgres.sh');
    execFileSync(control, ['stop'], { stdio: 'ignore' });
    return async () => { execFileSync(control, ['start'], { stdio: 'ignore' }); };
  }
  return holdWriteLock(dir, '');
}

// The store's write lock held by another program until the returned
// function is called, as an administrator's sqlite3 or a backup holds it:
// sqlite3's BEGIN IMMEDIATE, or on PostgreSQL psql locking the tables a
// learner's action writes against every other writer.
export async function holdWriteLock(dir, database) {
  const [command, args, sql] = database
    ? ['psql', ['-X', '-q', '-tA', database],
       'BEGIN;\nLOCK TABLE learner_states, statements, sessions IN EXCLUSIVE MODE;\nSELECT \'held\';\n']
    : ['sqlite3', [join(dir, 'velmorant.sqlite')], "BEGIN IMMEDIATE;\nSELECT 'held';\n"];
  const holder = spawn(command, args, { stdio: ['pipe', 'pipe', 'inherit'] });
  holder.stdin.write(sql);
  await new Promise((resolve) => holder.stdout.on('data', (d) => { if (String(d).includes('held')) resolve(); }));
  return async () => {
    const ended = new Promise((resolve) => holder.on('exit', resolve));
    holder.stdin.end(database ? 'COMMIT;\n\\q\n' : 'COMMIT;\n.quit\n');
    await ended;
  };
}

// nginx in front of `urls`, round robin without stickiness, as the current
// user with everything of its own in a temporary folder. Each reply names
// the server that gave it in X-Upstream.
export async function startNginx(urls) {
  const dir = mkdtempSync(join(tmpdir(), 'velmorant-nginx-'));
  const port = await freePort();
  const servers = urls.map((u) => `    server ${new URL(u).host};`).join('\n');
  const temps = ['client_body', 'proxy', 'fastcgi', 'uwsgi', 'scgi']
    .map((t) => `  ${t}_temp_path ${dir}/${t};`).join('\n');
  writeFileSync(join(dir, 'nginx.conf'), `${process.getuid() === 0 ? `user ${userInfo().username};\n` : ''}worker_processes 1;
pid ${dir}/nginx.pid;
error_log ${dir}/error.log;
events { worker_connections 256; }
http {
  access_log ${dir}/access.log;
${temps}
  upstream velmorant {
${servers}
  }
  server {
    listen 127.0.0.1:${port};
    location / {
      proxy_pass http://velmorant;
      proxy_set_header Host $http_host;
      add_header X-Upstream $upstream_addr always;
    }
  }
}
`);
  const child = spawn('nginx', ['-p', dir, '-c', join(dir, 'nginx.conf'), '-e', join(dir, 'error.log'), '-g', 'daemon off;'],
    { stdio: ['ignore', 'inherit', 'inherit'] });
  const url = `http://127.0.0.1:${port}/`;
  for (let tries = 0; ; ++tries) {
    if (child.exitCode !== null) throw new Error(`nginx ended (${child.exitCode})`);
    try {
      await raw(url, 'GET', '/');
      break;
    } catch (e) {
      if (tries > 100) throw e;
      await new Promise((resolve) => setTimeout(resolve, 100));
    }
  }
  const stop = async () => {
    if (child.exitCode === null) {
      const ended = new Promise((resolve) => child.on('exit', resolve));
      child.kill('SIGQUIT');
      await ended;
    }
    rmSync(dir, { recursive: true, force: true });
  };
  return { url, stop };
}
