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

// A 16-pixel button or menu icon rendered at build time, ":/NAME" with ":/NAME@2x" for
// screens of double density.
QIcon renderedIcon(const QString& name);

// A picture rendered at build time, ":/NAME", or ":/NAME@2x" on a screen of more than one
// device pixel per window pixel; either way it covers the same window pixels.
QPixmap renderedPicture(const QString& name, qreal devicePixelRatio);

// The platform's style, except for the icon of the menu bar's overflow button, which every
// menu bar asks for when it is created and hardly ever shows: the same pictures, read only
// when the button is drawn, spare the program's start the image decoder.
class StartupFriendlyStyle : public QProxyStyle {
public:
    QIcon standardIcon(StandardPixmap standardIcon, const QStyleOption* option = nullptr,
                       const QWidget* widget = nullptr) const override;

private:
    mutable QIcon m_extensionIcon;
};
