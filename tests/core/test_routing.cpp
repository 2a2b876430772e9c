// The routing cases through the core's own door, CFilterCore::Play and the
// router's Route, on both paths.
#include "tests/core/routing_cases.h"

namespace {

struct PlayFace {
    using Sequenced = SequencedPlay;
    using Live = LivePlay;
    static constexpr const char* kName = "Play";
};

using PlayDoors = ::testing::Types<SequencedPlay, LivePlay>;
INSTANTIATE_TYPED_TEST_SUITE_P(Core, Routing, PlayDoors, DoorName);
INSTANTIATE_TYPED_TEST_SUITE_P(Core, SharedMemories, ::testing::Types<PlayFace>, DoorName);

}  // namespace
