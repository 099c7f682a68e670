#include "http/frame_pages.h"

#include "foundation/settings.h"
#include "http/client_connection.h"
#include "http/page_shell.h"
#include "platform/console.h"

void DoSpace(CClientConnection& connection, const CUserSession& session) {
  try {
    connection.WriteHeader(kNoCache);
    connection.Response().AppendMany(
        "<HTML><head>", "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">\r\n", "<title>",
        GetSetting("general", "name"), "</title></head>\n", "<BODY BGCOLOR=#22ffff>",
        "<META HTTP-EQUIV=\"Refresh\" CONTENT=\"70; URL=/space?session=", session.GetId(), "\">");
    connection.WriteBodyEnd();
  } catch (...) {
    platform::ConsoleWrite("catch in from DoSpace\n");
  }
}
