// A line of the event stream as a list item. Every value from the server
// is set as text (textContent) or as a checked colour, never as markup.

const kEverybody = '大家';

// Six hex digits, with or without '#', or a colour name (letters only), as
// the chat accepts them; anything else reads as black.
function checkedColour(colour) {
  if (typeof colour !== 'string') return '#000000';
  if (/^#?[0-9a-fA-F]{6}$/.test(colour)) return colour.startsWith('#') ? colour : `#${colour}`;
  if (/^[a-zA-Z]{1,20}$/.test(colour)) return colour;
  return '#000000';
}

function luminance([r, g, b]) {
  const linear = (c) => {
    const s = c / 255;
    return s <= 0.03928 ? s / 12.92 : ((s + 0.055) / 1.055) ** 2.4;
  };
  return 0.2126 * linear(r) + 0.7152 * linear(g) + 0.0722 * linear(b);
}

// Light colours (yellow, pink, light green) are darkened, keeping their hue,
// until they read on white at 4.5:1 at least.
const kReadableLuminance = 1.05 / 4.5 - 0.05;
const readableColours = new Map();

export function readableColour(colour) {
  const checked = checkedColour(colour);
  if (readableColours.has(checked)) return readableColours.get(checked);
  const probe = document.createElement('span');
  probe.style.color = checked;
  document.body.append(probe);
  const rgb = (getComputedStyle(probe).color.match(/\d+(\.\d+)?/g) || ['0', '0', '0']).slice(0, 3).map(Number);
  probe.remove();
  let shade = rgb;
  for (let factor = 1; luminance(shade) > kReadableLuminance && factor > 0; factor -= 0.05) {
    shade = rgb.map((c) => Math.round(c * factor));
  }
  const readable = `rgb(${shade.join(', ')})`;
  readableColours.set(checked, readable);
  return readable;
}

function span(className, text) {
  const element = document.createElement('span');
  element.className = className;
  element.textContent = text;
  return element;
}

function timeOf(seconds) {
  if (typeof seconds !== 'number') return '';
  const date = new Date(seconds * 1000);
  return `${String(date.getHours()).padStart(2, '0')}:${String(date.getMinutes()).padStart(2, '0')}`;
}

// A name that sets the addressee when tapped.
function nameButton(name, node, colour, choose) {
  const button = document.createElement('button');
  button.type = 'button';
  button.className = 'who';
  button.textContent = name;
  if (colour) button.style.color = colour;
  button.addEventListener('click', () => choose(name, node));
  return button;
}

const text = (value) => (typeof value === 'string' ? value : '');

// The words before the line: "笑着" "说" reads "笑着说:". A line from
// another server of a cluster carries its words in its text ("说: ...").
function saying(line) {
  const words = `${text(line.action)}${text(line.says)}`;
  return words ? `${words}:` : '';
}

// line: the event's data; me: the user's name; choose(name, node): the
// addressee was tapped; run(command): an action of a system line.
export function renderLine(line, me, { choose, run }) {
  const item = document.createElement('li');
  const kind = text(line.kind) || 'chat';
  item.className = kind;
  item.dataset.offset = String(line.offset);
  const time = timeOf(line.time);
  if (time) item.append(span('time', time));
  const from = text(line.from);
  const to = text(line.to) || kEverybody;
  const colour = readableColour(line.colour);
  const body = span('text', text(line.text));
  switch (kind) {
    case 'chat':
      item.append(span('marker', to === me ? '▲' : '△'), nameButton(from, text(line.fromNode), colour, choose),
                  span('verb', ' 对 '), nameButton(to, '', colour, choose), span('verb', ` ${saying(line)} `), body);
      body.style.color = colour;
      break;
    case 'private':
    case 'page':
      item.append(span('tag', kind === 'private' ? '【密谈】' : '【传呼】'),
                  nameButton(from, text(line.fromNode), colour, choose),
                  span('verb', kind === 'private' ? ' 对 ' : ' 呼 '), nameButton(to, '', colour, choose),
                  span('verb', kind === 'private' ? ` ${saying(line)} ` : ' '), body);
      body.style.color = colour;
      break;
    case 'notice':
      item.append(span('tag', '【公告】: '), from ? nameButton(from, text(line.fromNode), '', choose) : '', ' ', body);
      break;
    case 'system':
      if (from) item.append(span('from', `${from} `));
      item.append(body);
      break;
    default:
      item.append(body);
      break;
  }
  if (Array.isArray(line.actions) && line.actions.length) {
    const actions = span('actions', '');
    for (const action of line.actions) {
      if (!action || typeof action.command !== 'string') continue;
      const button = document.createElement('button');
      button.type = 'button';
      button.textContent = text(action.label) || action.command;
      button.addEventListener('click', () => run(action.command));
      actions.append(button);
    }
    item.append(actions);
  }
  return item;
}

// A line of the client's own (an error, a divider between rooms).
export function localLine(kind, words) {
  const item = document.createElement('li');
  item.className = kind;
  item.textContent = words;
  return item;
}
