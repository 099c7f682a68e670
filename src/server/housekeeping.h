// The housekeeping the server does on a timer of its own, away from the
// requests: nothing that ends sessions or speaks to rooms runs inside a
// request's lookups.
#pragma once

class CChatCore;

// Every second: ends the sessions idle past their timeout (the core sweeps
// at most once per 20 seconds), announcing each leave in its room and
// closing its frame with the reason; shows the lines that waited too long
// for their place in the rooms' order.
void SweepIdleSessions(CChatCore& core);

// Every 200 seconds: sweeps rooms that stayed empty and, when no transport
// carries the node link's records, empties its outgoing buffer and resend list.
void RunHousekeeping(CChatCore& core);
