#pragma once

#include "support/combinetesting.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

// A combine run on files in a temporary folder: what it returned, reported and threw.
class CombineTest : public ::testing::Test {
protected:
    struct Outcome {
        CombineOutcome outcome = CombineOutcome::NotWritten;
        std::vector<ReportedMessage> messages;
        std::optional<QString> thrown;
    };

    QString path(const QString& name) const { return dir.filePath(name); }
    // Writes the bytes into the named file of the folder and returns its path.
    QString file(const QString& name, const std::string& content) const;
    Outcome run(const QStringList& inputs, const QString& output);
    // Names in the folder besides the given ones: a left-over temporary file shows here.
    QStringList strayFiles(const QStringList& expected) const;
    static ReportedMessage saved(const QString& output) { return {ReportedMessage::Saved, output}; }
    static ReportedMessage mismatch(const QString& input) {
        return {ReportedMessage::Skipped, input};
    }

    QTemporaryDir dir;
    RecordingReporter::Progress lastProgress;
};

// The XML declaration every written document starts with.
inline const std::string xmlDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
