#include "gui/exportprogress.h"

#include "ui_exportprogress.h"

#include "core/textlines.h"
#include "gui/enterkey.h"

#include <QFontMetrics>
#include <algorithm>

TExportProgress::TExportProgress(const QStringList& inputs, QWidget* parent)
    : QDialog(parent), m_ui(new Ui::TExportProgress), m_inputs(inputs) {
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    // Over its window, which takes no input meanwhile, while other windows stay usable.
    setWindowModality(Qt::WindowModal);
    pressOnEnter(*m_ui->Button1);
    connect(m_ui->Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    showProgress({0, int(inputs.size()), 0, 0});
}

TExportProgress::~TExportProgress() = default;

void TExportProgress::showProgress(const ExportProgressState& state) {
    if (!m_cancelRequested && !m_inputs.isEmpty()) {
        const QString& file =
            m_inputs.at(std::clamp<qsizetype>(state.filesDone, 0, m_inputs.size() - 1));
        const QFontMetrics metrics(m_ui->Label1->font());
        m_ui->Label1->setText(
            metrics.elidedText(QStringLiteral("Reading ") + file, Qt::ElideMiddle,
                               std::max(m_ui->Label1->width(), m_ui->Label1->minimumWidth())));
    }
    m_ui->Label2->setText(
        QStringLiteral("%1 of %2 files").arg(state.filesDone).arg(state.filesTotal));
    m_ui->Label3->setText(
        state.bytesTotal > 0 ? QStringLiteral("%1 of %2")
                                   .arg(formatBytes(state.bytesRead), formatBytes(state.bytesTotal))
                             : formatBytes(state.bytesRead));
    // Bytes measure the work best; with a pipe among the inputs only files can be counted.
    const double done =
        state.bytesTotal > 0
            ? double(state.bytesRead) / double(state.bytesTotal)
            : (state.filesTotal > 0 ? double(state.filesDone) / state.filesTotal : 0.0);
    m_ui->ProgressBar1->setValue(int(std::clamp(done, 0.0, 1.0) * m_ui->ProgressBar1->maximum()));
}

void TExportProgress::Button1Click() {
    if (m_cancelRequested)
        return;
    m_cancelRequested = true;
    m_ui->Button1->setEnabled(false);
    m_ui->Label1->setText(QStringLiteral("Cancelling..."));
    emit cancelled();
}

void TExportProgress::reject() {
    Button1Click();
}
