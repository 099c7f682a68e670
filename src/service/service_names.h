// The names under which the program presents itself.
#pragma once

inline constexpr const char* kServiceName = "TolvanSService1.1";
inline constexpr const char* kDisplayName = "Tolvan Single Seivice 1.1";
inline constexpr const char* kProgramName = "tolvanss1.1";
