// count_instructions WHAT: runs one 4096-record block through one path or
// its pass-through (WHAT: onevents, oninput, passthrough-events,
// passthrough-data), or one cycle of the same events through the LV2
// plug-in's run or an LV2 pass-through (lv2run, passthrough-atoms), so that valgrind's callgrind can count the instructions
// of that one function. Instruction counts, unlike time, do not depend on
// what else the machine is doing.
#include <string>

#include "bench/blocks.h"
#include "bench/lv2_cycle.h"
#include "bench/lv2_pass_through.h"
#include "bench/pass_through.h"
#include "filter/event_paths.h"
#include "tests/filter/fake_queues.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const std::string what = argv[1];
    CFilterCore core;
    CFakeEventQueue events(EventBlock()), sentEvents;
    CFakeDataQueue messages(DataBlock()), sentMessages;
    sentEvents.m_added.reserve(kBlock);
    sentMessages.m_added.reserve(kBlock);
    if (what == "onevents") RunSequencedPath(core, &events, &sentEvents);
    else if (what == "passthrough-events") PassThroughEvents(&events, &sentEvents);
    else if (what == "oninput") RunLivePath(core, &messages, &sentMessages);
    else if (what == "passthrough-data") PassThroughData(&messages, &sentMessages);
    else if (what == "lv2run" || what == "passthrough-atoms") {
        CLv2TestHost host(true, kLv2CycleRoom);
        WriteEventCycle(host);
        host.Out().atom.size = host.Room() - 8;
        if (what == "lv2run") host.Plugin().Run(kBlock);
        else PassThroughAtoms(&host.In(), &host.Out());
    } else return 2;
    return 0;
}
