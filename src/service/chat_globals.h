// The chat core's globals, created at each load of the configuration and
// deleted at the end of each pass.
#pragma once

void LoadChatCore();
void DestroyChatCore();
