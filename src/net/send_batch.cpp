#include "net/send_batch.h"

#include <liburing.h>
#include <sys/socket.h>

#include <cerrno>

#include "platform/console.h"

namespace net {
namespace {
// Writes per submission, the ring's size. A submission runs in the kernel
// without a break: 64 writes (a quarter of a millisecond) let the clients'
// side of this machine, and the other loop, have the core between them;
// larger ones saved little CPU and delayed the first arrivals.
constexpr unsigned kRingEntries = 64;
}  // namespace

// The ring, set up with SUBMIT_ALL (a write that fails at submission holds
// back none of the others, so every write offered is taken or answered) and,
// where the kernel knows it, COOP_TASKRUN (completions need no interrupt of
// this thread). A kernel without SUBMIT_ALL gets no ring.
class CSendBatch::CRing {
 public:
  CRing() {
    for (const unsigned flags : {IORING_SETUP_SUBMIT_ALL | IORING_SETUP_COOP_TASKRUN, IORING_SETUP_SUBMIT_ALL}) {
      if (io_uring_queue_init(kRingEntries, &m_ring, flags) == 0) {
        m_ready = true;
        return;
      }
    }
  }
  ~CRing() {
    if (m_ready) io_uring_queue_exit(&m_ring);
  }
  CRing(const CRing&) = delete;
  CRing& operator=(const CRing&) = delete;
  bool Ready() const { return m_ready; }
  io_uring* Get() { return &m_ring; }

 private:
  io_uring m_ring{};
  bool m_ready = false;
};

CSendBatch::CSendBatch() : m_ring(std::make_unique<CRing>()) {
  if (!m_ring->Ready()) m_ring.reset();
}

CSendBatch::~CSendBatch() = default;

void CSendBatch::SendAll(std::vector<Write>& writes) {
  for (size_t first = 0; first < writes.size(); first += kRingEntries) {
    const size_t left = writes.size() - first;
    SendChunk(writes, first, static_cast<unsigned>(left < kRingEntries ? left : kRingEntries));
  }
}

void CSendBatch::SendChunk(std::vector<Write>& writes, size_t first, unsigned count) {
  io_uring* ring = m_ring->Get();
  for (unsigned i = 0; i < count; ++i) {
    Write& write = writes[first + i];
    write.result = -EAGAIN;
    io_uring_sqe* entry = io_uring_get_sqe(ring);
    // MSG_DONTWAIT: a full socket answers -EAGAIN at once instead of
    // waiting in the kernel for room.
    io_uring_prep_send(entry, write.fd, write.data, write.size, MSG_DONTWAIT | MSG_NOSIGNAL);
    io_uring_sqe_set_data64(entry, first + i);
  }
  int submitted = io_uring_submit(ring);
  while (submitted == -EINTR) submitted = io_uring_submit(ring);
  if (submitted < 0) {
    // Nothing was taken by the kernel: every write says "try again", and
    // the ring is given up (the loop sends one by one from now on).
    platform::ConsolePrintf("send batch: io_uring submit failed (%d); writing socket by socket\n", submitted);
    m_ring.reset();
    return;
  }
  // Every submitted write completes: its buffer must outlive it, so wait
  // for them all (a send that does not wait completes at once).
  for (int reaped = 0; reaped < submitted;) {
    io_uring_cqe* completion = nullptr;
    const int waited = io_uring_wait_cqe(ring, &completion);
    // A wait ends early only for a signal; the writes are still in
    // flight then, and their buffers must not go: wait again.
    if (waited < 0) continue;
    writes[io_uring_cqe_get_data64(completion)].result = completion->res;
    io_uring_cqe_seen(ring, completion);
    ++reaped;
  }
}

}  // namespace net
