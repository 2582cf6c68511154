#include "gui/dropdownmenu.h"

#include <QAbstractButton>
#include <QMenu>
#include <QPointer>
#include <chrono>

namespace {

struct LastShown {
    QPointer<QAbstractButton> button;
    QPointer<QMenu> menu;
    quint32 closedAt = 0;
};

LastShown& lastShown() {
    static LastShown state;
    return state;
}

dropdownmenu::TickSource& tickSource() {
    static dropdownmenu::TickSource source;
    return source;
}

quint32 tickCount() {
    if (tickSource())
        return tickSource()();
    const auto sinceStart = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<quint32>(
        std::chrono::duration_cast<std::chrono::milliseconds>(sinceStart).count());
}

} // namespace

namespace dropdownmenu {
void setTickSource(TickSource source) {
    tickSource() = std::move(source);
}
} // namespace dropdownmenu

void ShowDropDownMenu(QAbstractButton* button, QMenu* menu) {
    LastShown& last = lastShown();
    // Unsigned subtraction keeps the rule right across the counter's wrap.
    if (last.button == button && last.menu == menu &&
        tickCount() - last.closedAt < dropdownmenu::reopenDelayMs) {
        last.button = nullptr;
        last.menu = nullptr;
        return;
    }
    const QPointer<QAbstractButton> shownButton(button);
    const QPointer<QMenu> shownMenu(menu);
    menu->exec(button->mapToGlobal(QPoint(0, button->height())));
    last.closedAt = tickCount();
    last.button = shownButton;
    last.menu = shownMenu;
}
