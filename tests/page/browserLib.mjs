// Headless Chromium for the page's tests, and what a learner does in it.
import puppeteer from 'puppeteer-core';
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

// Problem 1 of the first sample series: the frame of each term.
export const Answer = [0, 0, 0, 0, 1, 1, 1, 2, 2, 2];
export const Solved = '正解です。次の問題へ進みますか？';
export const Saving = '保存できません。もう一度送っています…';

export async function launch() {
  const profile = mkdtempSync(join(tmpdir(), 'velmorant-chromium-'));
  const browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    userDataDir: profile,
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
           '--disable-sync', '--no-first-run', '--autoplay-policy=no-user-gesture-required'],
  });
  const close = async () => {
    await browser.close();
    rmSync(profile, { recursive: true, force: true });
  };
  return { browser, close };
}

export const aria = (name, role) => `::-p-aria([name="${name}"]${role ? `[role="${role}"]` : ''})`;

// Every action the page made has been answered.
export async function settled(page, timeout = 30000) {
  await page.waitForFunction(() => !document.getElementById('board').dataset.pending, { timeout });
}

export async function signIn(page, url, code) {
  await page.goto(url);
  await page.locator(aria('コード', 'textbox')).fill(code);
  await page.locator(aria('はじめる', 'button')).click();
  await page.waitForSelector(aria('マークの付いた問題', 'button'));
}

export async function openSeries(page, title) {
  await page.locator(aria(title, 'button')).click();
  await page.waitForSelector('.term');
  await settled(page);
}

export async function terms(page) {
  return page.$$eval('.term', (all) => all.map((t) => ({ text: t.textContent, frame: t.getAttribute('aria-description') })));
}

export async function frameBox(page, index) {
  const frame = await page.$(`[role="group"][data-frame="${index}"]`);
  return frame.boundingBox();
}

export async function resultAlert(page) {
  const alert = await page.waitForSelector('[role="alert"].message');
  return alert.evaluate((a) => a.textContent);
}

export async function press(page, name) {
  await page.locator(aria(name, 'button')).click();
  await settled(page);
}

// The state the server holds for the page's learner, read with its cookie.
export async function serverState(page) {
  return page.evaluate(async () => (await fetch('/api/state')).json());
}

// The page's network: setNetwork(ms, offline) makes each request take `ms`
// longer (0: as fast as it can), or fail as with the network gone.
export async function network(page) {
  const cdp = await page.createCDPSession();
  await cdp.send('Network.enable');
  return (latency, offline = false) => cdp.send('Network.emulateNetworkConditions',
    { offline, latency, downloadThroughput: -1, uploadThroughput: -1 });
}

// The teacher signed in on the teacher's page, its 問題集 section shown.
export async function teacherSignIn(page, url, password, name = '管理者') {
  await page.goto(new URL('/teacher#section=series', url).href);
  await page.locator(aria('名前', 'textbox')).fill(name);
  await page.locator(aria('パスワード', 'textbox')).fill(password);
  await page.locator(aria('はじめる', 'button')).click();
  await page.waitForSelector('#teacher:not([hidden])');
}

// A new series made in the teacher page's 問題集 section, as listed there.
export async function newSeries(page, title, file) {
  const form = await page.$('form[aria-label="新しい問題集"]');
  await (await form.$(aria('題名', 'textbox'))).type(title);
  await (await form.$(aria('ファイル名', 'textbox'))).type(file);
  await (await form.$(aria('作る', 'button'))).click();
  return page.waitForSelector(`article[aria-label="${title}"]`);
}

// A series listed in 問題集 opened in the editor.
export async function openInEditor(page, listed) {
  await (await listed.$('a ::-p-text(編集)')).click();
  await page.waitForSelector(aria('見出し', 'textbox'));
}

// Problem `i` typed into the editor's form: its question, its terms and
// groups one a line, and term t put in group groupOf(t) (from 0).
export async function typeProblem(page, i, question, terms, groups, groupOf) {
  await page.locator(`#p${i}-question`).fill(question);
  await page.click(`#p${i}-terms`);
  await page.keyboard.type(terms.join('\n'));
  await page.click(`#p${i}-groups`);
  await page.keyboard.type(groups.join('\n'));
  for (let t = 0; t < terms.length; ++t) {
    await page.select(`#p${i}-answers select[data-term="${t}"]`, String(groupOf(t) + 1));
  }
}

// The editor's preview board: the learner's page in its frame, once shown.
export async function previewFrame(page) {
  await page.waitForFunction(() => document.querySelector('#board')?.getAttribute('src'));
  for (let tries = 0; tries < 100; ++tries) {
    const frame = page.frames().find((f) => f.url().endsWith('/teacher/preview'));
    if (frame) return frame;
    await new Promise((r) => setTimeout(r, 50));
  }
  throw new Error('the preview is not the learner page in a frame');
}

// Milliseconds from each of `count` keystrokes at the end of the last of
// problem 1's terms (its text `last`) to the board showing it: an x typed,
// then taken away.
export async function keystrokesToBoard(page, frame, last, termCount, count) {
  await page.click('#p0-terms');
  await page.keyboard.down('Control');
  await page.keyboard.press('End');
  await page.keyboard.up('Control');
  const times = [];
  for (let k = 0; k < count; ++k) {
    const expect = k % 2 === 0 ? `${last}x` : last;
    const start = performance.now();
    await page.keyboard.press(k % 2 === 0 ? 'x' : 'Backspace');
    await frame.waitForFunction((want, n) => document.querySelectorAll('.term')[n]?.textContent.trim() === want,
      { polling: 'mutation' }, expect, termCount - 1);
    times.push(performance.now() - start);
  }
  return times;
}
