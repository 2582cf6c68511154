#pragma once

#include "core/combine.h"

#include <QByteArray>
#include <QHash>
#include <QIODevice>
#include <QString>
#include <cstdint>
#include <functional>

class Translator;

// Prints the combine's events for a terminal or a log, one line each, every line starting
// with the program's name: "brindleaf-combine: WARNING: Root element mismatch in file: b.xml".
// A skipped file is a warning, as the run still writes. On a terminal, once the work has run
// longer than a second, a progress line (files done of total, bytes read) is kept up to date
// and erased before any message and at the end.
class ConsoleReporter : public CombineReporter {
public:
    // translator gives the messages' words; elapsedMs tells how long the work has been
    // running; names maps a path to the name the user gave for it (the standard input's "-").
    ConsoleReporter(QIODevice& out, const Translator& translator, bool showProgress,
                    std::function<std::int64_t()> elapsedMs, QHash<QString, QString> names = {});
    ~ConsoleReporter() override;
    ConsoleReporter(const ConsoleReporter&) = delete;
    ConsoleReporter& operator=(const ConsoleReporter&) = delete;

    void skipped(const QString& file) override;
    void failedToLoad(const QString& file, const xml::LoadError& error) override;
    void saved(const QString& output) override;
    void interrupted(const QString& file) override;
    void progress(int filesDone, int filesTotal, std::uint64_t bytesRead) override;

    // Prints one line after the program's name.
    void line(const QString& text);
    // Removes the progress line, if one is shown.
    void clearProgress();

private:
    void write(const QByteArray& bytes);

    QString shown(const QString& file) const { return m_names.value(file, file); }

    QIODevice& m_out;
    const Translator& m_translator;
    const bool m_showProgress;
    const std::function<std::int64_t()> m_elapsedMs;
    const QHash<QString, QString> m_names;
    qsizetype m_progressWidth = 0; // characters of the progress line on screen, 0 when none
    std::int64_t m_lastDrawMs = 0;
};

// A message as one printable line: CR LF, CR and LF become a space and other control
// characters a "?", so neither a multi-line message nor bytes quoted from a file can break
// the line or drive the terminal.
QString singleLine(const QString& text);

// A load error on one line, in the language of the language files where they have its words:
// the reason, then "Line: N" and the start of that line for an error in the content.
QString loadErrorLine(const Translator& translator, const xml::LoadError& error);
