// The JSON API below /api/ (docs/api.md): each call answers its JSON, null
// for 204, or throws an ApiError whose text is the one the pages show.

export class ApiError extends Error {
  constructor(status, code, text) {
    super(text);
    this.status = status;
    this.code = code;
  }
}

const kNetworkText = '网络连接失败，请检查网络后再试。';
const kServerText = '服务器出了错，请稍后再试。';

async function call(path, body) {
  const request = body === undefined
    ? { cache: 'no-store' }
    : { method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify(body) };
  let answer;
  try {
    answer = await fetch(path, request);
  } catch {
    throw new ApiError(0, 'network', kNetworkText);
  }
  if (answer.status === 204) return null;
  let data = null;
  try {
    data = await answer.json();
  } catch {
    data = null;
  }
  if (!answer.ok) {
    const error = data && data.error;
    throw new ApiError(answer.status, (error && error.code) || 'error', (error && error.text) || kServerText);
  }
  return data;
}

const query = (session) => `session=${encodeURIComponent(session)}`;

export const api = {
  logon: (name, password) => call('/api/logon', { name, password }),
  register: (fields) => call('/api/register', fields),
  rooms: () => call('/api/rooms'),
  enter: (session, room, category) => call('/api/enter', { session, room, category }),
  // line: { text, to, private, action, says, colour }
  say: (session, line) => call('/api/say', { session, ...line }),
  online: (session) => call(`/api/online?${query(session)}`),
  logout: (session) => call('/api/logout', { session }),
  eventsAddress: (session) => `/events?${query(session)}`,
};
