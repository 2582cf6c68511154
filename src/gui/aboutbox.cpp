#include "gui/aboutbox.h"
#include "ui_aboutbox.h"

#include "core/identity.h"
#include "core/maker.h"
#include "core/translate.h"
#include "gui/dropdownmenu.h"
#include "gui/enterkey.h"
#include "gui/guiresources.h"
#include "gui/messagebox.h"
#include "gui/windowfonts.h"
#include "gui/windowplacement.h"
#include "platform/executablepath.h"
#include "platform/openaddress.h"

#include <QApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <QUrl>
#include <QWindow>

namespace {

const QColor lime(0x00, 0xFF, 0x00);

// The link's face where the system has it, else close relatives.
QStringList msSansSerif() {
    return {QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
            QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
            QStringLiteral("DejaVu Sans")};
}

void setColours(QWidget* widget, const QColor& background, const QColor& text) {
    QPalette palette = widget->palette();
    if (background.isValid())
        palette.setColor(QPalette::Window, background);
    if (text.isValid())
        palette.setColor(QPalette::WindowText, text);
    widget->setPalette(palette);
}

} // namespace

TAboutBox::TAboutBox(const ProductIdentity& product, const Translator& translator, QWidget* parent)
    : QDialog(parent,
              Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      ui(std::make_unique<Ui::AboutBox>()), m_product(product), m_translator(translator),
      m_drag(*this) {
    ensureGuiResources();
    ui->setupUi(this);
    // The paint event covers the whole client area with the rain's surface.
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Freed once closed: each about command builds a new window.
    setAttribute(Qt::WA_DeleteOnClose);
    applyLook();

    tmTimer = new QTimer(this);
    tmTimer->setObjectName(QStringLiteral("tmTimer"));
    connect(tmTimer, &QTimer::timeout, this, &TAboutBox::tmTimerTimer);
    TimerEgg = new QTimer(this);
    TimerEgg->setObjectName(QStringLiteral("TimerEgg"));
    TimerEgg->setInterval(5);
    TimerEgg->setTimerType(Qt::PreciseTimer);
    connect(TimerEgg, &QTimer::timeout, this, &TAboutBox::TimerEggTimer);

    for (QWidget* element : {static_cast<QWidget*>(this), static_cast<QWidget*>(ui->Panel1),
                             static_cast<QWidget*>(ui->Image1), static_cast<QWidget*>(ui->Label2),
                             static_cast<QWidget*>(ui->Image2), static_cast<QWidget*>(ui->ImageEgg),
                             static_cast<QWidget*>(ui->Label5), static_cast<QWidget*>(ui->Bevel1)})
        element->installEventFilter(this);
    // The arrow sits on the button's right end; clicks on it belong to the button.
    ui->BitBtn2Arrow->setAttribute(Qt::WA_TransparentForMouseEvents);
    ui->BitBtn1->installEventFilter(this);
    ui->BitBtn2->installEventFilter(this);
    pressOnEnter(*ui->BitBtn1);
    connect(ui->BitBtn1, &QPushButton::clicked, this, &TAboutBox::BitBtn1Click);
    connect(ui->BitBtn2, &QPushButton::clicked, this, &TAboutBox::BitBtn2Click);
    connect(ui->Credits1, &QAction::triggered, this, &TAboutBox::Credits1Click);
    connect(ui->Howtouninstall1, &QAction::triggered, this, &TAboutBox::Howtouninstall1Click);
    connect(ui->LicensePrivacyPolicy1, &QAction::triggered, this,
            &TAboutBox::LicensePrivacyPolicy1Click);

    FormCreate();
}

TAboutBox::~TAboutBox() = default;

void TAboutBox::applyLook() {
    setFont(tahomaFont(11));
    setColours(this, Qt::black, QColor());
    setColours(ui->PanelEgg, Qt::black, QColor());
    setColours(ui->Panel1, Qt::black, Qt::white);
    ui->Panel1->setFont(tahomaFont(11));
    ui->Label2->setFont(tahomaFont(16));
    ui->BitBtn1->setFont(tahomaFont(16));
    ui->BitBtn2->setFont(tahomaFont(16));
    QFont link = windowFont(msSansSerif(), 11);
    link.setUnderline(true);
    ui->Label5->setFont(link);
    setColours(ui->Label5, QColor(), lime);
    outCanvas.setFontFamilies(tahomaFamilies());
}

void TAboutBox::FormCreate() {
    const ProductIdentity& product = m_product;
    m_rain = std::make_unique<MatrixRain>(outCanvas, QStringLiteral("kyk"));
    StartMatrix();
    setWindowTitle(fillPlaceholders(m_translator.translate(QStringLiteral("About %s")),
                                    {product.productName}));
    ui->Label2->setText(product.productName + QLatin1Char(' ') + product.versionText);
    ui->BitBtn1->setText(m_translator.translate(QStringLiteral("OK")));
    ui->BitBtn2->setText(m_translator.translate(QStringLiteral("Info")));
    ui->Credits1->setText(m_translator.translate(QStringLiteral("Acknowledgements...")));
    ui->Howtouninstall1->setText(m_translator.translate(QStringLiteral("How to uninstall...")));
    ui->LicensePrivacyPolicy1->setText(m_translator.translate(QStringLiteral("License...")));
    ui->Label5->setText(maker::host());
    ui->Label5->setToolTip(maker::homePageUrl());
    HighDPIImageYukle();
    ui->PanelEgg->hide();
    ui->PanelEgg->move((width() - ui->PanelEgg->width()) / 2,
                       (height() - ui->PanelEgg->height()) / 2);
}

void TAboutBox::HighDPIImageYukle() {
    const qreal ratio = devicePixelRatioF();
    ui->Image1->setPixmap(QApplication::windowIcon().pixmap(ui->Image1->size(), ratio));
    ui->Image2->setPixmap(renderedPicture(QStringLiteral("about/logo"), ratio));
    ui->ImageEgg->setPixmap(renderedPicture(QStringLiteral("about/cat"), ratio));
    ui->BitBtn2Arrow->setPixmap(renderedPicture(QStringLiteral("about/arrow"), ratio));
}

void TAboutBox::StartMatrix() {
    // The grid follows the window's outer size when the rain starts; the surface is
    // the client area.
    outCanvas.resize(size(), devicePixelRatioF());
    const QRect outer = frameGeometry();
    m_rain->StartMatrix(outer.width(), outer.height());
    tmTimer->setInterval(50);
    tmTimer->start();
}

void TAboutBox::tmTimerTimer() {
    m_rain->MatrixTick();
    // Only the black margin and the uncovered area show the rain.
    QRegion visible(rect());
    for (const QWidget* child :
         {static_cast<QWidget*>(ui->Panel1), static_cast<QWidget*>(ui->PanelEgg)}) {
        if (child->isVisible())
            visible -= child->geometry();
    }
    update(visible);
}

void TAboutBox::FormPaint() {
    outCanvas.clear();
    update();
}

void TAboutBox::FormResize() {
    outCanvas.resize(size(), devicePixelRatioF());
    m_rain->SetupMatrix();
}

void TAboutBox::FormAfterMonitorDpiChanged() {
    HighDPIImageYukle();
}

void TAboutBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    painter.drawImage(QPoint(0, 0), outCanvas.image());
}

void TAboutBox::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    FormResize();
}

void TAboutBox::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Centred on its screen, the first time it appears.
    if (!m_placed) {
        m_placed = true;
        centreOnScreen(*this);
    }
    watchWindowSystem();
}

void TAboutBox::watchWindowSystem() {
    QWindow* window = windowHandle();
    if (m_watchingWindow || window == nullptr)
        return;
    m_watchingWindow = true;
    // An expose is the window system asking for a repaint, unlike the rain's own updates.
    window->installEventFilter(this);
    connect(window, &QWindow::screenChanged, this, [this] {
        FormAfterMonitorDpiChanged();
        FormResize();
    });
}

bool TAboutBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == windowHandle()) {
        if (event->type() == QEvent::Expose)
            FormPaint();
        return false;
    }
    if (watched == ui->BitBtn1 || watched == ui->BitBtn2) {
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            close();
            return true;
        }
        return false;
    }
    if (event->type() == QEvent::MouseButtonDblClick) {
        if (watched == ui->Image1)
            Image1DblClick();
        else if (watched == ui->ImageEgg)
            ImageEggDblClick();
    }
    if (watched == ui->Label5) {
        if (event->type() == QEvent::MouseButtonRelease) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton &&
                ui->Label5->rect().contains(mouse->position().toPoint()))
                Label5Click();
        }
        // The link and the frame keep their presses: they do not drag the window.
        return event->type() == QEvent::MouseButtonPress ||
               event->type() == QEvent::MouseButtonRelease ||
               event->type() == QEvent::MouseButtonDblClick;
    }
    if (watched == ui->Bevel1)
        return event->type() == QEvent::MouseButtonPress ||
               event->type() == QEvent::MouseButtonRelease ||
               event->type() == QEvent::MouseButtonDblClick;
    return FormMouseEvent(event);
}

// The window has no caption bar to drag it by; every element not taken above is a handle.
bool TAboutBox::FormMouseEvent(QEvent* event) {
    return m_drag.handleMouse(*event);
}

void TAboutBox::Image1DblClick() {
    if (TimerEgg->isActive())
        return;
    ui->PanelEgg->show();
    TimerEgg->start();
}

void TAboutBox::TimerEggTimer() {
    ui->Panel1->move(ui->Panel1->x() + 5, ui->Panel1->y());
    if (ui->Panel1->x() > width())
        TimerEgg->stop();
}

void TAboutBox::ImageEggDblClick() {
    if (TimerEgg->isActive())
        return;
    ui->PanelEgg->hide();
    ui->Panel1->move((width() - ui->Panel1->width()) / 2, ui->Panel1->y());
}

void TAboutBox::Label5Click() {
    platform::openAddress(maker::homePageUrl());
}

void TAboutBox::Credits1Click() {
    platform::openAddress(maker::acknowledgementsUrl());
}

void TAboutBox::Howtouninstall1Click() {
    platform::openAddress(maker::uninstallUrl());
}

QString TAboutBox::licenceFilePath() {
    return platform::executableFolder() + QStringLiteral("license.txt");
}

void TAboutBox::LicensePrivacyPolicy1Click() {
    const QString path = licenceFilePath();
    if (QFileInfo(path).isFile()) {
        // The user's default viewer for text files.
        platform::openAddress(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded));
        return;
    }
    showMessage(m_translator.translate(QStringLiteral("File not found!")),
                m_translator.translate(QStringLiteral("License")), MB_ICONERROR);
}

void TAboutBox::BitBtn1Click() {
    close();
}

void TAboutBox::BitBtn2Click() {
    ShowDropDownMenu(ui->BitBtn2, ui->PopupMenu1);
}
