#include "foundation/file_writer.h"

#include "platform/console.h"

CFileWriter& CFileWriter::Instance() {
  static CFileWriter writer;  // its thread starts with the first job
  return writer;
}

void CFileWriter::Submit(const std::function<void()>& job) {
  if (m_pool.Submit(job)) return;
  // No thread could be started: better late on this thread than never,
  // and guarded as the pool would guard it.
  try {
    job();
  } catch (...) {
    platform::LogException("file writer: job failed");
  }
}
