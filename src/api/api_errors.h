// The errors of the JSON API, in one place: each has a machine code, an
// HTTP status and the Chinese text the classic pages show for the same case
// (the site's templates and the pages the server writes); a case the pages
// do not have says what went wrong in the same voice. Several errors may
// share a code and differ in their text.
#pragma once

enum class ApiError {
  kBadRequest,
  kNotFound,
  kMethodNotAllowed,
  kUnknownSession,
  // Logon and registration.
  kBadName,
  kNameOutsideGbk,
  kNameTooLong,
  kIncompleteRegistration,
  kNameTaken,
  kTooManyRegistrations,
  kWrongPassword,
  kBanned,
  kKicked,
  kLogonFailed,
  kLogonUnavailable,
  kRegistrationUnavailable,
  kBusy,
  // Rooms and lines.
  kBadRoomName,
  kRoomNameOutsideGbk,
  kRoomNameTooLong,
  kTooManyRooms,
  kNotInRoom,
  kNotApproved,
  kInternal,
};

struct ApiErrorInfo {
  const char* code;
  int status;
  const char* text;  // GB2312, as every text of the server; the answer carries it as UTF-8
};

const ApiErrorInfo& InfoOf(ApiError error);
