#include "gui/filedialog.h"

#include "platform/dialogpath.h"

#include <QFileDialog>
#include <QRegularExpression>
#include <QWidget>

namespace {

// Answers set by tests for the next dialog only.
std::optional<QStringList>& nextAnswer() {
    static std::optional<QStringList> answer;
    return answer;
}

} // namespace

QStringList nameFiltersFromFilterText(const QString& filterText) {
    const QStringList parts = filterText.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& pattern : patterns) {
            pattern = pattern.trimmed();
            // "*.*" also means files without an extension; Qt needs "*" for that.
            if (pattern == QLatin1String("*.*"))
                pattern = QStringLiteral("*");
        }
        // The display name usually repeats the patterns in parentheses; Qt takes the
        // patterns from the trailing parentheses, so they are replaced, not doubled.
        static const QRegularExpression trailingPatterns(QStringLiteral("\\s*\\([^()]*\\)\\s*$"));
        QString name = parts[i];
        name.remove(trailingPatterns);
        filters << name + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return filters;
}

FileDialog::FileDialog(Mode mode, QWidget* parent) : QObject(parent), m_mode(mode) {}

void FileDialog::setFilter(const QString& filterText) {
    m_filterText = filterText;
}

QStringList FileDialog::nameFilters() const {
    return nameFiltersFromFilterText(m_filterText);
}

bool FileDialog::execute() {
    if (nextAnswer()) {
        const QStringList answer = *std::exchange(nextAnswer(), std::nullopt);
        if (answer.isEmpty())
            return false;
        takeChosen(answer);
        return true;
    }
    QFileDialog dialog(qobject_cast<QWidget*>(parent()));
    const QStringList filters = nameFilters();
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        dialog.selectNameFilter(filters.first());
    }
    dialog.setDefaultSuffix(m_defaultExt);
    // Like a dialog component, it starts from the name chosen last time.
    if (!m_files.isEmpty())
        dialog.selectFile(m_files.first());
    if (m_mode == Mode::Save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, !m_options.testFlag(OverwritePrompt));
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(m_options.testFlag(AllowMultiSelect) ? QFileDialog::ExistingFiles
                                                                : QFileDialog::ExistingFile);
    }
    if (dialog.exec() != QDialog::Accepted)
        return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty())
        return false;
    takeChosen(chosen);
    return true;
}

void FileDialog::takeChosen(const QStringList& chosen) {
    m_files.clear();
    for (const QString& path : chosen)
        m_files << platform::systemPathOfDialogPath(path);
}

void FileDialog::setNextFileNames(const QStringList& names) {
    nextAnswer() = names;
}

void FileDialog::setNextFileName(const QString& name) {
    nextAnswer() = name.isEmpty() ? QStringList() : QStringList{name};
}
