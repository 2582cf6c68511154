#pragma once

#include "core/combine.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <cstdint>
#include <functional>

// Prints the export's messages for a terminal or a log: one line per message, "CAPTION: text".
// On a terminal, once the work has run longer than a second, a progress line (files done of
// total, bytes read) is kept up to date and erased before any message and at the end.
class ConsoleReporter : public CombineReporter {
public:
    // elapsedMs tells how long the work has been running.
    ConsoleReporter(QIODevice& out, bool showProgress, std::function<std::int64_t()> elapsedMs);
    ~ConsoleReporter() override;
    ConsoleReporter(const ConsoleReporter&) = delete;
    ConsoleReporter& operator=(const ConsoleReporter&) = delete;

    void message(const QString& text, const QString& caption, int flags) override;
    void progress(int filesDone, int filesTotal, std::uint64_t bytesRead) override;

    // Prints one message line without a caption prefix, for errors from outside the export.
    void line(const QString& text);
    // Removes the progress line, if one is shown.
    void clearProgress();

private:
    void write(const QByteArray& bytes);

    QIODevice& m_out;
    const bool m_showProgress;
    const std::function<std::int64_t()> m_elapsedMs;
    qsizetype m_progressWidth = 0; // characters of the progress line on screen, 0 when none
    std::int64_t m_lastDrawMs = 0;
};

// A message as one printable line: CR LF, CR and LF become a space and other control
// characters a "?", so neither a multi-line message nor bytes quoted from a file can break
// the line or drive the terminal.
QString singleLine(const QString& text);

// "12.3 MB", "512 KB", "100 B".
QString formatBytes(std::uint64_t bytes);
