#include "FakeObjects.h"

#include <atomic>

namespace fakes {
namespace {
std::atomic<long> GLive{0};
}

long LiveObjects() { return GLive.load(); }

namespace detail {
void FakeCreated() { ++GLive; }
void FakeDestroyed() { --GLive; }
} // namespace detail

} // namespace fakes
