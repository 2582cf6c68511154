#pragma once

#include "core/checker.h"
#include "core/translate.h"

#include <QMainWindow>
#include <QStringList>
#include <memory>

class FileDialog;
class TNewVer;
class QMenu;
class QMimeData;
class QTimer;

namespace Ui {
class TAppForm;
}

// The main window: the input list of XML files and every user command.
class TAppForm : public QMainWindow {
    Q_OBJECT

public:
    explicit TAppForm(QWidget* parent = nullptr);
    // Takes the identity from the executable at `executablePath` instead of the program's own.
    explicit TAppForm(const QString& executablePath, QWidget* parent = nullptr);
    ~TAppForm() override;

    // The input list, in order.
    QStringList inputFiles() const;

    // The product identity read from the executable at creation; empty when that failed.
    const ProductIdentity& product() const { return m_product; }
    // The data folder chosen at creation, with a trailing separator; empty when creation
    // stopped before it.
    const QString& dataFolder() const { return m_dataFolder; }

    // The language chosen at creation, for this window and every window it opens.
    const Translator& translator() const { return m_translator; }

    // The update check's results: read only once `finished` has been seen set.
    const CheckResults& checkResults() const { return m_checkResults; }

    void Button1Click();
    void Button2Click();
    void AddXMLFiles1Click();
    void ExportCombinedXML1Click();
    void Exit1Click();
    void Help2Click();
    void SendFeedback1Click();
    void About1Click();
    void Delete1Click();
    void SelectAll1Click();
    void UpdateNotifications1Click();
    void TimerCheckerTimer();

    // Appends every local file named in dropped data, whole and in order.
    void WMDropFiles(const QMimeData& data);

    void ExportCombinedXml();

protected:
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    // Connects a component's signal to a handler run under the default error display.
    template <typename Sender, typename Signal>
    void bind(Sender* sender, Signal signal, void (TAppForm::*handler)());

    // Before everything that shows a text, so that it outlives the windows that read it.
    Translator m_translator;
    std::unique_ptr<Ui::TAppForm> m_ui;
    QMenu* PopupMenu1 = nullptr;
    QTimer* TimerChecker = nullptr;
    FileDialog* OpenDialog1 = nullptr;
    FileDialog* SaveDialog1 = nullptr;
    const QString m_executablePath;
    // Written once by FormCreate, before the update check starts, and only read afterwards.
    ProductIdentity m_product;
    QString m_dataFolder;
    bool m_placed = false;
    // The update check this window owns. The results come first so that the worker, which
    // writes them, is stopped and gone before they are.
    CheckResults m_checkResults;
    std::unique_ptr<TChecker> m_checker;
    // The update notice, created at most once and only hidden when closed.
    std::unique_ptr<TNewVer> NewVer;
};
