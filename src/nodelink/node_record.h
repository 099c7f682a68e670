// Node records: how this node tells its peers about logons, room events and
// chat lines. A record is fields of "CODE" 0x06 value 0x05, ended by CR LF;
// CT (the type) comes first, then SN for numbered records, then the fields
// of its layout in the fixed order of the table in node_record.cpp.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

inline constexpr char kFieldStart = '\x06';
inline constexpr char kFieldEnd = '\x05';
inline constexpr size_t kRecordTextLimit = 1999;  // MSG carries at most this many bytes

// The values of one record by field code; a code the layout does not name is
// left out, a code the layout names but the map lacks is written empty.
using RecordValues = std::map<std::string, std::string, std::less<>>;

// The layouts. Most are named by their CT; the two forms of PB, PR and PC
// have names of their own.
enum class RecordLayout {
  kLogon,             // LG
  kRegister,          // RG
  kPasswordStep1,     // CP1
  kPasswordStep2,     // CP2
  kPasswordChange,    // CP
  kLeave,             // ET
  kUserListEntry,     // LS
  kCreateRoom,        // CR
  kJump,              // JP
  kRemoveRoom,        // RR
  kKick,              // KK
  kBan,               // BN
  kRoomLine,          // PB from PostRoomMessage
  kRoomNotice,        // PB from PostRoomNotice
  kUserLine,          // PR or PC from PostUserMessage
  kPrivateLine,       // PR or PC from PostPrivateMessage
  kSetManager,        // SETM
  kRemoveManager,     // RMA
  kLockRoom,          // LR
  kUnlockRoom,        // UNLR
  kAuthorize,         // AUTH
  kRefuse,            // REFU
  // Records of the transport over Redis (docs/cluster.md).
  kAnswer,            // AN: the answer to a request
  kNodeState,         // NS: a node has written its users again
  kGoodbye,           // BYE: a node leaves
};

// The record's bytes. serial < 0 leaves SN out (it is left out anyway for
// layouts that carry none). ctOverride replaces the layout's CT (PR or PC).
std::string BuildNodeRecord(RecordLayout layout, const RecordValues& values, int serial = -1,
                            std::string_view ctOverride = {});
bool LayoutIsNumbered(RecordLayout layout);
std::string_view LayoutType(RecordLayout layout);
// Requests wait for an answer from another node: LG, RG, CP, CP1, CP2.
bool LayoutIsRequest(RecordLayout layout);
bool IsRequestType(std::string_view type);
// The CT of a record's bytes, without reading the rest; "" when it has none.
std::string_view RecordType(std::string_view record);

// A record read back: its fields by code. Null when the bytes are not one
// whole record (fields of CODE 0x06 value 0x05 and nothing else, the first
// being CT, ended by CR LF), or when a code repeats. A code is two or three
// capital letters; a value holds neither separator.
struct ParsedRecord {
  std::string type;  // the CT value
  RecordValues values;
  const std::string& Get(std::string_view code) const;
};
std::optional<ParsedRecord> ParseNodeRecord(std::string_view bytes);
