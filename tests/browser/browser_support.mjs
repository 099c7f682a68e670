// Pieces the browser tests share: free loopback ports, the chat server in a
// scratch copy of the site, headless Chromium, frames and screenshots of
// chat windows, and nginx as a child process.
import { chromium } from 'playwright-core';
import { spawn, execFileSync } from 'node:child_process';
import { chmodSync, cpSync, existsSync, mkdtempSync, readFileSync, writeFileSync } from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';

export const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

export function freePort() {
  return new Promise((resolve) => {
    const server = net.createServer();
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

export async function waitForPort(port, what = 'server') {
  for (let i = 0; i < 200; i++) {
    const ok = await new Promise((resolve) => {
      const socket = net.connect(port, '127.0.0.1', () => { socket.end(); resolve(true); });
      socket.on('error', () => resolve(false));
    });
    if (ok) return;
    await sleep(50);
  }
  throw new Error(`${what} did not listen on ${port}`);
}

// A child process stopped by its PID; resolves once it has ended.
export function stopChild(child, signal) {
  if (!child || child.exitCode !== null || child.signalCode !== null) return Promise.resolve();
  return new Promise((resolve) => {
    child.on('exit', resolve);
    child.kill(signal);
  });
}

// The server binary in a scratch copy of the site (made readable for
// nginx's workers), with ini lines appended and more files (name: bytes);
// resolves once it listens.
export async function startServer(binary, siteDir, extraIni = '', files = {}) {
  const work = mkdtempSync(path.join(os.tmpdir(), 'tolvan-browser-'));
  chmodSync(work, 0o755);
  cpSync(siteDir, work, { recursive: true });
  const httpPort = await freePort();
  const telnetPort = await freePort();
  const ini = readFileSync(path.join(work, 'tolvann2.ini'), 'latin1') +
    `\n[network]\nhttp_port = ${httpPort}\ntelnet_port = ${telnetPort}\n${extraIni}`;
  writeFileSync(path.join(work, 'tolvann2.ini'), ini, 'latin1');
  for (const [name, bytes] of Object.entries(files)) writeFileSync(path.join(work, name), bytes);
  const child = spawn(binary, ['-debug'], { cwd: work, stdio: ['ignore', 'pipe', 'pipe'] });
  const server = { child, work, httpPort, console: '' };
  child.stdout.on('data', (d) => { server.console += d; });
  await waitForPort(httpPort);
  return server;
}

export function launchChromium() {
  return chromium.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
           '--disable-component-update', '--disable-sync'],
  });
}

// The frame of that name once the page has attached it.
export async function frameNamed(page, name) {
  for (let i = 0; i < 100; i++) {
    const frame = page.frame({ name });
    if (frame) return frame;
    await sleep(50);
  }
  throw new Error(`no frame named ${name}`);
}

// A user of the classic pages: registers, logs on and enters the lobby from
// the room list. The chat opens in a window of its own, which popwin() sizes
// to headless Chromium's small screen: it is made as large as the viewport.
export async function classicUserInLobby(browser, base, name, contextOptions = {}) {
  const viewport = contextOptions.viewport || { width: 1100, height: 720 };
  const context = await browser.newContext({ ...contextOptions, viewport });
  const page = await context.newPage();
  await page.goto(`${base}/register.html`);
  await page.fill('input[name=username]', name);
  await page.fill('input[name=password]', 'pw');
  await page.click('input[type=submit]');
  await page.waitForSelector('text=注册成功', { timeout: 5000 });
  await page.goto(`${base}/logon`);
  await page.fill('input[name=username]', name);
  await page.fill('input[name=password]', 'pw');
  await page.click('input[name=B1]');
  const roomList = await frameNamed(page, 'roomlist');
  await roomList.waitForSelector('text=大厅');
  const [chat] = await Promise.all([context.waitForEvent('page'), roomList.click('a:has-text("大厅")')]);
  const cdp = await context.newCDPSession(chat);
  const { windowId } = await cdp.send('Browser.getWindowForTarget');
  await cdp.send('Browser.setWindowBounds', { windowId, bounds: { width: viewport.width + 300, height: viewport.height + 300 } });
  await cdp.detach();
  await chat.setViewportSize(viewport);
  const form = await frameNamed(chat, 'form');
  await form.waitForSelector('input[name=messagetemp]');
  const messages = await frameNamed(chat, 'messages');
  // Returns once the server has answered the line: a second submit of the
  // form before the first has left would replace it, and the first line
  // would never be said (as when a user clicks twice at once).
  const say = async (text) => {
    await form.fill('input[name=messagetemp]', text);
    const answered = chat.waitForResponse((r) => r.request().method() === 'POST' && r.request().frame().name() === 'goto');
    await form.click('input[name=submit1]');
    await answered;
  };
  return { name, context, page, chat, form, messages, say };
}

// The chat window never finishes loading (its message frame stays open), so
// its pictures are taken through the DevTools protocol directly.
export async function shoot(page, file) {
  const cdp = await page.context().newCDPSession(page);
  const { width, height } = page.viewportSize();
  const { data } = await cdp.send('Page.captureScreenshot', {
    format: 'png', fromSurface: true, clip: { x: 0, y: 0, width, height, scale: 1 } });
  writeFileSync(file, Buffer.from(data, 'base64'));
  await cdp.detach();
}

export function nginxProgram() {
  if (process.env.NGINX) return process.env.NGINX;
  for (const candidate of ['/usr/sbin/nginx', '/usr/bin/nginx']) if (existsSync(candidate)) return candidate;
  return 'nginx';
}

// A self-signed certificate for 127.0.0.1, made now in the directory.
export function makeCertificate(dir) {
  const certificate = path.join(dir, 'proxy.crt');
  const key = path.join(dir, 'proxy.key');
  execFileSync('openssl', ['req', '-x509', '-newkey', 'ec', '-pkeyopt', 'ec_paramgen_curve:prime256v1', '-nodes',
                           '-days', '1', '-subj', '/CN=127.0.0.1', '-addext', 'subjectAltName=IP:127.0.0.1',
                           '-keyout', key, '-out', certificate], { stdio: 'ignore' });
  return { certificate, key };
}

// nginx with the configuration text in a directory of its own (its prefix:
// pid, logs and temporary files stay there), in the foreground as a child
// of this process; resolves once the port listens.
export async function startNginx(dir, config, port) {
  const file = path.join(dir, 'nginx.conf');
  writeFileSync(file, config);
  const child = spawn(nginxProgram(), ['-p', `${dir}/`, '-e', path.join(dir, 'error.log'), '-c', file,
                                       '-g', 'daemon off;'], { stdio: ['ignore', 'pipe', 'pipe'] });
  const nginx = { child, errors: '' };
  child.stderr.on('data', (d) => { nginx.errors += d; });
  child.on('exit', (code) => { if (code) nginx.errors += `nginx exited with ${code}\n`; });
  try {
    await waitForPort(port, 'nginx');
  } catch (error) {
    throw new Error(`${error.message}: ${nginx.errors}${readFileSync(path.join(dir, 'error.log'), 'utf8')}`);
  }
  return nginx;
}
