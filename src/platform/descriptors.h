// The process's file descriptors: how many it may open and how many are
// open, so that the server can keep some back for its files and logs when
// clients hold connections up to the limit.
#pragma once

namespace platform {

// The limit on open descriptors (the soft RLIMIT_NOFILE); 0 when unknown.
int DescriptorLimit();
// The descriptors open now (the entries of /proc/self/fd); 0 when unknown.
int OpenDescriptorCount();

}  // namespace platform
