// A plain Qt Widgets program that shows the widgets of brindleaf's main window, with its
// texts, and nothing else: no icons, no settings, no languages. What Qt itself takes to show
// such a window, between the empty window and brindleaf.
#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QMainWindow window;
    QMenu* file = window.menuBar()->addMenu(QStringLiteral("File"));
    file->addAction(QStringLiteral("Add XML Files..."));
    file->addAction(QStringLiteral("Export Combined XML..."));
    file->addSeparator();
    file->addAction(QStringLiteral("Exit"));
    QMenu* help = window.menuBar()->addMenu(QStringLiteral("Help"));
    help->addAction(QStringLiteral("Online Help"));
    help->addSeparator();
    help->addAction(QStringLiteral("Update Notifications"));
    help->addSeparator();
    help->addAction(QStringLiteral("Send Feedback..."));
    help->addAction(QStringLiteral("About..."));

    auto* client = new QWidget;
    auto* clientLayout = new QVBoxLayout(client);
    clientLayout->addWidget(new QListWidget);
    auto* panel = new QFrame;
    auto* panelLayout = new QHBoxLayout(panel);
    panelLayout->addWidget(new QPushButton(QStringLiteral("Add XML Files")));
    panelLayout->addWidget(new QPushButton(QStringLiteral("Export Combined XML")));
    clientLayout->addWidget(panel);
    window.setCentralWidget(client);
    window.setStatusBar(new QStatusBar);
    window.resize(478, 286);
    window.setWindowTitle(QStringLiteral("Same widgets"));
    window.show();
    return QApplication::exec();
}
