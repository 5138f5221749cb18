// The failure of the repository tool's own work: a source that can't be built from, or a
// catalogue archive without a catalogue. The message names the file.
#pragma once

#include "platform/Exception.h"

namespace varnel {

VARNEL_EXCEPTION(ERepositoryError, Exception);

}  // namespace varnel
