// How a typed answer (html/page.h) goes out: in its kept-connection form an
// HTTP/1.1 head with its status, content type, the body's length and what
// becomes of the connection, then the body, nothing of it cached; in its
// classic form the HTTP/1.0 head of the classic pages (status and content
// type) and the body, which the connection's end ends; nothing at all for
// the answer that is none.
#pragma once

#include <string>

#include "html/page.h"

// keepAliveSeconds (the kept-connection form): the connection waits this
// long for the next request; 0: it closes after this answer.
std::string TypedAnswerBytes(const TypedAnswer& answer, int keepAliveSeconds);
