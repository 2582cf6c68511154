#include "gui/guiresources.h"

#include <QtGlobal>

void ensureGuiResources() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(brindleaf);
        return true;
    }();
    (void)registered;
}
