#include "api/api_errors.h"

#include <array>

#include "html/account_pages.h"
#include "html/frame_pages.h"

namespace {

struct Entry {
  ApiError error;
  ApiErrorInfo info;
};

// In the order of the enum (checked below).
constexpr std::array kErrors = {
    Entry{ApiError::kBadRequest, {"bad_request", 400, "请求的格式不对。"}},
    Entry{ApiError::kNotFound, {"not_found", 404, "没有这个接口。"}},
    Entry{ApiError::kMethodNotAllowed, {"method_not_allowed", 405, "这个接口不接受这种请求方法。"}},
    Entry{ApiError::kUnknownSession, {"unknown_session", 401, kInvalidSessionText}},
    // include.html
    Entry{ApiError::kBadName,
          {"bad_name", 422, "名字里不能有空格和 # + : < > & % ' 等特殊字符，也不能用“大家”和 ★ ☆ 等符号。"}},
    Entry{ApiError::kNameOutsideGbk,
          {"bad_name", 422, "名字里有经典页面无法显示的字符（如表情符号），请换一个名字。"}},
    // nametoolong.html
    Entry{ApiError::kNameTooLong, {"name_too_long", 422, "名字最多 20 个字节（10 个汉字）。"}},
    // register.html's notes
    Entry{ApiError::kIncompleteRegistration,
          {"bad_registration", 422,
           "名字和密码都要填写，密码最多 78 个字节；要能找回密码，提示问题和回答必须都填，提示问题最多 24 个汉字。"}},
    Entry{ApiError::kNameTaken, {"name_taken", 409, kNameTakenText}},
    // toomanyreg.html
    Entry{ApiError::kTooManyRegistrations,
          {"too_many_registrations", 429, "从您的地址注册的次数太多，请过一分钟再注册。"}},
    // nameerror.html: a name without an account and a wrong password look alike
    Entry{ApiError::kWrongPassword, {"wrong_password", 401, "没有这个用户，或者密码不对。"}},
    // banned.html
    Entry{ApiError::kBanned,
          {"banned", 403,
           "由于有人在聊天室里言语不文明，您所在的网络地址暂时被禁止进入，十分钟后可以再登录。"}},
    // kicked.html
    Entry{ApiError::kKicked, {"kicked", 403, "您因为言语不太文明被管理员踢出，五分钟后可以再登录。"}},
    // wrongpass.html
    Entry{ApiError::kLogonFailed, {"logon_failed", 500, "登录没有完成，请重新登录。"}},
    // error.html
    Entry{ApiError::kLogonUnavailable, {"unavailable", 503, "服务器暂时无法确认您的身份，请稍后再试。"}},
    // errorr.html
    Entry{ApiError::kRegistrationUnavailable, {"unavailable", 503, "服务器暂时无法完成注册，请稍后再试。"}},
    // busy.html
    Entry{ApiError::kBusy, {"busy", 503, "现在登录和注册的人太多，服务器忙不过来，请稍等片刻再试。"}},
    // error_cr1.html
    Entry{ApiError::kBadRoomName,
          {"bad_room_name", 422,
           "聊天室名字不能为空，也不能有空格、制表符和 : ; # % & < > ' \" \\ 等特殊字符。"}},
    Entry{ApiError::kRoomNameOutsideGbk,
          {"bad_room_name", 422, "聊天室名字里有经典页面无法显示的字符（如表情符号），请换一个名字。"}},
    // error_cr2.html
    Entry{ApiError::kRoomNameTooLong, {"room_name_too_long", 422, "聊天室名字最多 30 个字节（15 个汉字）。"}},
    // The pages say "聊天室已经存在。" here too, which is not why.
    Entry{ApiError::kTooManyRooms, {"too_many_rooms", 403, "聊天室太多了，不能再建新的聊天室。"}},
    Entry{ApiError::kNotInRoom, {"not_in_room", 409, "您还没有进入聊天室。"}},
    Entry{ApiError::kNotApproved, {"not_approved", 403, kNotApprovedText}},
    Entry{ApiError::kInternal, {"error", 500, "服务器出了错，请稍后再试。"}},
};

constexpr bool InEnumOrder() {
  for (size_t i = 0; i < kErrors.size(); ++i) {
    if (static_cast<size_t>(kErrors[i].error) != i) return false;
  }
  return kErrors.size() == static_cast<size_t>(ApiError::kInternal) + 1;
}
static_assert(InEnumOrder(), "every error once, in the order of the enum");

}  // namespace

const ApiErrorInfo& InfoOf(ApiError error) { return kErrors[static_cast<size_t>(error)].info; }
