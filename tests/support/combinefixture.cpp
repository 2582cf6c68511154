#include "support/combinefixture.h"

#include "core/apperror.h"

#include <QDir>

QString CombineTest::file(const QString& name, const std::string& content) const {
    writeFileBytes(path(name), content);
    return path(name);
}

CombineTest::Outcome CombineTest::run(const QStringList& inputs, const QString& output) {
    Outcome result;
    RecordingReporter reporter;
    try {
        result.outcome = combineXmlFiles(inputs, output, reporter);
    } catch (const AppError& error) {
        result.thrown = error.message();
    }
    result.messages = reporter.messages;
    lastProgress = reporter.lastProgress;
    return result;
}

QStringList CombineTest::strayFiles(const QStringList& expected) const {
    QStringList names =
        QDir(dir.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System);
    for (const QString& name : expected)
        names.removeAll(name);
    return names;
}
