// Two users in two headless Chromium pages against the real server: log on
// from the room list, enter a room, and see a line typed by one user appear
// in the other user's message frame. tom, on a desktop, manages the lobby:
// he locks it before ann comes, and lets her in through the link he is
// sent. ann is on a phone (390 x 844, touch): her chat window's title is the
// room's name, and its text, input and send button are sizes a phone can
// use. ann registered with the data that recovers a password: at the end
// she recovers hers through the pages, and tom changes his through the
// form; both log on with the new ones.
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

const desktop = { viewport: { width: 1100, height: 720 } };
const phone = { viewport: { width: 390, height: 844 }, screen: { width: 390, height: 844 }, isMobile: true, hasTouch: true, deviceScaleFactor: 3 };
// What ann gives at registration to recover her password.
const annSecurity = { email: 'ann@example.com', birthday: '1995-06-01', question: '我的猫叫什么？', answer: '咪咪' };

async function logOnAndEnter(name, device = desktop, security = null) {
  const context = await browser.newContext(device);
  const page = await context.newPage();
  await page.goto(`${base}/register.html`);
  await page.fill('input[name=username]', name);
  await page.fill('input[name=password]', 'pw');
  for (const [field, value] of Object.entries(security || {})) await page.fill(`input[name=${field}]`, value);
  if (device === phone) await page.screenshot({ path: path.join(shotDir, `${name}-0-register.png`), fullPage: true });
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
  // popwin() sizes its window to the screen, which in headless Chromium is
  // 800 x 600 with room kept for the menu and status bars it asks for: the
  // window is made large enough for the device's viewport again.
  const cdp = await context.newCDPSession(chat);
  const { windowId } = await cdp.send('Browser.getWindowForTarget');
  await cdp.send('Browser.setWindowBounds', { windowId, bounds: { width: 1400, height: 1200 } });
  await cdp.detach();
  await chat.setViewportSize({ width: device.viewport.width - 1, height: device.viewport.height });
  await chat.setViewportSize(device.viewport);
  await chat.waitForLoadState('domcontentloaded');
  const form = await frameNamed(chat, 'form');
  await form.waitForSelector('input[name=messagetemp]');
  // The chat window's title is the room's name, read in the page's own character set.
  const title = await chat.title();
  if (title !== '大厅') throw new Error(`${name}: the chat window's title reads "${title}"`);
  return { context, page, chat, form };
}

// The computed font size (CSS px) of the element around the first text node
// that holds the text.
async function fontSizeOfText(frame, text) {
  return frame.evaluate((wanted) => {
    const walker = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT);
    for (let node = walker.nextNode(); node; node = walker.nextNode()) {
      if (node.nodeValue.includes(wanted)) return parseFloat(getComputedStyle(node.parentElement).fontSize);
    }
    return 0;
  }, text);
}

// On the phone: a chat line and the input read at 14 px or more, the input
// and the send button are a finger high, and both lie inside the screen.
async function checkPhoneSizes(user, messages, line) {
  const problems = [];
  const lineSize = await fontSizeOfText(messages, line);
  if (lineSize < 14) problems.push(`chat line at ${lineSize}px`);
  const input = await user.form.$('input[name=messagetemp]');
  const inputSize = parseFloat(await input.evaluate((e) => getComputedStyle(e).fontSize));
  if (inputSize < 14) problems.push(`input text at ${inputSize}px`);
  const { width, height } = phone.viewport;
  for (const [what, selector] of [['input', 'input[name=messagetemp]'], ['send button', 'input[name=submit1]']]) {
    const box = await (await user.form.$(selector)).boundingBox();
    if (!box || box.height < 32) problems.push(`${what} ${box && box.height}px high`);
    if (box && (box.x < 0 || box.y < 0 || box.x + box.width > width || box.y + box.height > height)) {
      problems.push(`${what} outside the screen: ${JSON.stringify(box)}`);
    }
  }
  const online = await frameNamed(user.chat, 'online');
  const nameSize = await fontSizeOfText(online, 'tom');
  if (nameSize < 14) problems.push(`online list at ${nameSize}px`);
  if (problems.length) throw new Error(`phone: ${problems.join('; ')}`);
  console.log(`phone: chat line ${lineSize}px, input ${inputSize}px, online list ${nameSize}px`);
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

// From the front page on the phone: the first step with the name, the hint
// question, a wrong answer refused, the right one with a new password; then
// the old password is refused and the new one logs on.
async function recoverPassword(page, name, security) {
  await page.goto(`${base}/logon.html`);
  await page.tap('a:has-text("忘记密码")');
  await page.fill('input[name=username]', name);
  await page.tap('input[type=submit]');
  await page.waitForSelector('text=修改口令之二', { timeout: 5000 });
  const shown = await page.inputValue('input[size="12"]:not([name="email"]):not([name="birthday"]):not([name="answer"]):not([name="password"])');
  if (shown !== security.question) throw new Error(`recovery shows the question "${shown}"`);
  const fill = async (answer) => {
    await page.fill('input[name=email]', security.email);
    await page.fill('input[name=birthday]', security.birthday);
    await page.fill('input[name=answer]', answer);
    await page.fill('input[name=password]', 'newpw');
  };
  await fill('狗狗');
  await page.screenshot({ path: path.join(shotDir, `${name}-5-recovery-form.png`), fullPage: true });
  await page.tap('input[name=B1]');
  await page.waitForSelector('text=回答不对', { timeout: 5000 });
  await page.screenshot({ path: path.join(shotDir, `${name}-6-wrong-answer.png`), fullPage: true });
  await page.goBack();
  await page.waitForSelector('text=修改口令之二', { timeout: 5000 });
  await fill(security.answer);
  await page.tap('input[name=B1]');
  await page.waitForSelector('text=修改口令成功', { timeout: 5000 });
  await page.screenshot({ path: path.join(shotDir, `${name}-7-recovered.png`), fullPage: true });
  const logOn = async (password) => {
    await page.goto(`${base}/logon`);
    await page.fill('input[name=username]', name);
    await page.fill('input[name=password]', password);
    await page.tap('input[name=B1]');
  };
  await logOn('pw');
  await page.waitForSelector('text=名字或密码不对', { timeout: 5000 });
  await logOn('newpw');
  const roomList = await frameNamed(page, 'roomlist');
  await roomList.waitForSelector('text=大厅');
}

let failed = false;
try {
  const tom = await logOnAndEnter('tom');
  globalThis.users = [tom];
  const tomMessages = await frameNamed(tom.chat, 'messages');
  await say(tom, '/lockroom 大厅');
  await tomMessages.waitForSelector('text=锁定聊天室(大厅)成功', { timeout: 5000 });

  // ann comes to the locked lobby: she waits, and tom is asked.
  const ann = await logOnAndEnter('ann', phone, annSecurity);
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
  await checkPhoneSizes(ann, annMessages, '你好，大家好！');
  await shoot(ann.chat, 'ann-4-chat.png');
  await shoot(tom.chat, 'tom-4-chat.png');
  await recoverPassword(ann.page, 'ann', annSecurity);
  await changePasswordAndLogOn(tom.page);
  console.log(`ok: tom locked the lobby and admitted ann through the link; each sees the other's line; ` +
              `ann's phone shows the chat at readable sizes; ann recovered her password and tom changed his, ` +
              `and both logged on with the new ones; screenshots in ${shotDir}`);
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
