// Where the proxy's named objects live.
#include "host/HostNames.h"

#include "common/BaseDirectory.h"
#include "platform/NamedEvent.h"

std::string HostRuntimeDirectory() { return platform::RuntimeDirectory(baseDirectory()); }
