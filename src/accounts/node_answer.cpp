#include "accounts/node_answer.h"

#include <memory>

#include "chat/chat_core.h"
#include "platform/stop_event.h"

namespace {

constexpr int kSecondsBetweenSends = 5;
constexpr int kTickMs = 1000;

struct Waiter : std::enable_shared_from_this<Waiter> {
  CChatCore& core;
  CParkedRequest parked;
  int serial;
  std::string record;
  int resendLimit;
  AwaitedAnswer awaited;
  std::function<void(const NodeAnswer&, CPage&)> finish;
  int seconds = 0;
  int resends = 0;
  bool done = false;  // touched on the parked connection's loop only

  Waiter(CChatCore& chat, CParkedRequest request, int number, std::string text, int limit, AwaitedAnswer what,
         std::function<void(const NodeAnswer&, CPage&)> done)
      : core(chat), parked(request), serial(number), record(std::move(text)), resendLimit(limit), awaited(what),
        finish(std::move(done)) {}

  // The answer, once there is one.
  std::optional<NodeAnswer> Answer() {
    const std::optional<CResendItem> item = core.NodeLink().ResendList().FindBySerial(serial);
    if (!item) return std::nullopt;
    if (awaited == AwaitedAnswer::kReply ? !item->reply.has_value() : item->status == kNoAnswerYet) return std::nullopt;
    return NodeAnswer{item->status, item->reply};
  }

  // The receiver of answers wakes the waiter at once; the timer stays for
  // the time-out (and for a link without a transport).
  void Start() {
    std::weak_ptr<Waiter> weak = weak_from_this();
    core.NodeLink().ResendList().WakeOnAnswer(serial, [weak] {
      if (std::shared_ptr<Waiter> self = weak.lock()) self->parked.Loop().Post([self] { self->Wake(); });
    });
    Schedule();
    Wake();  // the answer may have come before the waker was there
  }

  void Wake() {
    if (done) return;
    if (std::optional<NodeAnswer> answer = Answer()) Finish(*answer);
  }

  void Tick() {
    if (done) return;
    std::optional<NodeAnswer> answer = StopRequested() ? NodeAnswer{} : Answer();
    if (!answer && ++seconds % kSecondsBetweenSends == 0) {
      core.NodeLink().Resend(record);
      // The last resend goes out, but no more time is given for its answer.
      if (++resends == resendLimit) answer = NodeAnswer{};
    }
    if (!answer) {
      Schedule();
      return;
    }
    Finish(*answer);
  }

  void Finish(const NodeAnswer& answer) {
    done = true;
    core.NodeLink().ResendList().Remove(serial);
    parked.Resume([answer, finish = finish](CPage& page) { finish(answer, page); });
  }

  void Schedule() {
    auto self = shared_from_this();
    parked.Loop().RunAfter(kTickMs, [self] { self->Tick(); });
  }
};

}  // namespace

void AskNodeAndWait(CChatCore& core, CRequest& request, RecordLayout layout, const RecordValues& values,
                    int resendLimit, AwaitedAnswer awaited, std::function<void(const NodeAnswer&, CPage&)> finish) {
  const int serial = core.NodeLink().Emit(layout, values);
  auto waiter = std::make_shared<Waiter>(core, request.Park(), serial, BuildNodeRecord(layout, values, serial),
                                         resendLimit, awaited, std::move(finish));
  waiter->Start();
}
