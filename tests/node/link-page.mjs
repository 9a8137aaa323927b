// Drives the remote page in headless Chromium against a running `vyn-tool link`.
// Usage: node link-page.mjs PORT CODE OUT.png MODE [PAIR_LINK]
//   MODE "webgl": the normal page; "2d": WebGL disabled, the page must fall back to 2D drawing;
//   "link": the page is opened with ?pair=PAIR_LINK (the text of the QR code) and must pair by itself.
// A second surface (the npm ws client) watches the engine's state while the page sends commands.
// Prints one JSON report.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import zlib from 'node:zlib';
import { chromium } from 'playwright-core';
import WebSocket from 'ws';

const [port, code, shot, mode, pairLink] = process.argv.slice(2);
const base = `http://127.0.0.1:${port}/`;
const report = { mode };
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
setTimeout(() => { report.error = 'page scenario timed out'; finish(1); }, 90000).unref();

let context = null;
let profile = null;
async function finish(code) {
  process.stdout.write(JSON.stringify(report) + '\n');
  try { if (context) await context.close(); } catch (e) { /* closing anyway */ }
  if (profile) fs.rmSync(profile, { recursive: true, force: true });
  process.exit(code);
}

// The engine's state as a paired surface sees it.
let latest = null;
function watch() {
  return new Promise((resolve, reject) => {
    const ws = new WebSocket(`ws://127.0.0.1:${port}/ws`);
    ws.on('open', () => ws.send(JSON.stringify({ t: 'hello', pair: code })));
    ws.on('message', (d, bin) => {
      if (bin) return;
      const m = JSON.parse(d.toString());
      if (m.t === 'paired') resolve(ws);
      if (m.t === 'denied') reject(new Error('observer denied'));
      if (m.t === 'state') latest = m;
    });
    ws.on('error', reject);
  });
}
async function until(what, test, ms = 8000) {
  const end = Date.now() + ms;
  while (Date.now() < end) {
    if (latest && test(latest)) return true;
    await sleep(30);
  }
  throw new Error(`the engine never showed: ${what}`);
}
const deck = (s, i) => s.decks.find((d) => d.i === i);

// Bright pixels in an RGBA screenshot of an element (the page background is near black).
function litPixels(png) {
  let pos = 8, width = 0, height = 0, type = 0;
  const idat = [];
  while (pos < png.length) {
    const len = png.readUInt32BE(pos), kind = png.toString('latin1', pos + 4, pos + 8);
    const body = png.subarray(pos + 8, pos + 8 + len);
    if (kind === 'IHDR') { width = body.readUInt32BE(0); height = body.readUInt32BE(4); type = body[9]; }
    if (kind === 'IDAT') idat.push(body);
    pos += 12 + len;
  }
  const bpp = type === 6 ? 4 : 3;
  const raw = zlib.inflateSync(Buffer.concat(idat));
  const stride = width * bpp;
  const out = Buffer.alloc(height * stride);
  for (let y = 0; y < height; ++y) {
    const f = raw[y * (stride + 1)];
    for (let x = 0; x < stride; ++x) {
      const v = raw[y * (stride + 1) + 1 + x];
      const a = x >= bpp ? out[y * stride + x - bpp] : 0;
      const b = y > 0 ? out[(y - 1) * stride + x] : 0;
      const c = x >= bpp && y > 0 ? out[(y - 1) * stride + x - bpp] : 0;
      let p = v;
      if (f === 1) p = v + a;
      else if (f === 2) p = v + b;
      else if (f === 3) p = v + ((a + b) >> 1);
      else if (f === 4) {
        const q = a + b - c, pa = Math.abs(q - a), pb = Math.abs(q - b), pc = Math.abs(q - c);
        p = v + (pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
      }
      out[y * stride + x] = p & 255;
    }
  }
  let lit = 0;
  for (let i = 0; i < out.length; i += bpp) if (out[i] + out[i + 1] + out[i + 2] > 150) lit++;
  return { lit, total: width * height };
}

async function main() {
  const observer = await watch();
  profile = fs.mkdtempSync(path.join(os.tmpdir(), 'vyn-page-'));
  const args = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync'];
  if (mode === '2d') args.push('--disable-webgl', '--disable-3d-apis');
  context = await chromium.launchPersistentContext(profile, {
    executablePath: '/usr/bin/chromium', headless: true, args, viewport: { width: 900, height: 1100 },
  });
  const page = await context.newPage();
  let sockets = 0;
  page.on('websocket', () => sockets++);
  const errors = [];
  page.on('pageerror', (e) => errors.push(e.message));

  if (mode === 'link') {
    await page.goto(base + '?pair=' + encodeURIComponent(pairLink));
  } else {
    await page.goto(base);
    // No code yet: the gate waits, and no hello goes out.
    await page.waitForSelector('#gate:not(.hidden)');
    report.statusBeforeCode = await page.textContent('#status');
    const wrong = code === '0000' ? '1111' : '0000';
    await page.fill('#code', wrong);
    await page.click('#join');
    await page.waitForFunction(() => document.getElementById('err').textContent !== '');
    report.gateError = await page.textContent('#err');
    // The host closes a denied connection; the page keeps connecting without a code to send.
    for (let i = 0; i < 100 && sockets < 2; ++i) await sleep(50);
    await page.waitForFunction(() => document.getElementById('status').textContent === 'pairing');
    report.reconnectedWithoutCode = sockets >= 2;
    report.gateErrorAfterReconnect = await page.textContent('#err');
    await page.fill('#code', code);
    await page.press('#code', 'Enter');
  }
  await page.waitForSelector('#gate.hidden', { state: 'attached', timeout: 15000 });
  await page.waitForFunction(() => document.getElementById('status').textContent === 'linked');
  report.status = await page.textContent('#status');
  report.dotLit = await page.$eval('#dot', (e) => e.classList.contains('lit'));

  await page.waitForFunction(() => document.querySelectorAll('.card').length >= 2);
  report.titles = await page.$$eval('.card .title', (els) => els.map((e) => e.textContent));
  report.renderer = await page.$eval('.card[data-deck="0"] .detail canvas', (c) => c.dataset.renderer);

  // Wait until the waveforms are drawn, then look at the pixels.
  const detail = page.locator('.card[data-deck="0"] .detail canvas');
  const overview = page.locator('.card[data-deck="0"] .overview canvas');
  let d = { lit: 0 }, o = { lit: 0 };
  for (let i = 0; i < 50 && (d.lit < 500 || o.lit < 200); ++i) {
    await sleep(100);
    d = litPixels(await detail.screenshot());
    o = litPixels(await overview.screenshot());
  }
  report.detailLit = d.lit;
  report.overviewLit = o.lit;
  report.playingMarked = await page.$eval('.card[data-deck="0"] .num', (e) => e.classList.contains('playing'));
  await page.screenshot({ path: shot, fullPage: true });

  if (mode === 'webgl') {
    const card = '.card[data-deck="0"] ';
    const commands = {};
    await page.click(card + 'button:text-is("Sync")');
    await until('sync on deck 1', (s) => deck(s, 0).f & 8);
    commands.sync = true;
    await page.click(card + 'button.play');
    await until('deck 1 paused', (s) => deck(s, 0).state === 3);
    commands.pause = true;
    // Cue away from the cue point while paused sets the cue point there.
    await page.click(card + 'button.cue');
    await until('a cue point on deck 1', (s) => deck(s, 0).mc > 0);
    commands.cue = true;
    await page.click(card + 'button.play');
    await until('deck 1 playing again', (s) => deck(s, 0).state === 2);
    commands.play = true;
    await page.click(card + 'button:text-is("IN")');
    await until('loop in on deck 1', (s) => deck(s, 0).li >= 0);
    await sleep(400);
    await page.click(card + 'button:text-is("OUT")');
    await until('a loop on deck 1', (s) => deck(s, 0).lo > deck(s, 0).li);
    commands.loop = true;
    await page.click(card + 'button:text-is("REV")');
    await until('deck 1 reversed', (s) => deck(s, 0).f & 2048);
    commands.reverse = true;
    await page.click(card + 'button:text-is("KEY+")');
    await until('deck 1 a semitone up', (s) => deck(s, 0).ks === 1);
    commands.keyUp = true;
    report.commands = commands;
    // The page shows what the engine reports.
    await page.waitForFunction(() => document.querySelector('.card[data-deck="0"] .shift').textContent !== '',
      null, { timeout: 5000 }).catch(() => {});
    report.keyShift = await page.textContent(card + '.shift');
  }
  if (mode === '2d') {
    // A two-finger pinch (as two pointers) spreading from 100 to 200 pixels halves the seconds shown.
    const box = await page.locator('.card[data-deck="0"] .detail').boundingBox();
    await page.evaluate(({ x, y }) => {
      const area = document.querySelector('.card[data-deck="0"] .detail');
      const send = (type, id, px) => area.dispatchEvent(new PointerEvent(type,
        { pointerId: id, clientX: px, clientY: y, bubbles: true, isPrimary: id === 1 }));
      send('pointerdown', 1, x - 50);
      send('pointerdown', 2, x + 50);
      send('pointermove', 2, x + 150);
      send('pointerup', 2, x + 150);
      send('pointerup', 1, x - 50);
    }, { x: box.x + box.width / 2, y: box.y + box.height / 2 });
    report.zoomAfterPinch = await page.textContent('.card[data-deck="0"] .zoom');
    // One view: on, kept across a reload, which pairs again with the code kept for the session.
    await page.click('#one');
    report.oneView = await page.evaluate(() => document.body.classList.contains('one') &&
      localStorage.getItem('vyn.oneview') === '1');
    await page.reload();
    await page.waitForFunction(() => document.getElementById('status').textContent === 'linked');
    await page.waitForFunction(() => document.querySelector('.card.chosen') !== null);
    report.oneViewAfterReload = await page.evaluate(() => document.body.classList.contains('one'));
    await sleep(500);
    await page.screenshot({ path: shot.replace(/\.png$/, '-oneview.png') });
  }
  report.errors = errors;
  observer.close();
}

main().then(() => finish(0), (e) => { report.error = e.message; finish(1); });
