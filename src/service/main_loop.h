// The main loop: passes of load, serve and tear down until the stop event.
#pragma once

// Always 1. The arguments are not used.
int RunMainLoop(int argc, char** argv);

// Settings first, then the chat core's lists, rooms and managers.
void LoadConfiguration();
// Deletes what LoadConfiguration made, in a fixed order.
void DestroyGlobals();
