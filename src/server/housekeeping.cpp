#include "server/housekeeping.h"

// The rooms, the streams and the node link join the round as they arrive.
void PrepareHousekeeping() {}
void RunHousekeeping() {}
