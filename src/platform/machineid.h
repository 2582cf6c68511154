#pragma once

#include <QString>

namespace platform {

// This installation's identifier, passed on as the system holds it, never parsed.
struct MachineIdentifier {
    QString value; // empty when the system keeps none
    QString error; // why it could not be read although it exists; empty otherwise
};

MachineIdentifier machineIdentifier();

} // namespace platform
