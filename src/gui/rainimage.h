#pragma once

#include "gui/matrixrain.h"

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QSize>

// The rain's surface as a persistent image of the window's size: the rain's ticks draw
// on it and the window's paint event shows it.
class RainImage : public RainSurface {
public:
    // A new black image of the given size in window pixels, at the screen's pixel ratio.
    void resize(const QSize& size, qreal devicePixelRatio);
    // The face of the characters; their cell height is always the rain's cell height.
    void setFontFamilies(const QStringList& families);

    const QImage& image() const { return m_image; }

    void clear() override;
    void eraseCell(const QRect& cell) override;
    void drawCharacter(const QPoint& topLeft, QChar character, RainColour colour) override;

private:
    QImage m_image;
    QFont m_font;
    QFontMetrics m_metrics{m_font};
};
