// Loading the chat core at the start of each pass: the global lists, the
// system rooms of [rooms] and the managers of "managerlist.txt".
#pragma once

inline constexpr const char* kManagerFile = "managerlist.txt";

void LoadChatCore();
void LoadRooms();
void LoadManagerFile();
// Deletes the chat core's globals in their fixed order.
void DestroyChatCore();
