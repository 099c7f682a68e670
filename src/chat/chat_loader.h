// Loading the chat core at the start of each pass: the system rooms of
// [rooms] and the managers of "managerlist.txt"; and saving the managers
// back when they change.
#pragma once

#include <memory>

#include "chat/chat_core.h"

inline constexpr const char* kManagerFile = "managerlist.txt";

// A core made from the loaded settings, with its rooms and managers.
std::unique_ptr<CChatCore> LoadChatCore(CNodeOutbox& outbox);
void LoadRooms(CChatCore& core);
void LoadManagerFile(CChatCore& core);
// Rewrites "managerlist.txt" with the managers as they are now. The file is
// written whole (never in part) by the file writer's thread; a failure is
// reported on the console.
void SaveManagerFile(const CChatCore& core);
