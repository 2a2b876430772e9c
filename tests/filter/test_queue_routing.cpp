// The routing cases of tests/core through the Windows face's doors: OnEvents
// and OnInput over the host's queues, each on its own and both on one core.
#include "path_harness.h"
#include "tests/core/routing_cases.h"

namespace {

struct QueueFace {
    using Sequenced = SequencedOnEvents;
    using Live = LiveOnInput;
    static constexpr const char* kName = "HostQueues";
};

using QueueDoors = ::testing::Types<SequencedOnEvents, LiveOnInput>;
INSTANTIATE_TYPED_TEST_SUITE_P(Windows, Routing, QueueDoors, DoorName);
INSTANTIATE_TYPED_TEST_SUITE_P(Windows, SharedMemories, ::testing::Types<QueueFace>, DoorName);

}  // namespace
