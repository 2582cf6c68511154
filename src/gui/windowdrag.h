#pragma once

#include <Qt>

class QEvent;
class QPoint;
class QWidget;

// Drags a window without a caption bar by its handles: a press of any button but the right
// one starts a drag, each move shifts the window by exactly the mouse's movement on the
// screen, and a release of any button ends it.
class WindowDrag {
public:
    explicit WindowDrag(QWidget& window) : m_window(window) {}

    void mouseDown(Qt::MouseButton button, const QPoint& globalPosition);
    void mouseMove(const QPoint& globalPosition);
    void mouseUp();

    // A press (a double click presses too), move or release on a handle, passed to the
    // above; true when the event was one of these.
    bool handleMouse(const QEvent& event);

private:
    QWidget& m_window;
    bool dragging = false;
    // The mouse's screen position at the last step of the drag.
    int dx = 0;
    int dy = 0;
};
