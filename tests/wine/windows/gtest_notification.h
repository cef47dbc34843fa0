// GoogleTest's Notification for MinGW-w64 compilers of the win32 thread
// model, whose C++ library has no std::mutex. Notification is used only by
// GoogleTest's own threading helpers, which these tests never start, so a
// flag that is waited on by polling is enough. Forced into every file that
// includes GoogleTest, with GTEST_HAS_NOTIFICATION_ set.
#ifndef ACM_INVENTORY_TESTS_GTEST_NOTIFICATION_H
#define ACM_INVENTORY_TESTS_GTEST_NOTIFICATION_H

#include <atomic>

namespace testing {
namespace internal {

class Notification {
public:
    Notification() = default;
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { notified_.store(true); }
    void WaitForNotification() {
        while (!notified_.load()) {
        }
    }

private:
    std::atomic<bool> notified_{false};
};

}  // namespace internal
}  // namespace testing

#endif  // ACM_INVENTORY_TESTS_GTEST_NOTIFICATION_H
