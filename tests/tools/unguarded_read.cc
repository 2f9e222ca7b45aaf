// Must not build under clang's lock analysis: Peek reads a guarded field
// without its lock. Checked by the test unguarded_read_does_not_build.
#include "common/mutex.h"

class Counter {
 public:
  void Add() {
    ovc::MutexLock lock(&mutex_);
    ++count_;
  }
  int Peek() const { return count_; }

 private:
  mutable ovc::Mutex mutex_;
  int count_ OVC_GUARDED_BY(mutex_) = 0;
};

int main() {
  Counter counter;
  counter.Add();
  return counter.Peek();
}
