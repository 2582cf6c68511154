#include "core/identity.h"
#include "gui/appform.h"
#include "gui/guiresources.h"
#include "platform/fontpreload.h"
#include "platform/namedobject.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    // Held until the process ends; a second instance ignores the clash and runs.
    platform::holdNamedObject(QStringLiteral("QUENLOW_Brindleaf"));

    // Overlaps the reading of the font configuration with the setting up of the application.
    platform::FontPreload fonts;
    QApplication app(argc, argv);
    QApplication::setApplicationName(identity::applicationTitle());
    // Wayland desktops match the window to its desktop entry by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.quenlow.brindleaf"));
    QApplication::setWindowIcon(applicationIcon());
    QApplication::setStyle(new StartupFriendlyStyle); // the application owns its style

    fonts.wait();
    TAppForm AppForm;
    AppForm.show();
    return QApplication::exec();
}
