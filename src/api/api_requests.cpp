#include "api/api_requests.h"

#include <array>
#include <exception>
#include <string>
#include <string_view>

#include "api/api_accounts.h"
#include "api/api_answer.h"
#include "api/api_chat.h"
#include "api/api_events.h"
#include "http/routes.h"
#include "http/request.h"
#include "platform/console.h"

namespace {

using ApiCall = void (*)(CRequest&, CApiInput&, CChatCore&, const RequestServices&);

struct ApiRoute {
  std::string_view path;
  int method;
  ApiCall call;
};

constexpr std::array kApiRoutes = {
    ApiRoute{"/api/logon", kPost, ApiLogon},   ApiRoute{"/api/register", kPost, ApiRegister},
    ApiRoute{"/api/rooms", kGet, ApiRooms},    ApiRoute{"/api/enter", kPost, ApiEnter},
    ApiRoute{"/api/say", kPost, ApiSay},       ApiRoute{"/api/online", kGet, ApiOnline},
    ApiRoute{"/api/logout", kPost, ApiLogout}, ApiRoute{kEventsPath, kGet, ApiEvents},
};

const ApiRoute* FindRoute(std::string_view path) {
  for (const ApiRoute& route : kApiRoutes) {
    if (route.path == path) return &route;
  }
  return nullptr;
}

void Serve(CRequest& request, CChatCore& core, const RequestServices& services) {
  CPage& page = request.Page();
  std::string_view path = request.Path() ? std::string_view(*request.Path()) : std::string_view();
  path = path.substr(0, path.find('?'));  // a POST's path keeps its query: the body is what counts
  const ApiRoute* route = FindRoute(path);
  if (route == nullptr) return AnswerError(page, ApiError::kNotFound);
  if (route->method != request.Method()) return AnswerError(page, ApiError::kMethodNotAllowed);
  const std::string given = request.QueryOrBody().value_or("");
  std::optional<CApiInput> input = request.Method() == kPost ? CApiInput::FromBody(given) : CApiInput::FromQuery(given);
  if (!input) return AnswerError(page, ApiError::kBadRequest);
  route->call(request, *input, core, services);
}

}  // namespace

void ProcessApiRequest(CRequest& request, CChatCore& core, const RequestServices& services) {
  try {
    Serve(request, core, services);
  } catch (...) {
    // Said with its cause; the client gets the API's own error below, not a page.
    const std::string& path = request.Path().value_or("");
    platform::LogException("api request failed", path.substr(0, path.find('?')) + ", client " + request.ClientAddress());
  }
  // Every call answers, at once or once its parked work is done.
  if (!request.Parked() && !request.Page().Typed() && !request.Stream()) {
    AnswerError(request.Page(), ApiError::kInternal);
  }
}
