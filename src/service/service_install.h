// "-install" and "-remove": the systemd unit of the service.
#pragma once

void InstallService();
void RemoveService();
