#include "gui/rainimage.h"

#include <QColor>
#include <QPainter>
#include <cmath>

void RainImage::resize(const QSize& size, qreal devicePixelRatio) {
    const QSize pixels(int(std::ceil(size.width() * devicePixelRatio)),
                       int(std::ceil(size.height() * devicePixelRatio)));
    m_image = QImage(pixels, QImage::Format_RGB32);
    m_image.setDevicePixelRatio(devicePixelRatio);
    m_image.fill(Qt::black);
}

void RainImage::setFontFamilies(const QStringList& families) {
    m_font = QFont();
    m_font.setFamilies(families);
    m_font.setStyleHint(QFont::SansSerif);
    // The character cell (ascent and descent) is the rain's cell height, not the em size.
    int pixelSize = MatrixRain::charHeight;
    for (;;) {
        m_font.setPixelSize(pixelSize);
        if (pixelSize <= 6 || QFontMetrics(m_font).height() <= MatrixRain::charHeight)
            break;
        --pixelSize;
    }
    m_metrics = QFontMetrics(m_font);
}

void RainImage::clear() {
    m_image.fill(Qt::black);
}

void RainImage::eraseCell(const QRect& cell) {
    if (m_image.isNull())
        return;
    QPainter painter(&m_image);
    painter.fillRect(cell, Qt::black);
}

void RainImage::drawCharacter(const QPoint& topLeft, QChar character, RainColour colour) {
    if (m_image.isNull())
        return;
    QPainter painter(&m_image);
    painter.setFont(m_font);
    const QString text(character);
    painter.fillRect(QRect(topLeft, QSize(m_metrics.horizontalAdvance(text), m_metrics.height())),
                     Qt::black);
    painter.setPen(QColor(colour.red, colour.green, colour.blue));
    painter.drawText(QPoint(topLeft.x(), topLeft.y() + m_metrics.ascent()), text);
}
