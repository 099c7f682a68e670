#include "service/service_install.h"

#include "platform/console.h"

// Installing the systemd unit is not built yet; both options say so and the
// process ends with code 0, as it does whatever happens.
void InstallService() { platform::ConsoleWrite("Service installation is not built yet.\n"); }
void RemoveService() { platform::ConsoleWrite("Service removal is not built yet.\n"); }
