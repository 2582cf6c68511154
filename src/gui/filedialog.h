#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

// An open or save dialog whose settings (filter, default extension, options) are made once,
// when its window is built, and which is shown each time it is needed. Tests answer the
// next dialog in advance with setNextFileNames().
class FileDialog : public QObject {
    Q_OBJECT

public:
    enum class Mode { Open, Save };
    enum Option {
        AllowMultiSelect = 0x1, // open: several files at once
        OverwritePrompt = 0x2,  // save: ask before replacing a file
    };
    Q_DECLARE_FLAGS(Options, Option)

    FileDialog(Mode mode, QWidget* parent);

    // Filter text with "|" between display names and patterns:
    // "XML File (*.xml)|*.xml|Any File (*.*)|*.*". The first filter starts selected.
    void setFilter(const QString& filterText);
    QString filter() const { return m_filterText; }
    // The filter as Qt name filters, one per display name.
    QStringList nameFilters() const;

    void setDefaultExt(const QString& extension) { m_defaultExt = extension; }
    QString defaultExt() const { return m_defaultExt; }
    void setOptions(Options options) { m_options = options; }
    Options options() const { return m_options; }
    Mode mode() const { return m_mode; }

    // Shows the dialog modally; true when the user confirms. The chosen files are then in
    // files(), in the dialog's order, and the first of them in fileName(). They stay there
    // when the dialog is cancelled, and the next dialog starts from them.
    bool execute();
    QStringList files() const { return m_files; }
    QString fileName() const { return m_files.value(0); }

    // The next execute() returns these names without showing anything (an empty list
    // answers "cancelled"). For tests, which cannot click through a modal dialog.
    static void setNextFileNames(const QStringList& names);
    static void setNextFileName(const QString& name);

private:
    // Keeps the dialog's answer as the paths the file system knows.
    void takeChosen(const QStringList& chosen);

    Mode m_mode;
    QString m_filterText;
    QString m_defaultExt;
    Options m_options;
    QStringList m_files;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(FileDialog::Options)

// Converts a "|"-separated filter text to Qt name filters: a pattern list "a;b" becomes
// "(a b)" after the display name, and "*.*" becomes "*", so that it matches every file,
// names without a dot included.
QStringList nameFiltersFromFilterText(const QString& filterText);
