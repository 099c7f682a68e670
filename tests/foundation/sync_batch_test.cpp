#include "foundation/sync_batch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "support/temp_dir.h"

namespace {

TEST(SyncBatch, WaitingWorkGoesAfterOneSyncForAll) {
  TempDir dir;
  std::atomic<int> done{0};
  {
    CSyncBatch batch(dir.Path());
    for (int i = 0; i < 100; ++i) batch.AfterSync([&] { ++done; });
    while (done < 100) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_LT(batch.Syncs(), 100) << "work that waits together shares a sync";
    EXPECT_GE(batch.Syncs(), 1);
  }
  CSyncBatch missing(dir.File("not/yet/made"));
  missing.AfterSync([&] { ++done; });
  // Destroying the batch lets what still waits go after a last sync.
}

}  // namespace
