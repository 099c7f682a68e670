// The seven process mutexes the main loop creates, reachable from every
// layer. Each is an ordinary named mutex of the registry.
#pragma once

#include "platform/named_mutex.h"

namespace platform {

enum class ProcessMutex { kSnCounter, kMsgList, kJavaList, kKickBan, kExtOut, kPassWord, kLogon };

// Creates the seven in their fixed order (first use creates them too).
bool CreateProcessMutexes();
CNamedMutex& GetProcessMutex(ProcessMutex which);

}  // namespace platform
