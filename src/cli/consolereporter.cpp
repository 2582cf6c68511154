#include "cli/consolereporter.h"

#include "core/textlines.h"
#include "core/translate.h"

namespace {

constexpr std::int64_t progressDelayMs = 1000;
constexpr std::int64_t redrawIntervalMs = 100;

bool isControl(char16_t c) {
    return c < 0x20 || (c >= 0x7f && c <= 0x9f);
}

} // namespace

QString singleLine(const QString& text) {
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            result += QLatin1Char(' ');
        } else if (c == u'\t') {
            result += QLatin1Char(' ');
        } else if (isControl(c)) {
            result += QLatin1Char('?');
        } else {
            result += QChar(c);
        }
    }
    return result;
}

QString loadErrorLine(const Translator& translator, const xml::LoadError& error) {
    QString text = translator.translate(error.reason());
    if (error.isFileError())
        return text;
    text += QLatin1Char(' ') + translator.translate(QStringLiteral("Line")) + QStringLiteral(": ") +
            QString::number(error.line());
    if (!error.lineText().isEmpty())
        text += QLatin1Char(' ') + error.lineText();
    return text;
}

ConsoleReporter::ConsoleReporter(QIODevice& out, const Translator& translator, bool showProgress,
                                 std::function<std::int64_t()> elapsedMs,
                                 QHash<QString, QString> names)
    : m_out(out), m_translator(translator), m_showProgress(showProgress),
      m_elapsedMs(std::move(elapsedMs)), m_names(std::move(names)) {}

ConsoleReporter::~ConsoleReporter() {
    clearProgress();
}

void ConsoleReporter::skipped(const QString& file) {
    line(m_translator.translate(QStringLiteral("WARNING")) + QStringLiteral(": ") +
         fillPlaceholders(
             m_translator.translate(QStringLiteral("Root element mismatch in file: %s")),
             {shown(file)}));
}

void ConsoleReporter::failedToLoad(const QString& file, const xml::LoadError& error) {
    line(m_translator.translate(QStringLiteral("ERROR")) + QStringLiteral(": ") +
         fillPlaceholders(m_translator.translate(QStringLiteral("Failed to load %s: %s")),
                          {shown(file), loadErrorLine(m_translator, error)}));
}

void ConsoleReporter::saved(const QString& output) {
    line(m_translator.translate(QStringLiteral("SUCCESS")) + QStringLiteral(": ") +
         m_translator.translate(QStringLiteral("Saved as file: ")) + shown(output));
}

void ConsoleReporter::interrupted(const QString&) {
    line(QStringLiteral("interrupted, nothing was written"));
}

void ConsoleReporter::line(const QString& text) {
    clearProgress();
    write(singleLine(QStringLiteral("brindleaf-combine: ") + text).toUtf8() + '\n');
}

void ConsoleReporter::progress(int filesDone, int filesTotal, std::uint64_t bytesRead) {
    if (!m_showProgress)
        return;
    const std::int64_t now = m_elapsedMs();
    if (now < progressDelayMs)
        return;
    // Redraw at most ten times a second, but always show the last file.
    if (m_progressWidth > 0 && filesDone < filesTotal && now - m_lastDrawMs < redrawIntervalMs)
        return;
    m_lastDrawMs = now;
    const QString text = QStringLiteral("%1 of %2 files, %3")
                             .arg(filesDone)
                             .arg(filesTotal)
                             .arg(formatBytes(bytesRead));
    // Pad over what a longer previous line left, so no terminal escape sequences are needed.
    const qsizetype width = std::max(text.size(), m_progressWidth);
    write('\r' + text.leftJustified(width).toUtf8() + '\r');
    m_progressWidth = text.size();
}

void ConsoleReporter::clearProgress() {
    if (m_progressWidth == 0)
        return;
    write('\r' + QByteArray(m_progressWidth, ' ') + '\r');
    m_progressWidth = 0;
}

void ConsoleReporter::write(const QByteArray& bytes) {
    // Nothing sensible is left to do when standard error itself fails.
    (void)m_out.write(bytes);
}
