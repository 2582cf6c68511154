#pragma once

#include "core/combine.h"

#include <QString>
#include <QStringList>

class QWidget;

// Runs the combine on a thread of its own while the calling (window) thread goes on painting.
// `window` takes no input meanwhile; other windows (message boxes, the update notice) do.
// When the work lasts longer than about half a second a progress window shows it and offers
// to cancel it; a cancelled export writes nothing. The combine's events reach `reporter` on
// the calling thread, in order and one at a time: the work waits until each has been taken
// (its message box closed). Returns the combine's outcome; what the combine throws is thrown
// again here, on the calling thread.
CombineOutcome combineInBackground(QWidget& window, const QStringList& inputs,
                                   const QString& output, CombineReporter& reporter);
