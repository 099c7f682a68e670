// Session ids: two lower-case base-36 numbers written one after the other
// (2 to 13 characters). A session id is the only credential of every chat
// request, so both numbers come from the system's secure random source.
#pragma once

#include <string>

inline constexpr size_t kSessionIdFirstDigits = 6;
inline constexpr size_t kSessionIdSecondDigits = 7;

std::string ToBase36(unsigned long long value);
std::string MakeSessionId();
