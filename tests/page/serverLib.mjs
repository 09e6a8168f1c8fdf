// Starts velmorant-server on a fresh folder for a test, with learners, and
// talks to it over plain HTTP (node:http sends a path exactly as given).
import { spawn, execFileSync } from 'node:child_process';
import { existsSync, mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import http from 'node:http';

// `env`: more environment for the server, such as a fake clock.
// `args`: more options for the server, such as --lrs.
export async function startServer(program, { learners = [], database = '', folder = '', env = {}, args = [] } = {}) {
  const dir = folder || mkdtempSync(join(tmpdir(), 'velmorant-server-'));
  const db = database ? ['--database', database] : [];
  const codes = {};
  for (const name of learners) {
    const out = execFileSync(program, [...db, '--add-learner', name, dir], { encoding: 'utf8' });
    codes[name] = out.trim().split('\n').pop();
  }
  const child = spawn(program, [...db, ...args, '--port', '0', dir],
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
  // Ends the server as a teacher's Ctrl+C or a shutdown does (or closing
  // its terminal: SIGHUP); returns its exit status. The folder is removed
  // unless it is kept for a restart.
  const stop = async ({ keep = false, signal = 'SIGTERM' } = {}) => {
    let status = child.exitCode;
    if (status === null) {
      const ended = new Promise((resolve) => child.on('exit', (code, by) => resolve(code ?? by)));
      child.kill(signal);
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

export function raw(base, method, path, { headers = {}, body } = {}) {
  const u = new URL(base);
  return new Promise((resolve, reject) => {
    const req = http.request({ host: u.hostname, port: u.port, method, path, headers }, (res) => {
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

export function check(condition, what) {
  if (!condition) throw new Error(what);
}
