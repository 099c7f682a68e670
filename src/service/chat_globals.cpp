#include "service/chat_globals.h"

// The chat core arrives with the rooms and sessions; until then a pass has
// nothing to load.
void LoadChatCore() {}
void DestroyChatCore() {}
