#pragma once
// Execute PCCC (service 0x4B to the PCCC object) for the SLC 500, MicroLogix and PLC-5
// personalities: typed logical reads and writes, PLC-5 word range reads and writes, and the
// PCCC error replies of a real controller.

#include "tag_services.h"

namespace absim {

std::vector<uint8_t> handleExecutePccc(const CipTarget &target, const uint8_t *data, size_t n);

// Data files a controller of the family has unless the configuration names them.
std::vector<TagDef> defaultDataFiles(Personality p);

} // namespace absim
