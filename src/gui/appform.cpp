#include "gui/appform.h"

#include "ui_appform.h"

#include "core/combine.h"
#include "core/datafolder.h"
#include "core/identity.h"
#include "core/maker.h"
#include "core/settingsstore.h"
#include "core/translate.h"
#include "core/versioninfo.h"
#include "gui/aboutbox.h"
#include "gui/backgroundexport.h"
#include "gui/busycursor.h"
#include "gui/enterkey.h"
#include "gui/errordisplay.h"
#include "gui/feedbackform.h"
#include "gui/filedialog.h"
#include "gui/guiresources.h"
#include "gui/messagebox.h"
#include "gui/messageflags.h"
#include "gui/newver.h"
#include "gui/windowplacement.h"
#include "platform/executablepath.h"
#include "platform/fileurl.h"
#include "platform/openaddress.h"

#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

TAppForm::TAppForm(QWidget* parent) : TAppForm(platform::executablePath(), parent) {}

TAppForm::TAppForm(const QString& executablePath, QWidget* parent)
    : QMainWindow(parent), m_ui(new Ui::TAppForm), m_executablePath(executablePath) {
    ensureGuiResources();
    m_ui->setupUi(this);
    const QIcon load = renderedIcon(QStringLiteral("icons/load16"));
    const QIcon save = renderedIcon(QStringLiteral("icons/save16"));
    m_ui->Button1->setIcon(load);
    m_ui->AddXMLFiles1->setIcon(load);
    m_ui->Button2->setIcon(save);
    m_ui->ExportCombinedXML1->setIcon(save);
    m_ui->Exit1->setIcon(renderedIcon(QStringLiteral("icons/exit16")));
    m_ui->Help2->setIcon(renderedIcon(QStringLiteral("icons/help16")));
    m_ui->SendFeedback1->setIcon(renderedIcon(QStringLiteral("icons/feedback16")));
    m_ui->About1->setIcon(renderedIcon(QStringLiteral("icons/about16")));
    // The three separators carry names of their own, so they are named actions turned
    // into separators here.
    for (QAction* separator : {m_ui->N5, m_ui->N3, m_ui->UpdateNotificationsBar})
        separator->setSeparator(true);

    // The client area is 478 x 264 below the menu bar.
    resize(478, 264 + m_ui->MainMenu1->sizeHint().height());

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    PopupMenu1->addAction(m_ui->Delete1);
    PopupMenu1->addAction(m_ui->SelectAll1);
    connect(m_ui->ListBox1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        PopupMenu1->popup(m_ui->ListBox1->viewport()->mapToGlobal(at));
    });

    OpenDialog1 = new FileDialog(FileDialog::Mode::Open, this);
    OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
    OpenDialog1->setFilter(QStringLiteral("XML File (*.xml)|*.xml|Any File (*.*)|*.*"));
    OpenDialog1->setDefaultExt(QStringLiteral("xml"));
    OpenDialog1->setOptions(FileDialog::AllowMultiSelect);

    SaveDialog1 = new FileDialog(FileDialog::Mode::Save, this);
    SaveDialog1->setObjectName(QStringLiteral("SaveDialog1"));
    SaveDialog1->setFilter(QStringLiteral("XML File (*.xml)|*.xml"));
    SaveDialog1->setDefaultExt(QStringLiteral("xml"));
    SaveDialog1->setOptions(FileDialog::OverwritePrompt);

    TimerChecker = new QTimer(this);
    TimerChecker->setObjectName(QStringLiteral("TimerChecker"));
    TimerChecker->setInterval(1000);

    pressOnEnter(*m_ui->Button1);
    pressOnEnter(*m_ui->Button2);
    bind(m_ui->Button1, &QPushButton::clicked, &TAppForm::Button1Click);
    bind(m_ui->Button2, &QPushButton::clicked, &TAppForm::Button2Click);
    bind(m_ui->AddXMLFiles1, &QAction::triggered, &TAppForm::AddXMLFiles1Click);
    bind(m_ui->ExportCombinedXML1, &QAction::triggered, &TAppForm::ExportCombinedXML1Click);
    bind(m_ui->Exit1, &QAction::triggered, &TAppForm::Exit1Click);
    bind(m_ui->Help2, &QAction::triggered, &TAppForm::Help2Click);
    bind(m_ui->UpdateNotifications1, &QAction::triggered, &TAppForm::UpdateNotifications1Click);
    bind(m_ui->SendFeedback1, &QAction::triggered, &TAppForm::SendFeedback1Click);
    bind(m_ui->About1, &QAction::triggered, &TAppForm::About1Click);
    bind(m_ui->Delete1, &QAction::triggered, &TAppForm::Delete1Click);
    bind(m_ui->SelectAll1, &QAction::triggered, &TAppForm::SelectAll1Click);
    bind(TimerChecker, &QTimer::timeout, &TAppForm::TimerCheckerTimer);
    TimerChecker->start();

    runGuarded([this] { FormCreate(); });
}

TAppForm::~TAppForm() = default;

template <typename Sender, typename Signal>
void TAppForm::bind(Sender* sender, Signal signal, void (TAppForm::*handler)()) {
    connect(sender, signal, this,
            [this, handler] { runGuarded([this, handler] { (this->*handler)(); }); });
}

void TAppForm::FormCreate() {
    // Any step that fails skips the rest; the window opens all the same.
    m_product = readProductIdentity(m_executablePath);
    setWindowTitle(m_product.fullTitle);
    m_dataFolder = identity::chooseDataFolder(QFileInfo(m_executablePath).absolutePath(),
                                              m_product.companyName, m_product.productName);
    // Last, so that every later message is translated.
    m_translator.languageInitialisation();
}

void TAppForm::FormShow() {
    // QMainWindow keeps StatusBar1 below the list by itself; what is left is placing the
    // window in the middle of its screen the first time it appears.
    if (m_placed)
        return;
    m_placed = true;
    centreOnScreen(*this);
}

void TAppForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    runGuarded([this] { FormShow(); });
}

QStringList TAppForm::inputFiles() const {
    QStringList files;
    for (int i = 0; i < m_ui->ListBox1->count(); ++i)
        files << m_ui->ListBox1->item(i)->text();
    return files;
}

void TAppForm::Button1Click() {
    if (!OpenDialog1->execute())
        return;
    // The list shows paths as the system writes them: with backslashes on Windows.
    for (const QString& file : OpenDialog1->files())
        m_ui->ListBox1->addItem(QDir::toNativeSeparators(file));
}

void TAppForm::Button2Click() {
    ExportCombinedXml();
}

namespace {

// The export's events in the window's words: a message box each, after the busy cursor.
class MessageBoxReporter : public CombineReporter {
public:
    MessageBoxReporter(const Translator& translator, BusyCursor& cursor)
        : m_translator(translator), m_cursor(cursor) {}
    void skipped(const QString& file) override {
        show(fillPlaceholders(
                 m_translator.translate(QStringLiteral("Root element mismatch in file: %s")),
                 {file}),
             m_translator.translate(QStringLiteral("ERROR")), MB_ICONERROR);
    }
    void failedToLoad(const QString& file, const xml::LoadError& error) override {
        show(fillPlaceholders(m_translator.translate(QStringLiteral("Failed to load %s: %s")),
                              {file, error.message()}),
             m_translator.translate(QStringLiteral("ERROR")), MB_ICONERROR);
    }
    void saved(const QString& output) override {
        show(m_translator.translate(QStringLiteral("Saved as file: ")) + output,
             m_translator.translate(QStringLiteral("SUCCESS")), MB_ICONINFORMATION);
    }

private:
    void show(const QString& text, const QString& caption, int flags) {
        m_cursor.restore();
        showMessage(text, caption, flags);
    }

    const Translator& m_translator;
    BusyCursor& m_cursor;
};

} // namespace

// The work runs in the background while the window paints and takes no input; its messages
// come here one by one. The first file's load error and a save error leave here for the
// default error display, after the cursor has been restored.
void TAppForm::ExportCombinedXml() {
    const QStringList inputs = inputFiles();
    if (inputs.isEmpty()) {
        showMessage(m_translator.translate(QStringLiteral("No XML files added!")),
                    m_translator.translate(QStringLiteral("WARNING")), MB_ICONWARNING);
        return;
    }
    if (!SaveDialog1->execute())
        return;
    BusyCursor cursor;
    MessageBoxReporter reporter(m_translator, cursor);
    combineInBackground(*this, inputs, QDir::toNativeSeparators(SaveDialog1->fileName()), reporter);
}

void TAppForm::AddXMLFiles1Click() {
    m_ui->Button1->click();
}

void TAppForm::ExportCombinedXML1Click() {
    m_ui->Button2->click();
}

void TAppForm::Exit1Click() {
    QCoreApplication::quit();
}

void TAppForm::Help2Click() {
    platform::openAddress(maker::helpPageUrl(m_product.productName));
}

void TAppForm::SendFeedback1Click() {
    // A new window for each command, so every opening starts empty; it frees itself when
    // closed.
    auto* form = new TFeedbackForm(m_product, m_translator, this);
    form->setWindowModality(Qt::WindowModal);
    form->exec();
}

void TAppForm::About1Click() {
    // A new window for each command, shown modally; it frees itself when it closes.
    auto* aboutBox = new TAboutBox(m_product, m_translator, this);
    aboutBox->setWindowModality(Qt::WindowModal);
    aboutBox->exec();
}

void TAppForm::UpdateNotifications1Click() {
    // Choosing the item has already moved its check mark; the stored setting follows the
    // mark and takes effect at the next start.
    const SettingsStore store(settings::settingsKeyName(m_product.fullTitle));
    if (m_ui->UpdateNotifications1->isChecked())
        store.setNotificationsOn();
    else
        store.setNotificationsOff();
}

void TAppForm::TimerCheckerTimer() {
    if (!m_checker) {
        m_checker = std::make_unique<TChecker>(m_checkResults, CheckInputs::system(m_product));
        return;
    }
    const CheckResults& results = m_checkResults;
    if (!results.finished.load(std::memory_order_acquire))
        return;
    TimerChecker->stop();
    m_ui->UpdateNotifications1->setEnabled(true);
    if (results.showUpdate == 0)
        m_ui->UpdateNotifications1->setChecked(false);
    if (results.newVersion && !NewVer)
        NewVer = std::make_unique<TNewVer>(m_product.productName, results.offeredVersion,
                                           results.downloadAddress, m_translator, this);
}

void TAppForm::Delete1Click() {
    qDeleteAll(m_ui->ListBox1->selectedItems());
}

void TAppForm::SelectAll1Click() {
    m_ui->ListBox1->selectAll();
}

void TAppForm::WMDropFiles(const QMimeData& data) {
    for (const QUrl& url : data.urls()) {
        const QString path = platform::localFileOfUrl(url);
        if (!path.isEmpty())
            m_ui->ListBox1->addItem(path);
    }
}

void TAppForm::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TAppForm::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TAppForm::dropEvent(QDropEvent* event) {
    runGuarded([this, event] { WMDropFiles(*event->mimeData()); });
    event->acceptProposedAction();
}
