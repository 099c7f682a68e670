// The phone client's line order (site/htdocs/app/feed.js): which lines of
// the event stream it shows. A line is shown once, in the room's order,
// when the stream resumes, when a reset replays lines it has shown (a new
// stream, a gap older than the history), and a new room or a new life of
// the room (another epoch) starts afresh.
//
//   node app_line_order.mjs SITE_DIR
import path from 'node:path';
import { pathToFileURL } from 'node:url';

const [siteDir] = process.argv.slice(2);
const { LineOrder } = await import(pathToFileURL(path.join(siteDir, 'htdocs/app/feed.js')).href);

const reset = (room, epoch, offset) => ({ reset: { room, epoch, offset } });
const line = (room, epoch, offset, sub) => ({ line: { room, epoch, offset, ...(sub ? { sub } : {}) } });

// Each case: the events in the order they come, and the offsets shown
// (a reset that starts afresh shows as 'new').
const cases = [
  ['a fresh stream: reset, history, live lines',
    [reset('大厅', 'e1', 3), line('大厅', 'e1', 1), line('大厅', 'e1', 3), line('大厅', 'e1', 4)], ['new', 1, 3, 4]],
  ['a resumed stream repeats nothing',
    [reset('大厅', 'e1', 2), line('大厅', 'e1', 2), line('大厅', 'e1', 2), line('大厅', 'e1', 1), line('大厅', 'e1', 5)],
    ['new', 2, 5]],
  ['a reset of the same room and epoch replays lines already shown',
    [reset('大厅', 'e1', 2), line('大厅', 'e1', 1), line('大厅', 'e1', 2), reset('大厅', 'e1', 6),
     line('大厅', 'e1', 1), line('大厅', 'e1', 2), line('大厅', 'e1', 6)], ['new', 1, 2, 6]],
  ['another room starts afresh, lower offsets and all',
    [reset('大厅', 'e1', 9), line('大厅', 'e1', 9), reset('书房', 'e7', 2), line('书房', 'e7', 1), line('书房', 'e7', 2)],
    ['new', 9, 'new', 1, 2]],
  ['the room made again (another epoch) starts afresh',
    [reset('大厅', 'e1', 9), line('大厅', 'e1', 9), reset('大厅', 'e2', 0), line('大厅', 'e2', 0)], ['new', 9, 'new', 0]],
  ['sub-lines of a cluster come between offsets, each once',
    [reset('大厅', 'e1', 4), line('大厅', 'e1', 4), line('大厅', 'e1', 4, 1), line('大厅', 'e1', 4, 2),
     line('大厅', 'e1', 4, 1), line('大厅', 'e1', 5), line('大厅', 'e1', 4, 3)], ['new', 4, 4, 4, 5]],
  ['a line without an offset is not shown',
    [reset('大厅', 'e1', 0), line('大厅', 'e1', undefined), line('大厅', 'e1', '3'), line('大厅', 'e1', 0)], ['new', 0]],
];

let failed = 0;
for (const [name, events, expected] of cases) {
  const order = new LineOrder();
  const shown = [];
  for (const event of events) {
    if (event.reset && order.reset(event.reset)) shown.push('new');
    if (event.line && order.accept(event.line)) shown.push(event.line.offset);
  }
  if (JSON.stringify(shown) !== JSON.stringify(expected)) {
    failed++;
    console.error(`FAILED: ${name}: shown ${JSON.stringify(shown)}, expected ${JSON.stringify(expected)}`);
  }
}
console.log(failed ? `${failed} of ${cases.length} cases failed` : `all ${cases.length} cases as expected`);
process.exit(failed ? 1 : 0);
