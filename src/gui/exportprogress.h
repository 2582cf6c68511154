#pragma once

#include <QDialog>
#include <QStringList>
#include <cstdint>
#include <memory>

namespace Ui {
class TExportProgress;
}

// What an export running in the background has done so far.
struct ExportProgressState {
    int filesDone = 0;
    int filesTotal = 0;
    std::uint64_t bytesRead = 0;
    std::uint64_t bytesTotal = 0; // 0 when not known (a pipe among the inputs)
};

// The export's progress window: the file being read, the files done of all, the bytes read
// and a bar, with "Cancel". Cancel, Escape and the close button ask the export to stop; the
// window stays until the export has stopped and its owner closes it.
class TExportProgress : public QDialog {
    Q_OBJECT

public:
    TExportProgress(const QStringList& inputs, QWidget* parent);
    ~TExportProgress() override;

    void showProgress(const ExportProgressState& state);
    bool cancelRequested() const { return m_cancelRequested; }

    void Button1Click();
    void reject() override;

signals:
    // Emitted once, on the first request to stop.
    void cancelled();

private:
    std::unique_ptr<Ui::TExportProgress> m_ui;
    const QStringList m_inputs;
    bool m_cancelRequested = false;
};
