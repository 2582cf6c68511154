#include "gui/matrixrain.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

// One drawing step as the rain asked for it.
struct Step {
    enum class Kind { Clear, Erase, Draw } kind;
    QRect cell; // Erase
    QPoint at;  // Draw
    QChar character;
    RainColour colour;
    friend bool operator==(const Step&, const Step&) = default;
};

Step erase(int x, int y) {
    return {Step::Kind::Erase, QRect(x, y, 8, 12), {}, {}, {}};
}
Step draw(int x, int y, QChar character, RainColour colour) {
    return {Step::Kind::Draw, {}, QPoint(x, y), character, colour};
}

std::ostream& operator<<(std::ostream& out, const Step& step) {
    switch (step.kind) {
    case Step::Kind::Clear:
        return out << "clear";
    case Step::Kind::Erase:
        return out << "erase(" << step.cell.x() << "," << step.cell.y() << " " << step.cell.width()
                   << "x" << step.cell.height() << ")";
    case Step::Kind::Draw:
        return out << "draw(" << step.at.x() << "," << step.at.y() << " '"
                   << step.character.toLatin1() << "' " << step.colour.red << "/"
                   << step.colour.green << "/" << step.colour.blue << ")";
    }
    return out;
}

class RecordedSurface : public RainSurface {
public:
    std::vector<Step> steps;
    void clear() override { steps.push_back({Step::Kind::Clear, {}, {}, {}, {}}); }
    void eraseCell(const QRect& cell) override {
        steps.push_back({Step::Kind::Erase, cell, {}, {}, {}});
    }
    void drawCharacter(const QPoint& topLeft, QChar character, RainColour colour) override {
        steps.push_back({Step::Kind::Draw, {}, topLeft, character, colour});
    }
};

constexpr std::uint32_t seed = 20261210;

} // namespace

TEST(MatrixRain, GridComesFromTheSizeCapturedAtStartWithTwoDropsPerColumn) {
    RecordedSurface surface;
    MatrixRain rain(surface, QStringLiteral("kyk"), seed);
    rain.StartMatrix(452, 400);
    EXPECT_EQ(rain.matrixWidth(), 56);
    EXPECT_EQ(rain.matrixHeight(), 33);
    EXPECT_EQ(rain.frameCounter(), 0u);
    ASSERT_EQ(surface.steps.size(), 1u);
    EXPECT_EQ(surface.steps[0].kind, Step::Kind::Clear);

    ASSERT_EQ(rain.drops().size(), 112u);
    std::vector<int> perColumn(56, 0);
    for (std::size_t i = 0; i < rain.drops().size(); ++i) {
        const TDrop& drop = rain.drops()[i];
        EXPECT_EQ(drop.column, int(i % 56));
        EXPECT_GE(drop.row, 0);
        EXPECT_LE(drop.row, 32);
        EXPECT_GE(drop.period, 1);
        EXPECT_LE(drop.period, 3);
        EXPECT_GE(drop.brightness, 0);
        EXPECT_LE(drop.brightness, 99);
        ++perColumn[std::size_t(drop.column)];
    }
    for (int count : perColumn)
        EXPECT_EQ(count, 2);

    // A later setup (a resize) clears and reseeds on the same captured grid.
    surface.steps.clear();
    rain.MatrixTick();
    surface.steps.clear();
    rain.SetupMatrix();
    ASSERT_EQ(surface.steps.size(), 1u);
    EXPECT_EQ(surface.steps[0].kind, Step::Kind::Clear);
    EXPECT_EQ(rain.matrixWidth(), 56);
    EXPECT_EQ(rain.matrixHeight(), 33);
    EXPECT_EQ(rain.drops().size(), 112u);
    EXPECT_EQ(rain.frameCounter(), 1u);
}

TEST(MatrixRain, DropCountStopsAtTheFixedCapacity) {
    RecordedSurface surface;
    MatrixRain rain(surface, QStringLiteral("kyk"), seed);
    rain.StartMatrix(3000 * 8, 24);
    EXPECT_EQ(rain.matrixWidth(), 3000);
    ASSERT_EQ(rain.drops().size(), std::size_t(MatrixRain::maxDrops));
    EXPECT_EQ(rain.drops()[4999].column, 1999);
}

TEST(MatrixRain, WindowNarrowerThanOneCellHasNoDrops) {
    RecordedSurface surface;
    MatrixRain rain(surface, QStringLiteral("kyk"), seed);
    rain.StartMatrix(7, 400);
    EXPECT_EQ(rain.matrixWidth(), 0);
    EXPECT_TRUE(rain.drops().empty());
    surface.steps.clear();
    rain.MatrixTick();
    EXPECT_TRUE(surface.steps.empty());
    EXPECT_EQ(rain.frameCounter(), 1u);
}

TEST(MatrixRain, ColourOfALevelIsAGreen) {
    EXPECT_EQ(MatrixRain::levelColour(252), (RainColour{148, 252, 98}));
    EXPECT_EQ(MatrixRain::levelColour(84), (RainColour{49, 84, 32}));
    EXPECT_EQ(MatrixRain::levelColour(0), (RainColour{0, 0, 0}));
}

TEST(MatrixRain, DrawDropErasesTheWrappedTailAndDimsTheCellAboveTheHead) {
    struct Case {
        int height; // the captured outer height
        TDrop drop;
        std::vector<Step> expected;
    };
    const RainColour bright{148, 252, 98}; // brightness 99: level 252
    const RainColour dim{49, 84, 32};      // its third: level 84
    const RainColour half{88, 150, 58};    // brightness 59: level 150
    const RainColour halfDim{29, 50, 19};  // level 50
    const std::vector<Case> cases = {
        // matrixHeight 33: the tail of a head at row 0 wraps to row 28; no dimmed cell.
        {400, {3, 0, 1, 99}, {erase(24, 28 * 12), draw(24, 0, u'y', bright)}},
        {400,
         {3, 5, 2, 99},
         {erase(24, 33 * 12), draw(24, 4 * 12, u'y', dim), draw(24, 5 * 12, u'y', bright)}},
        {400,
         {0, 34, 3, 59},
         {erase(0, 28 * 12), draw(0, 33 * 12, u'y', halfDim), draw(0, 34 * 12, u'y', half)}},
        // matrixHeight 10: the tail wraps round several times.
        {120, {1, 0, 1, 59}, {erase(8, 4 * 12), draw(8, 0, u'y', half)}},
        // A grid taller than the tail: no wrap.
        {1200,
         {2, 45, 1, 99},
         {erase(16, 5 * 12), draw(16, 44 * 12, u'y', dim), draw(16, 45 * 12, u'y', bright)}},
    };
    for (const Case& c : cases) {
        RecordedSurface surface;
        MatrixRain rain(surface, QStringLiteral("kyk"), seed);
        rain.StartMatrix(80, c.height);
        surface.steps.clear();
        rain.DrawDrop(c.drop, u'y');
        EXPECT_EQ(surface.steps, c.expected) << "height " << c.height << " row " << c.drop.row;
    }
}

// Every tick, per drop in order: the tail erased, the dimmed cell above the head (not at
// row 0), the head; then the drop moves on its period and restarts in its column past
// matrixHeight + 1.
TEST(MatrixRain, TicksFollowTheRulesForEveryDrop) {
    RecordedSurface surface;
    MatrixRain rain(surface, QStringLiteral("kyk"), seed);
    rain.StartMatrix(452, 400);
    const int wrapRows = rain.matrixHeight() + 1;

    int restarts = 0;
    int headsAtRowZero = 0;
    for (int tick = 0; tick < 120; ++tick) {
        const std::vector<TDrop> before(rain.drops().begin(), rain.drops().end());
        const std::uint32_t frame = rain.frameCounter();
        surface.steps.clear();
        rain.MatrixTick();
        ASSERT_EQ(rain.frameCounter(), frame + 1);

        std::size_t at = 0;
        for (std::size_t i = 0; i < before.size(); ++i) {
            const TDrop& drop = before[i];
            int tail = drop.row - 40;
            while (tail < 0)
                tail += wrapRows;
            ASSERT_LT(at, surface.steps.size());
            EXPECT_EQ(surface.steps[at++], erase(drop.column * 8, tail * 12));

            const QChar character = surface.steps.at(at).character;
            EXPECT_TRUE(character == u'k' || character == u'y');
            const int level = drop.brightness * 255 / 100;
            if (drop.row > 0) {
                EXPECT_EQ(surface.steps.at(at++),
                          draw(drop.column * 8, (drop.row - 1) * 12, character,
                               MatrixRain::levelColour(level / 3)));
            } else {
                ++headsAtRowZero;
                EXPECT_EQ(tail, 28);
            }
            EXPECT_EQ(surface.steps.at(at++), draw(drop.column * 8, drop.row * 12, character,
                                                   MatrixRain::levelColour(level)));

            const TDrop& after = rain.drops()[i];
            EXPECT_EQ(after.column, drop.column);
            if (frame % std::uint32_t(drop.period) != 0) {
                EXPECT_EQ(after, drop);
            } else if (drop.row + 1 > rain.matrixHeight() + 1) {
                ++restarts;
                EXPECT_EQ(after.row, 0);
                EXPECT_GE(after.period, 1);
                EXPECT_LE(after.period, 3);
                EXPECT_GE(after.brightness, 0);
                EXPECT_LE(after.brightness, 99);
            } else {
                EXPECT_EQ(after.row, drop.row + 1);
                EXPECT_EQ(after.period, drop.period);
                EXPECT_EQ(after.brightness, drop.brightness);
            }
        }
        EXPECT_EQ(at, surface.steps.size());
    }
    // The run is long enough to see the rules that matter at the grid's ends.
    EXPECT_GT(restarts, 0);
    EXPECT_GT(headsAtRowZero, 0);
}

TEST(MatrixRain, SameSeedSameRain) {
    RecordedSurface first;
    RecordedSurface second;
    MatrixRain a(first, QStringLiteral("kyk"), seed);
    MatrixRain b(second, QStringLiteral("kyk"), seed);
    a.StartMatrix(452, 400);
    b.StartMatrix(452, 400);
    for (int tick = 0; tick < 10; ++tick) {
        a.MatrixTick();
        b.MatrixTick();
    }
    EXPECT_EQ(first.steps, second.steps);
}
