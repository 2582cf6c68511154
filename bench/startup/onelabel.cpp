// A minimal Qt Widgets program that shows a window with one line of text: what the first
// text of any window adds to the empty window, the fonts found and loaded.
#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel(QStringLiteral("Add XML Files")));
    window.resize(478, 286);
    window.setWindowTitle(QStringLiteral("One label"));
    window.show();
    return QApplication::exec();
}
