#include "server/server.h"

#include <sys/socket.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "accounts/user_database.h"
#include "api/api_requests.h"
#include "chat/chat_core.h"
#include "chat/chat_loader.h"
#include "commands/evidence_command.h"
#include "commands/process_request.h"
#include "foundation/settings.h"
#include "foundation/sockets.h"
#include "foundation/text.h"
#include "http/routes.h"
#include "http/metrics_connection.h"
#include "http/turned_away.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/descriptors.h"
#include "platform/stop_event.h"
#include "platform/thread.h"
#include "server/housekeeping.h"
#include "server/node_transport_wiring.h"

namespace {

constexpr int kHousekeepingTurns = 200;  // seconds between housekeeping rounds
constexpr const char* kMetricsAddress = "127.0.0.1";

// The port of the key on [network] bind_address (every local address when
// empty). The blanks an ini line may leave before its comment are no part
// of the address.
ListenAddress ListenSetting(const char* portKey, const char* fallbackPort) {
  const std::string port = GetSetting("network", portKey);
  const std::string address(TrimBlanks(GetSetting("network", "bind_address")));
  return ListenAddress{address, port.empty() ? fallbackPort : port};
}

int ConnectionTimeout() {
  const int seconds = GetSettingInt("general", "connection_timeout");
  return seconds != 0 ? seconds : kDefaultConnectionTimeout;
}

int RequestTimeout() {
  const int seconds = GetSettingInt("network", "request_timeout");
  return seconds > 0 ? seconds : kDefaultRequestTimeout;
}

// A connection refused at accept is closed at once, after the one answer its
// socket takes without waiting. What it sent already (its request, most
// likely) is read first: a socket closed with unread input is reset, and the
// answer lost.
constexpr int kTurnedAwayReads = 4;
void TurnAway(platform::CUniqueFd socket, const char* text) {
  char discarded[4096];
  for (int read = 0; read < kTurnedAwayReads; ++read) {
    if (::recv(socket.Get(), discarded, sizeof discarded, MSG_DONTWAIT) <= 0) break;
  }
  const std::string answer = TurnedAwayAnswer(text);
  [[maybe_unused]] const ssize_t sent = ::send(socket.Get(), answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

// Below the read time-outs of common proxies (nginx: 60 s).
constexpr int kDefaultKeepAliveSeconds = 30;
constexpr int kLongestKeepAliveSeconds = 3600;

int KeepAliveSeconds() {
  const int seconds = GetSettingInt("network", "keepalive_seconds");
  return seconds > 0 ? std::min(seconds, kLongestKeepAliveSeconds) : kDefaultKeepAliveSeconds;
}

// What the site never serves, whatever folder [Path] current names: the
// settings, the account files, the managers and the evidence log.
std::vector<PrivateName> PrivateSiteNames() {
  const std::string settings = FindFileOnPath(kIniFileName);
  std::vector<PrivateName> names{PrivateName(settings.empty() ? kIniFileName : settings),
                                 PrivateName(ConfiguredUserDatabase().directory), PrivateName(kManagerFile)};
  const std::string evidence = EvidenceLogPath();
  if (!evidence.empty()) names.emplace_back(evidence);
  return names;
}

}  // namespace

int LoopCount() {
  const int configured = GetSettingInt("network", "loops");
  if (configured > 0) return configured;
  const unsigned cores = std::thread::hardware_concurrency();
  return cores > 0 ? static_cast<int>(cores) : 1;
}

int HashThreadCount() {
  const int configured = GetSettingInt("user_database", "hash_threads");
  return configured > 0 ? configured : kDefaultHashThreads;
}

CServer::CServer(CChatCore& core)
    : m_core(core),
      m_site(GetSetting("Path", "current"), PrivateSiteNames()),
      m_loops(LoopCount()),
      m_delivery(core, m_loops),
      m_accountPool(HashThreadCount(), "AccountWork"),
      m_registrations(ReadRegistrationsPerMinute()) {
  m_accountSyncs = std::make_unique<CSyncBatch>(GetSetting("user_database", "directory"));
  m_accountWork =
      std::make_unique<CAccountWork>(&m_accountPool, m_accountSyncs.get(), ReadAccountWorkLimits(), ReadHashCost());
  m_services.accountWork = m_accountWork.get();
  m_services.registrations = &m_registrations;
  m_http.handler = [this](CRequest& request) {
    if (GetRouteCode(request.Path()) == kRouteApi) {
      ProcessApiRequest(request, m_core, m_services);
    } else {
      ProcessRequest(request, m_core, m_services);
    }
  };
  m_http.adoptStream = [this](net::CConnection& connection, const StreamRequest& stream, std::string_view head) {
    m_delivery.AdoptStream(connection, stream.session, stream.format, stream.lastEventId, head);
  };
  m_http.site = &m_site;
  m_http.loops = &m_loops;
  m_http.connectionTimeout = ConnectionTimeout();
  m_http.requestTimeout = RequestTimeout();
  if (!ReadTrustedProxies()) return;
  OpenListeners();
  m_core.SetDelivery(&m_delivery);
  m_nodeTransport = MakeNodeTransport(core);
  if (!m_startError.empty()) return;
  StartAdmission();
  OpenMetricsListener();
  AddMetrics();
}

CServer::~CServer() {
  SignalStop();  // a server torn down early still ends its threads
  if (m_housekeeping.joinable()) m_housekeeping.join();
  m_accountPool.Stop();  // no account work outlives the server (it answers through the loops)
  m_accountSyncs.reset();  // what waits for the disk is synced and answered
  // The transport says goodbye and its threads end while the loops that
  // remote lines are handed to still run.
  if (m_nodeTransport) m_nodeTransport->Stop();
  m_loops.Stop();  // closes every connection and stream
  m_core.SetDelivery(nullptr);
  m_listeners.clear();
  m_telnet.reset();
  m_metricsListener.reset();
}

// A typing error here must not quietly give every user behind the proxy
// the proxy's address, so it stops the server like a port it cannot take.
bool CServer::ReadTrustedProxies() {
  const std::string setting = GetSetting("network", "trusted_proxies");
  std::string bad;
  std::optional<CAddressList> proxies = CAddressList::Parse(setting, &bad);
  if (!proxies) {
    m_startError = "[network] trusted_proxies: \"" + bad + "\" is neither an address nor a network";
    return false;
  }
  m_http.trustedProxies = std::move(*proxies);
  return true;
}

void CServer::OpenListeners() {
  const ListenAddress http = ListenSetting("http_port", "8080");
  // The loops share the port (each accepts on its own socket), so first make
  // sure nobody else listens there: a second server must not take a share.
  ListeningSocket probe = ProbePortIsFree(http);
  if (!probe.fd) {
    m_startError = "Can't listen on " + http.Describe() + ": " + probe.failure;
    return;
  }
  probe.fd.Reset();
  for (int index = 0; index < m_loops.Count(); ++index) {
    ListeningSocket socket = OpenListeningSocket(http, kListenBacklog, m_loops.Count() > 1);
    if (!socket.fd) {
      m_startError = "Can't listen on " + http.Describe() + ": " + socket.failure;
      m_listeners.clear();
      return;
    }
    net::CEventLoop& loop = m_loops.Loop(index);
    m_listeners.push_back(std::make_unique<net::CListener>(
        loop, std::move(socket.fd),
        [this, &loop](platform::CUniqueFd accepted, std::string peer) { Accept(loop, std::move(accepted), std::move(peer)); },
        [this, &loop] { return m_admission->MakeRoom(loop); }));
  }
  const ListenAddress telnetAddress = ListenSetting("telnet_port", "8081");
  ListeningSocket telnet = OpenListeningSocket(telnetAddress, kListenBacklog);
  if (!telnet.fd) {
    // Nothing is served there, so the pages go on; but say so.
    platform::ConsoleWrite("Can't listen on " + telnetAddress.Describe() + ": " + telnet.failure + "\n");
  } else {
    m_telnet = std::make_unique<net::CListener>(m_loops.Loop(0), std::move(telnet.fd),
                                                [](platform::CUniqueFd client, std::string) { client.Reset(); });
  }
}

// Only the machine itself may read the metrics, whatever bind_address says.
void CServer::OpenMetricsListener() {
  const std::string port(TrimBlanks(GetSetting("network", "metrics_port")));
  if (PortOf(port) == 0) return;
  const ListenAddress where{kMetricsAddress, port};
  ListeningSocket socket = OpenListeningSocket(where, kListenBacklog);
  if (!socket.fd) {
    // The chat goes on without its figures; but say so.
    platform::ConsoleWrite("Can't listen on " + where.Describe() + " for the metrics: " + socket.failure + "\n");
    return;
  }
  // Its connections take no place under the connection caps: the scraper
  // must get in when the server is full, above all then.
  net::CEventLoop& loop = m_loops.Loop(0);
  m_metricsListener = std::make_unique<net::CListener>(
      loop, std::move(socket.fd), [this, &loop](platform::CUniqueFd client, std::string peer) {
        loop.Adopt(std::move(client), std::move(peer), std::make_unique<CMetricsConnection>(m_metrics));
      });
}

void CServer::StartAdmission() {
  net::CAdmission::Limits limits;
  const int descriptorLimit = platform::DescriptorLimit();
  limits.connectionCeiling = net::CAdmission::CeilingFor(descriptorLimit, platform::OpenDescriptorCount());
  limits.perAddress = std::max(0, GetSettingInt("network", "max_connections_per_address"));
  limits.trustedProxies = m_http.trustedProxies;
  platform::ConsolePrintf("At most %d connections open at once (%d descriptors allowed)\n", limits.connectionCeiling,
                          descriptorLimit);
  m_admission = std::make_unique<net::CAdmission>(std::move(limits));
}

void CServer::Accept(net::CEventLoop& loop, platform::CUniqueFd socket, std::string peerAddress) {
  net::CAdmission::Verdict admitted = m_admission->Admit(loop, peerAddress);
  if (admitted.refusal != net::Refusal::kNone) {
    TurnAway(std::move(socket), admitted.refusal == net::Refusal::kAddressFull ? kTooManyFromAddressText : kServerFullText);
    return;
  }
  try {
    loop.Adopt(std::move(socket), peerAddress, std::make_unique<CClientConnection>(m_http), std::move(admitted.ticket));
  } catch (const std::bad_alloc&) {  // the socket and its place are given back
    platform::LogException("Can't new CClientConnection object", "client " + peerAddress);
  }
}

void CServer::run() {
  for (size_t index = 0; index < m_listeners.size(); ++index) {
    net::CListener* listener = m_listeners[index].get();
    m_loops.Loop(static_cast<int>(index)).Post([listener] { listener->Start(); });
  }
  for (net::CListener* onFirstLoop : {m_telnet.get(), m_metricsListener.get()}) {
    if (onFirstLoop != nullptr) m_loops.Loop(0).Post([onFirstLoop] { onFirstLoop->Start(); });
  }
  m_delivery.StartKeepAlive(KeepAliveSeconds());
  m_loops.Start(g_stopEvent->PollFd());
  if (m_nodeTransport) m_nodeTransport->Start();
  m_housekeeping = platform::StartThread("SpaceThread", [this] { SpaceThread(); });
  platform::ConsoleWrite("Start Accept\n");
  while (!g_stopEvent->Wait(1000)) {
  }
  platform::ConsoleWrite("The end of CServer::run()\n");
}

void CServer::SpaceThread() {
  int turn = 0;
  while (!g_stopEvent->Wait(1000)) {
    if (++turn % kHousekeepingTurns != 0) continue;
    try {  // the last guard of a round
      RunHousekeeping(m_core);
    } catch (...) {
      platform::LogException("housekeeping: the round failed");
      platform::SleepMs(50);
    }
  }
}
