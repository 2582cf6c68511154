#pragma once

#include <QString>
#include <functional>

// The default error display: the error's message (a "." added when it ends in a
// character after "."), the application title as caption, the error icon.
void showDefaultError(const QString& message);

// Runs a handler and shows any error that leaves it in the default error display,
// so that no exception travels through Qt's frames.
void runGuarded(const std::function<void()>& handler);
