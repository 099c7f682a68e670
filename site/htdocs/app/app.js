// The phone-first client: logon and registration, the rooms by category, a
// room with its lines, the online list and the composer. The session lives
// in this tab (sessionStorage), so a reload comes back to the room.
import { api, ApiError } from './api.js';
import { EventFeed } from './feed.js';
import { localLine, renderLine } from './lines.js';

// The chat form's expressions and colours (the first of each is what a
// line says without a choice).
const kExpressions = [
  ['说', '无表情'], ['很高兴的说', '高兴'], ['微微笑的说', '微微笑'], ['哈!哈!哈!的笑着说', '大笑叁声'],
  ['嘟着嘴的说', '嘟嘴'], ['快要哭的说', '快要哭'], ['遗憾的说', '遗憾'], ['瞪大了眼睛,很讶异的说', '讶异'],
  ['幸福的说', '幸福'], ['悲伤的说', '悲伤'], ['钦佩的说', '钦佩'], ['生气的说', '生气'], ['大声的说', '大声'],
  ['很满足的说', '很满足'], ['不好意思的说', '不好意思'], ['很无辜的说', '很无辜'], ['手舞足蹈的说', '手舞足蹈'],
  ['喃喃自语的说', '喃喃自语'], ['无精打采的说', '无精打采'], ['依依不舍的说', '依依不舍'],
];
const kColours = [
  ['0000ff', '纯正蓝色'], ['ff0000', '纯正红色'], ['000000', '绝对黑色'], ['247b2f', '橄榄树绿'],
  ['432dbf', '草原之蓝'], ['e95ccd', '彩旗飘飘'], ['4a007b', '深蓝忧郁'], ['d90f84', '爱的暗示'],
  ['fe9420', '黄金岁月'], ['b52b0a', '暗夜兴奋'], ['a714de', '发亮蓝紫'], ['696969', '伦敦灰雾'],
  ['006ddb', '海洋之蓝'], ['316484', '灰蓝种族'], ['9b7b40', '卡其制服'],
];
const kEverybody = '大家';
// The online list is read again this often; it also keeps the session
// alive while the user only reads.
const kOnlineRefreshMs = 30000;
// Lines after which the online list is read again (someone came or went).
const kRefreshingKinds = new Set(['system', 'notice']);
const kSessionKey = 'chat-session';

const $ = (id) => document.getElementById(id);

const state = {
  session: '',
  name: '',
  room: '',
  feed: null,
  onlineTimer: 0,
  onlineSoon: 0,
  multiNode: false,
};

// ---- screens

function show(viewId) {
  for (const view of document.querySelectorAll('.view')) view.hidden = view.id !== viewId;
}

function setError(element, error) {
  element.textContent = error ? (error instanceof ApiError ? error.message : String(error)) : '';
}

function remember() {
  if (state.session) {
    sessionStorage.setItem(kSessionKey, JSON.stringify({ session: state.session, name: state.name }));
  } else {
    sessionStorage.removeItem(kSessionKey);
  }
}

function forget(reason) {
  state.feed?.close();
  state.feed = null;
  clearInterval(state.onlineTimer);
  state.session = '';
  state.room = '';
  remember();
  $('lines').replaceChildren();
  show('logon-view');
  setError(document.querySelector('#logon-form [data-error]'), reason || '');
}

// ---- logon and registration

function formFields(form) {
  return Object.fromEntries(new FormData(form).entries());
}

async function loggedOn(name, session) {
  state.name = name;
  state.session = session;
  remember();
  await showRooms();
}

async function logOn(event) {
  event.preventDefault();
  const form = event.currentTarget;
  const errorText = form.querySelector('[data-error]');
  const { name, password } = formFields(form);
  setError(errorText, '');
  try {
    const answer = await api.logon(name.trim(), password);
    form.reset();
    await loggedOn(answer.name, answer.session);
  } catch (error) {
    setError(errorText, error);
  }
}

async function register(event) {
  event.preventDefault();
  const form = event.currentTarget;
  const errorText = form.querySelector('[data-error]');
  const fields = formFields(form);
  setError(errorText, '');
  if (fields.password !== fields.password2) {
    setError(errorText, '两次输入的密码不一样，请重新输入。');
    return;
  }
  const account = { name: fields.name.trim(), password: fields.password };
  for (const key of ['email', 'birthday', 'question', 'answer']) if (fields[key]) account[key] = fields[key];
  try {
    await api.register(account);
    const answer = await api.logon(account.name, account.password);
    form.reset();
    form.hidden = true;
    $('logon-form').hidden = false;
    await loggedOn(answer.name, answer.session);
  } catch (error) {
    setError(errorText, error);
  }
}

async function logOut() {
  const session = state.session;
  forget('');
  if (session) await api.logout(session).catch(() => {});
}

// Any call that finds the session gone ends the client's session too.
function sessionLost(error) {
  if (error instanceof ApiError && error.code === 'unknown_session') {
    forget(error.message);
    return true;
  }
  return false;
}

// ---- the room list

function roomButton(room) {
  const button = document.createElement('button');
  button.type = 'button';
  const name = document.createElement('span');
  name.className = 'room-name';
  name.textContent = room.locked ? `${room.name} 🔒` : room.name;
  const count = document.createElement('span');
  count.className = 'room-count';
  count.textContent = `${room.members} 人`;
  button.append(name, count);
  button.setAttribute('aria-label', `${room.name}，${room.members} 人${room.locked ? '，已锁定' : ''}`);
  button.addEventListener('click', () => enterRoom(room.name));
  return button;
}

async function showRooms() {
  show('rooms-view');
  $('rooms-greeting').textContent = `${state.name}，你好！请选择聊天室。`;
  setError($('rooms-error'), '');
  let list;
  try {
    list = await api.rooms();
  } catch (error) {
    setError($('rooms-error'), error);
    return;
  }
  const sections = [];
  for (const category of list.categories || []) {
    const section = document.createElement('section');
    section.className = 'category';
    const heading = document.createElement('h2');
    heading.textContent = category.name;
    section.append(heading);
    if (!category.rooms || category.rooms.length === 0) {
      const note = document.createElement('p');
      note.className = 'empty-note';
      note.textContent = '还没有聊天室';
      section.append(note);
    } else {
      const rooms = document.createElement('ul');
      rooms.className = 'room-list';
      for (const room of category.rooms) {
        const item = document.createElement('li');
        item.append(roomButton(room));
        rooms.append(item);
      }
      section.append(rooms);
    }
    sections.push(section);
  }
  $('room-categories').replaceChildren(...sections);
}

async function enterRoom(room, category) {
  setError($('rooms-error'), '');
  let answer;
  try {
    answer = await api.enter(state.session, room, category);
  } catch (error) {
    if (!sessionLost(error)) setError($('rooms-error'), error);
    return;
  }
  openRoom(answer.room.name);
  if (answer.approved === false) addLocal('divider', '这个聊天室已锁定，请等待室主批准。');
}

// ---- the room

function openRoom(room) {
  state.room = room;
  $('room-title').textContent = room;
  document.title = `${room} - 聊天室`;
  show('chat-view');
  if (!state.feed) {
    state.feed = new EventFeed(api.eventsAddress(state.session), {
      reset: onReset,
      line: onLine,
      bye: (data) => forget(typeof data.reason === 'string' && data.reason ? data.reason : '您已经离开聊天室。'),
      connection: onConnection,
      bad: (error) => console.error('an event the client cannot read', error),
    });
    state.feed.open();
  }
  refreshOnline();
  clearInterval(state.onlineTimer);
  state.onlineTimer = setInterval(refreshOnline, kOnlineRefreshMs);
  $('say-text').focus();
}

function nearBottom(list) {
  return list.scrollHeight - list.scrollTop - list.clientHeight < 48;
}

function addLine(item) {
  const list = $('lines');
  const follow = nearBottom(list);
  list.append(item);
  if (follow) list.scrollTop = list.scrollHeight;
}

function addLocal(kind, words) {
  addLine(localLine(kind, words));
}

function onReset(data, continues) {
  if (continues) return;
  $('lines').replaceChildren();
  if (typeof data.room === 'string' && data.room) {
    state.room = data.room;
    $('room-title').textContent = data.room;
    document.title = `${data.room} - 聊天室`;
    addLocal('divider', `—— ${data.room} ——`);
  }
}

function onLine(line) {
  addLine(renderLine(line, state.name, { choose: chooseAddressee, run: (command) => say({ text: command }) }));
  if (kRefreshingKinds.has(line.kind)) {
    clearTimeout(state.onlineSoon);
    state.onlineSoon = setTimeout(refreshOnline, 300);
  }
}

async function onConnection(connection) {
  $('connection-status').hidden = connection === 'open';
  if (connection !== 'closed') return;
  // The stream was refused: is the session still there?
  try {
    await api.online(state.session);
  } catch (error) {
    if (sessionLost(error)) return;
  }
  state.feed?.reopenSoon();
}

// ---- the online list and the addressee

function addresseeValue(name, node) {
  return state.multiNode && node ? `${name}:${node}` : name;
}

function chooseAddressee(name, node) {
  const select = $('say-to');
  if (!name || name === kEverybody) {
    select.value = '';
  } else {
    const value = addresseeValue(name, node);
    if (![...select.options].some((option) => option.value === value)) {
      select.append(new Option(name, value));
    }
    select.value = value;
  }
  document.querySelector('.chat-screen').classList.remove('show-online');
  $('online-toggle').setAttribute('aria-expanded', 'false');
  $('say-text').focus();
}

function showMembers(members) {
  const nodes = new Set(members.map((member) => member.node));
  state.multiNode = nodes.size > 1;
  const items = members.map((member) => {
    const item = document.createElement('li');
    const button = document.createElement('button');
    button.type = 'button';
    button.textContent = member.name;
    if (member.name === state.name) button.append(Object.assign(document.createElement('span'), { className: 'badge', textContent: '我' }));
    if (member.manager) button.append(Object.assign(document.createElement('span'), { className: 'badge', textContent: '室主' }));
    if (member.approved === false) {
      button.append(Object.assign(document.createElement('span'), { className: 'badge', textContent: '等待批准' }));
    }
    button.addEventListener('click', () => chooseAddressee(member.name, member.node));
    item.append(button);
    return item;
  });
  $('online-list').replaceChildren(...items);
  $('online-toggle').textContent = `在线 ${members.length}`;
  const select = $('say-to');
  const chosen = select.value;
  const options = [new Option(kEverybody, '')];
  for (const member of members) {
    if (member.name !== state.name) options.push(new Option(member.name, addresseeValue(member.name, member.node)));
  }
  select.replaceChildren(...options);
  if (chosen && !options.some((option) => option.value === chosen)) select.append(new Option(chosen.split(':')[0], chosen));
  select.value = chosen;
}

async function refreshOnline() {
  if (!state.session || !state.room) return;
  try {
    const answer = await api.online(state.session);
    showMembers(answer.members || []);
  } catch (error) {
    sessionLost(error);
  }
}

// ---- saying

async function say(line) {
  try {
    await api.say(state.session, line);
    return true;
  } catch (error) {
    if (!sessionLost(error)) addLocal('local-error', error.message);
    return false;
  }
}

async function sayFromForm(event) {
  event.preventDefault();
  const input = $('say-text');
  const words = input.value;
  if (!words.trim()) return;
  const line = {
    text: words,
    private: $('say-private').checked,
    says: $('say-says').value,
    colour: $('say-colour').value,
  };
  if ($('say-to').value) line.to = $('say-to').value;
  if ($('say-action').value) line.action = $('say-action').value;
  input.value = '';
  if (!(await say(line)) && !input.value) input.value = words;
  input.focus();
}

// ---- start

function fillChoices() {
  $('say-says').replaceChildren(...kExpressions.map(([value, label]) => new Option(label, value)));
  $('say-colour').replaceChildren(...kColours.map(([value, label]) => {
    const option = new Option(label, value);
    option.style.color = `#${value}`;
    return option;
  }));
}

function toggle(button, target, onOpen) {
  button.addEventListener('click', () => {
    const open = button.getAttribute('aria-expanded') !== 'true';
    button.setAttribute('aria-expanded', String(open));
    onOpen(open, target);
  });
}

function wire() {
  $('logon-form').addEventListener('submit', logOn);
  $('register-form').addEventListener('submit', register);
  $('show-register').addEventListener('click', () => {
    $('logon-form').hidden = true;
    $('register-form').hidden = false;
    $('register-name').focus();
  });
  $('show-logon').addEventListener('click', () => {
    $('register-form').hidden = true;
    $('logon-form').hidden = false;
    $('logon-name').focus();
  });
  for (const button of document.querySelectorAll('[data-logout]')) button.addEventListener('click', logOut);
  $('rooms-refresh').addEventListener('click', showRooms);
  $('to-rooms').addEventListener('click', showRooms);
  $('new-room-form').addEventListener('submit', (event) => {
    event.preventDefault();
    const { room, category } = formFields(event.currentTarget);
    if (room.trim()) enterRoom(room.trim(), category);
  });
  toggle($('online-toggle'), $('online-panel'), (open) => {
    document.querySelector('.chat-screen').classList.toggle('show-online', open);
    if (open) refreshOnline();
  });
  toggle($('more-toggle'), $('say-more'), (open, target) => { target.hidden = !open; });
  $('say-form').addEventListener('submit', sayFromForm);
}

async function resume() {
  let saved = null;
  try {
    saved = JSON.parse(sessionStorage.getItem(kSessionKey) || 'null');
  } catch {
    saved = null;
  }
  if (!saved || !saved.session) {
    show('logon-view');
    return;
  }
  state.session = saved.session;
  state.name = saved.name;
  try {
    const answer = await api.online(state.session);
    openRoom(answer.room);
  } catch (error) {
    if (sessionLost(error)) return;
    await showRooms();
  }
}

fillChoices();
wire();
resume();
