// The housekeeping round the server runs every 200 seconds.
#pragma once

// Called once per server, before its threads start.
void PrepareHousekeeping();
// Sweeps old rooms, sends every stream its keep-alive and empties the node
// link's outgoing buffer and resend list.
void RunHousekeeping();
