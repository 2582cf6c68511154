#include "support/exportfixture.h"

#include "gui/filedialog.h"
#include "support/combinetesting.h"

#include <QGuiApplication>
#include <QPushButton>

ExportTest::ExportTest() {
    setMessageSink([this](const ShownMessage& m) {
        seen.push_back({m, QGuiApplication::overrideCursor() != nullptr});
    });
}

ExportTest::~ExportTest() {
    setMessageSink({});
}

QString ExportTest::file(const QString& name, const std::string& content) const {
    writeFileBytes(dir.filePath(name), content);
    return dir.filePath(name);
}

void ExportTest::exportTo(const QStringList& inputs, const QString& output) {
    FileDialog::setNextFileNames(inputs);
    form.findChild<QPushButton*>("Button1")->click();
    FileDialog::setNextFileName(output);
    form.findChild<QPushButton*>("Button2")->click();
}

std::vector<ShownMessage> ExportTest::messages() const {
    std::vector<ShownMessage> out;
    for (const Seen& s : seen) {
        out.push_back(s.message);
        EXPECT_FALSE(s.busyCursor) << s.message.text.toStdString();
    }
    return out;
}
