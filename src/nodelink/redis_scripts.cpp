#include "nodelink/redis_scripts.h"

namespace redis_scripts {
namespace {

// Helpers every script starts with.
constexpr const char kPrelude[] = R"lua(
local p = ARGV[1]
local function apply(at, count)
  for k = 1, count do
    local key = p .. ARGV[at + 1]
    if ARGV[at] == 'H' then
      redis.call('HSET', key, ARGV[at + 2], ARGV[at + 3])
      redis.call('SADD', p .. 'state', key)
    else
      redis.call('HDEL', key, ARGV[at + 2])
    end
    at = at + 4
  end
  return at
end
local function under(start)
  local found = {}
  for _, key in ipairs(redis.call('SMEMBERS', p .. 'state')) do
    if string.sub(key, 1, #start) == start then table.insert(found, key) end
  end
  return found
end
local function dropNode(node)
  for _, key in ipairs(under(p .. 'node:' .. node .. ':')) do
    redis.call('DEL', key)
    redis.call('SREM', p .. 'state', key)
  end
end
local function hashes(start)
  local out = {}
  for _, key in ipairs(under(start)) do
    table.insert(out, string.sub(key, #p + 1))
    table.insert(out, redis.call('HGETALL', key))
  end
  return out
end
local function nowMs()
  local t = redis.call('TIME')
  return tonumber(t[1]) * 1000 + math.floor(tonumber(t[2]) / 1000)
end
local function streamIds(stream)
  if redis.call('EXISTS', stream) == 0 then return '0-0', '0-0' end
  local info = redis.call('XINFO', 'STREAM', stream)
  local last, deleted = '0-0', '0-0'
  for i = 1, #info, 2 do
    if info[i] == 'last-generated-id' then last = info[i + 1] end
    if info[i] == 'max-deleted-entry-id' then deleted = info[i + 1] end
  end
  return last, deleted
end
)lua";

std::string WithPrelude(const char* body) { return std::string(kPrelude) + body; }

}  // namespace

const std::string kPublish = WithPrelude(R"lua(
local id = redis.call('XADD', p .. ARGV[2], 'MAXLEN', '~', ARGV[3], '*', 'n', ARGV[4], 'i', ARGV[5], 'r', ARGV[6])
apply(8, tonumber(ARGV[7]))
return id
)lua");

const std::string kPublishLine = WithPrelude(R"lua(
local offset = redis.call('HINCRBY', p .. 'offsets', ARGV[7], 1)
local epoch = redis.call('GET', p .. 'epoch') or ''
return redis.call('XADD', p .. ARGV[2], 'MAXLEN', '~', ARGV[3], '*', 'n', ARGV[4], 'i', ARGV[5], 'r', ARGV[6],
                  'o', offset, 'e', epoch, 'k', ARGV[8])
)lua");

const std::string kHello = WithPrelude(R"lua(
local node = ARGV[2]
local made = redis.call('SET', p .. 'epoch', ARGV[5], 'NX')
local epoch = redis.call('GET', p .. 'epoch')
dropNode(node)
local at = apply(10, tonumber(ARGV[9]))
if made or epoch ~= ARGV[4] then apply(at + 1, tonumber(ARGV[at])) end
redis.call('ZADD', p .. 'nodes', string.format('%.0f', nowMs()), node)
redis.call('XADD', p .. ARGV[6], 'MAXLEN', '~', ARGV[7], '*', 'n', node, 'i', ARGV[3], 'r', ARGV[8])
return epoch
)lua");

const std::string kSnapshot = WithPrelude(R"lua(
local last, deleted = streamIds(p .. ARGV[2])
return {redis.call('GET', p .. 'epoch') or '', last, deleted, redis.call('ZRANGE', p .. 'nodes', 0, -1), hashes(p)}
)lua");

const std::string kResumeCheck = WithPrelude(R"lua(
local last, deleted = streamIds(p .. ARGV[2])
return {redis.call('GET', p .. 'epoch') or '', deleted}
)lua");

const std::string kNodeState = WithPrelude(R"lua(
return hashes(p .. 'node:' .. ARGV[2] .. ':')
)lua");

const std::string kHeartbeat = WithPrelude(R"lua(
local now = string.format('%.0f', nowMs())
local added = redis.call('ZADD', p .. 'nodes', now, ARGV[2])
return {added, now, redis.call('ZRANGE', p .. 'nodes', 0, -1, 'WITHSCORES')}
)lua");

const std::string kBury = WithPrelude(R"lua(
local node = ARGV[2]
local seen = redis.call('ZSCORE', p .. 'nodes', node)
if not seen then return 0 end
local oldest = tonumber(ARGV[3])
if oldest >= 0 and nowMs() - tonumber(seen) <= oldest then return 0 end
redis.call('ZREM', p .. 'nodes', node)
dropNode(node)
redis.call('XADD', p .. ARGV[4], 'MAXLEN', '~', ARGV[5], '*', 'n', ARGV[6], 'i', ARGV[7], 'r', ARGV[8])
return 1
)lua");

const std::string kAnswer = WithPrelude(R"lua(
redis.call('SET', p .. ARGV[2], ARGV[4], 'NX', 'EX', ARGV[3])
local stored = redis.call('GET', p .. ARGV[2]) or ARGV[4]
redis.call('XADD', p .. ARGV[5], 'MAXLEN', '~', ARGV[6], '*', 'n', ARGV[7], 'i', ARGV[8], 't', ARGV[9],
           'ti', ARGV[10], 'r', stored)
redis.call('XACK', p .. ARGV[11], ARGV[12], ARGV[13])
return stored
)lua");

}  // namespace redis_scripts
