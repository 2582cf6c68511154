#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <string>

// The real brindleaf-combine of this build, run as a program of its own.
QString combineProgram();

struct ProgramOutcome {
    int exitCode = -1; // -1 when the program did not end normally
    QString out;
    QString err;
    QStringList errLines() const { return err.split('\n', Qt::SkipEmptyParts); }
    std::string errText() const { return err.toStdString(); }
};

// Runs the program to its end without the caller's language variables; `language`, when
// given, is the one asked for.
ProgramOutcome runCombine(const QStringList& arguments, const QString& language = {},
                          const QString& executable = combineProgram(),
                          const QString& workingDirectory = {});

// What the program wrote as text, with Windows' CR LF line ends as LF.
QString programText(const QByteArray& bytes);

// The whole file; empty when it cannot be read.
QByteArray readAll(const QString& path);

// Files for the program in a temporary folder.
class BrindleafCombine : public testing::Test {
protected:
    QTemporaryDir dir;

    QString path(const QString& name) const { return dir.filePath(name); }
    QString write(const QString& name, const QByteArray& content) const;
    // Three further-file shapes around a base with the root "items".
    QString base() const { return write("a.xml", "<items>\n  <item>a</item>\n</items>\n"); }
    QString matching() const { return write("b.xml", "<items><item>b</item></items>"); }
    QString otherRoot() const { return write("other.xml", "<things><item>x</item></things>"); }
    QString broken() const { return write("broken.xml", "<items>\n<item>\n</items>\n"); }
};
