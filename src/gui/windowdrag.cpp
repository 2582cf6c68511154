#include "gui/windowdrag.h"

#include <QMouseEvent>
#include <QWidget>

void WindowDrag::mouseDown(Qt::MouseButton button, const QPoint& globalPosition) {
    if (button == Qt::RightButton)
        return;
    dx = globalPosition.x();
    dy = globalPosition.y();
    dragging = true;
}

void WindowDrag::mouseMove(const QPoint& globalPosition) {
    if (!dragging)
        return;
    m_window.move(m_window.x() + globalPosition.x() - dx, m_window.y() + globalPosition.y() - dy);
    dx = globalPosition.x();
    dy = globalPosition.y();
}

void WindowDrag::mouseUp() {
    dragging = false;
}

bool WindowDrag::handleMouse(const QEvent& event) {
    switch (event.type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        const auto& mouse = static_cast<const QMouseEvent&>(event);
        mouseDown(mouse.button(), mouse.globalPosition().toPoint());
        return true;
    }
    case QEvent::MouseMove:
        mouseMove(static_cast<const QMouseEvent&>(event).globalPosition().toPoint());
        return true;
    case QEvent::MouseButtonRelease:
        mouseUp();
        return true;
    default:
        return false;
    }
}
