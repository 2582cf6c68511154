#include "support/combineprogram.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>

QString combineProgram() {
#ifdef _WIN32
    return QStringLiteral(BRINDLEAF_BIN_DIR "/brindleaf-combine.exe");
#else
    return QStringLiteral(BRINDLEAF_BIN_DIR "/brindleaf-combine");
#endif
}

ProgramOutcome runCombine(const QStringList& arguments, const QString& language,
                          const QString& executable, const QString& workingDirectory) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"})
        env.remove(QString::fromLatin1(name));
    if (!language.isEmpty())
        env.insert("LANGUAGE", language);
    QProcess process;
    process.setProcessEnvironment(env);
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.start(executable, arguments);
    EXPECT_TRUE(process.waitForFinished(60'000)) << executable.toStdString();
    ProgramOutcome result;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = programText(process.readAllStandardOutput());
    result.err = programText(process.readAllStandardError());
    return result;
}

QString programText(const QByteArray& bytes) {
    QString text = QString::fromUtf8(bytes);
#ifdef _WIN32
    // Messages go through the console's text mode; a lone CR stays for the tests to see.
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
#endif
    return text;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString BrindleafCombine::write(const QString& name, const QByteArray& content) const {
    QFile file(path(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
    return path(name);
}
