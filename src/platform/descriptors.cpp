#include "platform/descriptors.h"

#include <dirent.h>
#include <sys/resource.h>

#include <climits>

namespace platform {

int DescriptorLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
  return limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > INT_MAX ? INT_MAX : static_cast<int>(limit.rlim_cur);
}

int OpenDescriptorCount() {
  DIR* directory = ::opendir("/proc/self/fd");
  if (directory == nullptr) return 0;
  int count = 0;
  while (const dirent* entry = ::readdir(directory)) {
    if (entry->d_name[0] != '.') ++count;
  }
  ::closedir(directory);
  return count - 1;  // the directory's own descriptor
}

}  // namespace platform
