// Placeholder until the tag path lands: the cycles visit nothing.
#include "plugin/ab_eip.h"

bool AB_EIP::readData(LogList *) { return true; }
bool AB_EIP::writeData(LogList *) { return true; }
bool AB_EIP::stopPlugin() { return true; }
