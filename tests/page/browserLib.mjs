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

// The teacher signed in on the teacher's page.
export async function teacherSignIn(page, url, password) {
  await page.goto(new URL('/teacher', url).href);
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
