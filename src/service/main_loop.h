// The main loop: passes of load, serve and tear down until the stop event.
#pragma once

// What RunMainLoop gives back: 1 after an orderly stop; kServerCannotListen
// when the HTTP port could not be opened or the server's settings cannot be
// followed (the process then exits non-zero).
inline constexpr int kMainLoopStopped = 1;
inline constexpr int kServerCannotListen = 2;

int RunMainLoop(int argc, char** argv);
