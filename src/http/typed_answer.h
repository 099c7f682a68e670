// How a typed answer (html/page.h) goes out: an HTTP/1.1 head with its
// status, content type, the body's length and what becomes of the
// connection, then the body. Nothing of it is cached.
#pragma once

#include <string>

#include "html/page.h"

// keepAliveSeconds: the connection waits this long for the next request;
// 0: it closes after this answer.
std::string TypedAnswerBytes(const TypedAnswer& answer, int keepAliveSeconds);
