#include "gui/matrixrain.h"

#include <utility>

MatrixRain::MatrixRain(RainSurface& surface, QString matrixChars)
    : MatrixRain(surface, std::move(matrixChars), std::random_device{}()) {}

MatrixRain::MatrixRain(RainSurface& surface, QString matrixChars, std::uint32_t seed)
    : m_surface(surface), m_matrixChars(std::move(matrixChars)), m_random(seed) {}

int MatrixRain::randomBelow(int bound) {
    if (bound <= 1)
        return 0;
    return std::uniform_int_distribution<int>(0, bound - 1)(m_random);
}

void MatrixRain::StartMatrix(int outerWidth, int outerHeight) {
    m_frameCounter = 0;
    m_bitmapWidth = outerWidth;
    m_bitmapHeight = outerHeight;
    SetupMatrix();
}

void MatrixRain::SetupMatrix() {
    m_surface.clear();
    // Always the size captured at start, also after a resize.
    m_matrixWidth = m_bitmapWidth / charWidth;
    m_matrixHeight = m_bitmapHeight / charHeight;
    SeedDrops();
}

void MatrixRain::SeedDrops() {
    m_dropCount = 0;
    for (int i = 0; i < 2 * m_matrixWidth; ++i)
        AddDrop();
}

void MatrixRain::AddDrop() {
    if (m_dropCount >= maxDrops || m_matrixWidth <= 0)
        return;
    TDrop& drop = m_drops[static_cast<std::size_t>(m_dropCount)];
    drop.column = m_dropCount % m_matrixWidth;
    drop.row = randomBelow(m_matrixHeight);
    drop.period = 1 + randomBelow(3);
    drop.brightness = randomBelow(100);
    ++m_dropCount;
}

void MatrixRain::MatrixTick() {
    for (int i = 0; i < m_dropCount; ++i) {
        TDrop& drop = m_drops[static_cast<std::size_t>(i)];
        const QChar character = m_matrixChars.isEmpty()
                                    ? QChar(u' ')
                                    : m_matrixChars.at(randomBelow(int(m_matrixChars.size())));
        DrawDrop(drop, character);
        if (m_frameCounter % static_cast<std::uint32_t>(drop.period) == 0) {
            ++drop.row;
            if (drop.row > m_matrixHeight + 1) {
                drop.row = 0;
                drop.period = 1 + randomBelow(3);
                drop.brightness = randomBelow(100);
            }
        }
    }
    ++m_frameCounter;
}

RainColour MatrixRain::levelColour(int level) {
    return RainColour{level * 150 / 255, level, level * 100 / 255};
}

void MatrixRain::DrawDrop(const TDrop& drop, QChar character) {
    // The tail cell wraps round the grid of matrixHeight + 1 rows.
    int tailRow = drop.row - tailLength;
    while (tailRow < 0)
        tailRow += m_matrixHeight + 1;
    const int x = drop.column * charWidth;
    m_surface.eraseCell(QRect(x, tailRow * charHeight, charWidth, charHeight));

    const int head = drop.brightness * 255 / 100;
    const int trail = head / 3;
    if (drop.row > 0)
        m_surface.drawCharacter(QPoint(x, (drop.row - 1) * charHeight), character,
                                levelColour(trail));
    m_surface.drawCharacter(QPoint(x, drop.row * charHeight), character, levelColour(head));
}
