// Starts velmorant-server on a fresh folder for a test, with learners, and
// talks to it over plain HTTP (node:http sends a path exactly as given).
import { spawn, execFileSync } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import http from 'node:http';
import https from 'node:https';
import net from 'node:net';

// `env`: more environment for the server, such as a fake clock.
// `args`: more options for the server, such as --lrs.
// `wrap`: a command the server runs under, such as prlimit with its options.
export async function startServer(program, { learners = [], database = '', folder = '', env = {}, args = [], wrap = [] } = {}) {
  const dir = folder || mkdtempSync(join(tmpdir(), 'velmorant-server-'));
  const db = database ? ['--database', database] : [];
  const codes = {};
  for (const name of learners) {
    const out = execFileSync(program, [...db, '--add-learner', name, dir], { encoding: 'utf8' });
    codes[name] = out.trim().split('\n').pop();
  }
  const child = spawn(wrap[0] || program, [...wrap.slice(1), ...(wrap.length ? [program] : []), ...db, ...args, '--port', '0', dir],
    { stdio: ['ignore', 'pipe', 'inherit'], env: { ...process.env, ...env } });
  const url = await new Promise((resolve, reject) => {
    let seen = '';
    child.stdout.on('data', (chunk) => {
      seen += chunk;
      const m = /^(https?:\/\/\S+)$/m.exec(seen);
      if (m) resolve(m[1]);
    });
    child.on('exit', (code) => reject(new Error(`velmorant-server ended (${code}): ${seen}`)));
  });
  // Ends the server as a teacher's Ctrl+C or a shutdown does; returns its
  // exit status. The folder is removed unless it is kept for a restart.
  const stop = async ({ keep = false } = {}) => {
    let status = child.exitCode;
    if (status === null) {
      const ended = new Promise((resolve) => child.on('exit', resolve));
      child.kill('SIGTERM');
      status = await ended;
    }
    if (!keep) rmSync(dir, { recursive: true, force: true });
    return status;
  };
  return { url, dir, codes, child, stop };
}

// Sets the teacher's password through the command line.
export function setTeacherPassword(program, dir, password, database = '') {
  const db = database ? ['--database', database] : [];
  return execFileSync(program, [...db, '--set-teacher-password', dir], { input: `${password}\n`, encoding: 'utf8' });
}

// The teacher's client: signs in with the password, keeps the teacher's cookie.
export function teacherClient(base) {
  const c = client(base);
  c.signIn = async function signIn(password) {
    const r = await this.post('/api/teacher/signin', { password });
    const set = r.headers['set-cookie'];
    if (set) this.cookie = set[0].split(';')[0];
    return r;
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
        const text = Buffer.concat(chunks).toString('utf8');
        let json = null;
        try { json = JSON.parse(text); } catch (e) { json = null; }
        resolve({ status: res.statusCode, headers: res.headers, text, json });
      });
    });
    req.on('error', reject);
    if (timeout) req.setTimeout(timeout, () => req.destroy(new Error(`no answer in ${timeout} ms`)));
    if (body !== undefined) req.write(body);
    req.end();
  });
}

// A learner's client: the page's own origin and the session cookie.
export function client(base, cookie = '') {
  const origin = new URL(base).origin;
  return {
    cookie,
    async post(path, data, extra = {}) {
      const headers = { 'Content-Type': 'application/json', Origin: origin, ...extra };
      if (this.cookie) headers.Cookie = this.cookie;
      return raw(base, 'POST', path, { headers, body: JSON.stringify(data) });
    },
    async get(path) {
      return raw(base, 'GET', path, { headers: this.cookie ? { Cookie: this.cookie } : {} });
    },
    async signIn(code) {
      const r = await this.post('/api/signin', { code });
      const set = r.headers['set-cookie'];
      if (set) this.cookie = set[0].split(';')[0];
      return r;
    },
  };
}

// The server's clock moved on by `offset` (libfaketime, preloaded into the
// server itself so that signals reach it).
export function fakeClock(offset) {
  const lib = ['/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1', '/usr/lib/faketime/libfaketime.so.1']
    .find((path) => existsSync(path));
  if (!lib) throw new Error('libfaketime is not installed');
  return { LD_PRELOAD: lib, FAKETIME: offset, FAKETIME_DONT_RESET: '1' };
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
    const pump = () => {
      while (!done && sent < pad) {
        const n = Math.min(block.length, pad - sent);
        sent += n;
        if (!socket.write(n === block.length ? block : block.subarray(0, n))) {
          socket.once('drain', pump);
          return;
        }
      }
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
