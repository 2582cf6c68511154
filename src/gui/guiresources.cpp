#include "gui/guiresources.h"

#include <QDirIterator>
#include <QtGlobal>

// Resources of a static library register only when asked, and outside any namespace.
static void registerRenderedResources() {
    Q_INIT_RESOURCE(rendered);
}

void ensureGuiResources() {
    static const bool registered = [] {
        registerRenderedResources();
        return true;
    }();
    (void)registered;
}

QIcon applicationIcon() {
    ensureGuiResources();
    QIcon icon;
    QDirIterator sizes(QStringLiteral(":/appicon"), QDir::Files);
    while (sizes.hasNext())
        icon.addFile(sizes.next());
    return icon;
}

QPixmap renderedPicture(const QString& name, qreal devicePixelRatio) {
    ensureGuiResources();
    const bool dense = devicePixelRatio > 1.0;
    QPixmap picture(QStringLiteral(":/") + name +
                    (dense ? QStringLiteral("@2x.png") : QStringLiteral(".png")));
    picture.setDevicePixelRatio(dense ? 2.0 : 1.0);
    return picture;
}
