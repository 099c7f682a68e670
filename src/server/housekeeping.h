// The housekeeping round the server runs every 200 seconds.
#pragma once

class CChatCore;

// Sweeps rooms that stayed empty and, when no transport carries the node
// link's records, empties its outgoing buffer and resend list.
void RunHousekeeping(CChatCore& core);
