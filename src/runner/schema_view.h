#pragma once
// The schema the plugin registered with the host (its name, capabilities and columns), as
// the runner's --show-schema prints it.

#include "output.h"

namespace runner {

// A "schema" note: JSON, or the columns as text.
void showSchema(Output &out);

} // namespace runner
