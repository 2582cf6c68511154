#pragma once

#include <QtGlobal>
#include <functional>

class QAbstractButton;
class QMenu;

// Opens a menu below the left edge of its button and returns when the menu closes. A click
// that closes the open menu by landing on its own button reaches the button as well; when
// it comes fewer than 100 ms after the menu closed, it is swallowed instead of opening the
// menu again.
void ShowDropDownMenu(QAbstractButton* button, QMenu* menu);

namespace dropdownmenu {

inline constexpr quint32 reopenDelayMs = 100;

// A monotonic millisecond tick count that wraps at 32 bits.
using TickSource = std::function<quint32()>;
// Tests put their own clock in place; an empty function restores the system's.
void setTickSource(TickSource source);

} // namespace dropdownmenu
