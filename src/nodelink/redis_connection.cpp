#include "nodelink/redis_connection.h"

#include <hiredis/hiredis.h>
#include <sys/time.h>

namespace {

timeval Duration(int milliseconds) {
  return timeval{milliseconds / 1000, static_cast<suseconds_t>((milliseconds % 1000) * 1000)};
}

RedisValue Copy(const redisReply& reply) {
  RedisValue value;
  switch (reply.type) {
    case REDIS_REPLY_STRING:
      value.type = RedisValue::Type::kString;
      value.text.assign(reply.str, reply.len);
      break;
    case REDIS_REPLY_STATUS:
      value.type = RedisValue::Type::kStatus;
      value.text.assign(reply.str, reply.len);
      break;
    case REDIS_REPLY_ERROR:
      value.type = RedisValue::Type::kError;
      value.text.assign(reply.str, reply.len);
      break;
    case REDIS_REPLY_INTEGER:
      value.type = RedisValue::Type::kInteger;
      value.integer = reply.integer;
      break;
    case REDIS_REPLY_ARRAY:
      value.type = RedisValue::Type::kArray;
      value.elements.reserve(reply.elements);
      for (size_t index = 0; index < reply.elements; ++index) value.elements.push_back(Copy(*reply.element[index]));
      break;
    default:
      break;
  }
  return value;
}

struct ReplyDeleter {
  void operator()(void* reply) const { freeReplyObject(reply); }
};

}  // namespace

std::vector<std::pair<std::string, std::string>> RedisValue::AsPairs() const {
  std::vector<std::pair<std::string, std::string>> pairs;
  for (size_t index = 0; index + 1 < elements.size(); index += 2) {
    pairs.emplace_back(elements[index].AsText(), elements[index + 1].AsText());
  }
  return pairs;
}

RedisArgs ScriptArgs(std::string_view source, const RedisArgs& args) {
  RedisArgs eval = {"EVAL", std::string(source), "0"};
  eval.insert(eval.end(), args.begin(), args.end());
  return eval;
}

CRedisConnection::CRedisConnection(std::string address, int timeoutMs)
    : m_address(std::move(address)), m_timeoutMs(timeoutMs) {}

CRedisConnection::~CRedisConnection() { Close(); }

void CRedisConnection::Close() {
  if (m_context != nullptr) redisFree(m_context);
  m_context = nullptr;
}

bool CRedisConnection::Failed(const char* what) {
  m_error = m_context != nullptr && m_context->err != 0 ? m_context->errstr : what;
  Close();
  return false;
}

bool CRedisConnection::Connect() {
  Close();
  const timeval timeout = Duration(m_timeoutMs);
  const size_t colon = m_address.rfind(':');
  if (!m_address.empty() && m_address.front() == '/') {
    m_context = redisConnectUnixWithTimeout(m_address.c_str(), timeout);
  } else if (colon != std::string::npos) {
    m_context = redisConnectWithTimeout(m_address.substr(0, colon).c_str(), std::atoi(m_address.c_str() + colon + 1),
                                        timeout);
  } else {
    m_error = "not an address";
    return false;
  }
  if (m_context == nullptr || m_context->err != 0) return Failed("cannot connect");
  if (redisSetTimeout(m_context, timeout) != REDIS_OK) return Failed("cannot set the time-out");
  if (m_address.front() != '/') redisEnableKeepAlive(m_context);
  m_error.clear();
  return true;
}

bool CRedisConnection::Queue(const RedisArgs& args) {
  if (m_context == nullptr) return false;
  std::vector<const char*> pointers;
  std::vector<size_t> lengths;
  for (const std::string& arg : args) {
    pointers.push_back(arg.data());
    lengths.push_back(arg.size());
  }
  if (redisAppendCommandArgv(m_context, static_cast<int>(args.size()), pointers.data(), lengths.data()) != REDIS_OK) {
    return Failed("cannot queue a command");
  }
  return true;
}

std::optional<RedisValue> CRedisConnection::NextReply() {
  if (m_context == nullptr) return std::nullopt;
  void* raw = nullptr;
  if (redisGetReply(m_context, &raw) != REDIS_OK || raw == nullptr) {
    Failed("no reply");
    return std::nullopt;
  }
  std::unique_ptr<void, ReplyDeleter> reply(raw);
  return Copy(*static_cast<redisReply*>(raw));
}

std::optional<RedisValue> CRedisConnection::Call(const RedisArgs& args) {
  if (!Queue(args)) return std::nullopt;
  return NextReply();
}

std::optional<RedisValue> CRedisConnection::Script(std::string_view source, const RedisArgs& args) {
  return Call(ScriptArgs(source, args));
}
