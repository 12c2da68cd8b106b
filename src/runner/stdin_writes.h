#pragma once
// --stdin-writes: NAME=VALUE lines from stdin, each handed to its device's thread.

#include "device_worker.h"
#include "events.h"
#include "item_index.h"

#include <atomic>
#include <map>

namespace runner {

// Reads until end of input or until told to stop; then tells every device that no more
// writes come and wakes the main thread.
void readStdinWrites(const ItemIndex &index, const std::map<int, DeviceWorker *> &workers,
                     const std::atomic<bool> &stop, Events &events);

} // namespace runner
