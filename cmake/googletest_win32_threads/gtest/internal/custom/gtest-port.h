// GoogleTest's own hook for port changes, taking the place of its empty one
// when the standard library has no std::mutex (MinGW's win32 thread model).
// GoogleTest needs std::mutex only for Notification, which only its own
// thread tests use; Win32 critical sections serve everything else.
#ifndef CELLPORT_GTEST_CUSTOM_PORT_H
#define CELLPORT_GTEST_CUSTOM_PORT_H

#include <atomic>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing::internal {

class Notification {
public:
    void Notify() { notified.store(true); }
    void WaitForNotification() {
        while (!notified.load()) {
        }
    }

private:
    std::atomic<bool> notified{false};
};

}  // namespace testing::internal

#endif
