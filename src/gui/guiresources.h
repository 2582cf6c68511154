#pragma once

#include <QIcon>
#include <QPixmap>
#include <QProxyStyle>
#include <QString>

// Registers the icons and pictures compiled into the gui library. The library is static,
// so its resources register only when something calls this; every window does.
void ensureGuiResources();

// The program's icon, with a rendering for each size it is shown at.
QIcon applicationIcon();

// A 16-pixel button or menu icon rendered at build time, ":/NAME.png" with ":/NAME@2x.png"
// for screens of double density.
QIcon renderedIcon(const QString& name);

// A picture rendered at build time, ":/NAME.png", or ":/NAME@2x.png" on a screen of more
// than one device pixel per window pixel; either way it covers the same window pixels.
QPixmap renderedPicture(const QString& name, qreal devicePixelRatio);

// The platform's style, except for the icon of the menu bar's overflow button, which every
// menu bar asks for when it is created: read from the same pictures as PNG by name, it
// spares the program's start the loading of every image-format plugin on the system.
class StartupFriendlyStyle : public QProxyStyle {
public:
    QIcon standardIcon(StandardPixmap standardIcon, const QStyleOption* option = nullptr,
                       const QWidget* widget = nullptr) const override;

private:
    mutable QIcon m_extensionIcon;
};
