// A real WebSocket peer for the Link server tests. Usage: node link-client.mjs SCENARIO PORT [ARGS]
// Prints one JSON object with what it saw and exits 0; exits 1 after printing {"error": ...}.
import net from 'node:net';
import WebSocket from 'ws';

const [scenario, portText, ...args] = process.argv.slice(2);
const port = Number(portText);
const url = `ws://127.0.0.1:${port}/ws`;
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

function done(result) {
  process.stdout.write(JSON.stringify(result) + '\n');
  process.exit(0);
}
function fail(text) {
  process.stdout.write(JSON.stringify({ error: text }) + '\n');
  process.exit(1);
}
setTimeout(() => fail('scenario timed out'), 25000).unref();

// Opens a socket and resolves once it is open (or rejects with what happened instead).
function open(options = {}) {
  return new Promise((resolve, reject) => {
    const ws = new WebSocket(url, options);
    ws.binaryType = 'nodebuffer';
    ws.once('open', () => resolve(ws));
    ws.once('unexpected-response', (req, res) => reject(new Error(`status ${res.statusCode}`)));
    ws.once('error', (e) => reject(e));
  });
}
// The next text message, parsed.
function nextText(ws, ms = 5000) {
  return new Promise((resolve, reject) => {
    const t = setTimeout(() => reject(new Error('no text message')), ms);
    const on = (data, isBinary) => {
      if (isBinary) return;
      clearTimeout(t);
      ws.off('message', on);
      resolve(JSON.parse(data.toString()));
    };
    ws.on('message', on);
  });
}
function closed(ws) {
  return new Promise((resolve) => {
    if (ws.readyState === WebSocket.CLOSED) resolve({ code: 1006 });
    ws.once('close', (code) => resolve({ code }));
  });
}
async function pair(code) {
  const ws = await open();
  ws.send(JSON.stringify({ t: 'hello', pair: code }));
  const reply = await nextText(ws);
  if (reply.t !== 'paired') throw new Error(`pairing answered ${JSON.stringify(reply)}`);
  return ws;
}

const scenarios = {
  // The handshake in three TCP segments; nothing may come back before the blank line.
  async 'handshake-split'() {
    const s = net.connect(port, '127.0.0.1');
    s.setNoDelay(true);
    let got = '';
    s.on('data', (d) => { got += d.toString('latin1'); });
    await new Promise((r) => s.once('connect', r));
    s.write(`GET /ws HTTP/1.1\r\nHost: 127.0.0.1:${port}\r\nUpg`);
    await sleep(120);
    s.write('rade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n');
    await sleep(120);
    const before = got;
    s.write('Sec-WebSocket-Version: 13\r\n\r\n');
    for (let i = 0; i < 50 && !got.includes('\r\n\r\n'); ++i) await sleep(20);
    s.destroy();
    return { before, response: got };
  },

  // Eight surfaces connected: the ninth is closed before it opens.
  async ninth(code) {
    const sockets = [];
    for (let i = 0; i < 8; ++i) sockets.push(await pair(code));
    let ninth;
    try {
      const ws = await open();
      ninth = 'opened';
      ws.close();
    } catch (e) {
      ninth = 'refused';
    }
    // The eight are still served.
    const states = await Promise.all(sockets.map((ws) => nextText(ws, 3000).then((m) => m.t)));
    sockets.forEach((ws) => ws.close());
    return { ninth, states };
  },

  // A wrong code, then the right one from the same address: denied and closed, then paired only
  // after the wait. Also: commands before pairing are ignored, after it they count.
  async pairing(code, wrong) {
    const first = await open();
    first.send(JSON.stringify({ t: 'cmd', c: 4, d: 1 })); // unpaired: ignored
    first.send(JSON.stringify({ t: 'hello', pair: wrong }));
    const denied = await nextText(first);
    const deniedAt = Date.now(); // the back-off runs from the wrong code, not from the next hello
    const firstClose = await closed(first);
    const second = await open();
    second.send(JSON.stringify({ t: 'hello', pair: code }));
    const paired = await nextText(second, 10000);
    const waitedMs = Date.now() - deniedAt;
    second.send(JSON.stringify({ t: 'cmd', c: 3, d: 0 }));
    second.send(JSON.stringify({ t: 'cmd', c: 1, d: 0 }));          // LOAD_TRACK: never from a surface
    second.send(JSON.stringify({ t: 'cmd', c: 19, d: 2, v: 5 }));
    second.send(JSON.stringify({ t: 'hello', pair: code }));
    const again = await nextText(second);
    second.close();
    return { denied: denied.t, firstClose: firstClose.code, paired: paired.t, waitedMs, again: again.t };
  },

  // An upgrade from a page of another site is refused; one naming this host is let through.
  async origin() {
    const result = {};
    for (const [name, origin] of [['foreign', 'http://evil.example'], ['own', `http://127.0.0.1:${port}`]]) {
      try {
        const ws = await open({ origin });
        result[name] = 'opened';
        ws.close();
      } catch (e) {
        result[name] = e.message;
      }
    }
    return result;
  },

  // Stops reading for a while, then reads again. Reports every message that arrived (a corrupt
  // stream would make the client fail the connection) and keeps a second, healthy surface going.
  async stall(code, stallMs) {
    const slow = await pair(code);
    const healthy = await pair(code);
    const seen = { slow: [], healthyDuringStall: 0, waves: [] };
    let stalled = false;
    let slowError = null;
    slow.on('error', (e) => { slowError = e.message; });
    slow.on('message', (d, isBinary) => {
      if (isBinary) {
        seen.waves.push({ deck: d.readInt32LE(0), track: d.readInt32LE(4), n: d.readInt32LE(8),
          kind: d.readInt32LE(12), bytes: d.length, intact: d.length === 20 + 4 * d.readInt32LE(8) });
      } else {
        seen.slow.push(JSON.parse(d.toString()).n);
      }
    });
    healthy.on('message', (d, isBinary) => { if (!isBinary && stalled) seen.healthyDuringStall++; });
    await nextText(slow);
    slow._socket.pause();
    stalled = true;
    await sleep(Number(stallMs));
    stalled = false;
    const before = seen.slow.length;
    slow._socket.resume();
    await sleep(1500);
    const afterStall = seen.slow.slice(before);
    slow.close();
    healthy.close();
    return { slowError, healthyDuringStall: seen.healthyDuringStall, afterStall, waves: seen.waves,
      closedEarly: slow.readyState !== WebSocket.CLOSING && slow.readyState !== WebSocket.CLOSED };
  },

  // Stays paired and idle; the server's pings are answered by the client, so it must stay open.
  async idle(code, ms) {
    const ws = await pair(code);
    let pings = 0;
    ws.on('ping', () => pings++);
    const end = closed(ws);
    const outcome = await Promise.race([end.then((c) => 'closed:' + c.code), sleep(Number(ms)).then(() => 'open')]);
    ws.close();
    return { outcome, pings };
  },
};

// Asks the host to load catalogue track `id` onto deck `deck` and waits for the state to show it.
scenarios.load = async (code, id, deck) => {
  const ws = await pair(code);
  let seen = null;
  ws.on('message', (d, isBinary) => {
    if (isBinary) return;
    const m = JSON.parse(d.toString());
    if (m.t !== 'state') return;
    const s = m.decks.find((x) => x.i === Number(deck));
    if (s && s.track === Number(id) && s.state !== 0) seen = s;
  });
  ws.send(JSON.stringify({ t: 'load', id: Number(id), d: Number(deck) }));
  for (let i = 0; i < 300 && !seen; ++i) await sleep(30);
  ws.close();
  if (!seen) throw new Error('the state never showed the loaded track');
  return { name: seen.name, track: seen.track, state: seen.state, wv: seen.wv, f: seen.f, cues: seen.cues,
    bpm: seen.bpm };
};

const run = scenarios[scenario];
if (!run) fail(`unknown scenario ${scenario}`);
run(...args).then(done, (e) => fail(e.message));
