#include "gui/newver.h"

#include "ui_newver.h"

#include "core/downloadaddress.h"
#include "core/translate.h"
#include "gui/errordisplay.h"
#include "gui/guiresources.h"
#include "platform/openaddress.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QVariantAnimation>

#include <algorithm>

namespace {

constexpr int screenMargin = 5;
constexpr int animationMs = 100;

QTimer* makeTimer(QObject* owner, const char* name, int intervalMs) {
    auto* timer = new QTimer(owner);
    timer->setObjectName(QLatin1String(name));
    timer->setInterval(intervalMs);
    return timer;
}

} // namespace

TNewVer::TNewVer(const QString& productName, const QString& offeredVersion,
                 const QString& downloadAddress, const Translator& translator, QWidget* focusOwner)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_ui(new Ui::TNewVer), m_productName(productName), m_offeredVersion(offeredVersion),
      m_downloadAddress(downloadAddress), m_translator(translator), m_focusOwner(focusOwner),
      m_drag(*this) {
    ensureGuiResources();
    m_ui->setupUi(this);
    m_ui->Button1->setIcon(renderedIcon(QStringLiteral("icons/close16")));
    setFixedSize(320, 68);
    setBackgroundRole(QPalette::Button);

    // The heading, icon, bevel and the strip below the close button drag the window; the
    // link, the button and the margins around the heading do not.
    for (QWidget* handle :
         {static_cast<QWidget*>(m_ui->Panel1), static_cast<QWidget*>(m_ui->Image1),
          static_cast<QWidget*>(m_ui->Label1), static_cast<QWidget*>(m_ui->Panel3)})
        handle->installEventFilter(this);
    m_ui->Label2->installEventFilter(this);
    // The link is drawn in the colour the program gives it, not in the button text colour
    // that the window's button-face background would otherwise choose for it.
    m_ui->Label2->setForegroundRole(QPalette::WindowText);
    for (QWidget* still : {static_cast<QWidget*>(m_ui->Panel2), static_cast<QWidget*>(m_ui->Label2),
                           static_cast<QWidget*>(m_ui->Button1)})
        still->setAttribute(Qt::WA_NoMousePropagation);
    connect(m_ui->Button1, &QToolButton::clicked, this,
            [this] { runGuarded([this] { Button1Click(); }); });

    m_animation = new QVariantAnimation(this);
    m_animation->setDuration(animationMs);

    TimerStart = makeTimer(this, "TimerStart", 1);
    TimerClose = makeTimer(this, "TimerClose", 1000);
    TimerLink = makeTimer(this, "TimerLink", 100);
    connect(TimerStart, &QTimer::timeout, this,
            [this] { runGuarded([this] { TimerStartTimer(); }); });
    connect(TimerClose, &QTimer::timeout, this,
            [this] { runGuarded([this] { TimerCloseTimer(); }); });
    connect(TimerLink, &QTimer::timeout, this,
            [this] { runGuarded([this] { TimerLinkTimer(); }); });

    runGuarded([this] { FormCreate(); });
    TimerStart->start();
    TimerClose->start();
    TimerLink->start();
}

TNewVer::~TNewVer() = default;

void TNewVer::FormCreate() {
    m_ui->Image1->setPixmap(QApplication::windowIcon().pixmap(m_ui->Image1->size()));
    // The primary screen, whichever screen the main window is on.
    if (const QScreen* primary = QGuiApplication::primaryScreen()) {
        const QRect area = primary->geometry();
        move(area.x() + area.width() - width() - screenMargin, area.y() + screenMargin);
    }
    m_ui->Label1->setText(m_translator.translate(QStringLiteral("UPDATE AVAILABLE")));
    m_ui->Label2->setText(m_translator.translate(QStringLiteral("Click to download")) +
                          QLatin1Char(' ') + m_productName + QLatin1Char(' ') + m_offeredVersion);
}

void TNewVer::TimerStartTimer() {
    TimerStart->stop();
    setRevealedWidth(0);
    show();
    animate(true);
    if (m_focusOwner)
        m_focusOwner->activateWindow();
}

void TNewVer::TimerCloseTimer() {
    if (--m_closeCountdown > 0)
        return;
    TimerClose->stop();
    if (isVisible())
        animate(false);
    else
        close();
}

void TNewVer::TimerLinkTimer() {
    // Under the mouse the link takes the colour of a highlighted menu item, which the style
    // keeps in the menus' own palette; elsewhere the colour of window text.
    const QPoint inLabel = m_ui->Label2->mapFromGlobal(QCursor::pos());
    const QColor colour =
        m_ui->Label2->rect().contains(inLabel)
            ? QApplication::palette("QMenu").color(QPalette::Active, QPalette::Highlight)
            : QApplication::palette().color(QPalette::Active, QPalette::WindowText);
    QPalette palette = m_ui->Label2->palette();
    palette.setColor(QPalette::WindowText, colour);
    m_ui->Label2->setPalette(palette);
}

void TNewVer::Label2Click() {
    platform::openAddress(downloadaddress::openTarget(m_downloadAddress));
    close();
}

void TNewVer::Button1Click() {
    close();
}

void TNewVer::animate(bool expand) {
    m_animation->stop();
    m_animation->disconnect(this, nullptr);
    m_animation->setStartValue(expand ? 0 : width());
    m_animation->setEndValue(expand ? width() : 0);
    connect(m_animation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { setRevealedWidth(value.toInt()); });
    connect(m_animation, &QVariantAnimation::finished, this, [this, expand] {
        clearMask();
        if (!expand)
            close();
    });
    m_animation->start();
}

void TNewVer::setRevealedWidth(int revealed) {
    // An empty mask would show the whole window, so the narrowest mask is one pixel wide.
    const int shown = std::clamp(revealed, 1, width());
    setMask(QRegion((width() - shown) / 2, 0, shown, height()));
}

void TNewVer::FormMouseDown(Qt::MouseButton button, const QPoint& globalPosition) {
    m_drag.mouseDown(button, globalPosition);
}

void TNewVer::FormMouseMove(const QPoint& globalPosition) {
    m_drag.mouseMove(globalPosition);
}

void TNewVer::FormMouseUp() {
    m_drag.mouseUp();
}

bool TNewVer::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove &&
        type != QEvent::MouseButtonRelease)
        return QWidget::eventFilter(watched, event);
    const auto* mouse = static_cast<QMouseEvent*>(event);

    if (watched == m_ui->Label2) {
        // A click is a left press and release on the link.
        if (mouse->button() == Qt::LeftButton && type == QEvent::MouseButtonPress)
            m_linkPressed = true;
        if (mouse->button() == Qt::LeftButton && type == QEvent::MouseButtonRelease) {
            const bool click =
                m_linkPressed && m_ui->Label2->rect().contains(mouse->position().toPoint());
            m_linkPressed = false;
            if (click)
                runGuarded([this] { Label2Click(); });
        }
        return true;
    }

    const QPoint global = mouse->globalPosition().toPoint();
    if (type == QEvent::MouseButtonPress)
        FormMouseDown(mouse->button(), global);
    else if (type == QEvent::MouseMove)
        FormMouseMove(global);
    else
        FormMouseUp();
    return true;
}
