// The chat behind nginx with TLS, as docs/deploy.md sets it up: the server
// listens on 127.0.0.1 only and trusts X-Forwarded-For from the proxy
// alone. tom and ann chat in headless Chromium through https. bob and cat
// come through the same proxy from other addresses (127.0.0.2 and
// 127.0.0.3, as node clients bound to them). tom, who manages the lobby,
// bans bob: bob's address is refused; cat and ann, behind the same proxy,
// still log on and chat. bob going around the proxy with a forged
// X-Forwarded-For is still refused.
//
//   node behind_proxy.mjs BINARY SITE_DIR [SCREENSHOT_DIR]
import { mkdirSync, rmSync } from 'node:fs';
import http from 'node:http';
import https from 'node:https';
import os from 'node:os';
import path from 'node:path';
import {
  classicUserInLobby, freePort, launchChromium, makeCertificate, shoot, sleep, startNginx, startServer, stopChild,
} from './browser_support.mjs';

const [binary, siteDir, shotDir = path.join(os.tmpdir(), 'tolvan-shots')] = process.argv.slice(2);
mkdirSync(shotDir, { recursive: true });

const kLobby = '%B4%F3%CC%FC';  // 大厅 in GB2312, as a gb2312 page's form sends it
const kEverybody = '%B4%F3%BC%D2';  // 大家
const kSays = '%CB%B5';  // 说
const gbk = new TextDecoder('gbk');

// The server's configuration and nginx's, as docs/deploy.md gives them.
const serverIni = '\nbind_address = 127.0.0.1\ntrusted_proxies = 127.0.0.1\n' +
  '[user_database]\nhash_memory_kib = 8\nhash_passes = 1\n';

function nginxConfig(dir, tlsPort, httpPort, { certificate, key }) {
  return `worker_processes 1;
pid ${dir}/nginx.pid;
error_log ${dir}/error.log;
events { worker_connections 256; }
http {
  access_log off;
  client_body_temp_path ${dir}/body;
  proxy_temp_path ${dir}/proxy;
  fastcgi_temp_path ${dir}/fastcgi;
  uwsgi_temp_path ${dir}/uwsgi;
  scgi_temp_path ${dir}/scgi;
  server {
    listen 127.0.0.1:${tlsPort} ssl http2;
    ssl_certificate ${certificate};
    ssl_certificate_key ${key};
    location / {
      proxy_pass http://127.0.0.1:${httpPort};
      proxy_http_version 1.0;
      proxy_buffering off;
      proxy_read_timeout 90s;
      proxy_set_header Host $host;
      proxy_set_header X-Forwarded-For $proxy_add_x_forwarded_for;
      proxy_set_header X-Real-IP $remote_addr;
    }
  }
}
`;
}

// One request from the given local address: through the proxy (https) or
// straight to the server (http). Resolves with the answer decoded from GB2312.
function fetchFrom(localAddress, url, { body, headers = {} } = {}) {
  const target = new URL(url);
  const client = target.protocol === 'https:' ? https : http;
  return new Promise((resolve, reject) => {
    const request = client.request(target, {
      method: body === undefined ? 'GET' : 'POST', localAddress, agent: false, rejectUnauthorized: false,
      headers: { ...headers, ...(body === undefined ? {} : { 'Content-Type': 'application/x-www-form-urlencoded' }) },
    }, (response) => {
      const chunks = [];
      response.on('data', (chunk) => chunks.push(chunk));
      response.on('end', () => resolve(gbk.decode(Buffer.concat(chunks))));
      response.on('error', reject);
    });
    request.on('error', reject);
    request.end(body);
  });
}

// A chat user who is not a browser, through the proxy from his own address.
class NodeUser {
  constructor(name, localAddress, base) {
    Object.assign(this, { name, localAddress, base, stream: '', streamClosed: false });
  }
  fetch(target, options) { return fetchFrom(this.localAddress, `${this.base}${target}`, options); }
  async logOn() {
    await this.fetch('/register', { body: `username=${this.name}&password=pw` });
    const answer = await this.fetch('/logon', { body: `username=${this.name}&password=pw` });
    this.session = /session=([0-9a-z]+)/.exec(answer)?.[1];
    return answer;
  }
  // Enters the lobby and keeps its message frame open.
  async enterLobby() {
    await this.fetch(`/Blank?session=${this.session}&message=/join%20${kLobby}`);
    const target = new URL(`${this.base}/messages?session=${this.session}&RoomName=${kLobby}`);
    await new Promise((resolve, reject) => {
      const request = https.get(target, { localAddress: this.localAddress, agent: false, rejectUnauthorized: false },
        (response) => {
          response.on('data', (chunk) => { this.stream += gbk.decode(chunk, { stream: true }); resolve(); });
          response.on('close', () => { this.streamClosed = true; });
        });
      request.on('error', reject);
      this.streamRequest = request;
    });
  }
  async waitInStream(text) {
    for (let i = 0; i < 100 && !this.stream.includes(text); i++) await sleep(50);
    if (!this.stream.includes(text)) throw new Error(`${this.name}'s frame never showed "${text}": ${this.stream.slice(-300)}`);
  }
  say(text) {
    return this.fetch('/mainform', { body: `session=${this.session}&message=${encodeURIComponent(text)}` +
      `&towho=${kEverybody}&addsays=${kSays}&addwordcolor=ff0000&RoomName=${kLobby}&UserName=${this.name}` });
  }
  close() { this.streamRequest?.destroy(); }
}

const work = { server: null, nginx: null, browser: null, users: [] };
let failed = false;
try {
  work.server = await startServer(binary, siteDir, serverIni,
                                  { 'managerlist.txt': Buffer.from('tom:\xb4\xf3\xcc\xfc\n', 'latin1') });  // tom:大厅
  const nginxDir = path.join(work.server.work, 'nginx');
  mkdirSync(nginxDir);
  const tlsPort = await freePort();
  work.nginx = await startNginx(nginxDir, nginxConfig(nginxDir, tlsPort, work.server.httpPort, makeCertificate(nginxDir)),
                                tlsPort);
  const base = `https://127.0.0.1:${tlsPort}`;
  work.browser = await launchChromium();

  // A browser user: registers and logs on through the proxy's pages, and
  // enters the lobby, whose chat opens in a window of its own.
  async function browserUser(name) {
    const user = await classicUserInLobby(work.browser, base, name, { ignoreHTTPSErrors: true });
    work.users.push(user);
    return user;
  }
  async function say(user, text) {
    await user.form.fill('input[name=messagetemp]', text);
    await user.form.click('input[name=submit1]');
  }

  const tom = await browserUser('tom');
  const ann = await browserUser('ann');
  if (!tom.chat.url().startsWith('https://')) throw new Error(`the chat is not behind the proxy: ${tom.chat.url()}`);
  await say(tom, '经过代理，你好！');
  await ann.messages.waitForSelector('text=经过代理，你好！', { timeout: 5000 });
  await say(ann, '收到了');
  await tom.messages.waitForSelector('text=收到了', { timeout: 5000 });
  await shoot(tom.chat, path.join(shotDir, 'proxy-1-tom-chat.png'));
  await shoot(ann.chat, path.join(shotDir, 'proxy-2-ann-chat.png'));

  // bob and cat: two more users of the same proxy, from other addresses.
  const bob = new NodeUser('bob', '127.0.0.2', base);
  const cat = new NodeUser('cat', '127.0.0.3', base);
  work.users.push(bob, cat);
  for (const user of [bob, cat]) {
    await user.logOn();
    if (!user.session) throw new Error(`${user.name} could not log on through the proxy`);
    await user.enterLobby();
  }
  await say(tom, '/ban bob');
  await bob.waitInStream('(bob)因为言语不太文明被踢出且IP被绊住');
  await tom.messages.waitForSelector('text=IP被绊住', { timeout: 5000 });
  await shoot(tom.chat, path.join(shotDir, 'proxy-3-tom-banned-bob.png'));
  const isBanPage = (answer) => answer.includes('已被禁止进入');  // banned.html
  const bobAgain = await bob.logOn();
  if (!isBanPage(bobAgain)) throw new Error(`bob was not refused after his ban: ${bobAgain.slice(0, 300)}`);

  // Everybody else behind the proxy goes on.
  await cat.say('cat is still here');
  await tom.messages.waitForSelector('text=cat is still here', { timeout: 5000 });
  await say(ann, '我也还在');
  await tom.messages.waitForSelector('text=我也还在', { timeout: 5000 });
  const dan = new NodeUser('dan', '127.0.0.3', base);
  const danAnswer = await dan.logOn();
  if (isBanPage(danAnswer) || !dan.session) throw new Error(`a user behind the same proxy was refused: ${danAnswer.slice(0, 300)}`);
  await shoot(tom.chat, path.join(shotDir, 'proxy-4-others-go-on.png'));

  // bob goes around the proxy, naming another address himself: the server
  // believes no peer but the proxy, so his own address is still banned.
  const direct = `http://127.0.0.1:${work.server.httpPort}`;
  const forged = await fetchFrom('127.0.0.2', `${direct}/logon`, {
    body: 'username=bob&password=pw', headers: { 'X-Forwarded-For': '198.51.100.7', 'X-Real-IP': '198.51.100.7' } });
  if (!isBanPage(forged)) throw new Error(`a forged X-Forwarded-For was believed: ${forged.slice(0, 300)}`);

  console.log('ok: tom and ann chat in Chromium through nginx with TLS; a ban through the proxy refused bob alone ' +
              `(cat, dan and ann went on); a forged X-Forwarded-For straight to the server was ignored; screenshots in ${shotDir}`);
} catch (error) {
  failed = true;
  console.error(`FAILED: ${error.message}`);
  for (const [i, user] of work.users.entries()) {
    if (!user.chat) continue;
    await shoot(user.chat, path.join(shotDir, `proxy-failure-${i}.png`)).catch(() => {});
    console.error(`messages frame of ${user.name}:`, (await user.messages.content().catch(() => '')).slice(-600));
  }
  console.error(`---- nginx ----\n${work.nginx?.errors ?? ''}`);
  console.error(`---- server console ----\n${work.server?.console ?? ''}`);
} finally {
  for (const user of work.users) user.close?.();
  await work.browser?.close();
  await stopChild(work.nginx?.child, 'SIGTERM');
  await stopChild(work.server?.child, 'SIGINT');
  if (work.server) rmSync(work.server.work, { recursive: true, force: true });
}
console.log(failed ? '0 passed, 1 failed' : '1 passed, 0 failed');
process.exit(failed ? 1 : 0);
