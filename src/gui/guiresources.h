#pragma once

// Registers the icons and pictures compiled into the gui library. The library is static,
// so its resources register only when something calls this; every window does.
void ensureGuiResources();
