#include "app/snapshot.h"

#include <utility>

namespace fw {

void SnapshotExchange::Publish() {
  std::lock_guard lock(mutex_);
  back_.sequence = ++sequence_;
  std::swap(back_, middle_);
  fresh_ = true;
}

bool SnapshotExchange::TakeLatest(Snapshot& front) {
  std::lock_guard lock(mutex_);
  if (!fresh_) return false;
  std::swap(front, middle_);
  fresh_ = false;
  return true;
}

}  // namespace fw
