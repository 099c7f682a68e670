// The phone client at /app beside the classic frameset. ann, on a phone
// (390 x 844, touch), registers and enters the lobby in the client; tom, on
// a desktop, is in the lobby through the classic pages. They chat both
// ways (a private line with an action and a colour too); markup tom types
// stays text on ann's phone. Then ann's event stream is cut (the small
// proxy she reaches the server through stops) while tom says lines; once
// the proxy is back, her stream resumes after the last line it saw and
// every line is there exactly once, in order; the same when the proxy
// answers the stream's reconnect 502 and the client opens a new stream. A
// reload replays the room's history, again with no line twice. Sizes,
// labels and contrast are checked on the phone; a desktop looks at the
// client too.
//
// Needs the event stream (/events): a server without it is a skip (exit 77).
//
//   node app_phone.mjs BINARY SITE_DIR [SCREENSHOT_DIR]
import { mkdirSync, rmSync } from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import {
  classicUserInLobby, freePort, launchChromium, shoot, sleep, startServer, stopChild,
} from './browser_support.mjs';

const [binary, siteDir, shotDir = path.join(os.tmpdir(), 'tolvan-shots')] = process.argv.slice(2);
mkdirSync(shotDir, { recursive: true });
const kSkipped = 77;

const serverIni = '[general]\nhistory_lines = 50\nline_burst = 0\nlines_per_minute = 0\nmax_sessions_per_account = 0\n' +
  '[user_database]\nhash_memory_kib = 8\nhash_passes = 1\nregistrations_per_minute = 0\nmax_pending_per_address = 0\n';
const desktop = { viewport: { width: 1100, height: 720 } };
const phone = {
  viewport: { width: 390, height: 844 }, screen: { width: 390, height: 844 }, isMobile: true, hasTouch: true,
  deviceScaleFactor: 3,
};

// A TCP proxy on a port of its own that can be stopped (every connection
// through it cut, the port closed) and started again on the same port;
// started with badGateway, it answers the next event stream 502 itself, as
// a load balancer does while the server behind it is away.
function cuttableProxy(port, targetPort) {
  const sockets = new Set();
  let server = null;
  let badGateway = false;
  const proxy = { gatewayErrors: 0 };
  const track = (socket) => {
    sockets.add(socket);
    socket.on('close', () => sockets.delete(socket));
  };
  const pass = (client, firstChunk) => {
    const upstream = net.connect(targetPort, '127.0.0.1');
    track(upstream);
    upstream.write(firstChunk);
    client.pipe(upstream);
    upstream.pipe(client);
    const cut = () => { client.destroy(); upstream.destroy(); };
    client.on('error', cut);
    upstream.on('error', cut);
    client.on('close', cut);
    upstream.on('close', cut);
  };
  return Object.assign(proxy, {
    start: (options = {}) => new Promise((resolve, reject) => {
      badGateway = Boolean(options.badGateway);
      server = net.createServer((client) => {
        track(client);
        client.once('data', (firstChunk) => {
          if (badGateway && firstChunk.toString('latin1').startsWith('GET /events')) {
            badGateway = false;
            proxy.gatewayErrors++;
            client.end('HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\nConnection: close\r\n\r\n');
            return;
          }
          pass(client, firstChunk);
        });
        client.on('error', () => client.destroy());
      });
      server.once('error', reject);
      server.listen(port, '127.0.0.1', resolve);
    }),
    stop: () => new Promise((resolve) => {
      server.close(resolve);
      for (const socket of sockets) socket.destroy();
    }),
  });
}

async function postJson(base, call, body) {
  const answer = await fetch(`${base}/api/${call}`, { method: 'POST', body: JSON.stringify(body) });
  return { status: answer.status, data: answer.status === 204 ? null : await answer.json() };
}

// Whether the server has the event stream: a session's /events answers
// text/event-stream.
async function eventStreamAnswer(base) {
  await postJson(base, 'register', { name: 'probe', password: 'pw' });
  const { data } = await postJson(base, 'logon', { name: 'probe', password: 'pw' });
  const abort = new AbortController();
  const answer = await fetch(`${base}/events?session=${encodeURIComponent(data.session)}`, { signal: abort.signal });
  const type = answer.headers.get('content-type') || '';
  abort.abort();
  await postJson(base, 'logout', { session: data.session });
  return { status: answer.status, type };
}

// ann on the phone client: registers in the client and taps the lobby.
async function appUser(browser, base, name) {
  const context = await browser.newContext(phone);
  const page = await context.newPage();
  page.on('pageerror', (error) => console.error(`${name}'s page: ${error.message}`));
  await page.goto(`${base}/app`);
  await page.waitForSelector('#logon-form:visible');
  await page.screenshot({ path: path.join(shotDir, 'app-phone-1-logon.png') });
  await page.tap('#show-register');
  await page.fill('#register-name', name);
  await page.fill('#register-password', 'pw');
  await page.fill('#register-password2', 'pw');
  await page.tap('#register-form button[type=submit]');
  await page.waitForSelector('#room-categories button:has-text("大厅")');
  await page.screenshot({ path: path.join(shotDir, 'app-phone-2-rooms.png'), fullPage: true });
  await page.tap('#room-categories button:has-text("大厅")');
  await page.waitForSelector('#chat-view:visible');
  await page.waitForSelector('#lines li.divider');
  return {
    page,
    say: async (text) => {
      await page.fill('#say-text', text);
      await page.tap('#say-form button[type=submit]');
    },
  };
}

// The phone's lines: kind, offset, sender and text of each.
function linesOf(page) {
  return page.$$eval('#lines li', (items) => items.map((item) => ({
    kind: item.className,
    offset: item.dataset.offset,
    from: item.querySelector('.who')?.textContent || '',
    text: item.querySelector('.text')?.textContent || item.textContent,
  })));
}

// tom's chat lines on the phone, in the order shown; each offset once.
async function tomsLines(page) {
  const lines = await linesOf(page);
  const offsets = lines.filter((line) => line.offset !== undefined).map((line) => Number(line.offset));
  for (let i = 1; i < offsets.length; i++) {
    if (!(offsets[i] > offsets[i - 1])) throw new Error(`offsets out of order or twice: ${offsets.join(',')}`);
  }
  return lines.filter((line) => line.kind === 'chat' && line.from === 'tom').map((line) => line.text);
}

async function waitForLine(page, text) {
  await page.waitForFunction((wanted) => [...document.querySelectorAll('#lines li .text')]
    .some((element) => element.textContent === wanted), text, { timeout: 10000 });
}

function sameList(shown, expected, when) {
  if (JSON.stringify(shown) !== JSON.stringify(expected)) {
    throw new Error(`${when}: the phone shows\n  ${JSON.stringify(shown)}\nexpected\n  ${JSON.stringify(expected)}`);
  }
}

// On the phone: lang, a label for every field, text of 14 px or more,
// touch targets of 32 px or more inside the screen, and chat text at 4.5:1
// or more against its background.
async function checkPhoneReadable(page) {
  const problems = await page.evaluate(() => {
    const found = [];
    if (document.documentElement.lang !== 'zh-CN') found.push(`lang ${document.documentElement.lang}`);
    const visible = (element) => element.getClientRects().length > 0 && getComputedStyle(element).visibility !== 'hidden';
    for (const field of document.querySelectorAll('input, select')) {
      if (field.labels.length === 0 && !field.getAttribute('aria-label')) found.push(`${field.id || field.name} has no label`);
    }
    const targets = [...document.querySelectorAll('button, input:not([type=checkbox]), select, summary, a, label.check')];
    for (const target of targets.filter(visible)) {
      const box = target.getBoundingClientRect();
      const name = target.id || target.textContent.trim().slice(0, 12);
      if (box.height < 32 || box.width < 32) found.push(`${name}: ${Math.round(box.width)}x${Math.round(box.height)}`);
      if (box.left < 0 || box.right > innerWidth + 0.5) found.push(`${name} outside the screen`);
      if (parseFloat(getComputedStyle(target).fontSize) < 14) found.push(`${name} at ${getComputedStyle(target).fontSize}`);
    }
    const luminance = (colour) => {
      const [r, g, b] = colour.match(/\d+(\.\d+)?/g).slice(0, 3).map(Number).map((c) => {
        const s = c / 255;
        return s <= 0.03928 ? s / 12.92 : ((s + 0.055) / 1.055) ** 2.4;
      });
      return 0.2126 * r + 0.7152 * g + 0.0722 * b;
    };
    const background = luminance(getComputedStyle(document.getElementById('lines')).backgroundColor);
    for (const text of document.querySelectorAll('#lines li, #lines .text, #lines .who, #lines .time, .bar button')) {
      const style = getComputedStyle(text);
      if (parseFloat(style.fontSize) < 14) found.push(`"${text.textContent.slice(0, 12)}" at ${style.fontSize}`);
      const ground = text.closest('.bar') ? luminance(getComputedStyle(text.closest('.bar')).backgroundColor) : background;
      const [light, dark] = [Math.max(luminance(style.color), ground), Math.min(luminance(style.color), ground)];
      const ratio = (light + 0.05) / (dark + 0.05);
      if (ratio < 4.5) found.push(`"${text.textContent.slice(0, 12)}" contrast ${ratio.toFixed(2)}`);
    }
    const input = document.getElementById('say-text').getBoundingClientRect();
    if (input.bottom > innerHeight) found.push('the line input is below the screen');
    return found;
  });
  if (problems.length) throw new Error(`phone: ${problems.join('; ')}`);
}

const server = await startServer(binary, siteDir, serverIni);
const base = `http://127.0.0.1:${server.httpPort}`;
const proxyPort = await freePort();
const proxy = cuttableProxy(proxyPort, server.httpPort);
await proxy.start();
const phoneBase = `http://127.0.0.1:${proxyPort}`;
let browser = null;
let status = 'failed';
try {
  const events = await eventStreamAnswer(base);
  if (!events.type.startsWith('text/event-stream')) {
    console.log(`SKIPPED: the server has no event stream yet (GET /events answered ${events.status} ` +
                `"${events.type}"); the phone client's test needs it`);
    status = 'skipped';
  } else {
    browser = await launchChromium();
    const tom = await classicUserInLobby(browser, base, 'tom', desktop);
    const ann = await appUser(browser, phoneBase, 'ann');
    const said = [];
    const tomSays = async (text) => {
      said.push(text);
      await tom.say(text);
    };

    // Both ways, and markup from tom stays text on the phone.
    await tomSays('你好，手机上的朋友');
    await waitForLine(ann.page, '你好，手机上的朋友');
    await ann.say('桌面上好！');
    await tom.messages.waitForSelector('text=桌面上好！', { timeout: 5000 });
    // The chat turns < > & into ( ) - before anyone sees a line; whatever
    // reaches the phone is text, never an element.
    await tom.say('<img src=x onerror="window.pwned=1"><b>粗体</b> & 你');
    said.push('(img src=x onerror="window.pwned=1")(b)粗体(/b) - 你');
    await waitForLine(ann.page, said.at(-1));
    if (await ann.page.evaluate(() => document.querySelector('#lines img, #lines b') !== null || window.pwned === 1)) {
      throw new Error('markup from a line became markup on the phone');
    }

    // A private line with an action and a colour from the phone.
    await ann.page.waitForSelector('#say-to option[value="tom"]', { state: 'attached' });
    await ann.page.selectOption('#say-to', 'tom');
    await ann.page.tap('label.check');
    await ann.page.tap('#more-toggle');
    await ann.page.fill('#say-action', '笑着');
    await ann.page.selectOption('#say-colour', 'fe9420');
    await ann.say('只对你说');
    await tom.messages.waitForSelector('text=只对你说', { timeout: 5000 });
    const tomSees = await tom.messages.content();
    if (!tomSees.includes('【密谈】') || !tomSees.includes('笑着')) throw new Error('tom does not see a private line with its action');
    await ann.page.waitForSelector('#lines li.private');
    await ann.page.tap('label.check');
    await ann.page.tap('#more-toggle');
    await ann.page.selectOption('#say-to', '');
    // A chat command typed as in the classic form answers in the lines.
    const before = (await linesOf(ann.page)).length;
    await ann.say('/help');
    await ann.page.waitForFunction((count) => document.querySelectorAll('#lines li').length > count, before, { timeout: 5000 });

    await tom.messages.waitForSelector('text=只对你说');
    await checkPhoneReadable(ann.page);
    await ann.page.screenshot({ path: path.join(shotDir, 'app-phone-3-chat.png') });
    await shoot(tom.chat, path.join(shotDir, 'app-desktop-classic-chat.png'));
    sameList(await tomsLines(ann.page), said, 'before the cut');

    // The cut: ann's stream goes while tom talks on.
    await proxy.stop();
    await ann.page.waitForSelector('#connection-status:visible', { timeout: 10000 });
    const banner = await ann.page.textContent('#connection-status');
    if (!banner.includes('正在重新连接')) throw new Error(`the phone says "${banner}" while it reconnects`);
    await ann.page.screenshot({ path: path.join(shotDir, 'app-phone-4-reconnecting.png') });
    for (let i = 1; i <= 5; i++) await tomSays(`断线时的第${i}句`);
    await tom.messages.waitForSelector('text=断线时的第5句', { timeout: 5000 });
    await sleep(500);
    await proxy.start();
    await ann.page.waitForSelector('#connection-status', { state: 'hidden', timeout: 15000 });
    await tomSays('恢复以后的一句');
    await waitForLine(ann.page, '恢复以后的一句');
    sameList(await tomsLines(ann.page), said, 'after the stream resumed');
    await ann.page.screenshot({ path: path.join(shotDir, 'app-phone-5-resumed.png') });

    // Cut again, and the stream's next request is answered 502: the browser
    // gives the stream up, and the client opens a new one after the last
    // line it saw.
    await proxy.stop();
    await ann.page.waitForSelector('#connection-status:visible', { timeout: 10000 });
    for (let i = 1; i <= 3; i++) await tomSays(`网关出错时的第${i}句`);
    await tom.messages.waitForSelector('text=网关出错时的第3句', { timeout: 5000 });
    await proxy.start({ badGateway: true });
    await ann.page.waitForSelector('#connection-status', { state: 'hidden', timeout: 20000 });
    if (proxy.gatewayErrors !== 1) throw new Error(`the proxy answered ${proxy.gatewayErrors} streams 502`);
    await tomSays('新连接后的一句');
    await waitForLine(ann.page, '新连接后的一句');
    sameList(await tomsLines(ann.page), said, 'after a new stream');

    // A reload opens a new stream: the history brings the room back, once.
    await ann.page.reload();
    await waitForLine(ann.page, '恢复以后的一句');
    sameList(await tomsLines(ann.page), said, 'after a reload');

    // The client on a desktop.
    const wide = await (await browser.newContext(desktop)).newPage();
    await wide.goto(`${base}/app/`);
    await wide.fill('#logon-name', 'tom');
    await wide.fill('#logon-password', 'pw');
    await wide.click('#logon-form button[type=submit]');
    await wide.click('#room-categories button:has-text("大厅")');
    await waitForLine(wide, '恢复以后的一句');
    await wide.waitForSelector('#online-list button:has-text("ann")');
    await wide.screenshot({ path: path.join(shotDir, 'app-desktop-chat.png') });
    status = 'passed';
    console.log(`ok: ann on the phone client and tom on the classic frameset chat both ways; ann's stream was cut ` +
                `while tom said 5 lines and every line came once, in order; screenshots in ${shotDir}`);
  }
} catch (error) {
  console.error(`FAILED: ${error.stack || error.message}`);
  console.error(`---- server console ----\n${server.console}`);
} finally {
  if (browser) await browser.close();
  await proxy.stop().catch(() => {});
  await stopChild(server.child, 'SIGINT');
  rmSync(server.work, { recursive: true, force: true });
}
console.log(status === 'passed' ? '1 passed, 0 failed' : status === 'skipped' ? '0 passed, 1 skipped' : '0 passed, 1 failed');
process.exit(status === 'passed' ? 0 : status === 'skipped' ? kSkipped : 1);
