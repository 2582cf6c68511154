#pragma once

#include <QChar>
#include <QPoint>
#include <QRect>
#include <QString>
#include <array>
#include <cstdint>
#include <random>
#include <span>

// The about window's falling-characters decoration, free of widgets: it draws through a
// small surface interface, so the window draws on its own image and tests record cells.

struct RainColour {
    int red = 0;
    int green = 0;
    int blue = 0;
    friend bool operator==(const RainColour&, const RainColour&) = default;
};

// One falling drop: its grid column, the grid row of its head, how many ticks it waits
// per row (1 to 3) and its brightness (0 to 99).
struct TDrop {
    int column = 0;
    int row = 0;
    int period = 1;
    int brightness = 0;
    friend bool operator==(const TDrop&, const TDrop&) = default;
};

class RainSurface {
public:
    virtual ~RainSurface() = default;
    // Fills the whole surface black.
    virtual void clear() = 0;
    // Fills one cell black.
    virtual void eraseCell(const QRect& cell) = 0;
    // Draws one character in the given colour on an opaque black background, its cell's
    // top-left corner at the given point.
    virtual void drawCharacter(const QPoint& topLeft, QChar character, RainColour colour) = 0;
};

class MatrixRain {
public:
    static constexpr int maxDrops = 5000;
    static constexpr int charWidth = 8;
    static constexpr int charHeight = 12;
    static constexpr int tailLength = 40;

    // The generator is seeded from the system unless a seed is given (tests).
    MatrixRain(RainSurface& surface, QString matrixChars);
    MatrixRain(RainSurface& surface, QString matrixChars, std::uint32_t seed);

    // Captures the size the grid is computed from (the window's outer size) and sets up.
    void StartMatrix(int outerWidth, int outerHeight);
    // Clears the surface and seeds new drops on the grid of the captured size.
    void SetupMatrix();
    void SeedDrops();
    void AddDrop();
    // One step: every drop gets a fresh head character and moves on its own period.
    void MatrixTick();
    void DrawDrop(const TDrop& drop, QChar character);

    // The colour of a level 0 to 255: a green.
    static RainColour levelColour(int level);

    int matrixWidth() const { return m_matrixWidth; }
    int matrixHeight() const { return m_matrixHeight; }
    int bitmapWidth() const { return m_bitmapWidth; }
    int bitmapHeight() const { return m_bitmapHeight; }
    std::uint32_t frameCounter() const { return m_frameCounter; }
    std::span<const TDrop> drops() const {
        return std::span<const TDrop>(m_drops.data(), static_cast<std::size_t>(m_dropCount));
    }

private:
    int randomBelow(int bound); // 0 to bound - 1

    RainSurface& m_surface;
    const QString m_matrixChars;
    std::mt19937 m_random;
    int m_bitmapWidth = 0;
    int m_bitmapHeight = 0;
    int m_matrixWidth = 0;
    int m_matrixHeight = 0;
    // Unsigned: a window left open for years wraps the count instead of overflowing.
    std::uint32_t m_frameCounter = 0;
    // Fixed capacity: the drops are never reallocated while the rain runs.
    std::array<TDrop, maxDrops> m_drops{};
    int m_dropCount = 0;
};
