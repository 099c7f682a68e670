// The systemd unit that stands for the installed service: its name, where
// its file lives and what the file says.
#pragma once

#include <string>

// "TolvanSService1.1.service".
std::string UnitName();

// $TOLVAN_UNIT_DIR, or /etc/systemd/system when it is not set.
std::string UnitDirectory();
std::string UnitFilePath();

// False when systemd could not take the paths: a line break in either, or a
// quote or backslash in the executable's path.
bool UnitCanName(const std::string& executable, const std::string& workingDirectory);

// A unit of Type=notify that runs the executable without arguments (the
// service path) in the working directory, restarts it when it fails, may
// write only below that directory, and starts at boot once enabled.
std::string UnitFileText(const std::string& executable, const std::string& workingDirectory);
