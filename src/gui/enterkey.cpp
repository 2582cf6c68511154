#include "gui/enterkey.h"

#include <QAbstractButton>
#include <QKeyEvent>

namespace {

// Lives as a child of its button, so it goes with it.
class EnterPresses : public QObject {
public:
    explicit EnterPresses(QAbstractButton& button) : QObject(&button), m_button(button) {}

    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::KeyPress)
            return false;
        const int key = static_cast<const QKeyEvent*>(event)->key();
        if (key != Qt::Key_Return && key != Qt::Key_Enter)
            return false;
        if (m_button.isEnabled())
            m_button.click();
        return true;
    }

private:
    QAbstractButton& m_button;
};

} // namespace

void pressOnEnter(QAbstractButton& button) {
    button.installEventFilter(new EnterPresses(button));
}
