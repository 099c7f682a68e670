// EVIDENCE: a user records that something happened in his room. The
// record goes to the log named by [log] evidence (none when it is empty):
//   ********************************************
//   User: name
//   Room: room
//   Time: 09:41:07 PM
//   ********************************************
#pragma once

#include <string>

#include "commands/speaker.h"

// The log [log] evidence names; "" when there is none.
std::string EvidenceLogPath();

std::string EvidenceRecord(const std::string& user, const std::string& room, const std::string& time);
// Appends the record of the user in the room with the time of this call;
// the file is written by the file writer's thread in one piece, and a
// failure is reported on the console.
void RecordEvidence(const std::string& user, const std::string& room);

// The record, then the confirmation to the speaker in the room of the request.
void CommandEvidence(CommandContext& context);
