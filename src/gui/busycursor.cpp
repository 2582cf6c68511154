#include "gui/busycursor.h"

#include <QCursor>
#include <QGuiApplication>

BusyCursor::BusyCursor() {
    QGuiApplication::setOverrideCursor(Qt::BusyCursor);
}

BusyCursor::~BusyCursor() {
    restore();
}

void BusyCursor::restore() {
    if (m_active) {
        QGuiApplication::restoreOverrideCursor();
        m_active = false;
    }
}
