#include "core/identity.h"
#include "core/maker.h"
#include "core/translate.h"
#include "gui/messagebox.h"
#include "gui/newver.h"
#include "support/openedaddresses.h"
#include "support/qtprinters.h"
#include "support/scopedenv.h"

#include <QApplication>
#include <QCursor>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

// Every scheme an address could smuggle in lands here instead of on the desktop.
const char* const caughtSchemes[] = {"http", "https", "file",  "javascript",
                                     "data", "ftp",   "mailto"};

class NewVerTest : public ::testing::Test {
protected:
    template <typename T> T* child(const TNewVer& notice, const char* name) const {
        T* found = notice.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    // Shows the notice as its start tick does and lets the expand animation end.
    static void showNotice(TNewVer& notice) {
        notice.TimerStartTimer();
        ASSERT_TRUE(notice.isVisible());
        QTRY_VERIFY(notice.mask().isEmpty());
    }

    // A mouse event at a point of the screen, as the widget under the grab receives it.
    static void sendMouse(QWidget* target, QEvent::Type type, QPoint global,
                          Qt::MouseButton button) {
        const Qt::MouseButtons held =
            type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
        QMouseEvent event(type, QPointF(target->mapFromGlobal(global)), QPointF(global),
                          type == QEvent::MouseMove ? Qt::NoButton : button, held, Qt::NoModifier);
        QApplication::sendEvent(target, &event);
    }

    const Translator english;
    ScopedEnv host{"BRINDLEAF_MAKER_HOST", QStringLiteral("maker.test")};
    // Every scheme an address could smuggle in lands here instead of on the desktop.
    OpenedAddresses opened{{"http", "https", "file", "javascript", "data", "ftp", "mailto"}};
};

} // namespace

TEST_F(NewVerTest, CreatedHiddenInTheTopRightCornerWithItsTexts) {
    QPixmap icon(32, 32);
    icon.fill(Qt::darkGreen);
    QApplication::setWindowIcon(QIcon(icon));
    const TNewVer notice("Brindleaf", "1.5", "https://d.example/x", english);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_FALSE(notice.isVisible());
    EXPECT_EQ(notice.objectName(), "NewVer");
    EXPECT_EQ(notice.size(), QSize(320, 68));
    EXPECT_EQ(notice.pos(), QPoint(screen.right() + 1 - 320 - 5, screen.top() + 5));
    EXPECT_TRUE(notice.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(notice.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(child<QLabel>(notice, "Label1")->text(), "UPDATE AVAILABLE");
    EXPECT_EQ(child<QLabel>(notice, "Label2")->text(), "Click to download Brindleaf 1.5");
    const auto* image = child<QLabel>(notice, "Image1");
    EXPECT_EQ(image->size(), QSize(60, 60));
    EXPECT_EQ(image->pixmap().toImage().pixelColor(image->pixmap().rect().center()),
              QColor(Qt::darkGreen));
    const auto* close = child<QToolButton>(notice, "Button1");
    EXPECT_EQ(close->size(), QSize(22, 22));
    EXPECT_TRUE(close->text().isEmpty());
    EXPECT_FALSE(close->icon().isNull());
    EXPECT_EQ(child<QWidget>(notice, "Panel3")->width(), 22);
    const struct {
        const char* name;
        int interval;
    } timers[] = {{"TimerStart", 1}, {"TimerClose", 1000}, {"TimerLink", 100}};
    for (const auto& t : timers) {
        const auto* timer = child<QTimer>(notice, t.name);
        EXPECT_EQ(timer->interval(), t.interval) << t.name;
        EXPECT_TRUE(timer->isActive()) << t.name;
    }
}

TEST_F(NewVerTest, StartTickShowsItAndGivesTheFocusBack) {
    QWidget mainWindow;
    mainWindow.show();
    TNewVer notice("Brindleaf", "1.5", "https://d.example/x", english, &mainWindow);
    notice.TimerStartTimer();
    EXPECT_TRUE(notice.isVisible());
    EXPECT_FALSE(child<QTimer>(notice, "TimerStart")->isActive());
    // The expand animation reveals the window from its centre line, then drops the mask.
    const QRect revealed = notice.mask().boundingRect();
    EXPECT_LT(revealed.width(), notice.width());
    EXPECT_NEAR(revealed.center().x(), notice.rect().center().x(), 1);
    QTRY_VERIFY(notice.mask().isEmpty());
    QTRY_COMPARE(QApplication::activeWindow(), &mainWindow);
}

TEST_F(NewVerTest, CountdownClosesItOnTheEleventhTick) {
    TNewVer notice("Brindleaf", "1.5", "https://d.example/x", english);
    showNotice(notice);
    const QTimer* closeTimer = child<QTimer>(notice, "TimerClose");
    for (int tick = 1; tick <= 10; ++tick) {
        notice.TimerCloseTimer();
        EXPECT_TRUE(notice.isVisible()) << tick;
        EXPECT_TRUE(closeTimer->isActive()) << tick;
    }
    notice.TimerCloseTimer();
    EXPECT_FALSE(closeTimer->isActive());
    QTRY_VERIFY(!notice.isVisible());
    EXPECT_TRUE(opened.urls.isEmpty());
}

TEST_F(NewVerTest, CountdownAfterAnEarlyCloseChangesNothing) {
    TNewVer notice("Brindleaf", "1.5", "https://d.example/x", english);
    showNotice(notice);
    child<QToolButton>(notice, "Button1")->click();
    EXPECT_FALSE(notice.isVisible());
    for (int tick = 1; tick <= 11; ++tick)
        notice.TimerCloseTimer();
    EXPECT_FALSE(notice.isVisible());
    EXPECT_EQ(notice.closeCountdown(), 0);
    EXPECT_TRUE(opened.urls.isEmpty());
}

// Sets a palette of the menus for as long as it lives.
class MenuPalette {
public:
    explicit MenuPalette(const QPalette& palette) : m_before(QApplication::palette("QMenu")) {
        QApplication::setPalette(palette, "QMenu");
    }
    ~MenuPalette() { QApplication::setPalette(m_before, "QMenu"); }
    MenuPalette(const MenuPalette&) = delete;
    MenuPalette& operator=(const MenuPalette&) = delete;

private:
    QPalette m_before;
};

bool drawsIn(QWidget* widget, const QColor& colour) {
    const QImage image = widget->grab().toImage();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == colour)
                return true;
    return false;
}

TEST_F(NewVerTest, LinkTakesTheHighlightedMenuColourWhileTheMouseRestsOnIt) {
    // The menus' highlight differs here from every colour of the window's own palette.
    QPalette menus = QApplication::palette("QMenu");
    const QColor menuHighlight(0x1c, 0x8a, 0x3f);
    menus.setColor(QPalette::Highlight, menuHighlight);
    const MenuPalette menuPalette(menus);
    const QColor text = QApplication::palette().color(QPalette::WindowText);
    ASSERT_NE(QApplication::palette().color(QPalette::Highlight), menuHighlight);

    TNewVer notice("Brindleaf", "1.5", "https://d.example/x", english);
    showNotice(notice);
    auto* link = child<QLabel>(notice, "Label2");
    const struct {
        QPoint at;
        QColor colour;
        QColor notDrawn;
    } steps[] = {
        {link->mapToGlobal(link->rect().center()), menuHighlight, text},
        {notice.mapToGlobal(QPoint(-50, -50)), text, menuHighlight},
        {link->mapToGlobal(QPoint(0, 0)), menuHighlight, text},
        {link->mapToGlobal(QPoint(link->width(), 0)), text, menuHighlight},
    };
    for (const auto& step : steps) {
        QCursor::setPos(step.at);
        ASSERT_EQ(QCursor::pos(), step.at);
        // The link's own timer follows the mouse.
        QTRY_COMPARE(link->palette().color(QPalette::WindowText), step.colour);
        EXPECT_TRUE(drawsIn(link, step.colour)) << step.colour.name().toStdString();
        EXPECT_FALSE(drawsIn(link, step.notDrawn)) << step.notDrawn.name().toStdString();
    }
}

TEST_F(NewVerTest, TakesClicksWhileAMessageBoxOfTheMainWindowIsOpen) {
    QWidget mainWindow;
    mainWindow.show();
    QApplication::setActiveWindow(&mainWindow);
    TNewVer notice("Brindleaf", "1.5", "https://d.example/x", english, &mainWindow);
    showNotice(notice);
    bool boxWasOpen = false;
    QTimer::singleShot(0, [&] {
        QWidget* box = QApplication::activeModalWidget();
        boxWasOpen = box != nullptr && box->isVisible();
        // Through the window system, where a modal window would hold the click back.
        auto* link = child<QLabel>(notice, "Label2");
        QTest::mouseClick(notice.windowHandle(), Qt::LeftButton, {},
                          link->mapTo(&notice, link->rect().center()));
        if (box != nullptr)
            box->close();
    });
    showMessage(QStringLiteral("Saved as file: x.xml"), QStringLiteral("Brindleaf"),
                MB_ICONINFORMATION);
    EXPECT_TRUE(boxWasOpen);
    EXPECT_EQ(opened.urls, QList<QUrl>{QUrl("https://d.example/x")});
    EXPECT_FALSE(notice.isVisible());
}

TEST_F(NewVerTest, DraggedOnlyByItsHandles) {
    const struct {
        const char* name;
        QPoint at; // in the widget's coordinates; (-1, -1) for its centre
        Qt::MouseButton button;
        bool drags;
    } cases[] = {
        {"Image1", {-1, -1}, Qt::LeftButton, true},   {"Image1", {-1, -1}, Qt::MiddleButton, true},
        {"Image1", {-1, -1}, Qt::RightButton, false}, {"Label1", {-1, -1}, Qt::LeftButton, true},
        {"Panel1", {0, 0}, Qt::LeftButton, true},     {"Panel3", {11, 50}, Qt::LeftButton, true},
        {"Label2", {-1, -1}, Qt::LeftButton, false},  {"Button1", {-1, -1}, Qt::LeftButton, false},
        {"Panel2", {1, 1}, Qt::LeftButton, false}, // the margin around the heading
    };
    for (const auto& c : cases) {
        TNewVer notice("Brindleaf", "1.5", "https://d.example/x", english);
        showNotice(notice);
        auto* target = child<QWidget>(notice, c.name);
        const QPoint start = c.at == QPoint(-1, -1) ? target->rect().center() : c.at;
        ASSERT_EQ(notice.childAt(target->mapTo(&notice, start)), target) << c.name;
        const QPoint before = notice.pos();
        const QPoint global = target->mapToGlobal(start);
        sendMouse(target, QEvent::MouseButtonPress, global, c.button);
        sendMouse(target, QEvent::MouseMove, global + QPoint(-30, 12), c.button);
        sendMouse(target, QEvent::MouseMove, global + QPoint(-40, 50), c.button);
        sendMouse(target, QEvent::MouseButtonRelease, global + QPoint(-40, 50), c.button);
        EXPECT_EQ(notice.pos(), c.drags ? before + QPoint(-40, 50) : before) << c.name;
        // Released (off the link, so no click): moving on does not drag.
        sendMouse(target, QEvent::MouseMove, global + QPoint(-60, 70), Qt::NoButton);
        EXPECT_EQ(notice.pos(), c.drags ? before + QPoint(-40, 50) : before) << c.name;
        EXPECT_TRUE(notice.isVisible()) << c.name;
    }
    EXPECT_TRUE(opened.urls.isEmpty());
}

TEST_F(NewVerTest, LinkOpensOnlyWebAddressesElseTheHomePage) {
    const QString home = maker::homePageFallbackUrl();
    ASSERT_EQ(home, "http://maker.test");
    const struct {
        QString address;
        QString opens;
    } cases[] = {
        {"https://d.example/brindleaf-1.5.deb", "https://d.example/brindleaf-1.5.deb"},
        {"http://d.example/get?v=1.5", "http://d.example/get?v=1.5"},
        {"", home},
        {"file:///etc/passwd", home},
        {"/usr/bin/xterm", home},
        {"xterm -e sh", home},
        {"javascript:alert(1)", home},
        {"data:text/html,<script>alert(1)</script>", home},
        {"ftp://d.example/x", home},
        {"mailto:a@d.example", home},
        {"http:///etc/passwd", home},
    };
    for (const auto& c : cases) {
        opened.urls.clear();
        TNewVer notice("Brindleaf", "1.5", c.address, english);
        showNotice(notice);
        auto* link = child<QLabel>(notice, "Label2");
        const QPoint centre = link->mapToGlobal(link->rect().center());
        // A right-button click is no click.
        sendMouse(link, QEvent::MouseButtonPress, centre, Qt::RightButton);
        sendMouse(link, QEvent::MouseButtonRelease, centre, Qt::RightButton);
        EXPECT_TRUE(opened.urls.isEmpty()) << c.address.toStdString();
        EXPECT_TRUE(notice.isVisible()) << c.address.toStdString();
        sendMouse(link, QEvent::MouseButtonPress, centre, Qt::LeftButton);
        sendMouse(link, QEvent::MouseButtonRelease, centre, Qt::LeftButton);
        EXPECT_EQ(opened.urls, QList<QUrl>{QUrl(c.opens)}) << c.address.toStdString();
        EXPECT_FALSE(notice.isVisible()) << c.address.toStdString();
    }
}

TEST_F(NewVerTest, CloseButtonHidesIt) {
    TNewVer notice("Brindleaf", "1.5", "https://d.example/x", english);
    showNotice(notice);
    QTest::mouseClick(child<QToolButton>(notice, "Button1"), Qt::LeftButton);
    EXPECT_FALSE(notice.isVisible());
    EXPECT_TRUE(opened.urls.isEmpty());
}
