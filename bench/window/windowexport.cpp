// Exports files through the main window, as a user would, with the save dialog answered in
// advance and the message boxes recorded instead of shown:
//   bench-windowexport OUT INPUT...
// Exit status 0 when the window reported the file saved. The benchmark runs it on the
// offscreen platform and times it beside brindleaf-combine.
#include "gui/appform.h"
#include "gui/filedialog.h"
#include "gui/messagebox.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() < 3) {
        std::fputs("usage: bench-windowexport OUT INPUT...\n", stderr);
        return 2;
    }
    bool saved = false;
    setMessageSink([&saved](const ShownMessage& message) {
        saved = saved || message.caption == QLatin1String("SUCCESS");
        if (message.caption != QLatin1String("SUCCESS"))
            std::fprintf(stderr, "%s: %s\n", qPrintable(message.caption), qPrintable(message.text));
    });
    TAppForm form;
    // The export alone is measured: no update check goes out meanwhile.
    form.findChild<QTimer*>(QStringLiteral("TimerChecker"))->stop();
    FileDialog::setNextFileNames(arguments.mid(2));
    form.findChild<QPushButton*>(QStringLiteral("Button1"))->click();
    FileDialog::setNextFileName(arguments.at(1));
    form.findChild<QPushButton*>(QStringLiteral("Button2"))->click();
    return saved ? 0 : 1;
}
