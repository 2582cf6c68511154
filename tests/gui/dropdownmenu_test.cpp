#include "gui/dropdownmenu.h"

#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>

namespace {

// A window with two buttons and a menu each; every time a menu opens its position is
// noted and the menu is closed again, as a click elsewhere would.
class DropDownMenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        dropdownmenu::setTickSource([this] { return now; });
        window = std::make_unique<QWidget>();
        window->resize(300, 200);
        for (int i = 0; i < 2; ++i) {
            buttons[i] = new QPushButton(QStringLiteral("Info"), window.get());
            buttons[i]->setGeometry(20 + 130 * i, 40, 122, 33);
            menus[i] = new QMenu(window.get());
            menus[i]->addAction(QStringLiteral("Item"));
            QObject::connect(menus[i], &QMenu::aboutToShow, menus[i], [this, i] {
                ++opened[i];
                QTimer::singleShot(0, menus[i], [this, i] {
                    shownAt = menus[i]->pos();
                    menus[i]->close();
                });
            });
        }
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    void TearDown() override { dropdownmenu::setTickSource({}); }

    // The click on a button: the menu, when it opens, closes at the current tick.
    void click(int i) { ShowDropDownMenu(buttons[i], menus[i]); }

    quint32 now = 5000;
    std::unique_ptr<QWidget> window;
    QPushButton* buttons[2] = {};
    QMenu* menus[2] = {};
    int opened[2] = {};
    QPoint shownAt;
};

} // namespace

TEST_F(DropDownMenuTest, OpensBelowTheButtonsLeftEdge) {
    click(0);
    EXPECT_EQ(opened[0], 1);
    EXPECT_EQ(shownAt, buttons[0]->mapToGlobal(QPoint(0, buttons[0]->height())));
}

TEST_F(DropDownMenuTest, ClickThatClosedTheMenuDoesNotOpenItAgain) {
    click(0);
    ASSERT_EQ(opened[0], 1);
    now += 99;
    click(0); // the click that closed the menu by landing on its button
    EXPECT_EQ(opened[0], 1);
    click(0); // the next click opens it, however soon
    EXPECT_EQ(opened[0], 2);
    now += 100;
    click(0); // 100 ms after the menu closed
    EXPECT_EQ(opened[0], 3);
}

TEST_F(DropDownMenuTest, RuleHoldsAcrossTheTickCountersWrap) {
    now = 0xFFFFFFF0u;
    click(0);
    ASSERT_EQ(opened[0], 1);
    now = 0x00000010u; // 32 ms later
    click(0);
    EXPECT_EQ(opened[0], 1);
}

TEST_F(DropDownMenuTest, AnotherButtonOrMenuOpensAtOnce) {
    click(0);
    click(1);
    EXPECT_EQ(opened[1], 1);
    ShowDropDownMenu(buttons[1], menus[0]);
    EXPECT_EQ(opened[0], 2);
}
