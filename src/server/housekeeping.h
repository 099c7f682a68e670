// The housekeeping round the server runs every 200 seconds.
#pragma once

class CChatCore;
class CStreamDelivery;

// Sweeps rooms that stayed empty, sends every stream its keep-alive and,
// when no transport carries the node link's records, empties its outgoing
// buffer and resend list.
void RunHousekeeping(CChatCore& core, CStreamDelivery& delivery);
