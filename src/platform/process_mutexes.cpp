#include "platform/process_mutexes.h"

#include <array>

namespace platform {
namespace {
const std::array<NamedMutexPtr, 7>& Mutexes() {
  static const std::array<NamedMutexPtr, 7> mutexes = {
      OpenNamedMutex("tolSnCounter"), OpenNamedMutex("tolMsgList"), OpenNamedMutex("tolJavaList"),
      OpenNamedMutex("tolKickBan"),   OpenNamedMutex("tolExtOut"),  OpenNamedMutex("tolPassWord"),
      OpenNamedMutex("tolLogon")};
  return mutexes;
}
}  // namespace

bool CreateProcessMutexes() {
  for (const NamedMutexPtr& mutex : Mutexes()) {
    if (!mutex) return false;
  }
  return true;
}

CNamedMutex& GetProcessMutex(ProcessMutex which) { return *Mutexes()[static_cast<size_t>(which)]; }

}  // namespace platform
