#pragma once

class QAbstractButton;

// Enter or Return on the focused button presses it, as Space does. Only the focused button
// takes the key, so Enter typed in a text box presses nothing.
void pressOnEnter(QAbstractButton& button);
