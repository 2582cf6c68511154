#pragma once

#include <QString>

namespace platform {

// Creates a named object that lives exactly as long as the process: an abstract-namespace
// Unix socket bound to the name, deliberately never closed. Any failure, including another
// process holding the name already, is ignored: a second instance starts like the first.
void holdNamedObject(const QString& name);

} // namespace platform
