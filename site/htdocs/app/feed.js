// The room's lines as the event stream (/events) brings them. The browser's
// EventSource reconnects by itself and sends the last id it saw
// (Last-Event-ID), so the server resumes after it; LineOrder drops what is
// already shown, so a line is shown once even when a reset replays lines
// (a new stream, or a gap older than the room's history).

// Which lines are new: the room, its epoch (one life of the room) and the
// place of the last line shown. Places grow in the room's order: the
// offset, then the sub-line (a line of one server said between two lines
// of a cluster's order; 0 when absent).
export class LineOrder {
  constructor() {
    this.room = null;
    this.epoch = null;
    this.lastOffset = -1;
    this.lastSub = 0;
  }

  // A reset names the room's position; true when it begins another room
  // or another life of it (what is shown no longer continues).
  reset({ room, epoch }) {
    if (room === this.room && epoch === this.epoch) return false;
    this.room = room;
    this.epoch = epoch;
    this.lastOffset = -1;
    this.lastSub = 0;
    return true;
  }

  // True when the line is new: show it.
  accept({ room, epoch, offset, sub = 0 }) {
    if (room !== this.room || epoch !== this.epoch) {
      this.room = room;
      this.epoch = epoch;
      this.lastOffset = -1;
      this.lastSub = 0;
    }
    if (typeof offset !== 'number' || typeof sub !== 'number') return false;
    if (offset < this.lastOffset || (offset === this.lastOffset && sub <= this.lastSub)) return false;
    this.lastOffset = offset;
    this.lastSub = sub;
    return true;
  }
}

// How long a closed stream waits before it is opened again.
const kReopenMs = 2000;

// handlers: reset(data, continues), line(data), bye(data), connection(state)
// with state 'open', 'reconnecting', or 'closed' (the stream was refused:
// check the session), and bad(error) for an event that is no JSON.
export class EventFeed {
  constructor(address, handlers) {
    this.address = address;
    this.handlers = handlers;
    this.order = new LineOrder();
    this.lastId = '';  // the id of the last line seen, for a new stream to resume after it
    this.source = null;
    this.reopenTimer = 0;
  }

  open() {
    this.close();
    const resume = this.lastId ? `&lastEventId=${encodeURIComponent(this.lastId)}` : '';
    const source = new EventSource(this.address + resume);
    this.source = source;
    source.addEventListener('open', () => this.handlers.connection('open'));
    source.addEventListener('error', () => {
      if (this.source !== source) return;
      if (source.readyState === EventSource.CLOSED) {
        this.handlers.connection('closed');
      } else {
        this.handlers.connection('reconnecting');
      }
    });
    source.addEventListener('reset', (event) => this.take(event, (data) => {
      // A reset that only renames the room's life (in a cluster) keeps
      // what is shown.
      const begins = this.order.reset(data);
      this.handlers.reset(data, !begins || data.continues === true);
    }));
    source.addEventListener('line', (event) => this.take(event, (data) => {
      if (event.lastEventId) this.lastId = event.lastEventId;
      if (this.order.accept(data)) this.handlers.line(data);
    }));
    source.addEventListener('bye', (event) => this.take(event, (data) => {
      this.close();
      this.handlers.bye(data);
    }));
  }

  // After a refusal: a new stream once the session is known to be alive.
  // It names the last line seen (EventSource sends Last-Event-ID only on
  // its own reconnects); should the server reset it, the order drops what
  // the reset replays.
  reopenSoon() {
    clearTimeout(this.reopenTimer);
    this.reopenTimer = setTimeout(() => this.open(), kReopenMs);
  }

  close() {
    clearTimeout(this.reopenTimer);
    if (this.source) this.source.close();
    this.source = null;
  }

  take(event, use) {
    let data;
    try {
      data = JSON.parse(event.data);
    } catch (error) {
      this.handlers.bad(error);
      return;
    }
    if (data && typeof data === 'object') use(data);
  }
}
