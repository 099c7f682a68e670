// The answer to a client turned away before its request is served (too
// many connections from its address, or the server at its connection
// ceiling): status 503 and one line saying so, which a browser shows and a
// proxy passes on. A client that never sent its request may read it too.
// A request whose handling failed is answered the same way, with status 500.
#pragma once

#include <string>
#include <string_view>

inline constexpr const char* kTooManyFromAddressText = "来自您的地址的连接太多，请稍后再试。";
inline constexpr const char* kServerFullText = "服务器的连接已满，请稍后再试。";
inline constexpr const char* kRequestFailedText = "服务器出错，请稍后再试。";

std::string TurnedAwayAnswer(std::string_view text);
std::string FailedRequestAnswer();
