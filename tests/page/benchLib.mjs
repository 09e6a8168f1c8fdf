// What ./bench's load clients share: a bounded HTTP client on one agent,
// simulated learners that carry their state's sequence number, and the
// server's memory from /proc.
import { randomBytes } from 'node:crypto';
import { readFileSync } from 'node:fs';
import http from 'node:http';

export const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// The server's resident memory now and at its highest, in bytes.
export function memory(pid) {
  const status = readFileSync(`/proc/${pid}/status`, 'utf8');
  const kib = (field) => Number(new RegExp(`${field}:\\s+(\\d+)`).exec(status)[1]) * 1024;
  return { rss: kib('VmRSS'), peak: kib('VmHWM') };
}

// Nanoseconds since `started` (a process.hrtime.bigint()).
export const since = (started) => Number(process.hrtime.bigint() - started);

// The value at quantile q of some times, sorted here.
export function quantile(times, q) {
  const sorted = [...times].sort((a, b) => a - b);
  return sorted.length ? sorted[Math.min(sorted.length - 1, Math.floor(q * sorted.length))] : NaN;
}

// One keep-alive agent for every learner: at most `sockets` connections, and
// no request waits longer than `timeoutMs` (it counts as an error then).
export function httpClient(base, { sockets, timeoutMs = 30000 } = {}) {
  const u = new URL(base);
  const agent = new http.Agent({ keepAlive: true, maxSockets: sockets });
  const origin = u.origin;
  function request(method, path, { headers = {}, body, localAddress } = {}) {
    return new Promise((resolve) => {
      const all = { Origin: origin, ...headers };
      if (body !== undefined) {
        all['Content-Type'] = 'application/json';
        all['Content-Length'] = Buffer.byteLength(body);
      }
      const req = http.request({ host: u.hostname, port: u.port, method, path, headers: all,
        agent: localAddress ? undefined : agent, localAddress, timeout: timeoutMs }, (res) => {
        const parts = [];
        res.on('data', (c) => parts.push(c));
        res.on('end', () => resolve({ status: res.statusCode, headers: res.headers,
          text: Buffer.concat(parts).toString('utf8') }));
        res.on('error', () => resolve({ status: 0, headers: {}, text: '' }));
      });
      req.on('timeout', () => req.destroy(new Error('timeout')));
      req.on('error', (e) => resolve({ status: 0, headers: {}, text: String(e) }));
      req.end(body);
    });
  }
  return { request, origin, close: () => agent.destroy() };
}

const parsed = (text) => { try { return JSON.parse(text); } catch (e) { return null; } };

// A learner's tablet: its cookie, and the sequence number of the state it
// shows when the server gives one (a server without it ignores the fields).
export class Learner {
  constructor(client, cookie) {
    this.client = client;
    this.cookie = cookie;
    this.seq = undefined;
  }

  learn(text) {
    const j = parsed(text);
    const state = j && j.state && typeof j.state === 'object' ? j.state : j;
    if (state && Number.isInteger(state.seq)) this.seq = state.seq;
  }

  async state() {
    const r = await this.client.request('GET', '/api/state', { headers: { Cookie: this.cookie } });
    if (r.status === 200) this.learn(r.text);
    return r;
  }

  // An action as the page sends it: with the shown state's seq and a new
  // key when the server numbers its states.
  async act(path, data) {
    const sent = this.seq === undefined ? data
      : { ...data, seq: this.seq, key: randomBytes(12).toString('base64url') };
    const r = await this.client.request('POST', path,
      { headers: { Cookie: this.cookie }, body: JSON.stringify(sent) });
    if (r.status === 200 || r.status === 409) this.learn(r.text);
    return r;
  }
}

// The load average, as a row's surroundings: the machine is shared.
export function loadAverage() {
  return readFileSync('/proc/loadavg', 'utf8').split(' ').slice(0, 3).join(' ');
}

// At most `width` at a time, in order.
export async function inTurn(items, width, each) {
  let next = 0;
  await Promise.all(Array.from({ length: width }, async () => {
    while (next < items.length) await each(items[next++]);
  }));
}

// The first sample problem's right frames.
const Answer = [0, 0, 0, 0, 1, 1, 1, 2, 2, 2];

// Puts the first few terms of the learner's problem in their frames, a
// random number of them, so that a school's learners are at different
// points of their problems, as they are in a lesson under way, rather than
// all checking their boards in the same second.
export async function partWay(learner) {
  const placed = Math.floor(Math.random() * Answer.length);
  for (let term = 0; term < placed; term += 1) {
    const r = await learner.act('/api/move', { term, frame: Answer[term] });
    if (r.status !== 200) throw new Error(`move: ${r.status} ${r.text}`);
  }
  learner.term = placed;
}

// Every learner moves a term every `gap()` ms (pressing もう一度 after the
// last), the first within one gap, until `done()`; each move's round trip.
export async function moving(learners, gap, done) {
  const times = [];
  let errors = 0;
  await Promise.all(learners.map(async (learner) => {
    await sleep(Math.random() * gap());
    while (!done()) {
      const next = Date.now() + gap();
      const term = learner.term || 0;
      const started = process.hrtime.bigint();
      const r = await learner.act('/api/move', { term, frame: Answer[term] });
      times.push(since(started));
      if (r.status !== 200) errors += 1;
      learner.term = (term + 1) % Answer.length;
      if (learner.term === 0 && (await learner.act('/api/press', { button: 'retry' })).status !== 200) {
        errors += 1;
      }
      await sleep(Math.max(0, next - Date.now()));
    }
  }));
  return { times, errors };
}

