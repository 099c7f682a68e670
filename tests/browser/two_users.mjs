// Two users in two headless Chromium pages against the real server: log on
// from the room list, enter a room, and see a line typed by one user appear
// in the other user's message frame. tom manages the lobby: he locks it
// before ann comes, and lets her in through the link he is sent. At the end
// tom changes his password through the form and logs on with the new one.
//
//   node two_users.mjs BINARY SITE_DIR [SCREENSHOT_DIR]
import { chromium } from 'playwright-core';
import { spawn } from 'node:child_process';
import { cpSync, mkdtempSync, readFileSync, writeFileSync, mkdirSync, rmSync } from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';

const [binary, siteDir, shotDir = path.join(os.tmpdir(), 'tolvan-shots')] = process.argv.slice(2);
mkdirSync(shotDir, { recursive: true });

function freePort() {
  return new Promise((resolve) => {
    const server = net.createServer();
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

async function waitForPort(port) {
  for (let i = 0; i < 200; i++) {
    const ok = await new Promise((resolve) => {
      const socket = net.connect(port, '127.0.0.1', () => { socket.end(); resolve(true); });
      socket.on('error', () => resolve(false));
    });
    if (ok) return;
    await new Promise((r) => setTimeout(r, 50));
  }
  throw new Error('server did not listen');
}

const work = mkdtempSync(path.join(os.tmpdir(), 'tolvan-browser-'));
cpSync(siteDir, work, { recursive: true });
const httpPort = await freePort();
const telnetPort = await freePort();
const ini = readFileSync(path.join(work, 'tolvann2.ini'), 'latin1') +
  `\n[network]\nhttp_port = ${httpPort}\ntelnet_port = ${telnetPort}\n`;
writeFileSync(path.join(work, 'tolvann2.ini'), ini, 'latin1');
writeFileSync(path.join(work, 'managerlist.txt'), Buffer.from('tom:\xb4\xf3\xcc\xfc\n', 'latin1'));  // tom:大厅 in GB2312
const server = spawn(binary, ['-debug'], { cwd: work, stdio: ['ignore', 'pipe', 'pipe'] });
let consoleText = '';
server.stdout.on('data', (d) => { consoleText += d; });
const base = `http://127.0.0.1:${httpPort}`;

const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
         '--disable-component-update', '--disable-sync'],
});

// The frame of that name once the page has attached it.
async function frameNamed(page, name) {
  for (let i = 0; i < 100; i++) {
    const frame = page.frame({ name });
    if (frame) return frame;
    await new Promise((r) => setTimeout(r, 50));
  }
  throw new Error(`no frame named ${name}`);
}

async function logOnAndEnter(name) {
  const context = await browser.newContext({ viewport: { width: 1100, height: 720 } });
  const page = await context.newPage();
  await page.goto(`${base}/register.html`);
  await page.fill('input[name=username]', name);
  await page.fill('input[name=password]', 'pw');
  await page.click('input[type=submit]');
  await page.waitForSelector('text=注册成功', { timeout: 5000 }).catch(() => {});
  const registered = await page.content();
  if (!registered.includes('注册成功')) throw new Error(`${name}: registration failed: ${registered.slice(0, 300)}`);
  await page.goto(`${base}/logon`);
  await page.screenshot({ path: path.join(shotDir, `${name}-1-logon-page.png`) });
  await page.fill('input[name=username]', name);
  await page.fill('input[name=password]', 'pw');
  await page.click('input[name=B1]');
  const roomList = await frameNamed(page, 'roomlist');
  await roomList.waitForSelector('text=大厅');
  await page.screenshot({ path: path.join(shotDir, `${name}-2-room-list.png`) });
  if (name === 'tom') {
    const roomListAddress = roomList.url();
    // Create a room from the room list's form.
    await roomList.fill('input[name=rn]', '书房');
    await roomList.selectOption('select[name=tp]', { label: '技术' });
    await roomList.click('input[name=B1][value="创建"]');
    await roomList.waitForSelector('text=创建聊天室成功');
    await page.screenshot({ path: path.join(shotDir, 'tom-2b-room-created.png') });
    await roomList.goto(roomListAddress);
    await roomList.waitForSelector('text=大厅');
  }
  // Entering a room opens the chat in a window of its own.
  const [chat] = await Promise.all([context.waitForEvent('page'), roomList.click('a:has-text("大厅")')]);
  await chat.setViewportSize({ width: 1100, height: 720 });
  await chat.waitForLoadState('domcontentloaded');
  const form = await frameNamed(chat, 'form');
  await form.waitForSelector('input[name=messagetemp]');
  return { context, page, chat, form };
}

// The chat window never finishes loading (its message frame stays open), so
// its pictures are taken through the DevTools protocol directly.
async function shoot(page, file) {
  const cdp = await page.context().newCDPSession(page);
  const { width, height } = page.viewportSize();
  const { data } = await cdp.send('Page.captureScreenshot', {
    format: 'png', fromSurface: true, clip: { x: 0, y: 0, width, height, scale: 1 } });
  writeFileSync(path.join(shotDir, file), Buffer.from(data, 'base64'));
  await cdp.detach();
}

// Types a line into the user's chat form and sends it.
async function say(user, text) {
  await user.form.fill('input[name=messagetemp]', text);
  await user.form.click('input[name=submit1]');
}

// From the front page: the change form, the success page, then a logon
// with the old password (refused) and with the new one.
async function changePasswordAndLogOn(page) {
  await page.goto(`${base}/logon.html`);
  await page.click('a:has-text("修改密码")');
  await page.fill('input[name=username]', 'tom');
  await page.fill('input[name=password]', 'pw');
  await page.fill('input[name=password2]', 'newpw');
  await page.fill('input[name=password3]', 'newpw');
  await page.screenshot({ path: path.join(shotDir, 'tom-5-change-password.png') });
  await page.click('input[type=submit]');
  await page.waitForSelector('text=修改口令成功', { timeout: 5000 });
  await page.screenshot({ path: path.join(shotDir, 'tom-6-password-changed.png') });
  // From the front page through the logon page's form.
  const logOn = async (password) => {
    await page.click('a:has-text("进入登录页面")');
    await page.fill('input[name=username]', 'tom');
    await page.fill('input[name=password]', password);
    await page.click('input[name=B1]');
  };
  await page.click('a:has-text("返回")');
  await logOn('pw');
  await page.waitForSelector('text=名字或密码不对', { timeout: 5000 });
  await page.goto(`${base}/logon.html`);
  await logOn('newpw');
  const roomList = await frameNamed(page, 'roomlist');
  await roomList.waitForSelector('text=大厅');
  await page.screenshot({ path: path.join(shotDir, 'tom-7-new-password-logon.png') });
}

let failed = false;
try {
  const tom = await logOnAndEnter('tom');
  globalThis.users = [tom];
  const tomMessages = await frameNamed(tom.chat, 'messages');
  await say(tom, '/lockroom 大厅');
  await tomMessages.waitForSelector('text=锁定聊天室(大厅)成功', { timeout: 5000 });

  // ann comes to the locked lobby: she waits, and tom is asked.
  const ann = await logOnAndEnter('ann');
  globalThis.users = [tom, ann];
  tom.chat.on('requestfailed', (r) => console.error('request failed', r.url(), r.failure()?.errorText));
  const annMessages = await frameNamed(ann.chat, 'messages');
  await tomMessages.waitForSelector('text=申请在本聊天室聊天,正在等待批准', { timeout: 5000 });
  await tomMessages.waitForSelector('a:has-text("批准")', { timeout: 5000 });
  await say(ann, '让我进去吧');
  await say(ann, '/help lockroom');
  await annMessages.waitForSelector('text=帮助　/lockroom', { timeout: 5000 });
  await shoot(tom.chat, 'tom-3-asked-to-admit.png');
  await shoot(ann.chat, 'ann-3-waiting.png');

  await tomMessages.click('a:has-text("批准")');
  await annMessages.waitForSelector('text=说:允许(ann)进入本聊天室', { timeout: 5000 });
  await tomMessages.waitForSelector('text=说:允许(ann)进入本聊天室', { timeout: 5000 });
  if ((await tomMessages.content()).includes('让我进去吧')) throw new Error('a waiting user was heard');

  await ann.chat.waitForTimeout(300);
  await say(tom, '你好，大家好！');
  await annMessages.waitForSelector('text=你好，大家好！', { timeout: 5000 });
  await tomMessages.waitForSelector('text=你好，大家好！', { timeout: 5000 });
  await say(ann, '谢谢！');
  await tomMessages.waitForSelector('text=谢谢！', { timeout: 5000 });
  // Characters outside GBK leave the GB2312 form as numeric references and
  // come back as themselves; a character of GBK's extension (D5 5C) whole.
  await say(ann, '表情😀한글ｱ誠');
  await tomMessages.waitForSelector('text=表情😀한글ｱ誠', { timeout: 5000 });
  const online = await frameNamed(ann.chat, 'online');
  await online.click('text=[刷新名单]');
  await online.waitForSelector('text=tom');
  await shoot(ann.chat, 'ann-4-chat.png');
  await shoot(tom.chat, 'tom-4-chat.png');
  await changePasswordAndLogOn(tom.page);
  console.log(`ok: tom locked the lobby and admitted ann through the link; each sees the other's line; ` +
              `tom changed his password and logged on with it; screenshots in ${shotDir}`);
} catch (error) {
  failed = true;
  console.error(`FAILED: ${error.message}`);
  for (const [i, user] of (globalThis.users || []).entries()) {
    await shoot(user.chat, `failure-${i}.png`).catch(() => {});
    const frame = user.chat.frame({ name: 'messages' });
    if (frame) console.error(`messages frame ${i}:`, (await frame.content().catch(() => '')).slice(-600));
  }
  console.error(`---- server console ----\n${consoleText}`);
} finally {
  await browser.close();
  server.kill('SIGINT');
  await new Promise((resolve) => server.on('exit', resolve));
  rmSync(work, { recursive: true, force: true });
}
console.log(failed ? '0 passed, 1 failed' : '1 passed, 0 failed');
process.exit(failed ? 1 : 0);
