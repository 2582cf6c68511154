#include "gui/guiresources.h"

#include <QDirIterator>
#include <QGuiApplication>
#include <QImageReader>
#include <QWidget>
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

namespace {

// Read as PNG by name: left to guess a file's format, the image reader loads every
// image-format plugin on the system to ask each one, which slows the start.
QPixmap readPng(const QString& path) {
    QImageReader reader(path, QByteArrayLiteral("png"));
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImageReader(&reader);
}

} // namespace

QIcon applicationIcon() {
    ensureGuiResources();
    QIcon icon;
    QDirIterator sizes(QStringLiteral(":/appicon"), QDir::Files);
    while (sizes.hasNext())
        icon.addPixmap(readPng(sizes.next()));
    return icon;
}

QIcon renderedIcon(const QString& name) {
    QIcon icon;
    icon.addPixmap(renderedPicture(name, 1.0));
    icon.addPixmap(renderedPicture(name, 2.0));
    return icon;
}

QPixmap renderedPicture(const QString& name, qreal devicePixelRatio) {
    ensureGuiResources();
    const bool dense = devicePixelRatio > 1.0;
    QPixmap picture = readPng(QStringLiteral(":/") + name +
                              (dense ? QStringLiteral("@2x.png") : QStringLiteral(".png")));
    picture.setDevicePixelRatio(dense ? 2.0 : 1.0);
    return picture;
}

QIcon StartupFriendlyStyle::standardIcon(StandardPixmap standardIcon, const QStyleOption* option,
                                         const QWidget* widget) const {
    const bool rightToLeft = widget ? widget->isRightToLeft() : QGuiApplication::isRightToLeft();
    if (standardIcon != SP_ToolBarHorizontalExtensionButton || rightToLeft)
        return QProxyStyle::standardIcon(standardIcon, option, widget);
    if (m_extensionIcon.isNull()) {
        QDirIterator sizes(QStringLiteral(":/qt-project.org/styles/commonstyle/images"),
                           {QStringLiteral("toolbar-ext-h-[0-9]*.png")}, QDir::Files);
        while (sizes.hasNext())
            m_extensionIcon.addPixmap(readPng(sizes.next()));
    }
    return m_extensionIcon.isNull() ? QProxyStyle::standardIcon(standardIcon, option, widget)
                                    : m_extensionIcon;
}
