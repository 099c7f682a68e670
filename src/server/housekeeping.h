// The housekeeping round the server runs every 200 seconds.
#pragma once

class CChatCore;
class CStreamDelivery;

// Sweeps rooms that stayed empty, sends every stream its keep-alive and
// empties the node link's outgoing buffer and resend list.
void RunHousekeeping(CChatCore& core, CStreamDelivery& delivery);
