#pragma once

#include <QFont>
#include <QStringList>

// The windows' typeface, Tahoma, followed by fonts of similar width for systems that do
// not have it.
QStringList tahomaFamilies();

// A font of the first installed of `families`, sized in pixels so that it keeps its size
// in window pixels whatever the screen's dots per inch.
QFont windowFont(const QStringList& families, int pixelSize, bool bold = false);

inline QFont tahomaFont(int pixelSize, bool bold = false) {
    return windowFont(tahomaFamilies(), pixelSize, bold);
}
