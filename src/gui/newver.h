#pragma once

#include "gui/windowdrag.h"

#include <QPointer>
#include <QWidget>
#include <memory>

class QMouseEvent;
class QTimer;
class QVariantAnimation;
class Translator;

namespace Ui {
class TNewVer;
}

// The update notice: a small borderless window in the top right corner of the primary
// screen that names the new version, links to its download and closes itself about
// 11 seconds after it was created. Closing only hides it.
class TNewVer : public QWidget {
    Q_OBJECT

public:
    // focusOwner gets the input focus back once the notice has appeared.
    TNewVer(const QString& productName, const QString& offeredVersion,
            const QString& downloadAddress, const Translator& translator,
            QWidget* focusOwner = nullptr);
    ~TNewVer() override;

    void TimerStartTimer();
    void TimerCloseTimer();
    void TimerLinkTimer();
    void Label2Click();
    void Button1Click();

    // Ticks of the close countdown still to come.
    int closeCountdown() const { return m_closeCountdown; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void FormMouseDown(Qt::MouseButton button, const QPoint& globalPosition);
    void FormMouseMove(const QPoint& globalPosition);
    void FormMouseUp();
    // Reveals or hides the window from its vertical centre line outwards or inwards.
    void animate(bool expand);
    void setRevealedWidth(int width);

    std::unique_ptr<Ui::TNewVer> m_ui;
    QString m_productName;
    QString m_offeredVersion;
    QString m_downloadAddress;
    const Translator& m_translator;
    QPointer<QWidget> m_focusOwner;
    QTimer* TimerStart = nullptr;
    QTimer* TimerClose = nullptr;
    QTimer* TimerLink = nullptr;
    QVariantAnimation* m_animation = nullptr;
    int m_closeCountdown = 11;
    WindowDrag m_drag;
    bool m_linkPressed = false;
};
