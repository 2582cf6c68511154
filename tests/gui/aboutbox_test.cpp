#include "gui/aboutbox.h"

#include "core/identity.h"
#include "core/maker.h"
#include "core/translate.h"
#include "gui/appform.h"
#include "gui/dropdownmenu.h"
#include "gui/messagebox.h"
#include "platform/executablepath.h"
#include "support/openedaddresses.h"

#include <QAction>
#include <QApplication>
#include <QExposeEvent>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWindow>
#include <gtest/gtest.h>
#include <vector>

namespace {

class AboutBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        setMessageSink([this](const ShownMessage& message) { messages.push_back(message); });
    }
    void TearDown() override {
        setMessageSink({});
        dropdownmenu::setTickSource({});
        delete box.data();
    }

    TAboutBox* show() {
        box = new TAboutBox({QStringLiteral("QUENLOW"), QStringLiteral("Brindleaf"),
                             QStringLiteral("QUENLOW - Brindleaf"), QStringLiteral("1.4")},
                            translator);
        box->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(box.data()));
        return box.data();
    }
    template <typename T> T* child(const char* name) {
        return box->findChild<T*>(QString::fromLatin1(name));
    }
    bool closedAndFreed() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return box.isNull();
    }

    Translator translator;
    QPointer<TAboutBox> box;
    std::vector<ShownMessage> messages;
    OpenedAddresses opened{
        {QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("file")}};
};

// A mouse event as the window system delivers it to an element, at a screen position.
void sendMouse(QWidget* element, QEvent::Type type, const QPoint& screen,
               Qt::MouseButton button = Qt::LeftButton) {
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::MouseButtons() : Qt::MouseButtons(button);
    QMouseEvent event(type, element->mapFromGlobal(screen), screen,
                      type == QEvent::MouseMove ? Qt::NoButton : button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(element, &event);
}

void doubleClick(QWidget* element) {
    const QPoint screen = element->mapToGlobal(QPoint(4, 4));
    sendMouse(element, QEvent::MouseButtonPress, screen);
    sendMouse(element, QEvent::MouseButtonRelease, screen);
    sendMouse(element, QEvent::MouseButtonDblClick, screen);
    sendMouse(element, QEvent::MouseButtonRelease, screen);
}

bool allBlack(const QImage& image) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) != 0)
                return false;
    return true;
}

} // namespace

TEST_F(AboutBoxTest, ElementsSitWhereTheLayoutPutsThem) {
    show();
    EXPECT_EQ(box->size(), QSize(446, 374));
    const struct {
        const char* name;
        QRect geometry;
    } places[] = {
        {"PanelEgg", {61, 77, 324, 220}}, {"ImageEgg", {2, 3, 320, 214}},
        {"Panel1", {48, 42, 350, 291}},   {"Image2", {3, 3, 344, 105}},
        {"Bevel1", {9, 122, 34, 34}},     {"Image1", {10, 123, 32, 32}},
        {"Label2", {49, 122, 290, 40}},   {"BitBtn1", {49, 226, 122, 33}},
        {"BitBtn2", {177, 226, 122, 33}},
    };
    for (const auto& place : places) {
        const QWidget* element = child<QWidget>(place.name);
        ASSERT_NE(element, nullptr) << place.name;
        EXPECT_EQ(element->geometry(), place.geometry) << place.name;
    }
    EXPECT_FALSE(child<QWidget>("PanelEgg")->isVisible());
    EXPECT_TRUE(child<QWidget>("Panel1")->isVisible());

    const QLabel* link = child<QLabel>("Label5");
    EXPECT_EQ(link->geometry().bottom(), 290);
    EXPECT_EQ(link->text(), maker::host());
    EXPECT_EQ(link->toolTip(), maker::homePageUrl());
    EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(0, 255, 0));
    EXPECT_TRUE(link->font().underline());
    EXPECT_EQ(link->font().pixelSize(), 11);
    EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);

    EXPECT_EQ(box->font().pixelSize(), 11);
    EXPECT_EQ(child<QWidget>("Panel1")->palette().color(QPalette::Window), QColor(Qt::black));
    EXPECT_EQ(child<QWidget>("Label2")->palette().color(QPalette::WindowText), QColor(Qt::white));
    for (const char* name : {"Label2", "BitBtn1", "BitBtn2"})
        EXPECT_EQ(child<QWidget>(name)->font().pixelSize(), 16) << name;
    // The pictures are drawn for the screen's pixel ratio at their places' sizes.
    for (const char* name : {"Image2", "ImageEgg"}) {
        const QLabel* picture = child<QLabel>(name);
        EXPECT_EQ(picture->pixmap().devicePixelRatio(), box->devicePixelRatio()) << name;
        EXPECT_EQ(picture->pixmap().size(), picture->size() * box->devicePixelRatio()) << name;
    }
    const QLabel* arrow = child<QLabel>("BitBtn2Arrow");
    EXPECT_EQ(arrow->parentWidget(), child<QWidget>("BitBtn2"));
    EXPECT_EQ(arrow->geometry(), QRect(98, 8, 16, 16));
    EXPECT_FALSE(arrow->pixmap().isNull());
    EXPECT_EQ(child<QWidget>("BitBtn1")->nextInFocusChain(), child<QWidget>("BitBtn2"));

    const QTimer* rainTimer = child<QTimer>("tmTimer");
    EXPECT_TRUE(rainTimer->isActive());
    EXPECT_EQ(rainTimer->interval(), 50);
    const QTimer* slideTimer = child<QTimer>("TimerEgg");
    EXPECT_FALSE(slideTimer->isActive());
    EXPECT_EQ(slideTimer->interval(), 5);
}

TEST_F(AboutBoxTest, TextsWithoutALanguageFile) {
    show();
    EXPECT_EQ(box->windowTitle(), QStringLiteral("About Brindleaf"));
    EXPECT_EQ(child<QLabel>("Label2")->text(), QStringLiteral("Brindleaf 1.4"));
    EXPECT_EQ(child<QPushButton>("BitBtn1")->text(), QStringLiteral("OK"));
    EXPECT_EQ(child<QPushButton>("BitBtn2")->text(), QStringLiteral("Info"));
    EXPECT_EQ(child<QAction>("Credits1")->text(), QStringLiteral("Acknowledgements..."));
    EXPECT_EQ(child<QAction>("Howtouninstall1")->text(), QStringLiteral("How to uninstall..."));
    EXPECT_EQ(child<QAction>("LicensePrivacyPolicy1")->text(), QStringLiteral("License..."));
    const QList<QAction*> items = child<QMenu>("PopupMenu1")->actions();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0]->objectName(), QStringLiteral("Credits1"));
    EXPECT_EQ(items[1]->objectName(), QStringLiteral("Howtouninstall1"));
    EXPECT_EQ(items[2]->objectName(), QStringLiteral("LicensePrivacyPolicy1"));
}

TEST_F(AboutBoxTest, TextsFollowTheLanguageFile) {
    QTemporaryDir languages;
    ASSERT_TRUE(languages.isValid());
    QFile file(languages.filePath(QStringLiteral("Testlang.txt")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("{About %s}%s hakk\u0131nda\n"
                              "{OK}Tamam\n"
                              "{Info}Bilgi\n"
                              "{Acknowledgements...}Te\u015fekk\u00fcrler...\n"
                              "{How to uninstall...}Nas\u0131l kald\u0131r\u0131l\u0131r...\n"
                              "{License...}Lisans...\n"
                              "{File not found!}Dosya bulunamad\u0131!\n"
                              "{License}Lisans\n")
                   .toUtf8());
    file.close();
    translator.languageInitialisation(QStringLiteral("Testlang.txt"), languages.path(), 1033);

    show();
    EXPECT_EQ(box->windowTitle(), QStringLiteral(u"Brindleaf hakk\u0131nda"));
    EXPECT_EQ(child<QLabel>("Label2")->text(), QStringLiteral("Brindleaf 1.4"));
    EXPECT_EQ(child<QPushButton>("BitBtn1")->text(), QStringLiteral("Tamam"));
    EXPECT_EQ(child<QPushButton>("BitBtn2")->text(), QStringLiteral("Bilgi"));
    EXPECT_EQ(child<QAction>("Credits1")->text(), QStringLiteral(u"Te\u015fekk\u00fcrler..."));
    EXPECT_EQ(child<QAction>("Howtouninstall1")->text(),
              QStringLiteral(u"Nas\u0131l kald\u0131r\u0131l\u0131r..."));
    EXPECT_EQ(child<QAction>("LicensePrivacyPolicy1")->text(), QStringLiteral("Lisans..."));

    ASSERT_FALSE(QFile::exists(TAboutBox::licenceFilePath()));
    child<QAction>("LicensePrivacyPolicy1")->trigger();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, QStringLiteral(u"Dosya bulunamad\u0131!"));
    EXPECT_EQ(messages[0].caption, QStringLiteral("Lisans"));
}

TEST_F(AboutBoxTest, EscapeOnEitherButtonClosesAndFreesTheWindow) {
    for (const char* name : {"BitBtn1", "BitBtn2"}) {
        show();
        QPushButton* button = child<QPushButton>(name);
        button->setFocus();
        QTest::keyClick(button, Qt::Key_A);
        ASSERT_FALSE(closedAndFreed()) << name;
        EXPECT_TRUE(box->isVisible()) << name;
        QTest::keyClick(button, Qt::Key_Escape);
        EXPECT_TRUE(closedAndFreed()) << name;
    }
}

TEST_F(AboutBoxTest, OkClosesAndFreesTheWindow) {
    show();
    QTest::mouseClick(child<QPushButton>("BitBtn1"), Qt::LeftButton);
    EXPECT_TRUE(closedAndFreed());
}

TEST_F(AboutBoxTest, EnterOnTheFocusedOkClosesAndFreesTheWindow) {
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        show();
        QPushButton* ok = child<QPushButton>("BitBtn1");
        ok->setFocus();
        QTest::keyClick(ok, key);
        EXPECT_TRUE(closedAndFreed()) << key;
    }
}

TEST_F(AboutBoxTest, DoubleClickOnTheIconSlidesThePanelAwayAndThePictureBringsItBack) {
    show();
    QWidget* panel = child<QWidget>("Panel1");
    QWidget* egg = child<QWidget>("PanelEgg");
    const QTimer* slide = child<QTimer>("TimerEgg");

    doubleClick(child<QWidget>("Image1"));
    EXPECT_TRUE(egg->isVisible());
    EXPECT_TRUE(slide->isActive());
    box->TimerEggTimer();
    EXPECT_EQ(panel->pos(), QPoint(53, 42));

    // Double-clicks while the panel slides change nothing.
    doubleClick(child<QWidget>("Image1"));
    doubleClick(child<QWidget>("ImageEgg"));
    EXPECT_TRUE(egg->isVisible());
    EXPECT_TRUE(slide->isActive());
    EXPECT_EQ(panel->pos(), QPoint(53, 42));

    // 5 px a tick until the left edge is past the client width.
    int ticks = 1;
    while (slide->isActive() && ticks < 1000) {
        box->TimerEggTimer();
        ++ticks;
    }
    EXPECT_EQ(ticks, 80);
    EXPECT_EQ(panel->pos(), QPoint(448, 42));

    doubleClick(child<QWidget>("ImageEgg"));
    EXPECT_FALSE(egg->isVisible());
    EXPECT_EQ(panel->pos(), QPoint(48, 42));
}

TEST_F(AboutBoxTest, DragByTheListedElementsMovesTheWindowWithTheMouse) {
    for (const char* name : {"AboutBox", "Panel1", "Image1", "Label2", "Image2", "ImageEgg"}) {
        show();
        QWidget* element =
            box->objectName() == QLatin1String(name) ? box.data() : child<QWidget>(name);
        ASSERT_NE(element, nullptr) << name;
        const QPoint start = box->pos();
        const QPoint grab = element->mapToGlobal(QPoint(5, 5));
        sendMouse(element, QEvent::MouseButtonPress, grab);
        sendMouse(element, QEvent::MouseMove, grab + QPoint(30, 20));
        EXPECT_EQ(box->pos(), start + QPoint(30, 20)) << name;
        sendMouse(element, QEvent::MouseMove, grab + QPoint(50, -10));
        EXPECT_EQ(box->pos(), start + QPoint(50, -10)) << name;
        sendMouse(element, QEvent::MouseButtonRelease, grab + QPoint(50, -10));
        sendMouse(element, QEvent::MouseMove, grab + QPoint(90, 90));
        EXPECT_EQ(box->pos(), start + QPoint(50, -10)) << name;
        delete box.data();
    }
}

TEST_F(AboutBoxTest, OnlyTheRightButtonDoesNotDrag) {
    show();
    QWidget* logo = child<QWidget>("Image2");
    const QPoint start = box->pos();
    const QPoint grab = logo->mapToGlobal(QPoint(5, 5));
    sendMouse(logo, QEvent::MouseButtonPress, grab, Qt::RightButton);
    sendMouse(logo, QEvent::MouseMove, grab + QPoint(40, 40), Qt::RightButton);
    sendMouse(logo, QEvent::MouseButtonRelease, grab + QPoint(40, 40), Qt::RightButton);
    EXPECT_EQ(box->pos(), start);

    sendMouse(logo, QEvent::MouseButtonPress, grab, Qt::MiddleButton);
    sendMouse(logo, QEvent::MouseMove, grab + QPoint(7, 9), Qt::MiddleButton);
    EXPECT_EQ(box->pos(), start + QPoint(7, 9));
}

TEST_F(AboutBoxTest, LinksOpenTheMakersPages) {
    show();
    QWidget* link = child<QWidget>("Label5");
    const QPoint start = box->pos();
    const QPoint at = link->mapToGlobal(QPoint(link->width() / 2, 5));
    sendMouse(link, QEvent::MouseButtonPress, at);
    sendMouse(link, QEvent::MouseMove, at + QPoint(20, 20));
    sendMouse(link, QEvent::MouseButtonRelease, at);
    EXPECT_EQ(box->pos(), start); // the link is no handle for dragging
    child<QAction>("Credits1")->trigger();
    child<QAction>("Howtouninstall1")->trigger();
    const QList<QUrl> expected = {QUrl(maker::homePageUrl()), QUrl(maker::acknowledgementsUrl()),
                                  QUrl(maker::uninstallUrl())};
    EXPECT_EQ(opened.urls, expected);
    EXPECT_TRUE(messages.empty());
}

TEST_F(AboutBoxTest, LicenceTextBesideTheProgramOpensOrIsReportedMissing) {
    const QString path = platform::executableFolder() + QStringLiteral("license.txt");
    ASSERT_FALSE(QFile::exists(path)) << "a stray licence text beside the test program";
    show();
    child<QAction>("LicensePrivacyPolicy1")->trigger();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, QStringLiteral("File not found!"));
    EXPECT_EQ(messages[0].caption, QStringLiteral("License"));
    EXPECT_EQ(messages[0].flags, MB_ICONERROR);
    EXPECT_TRUE(opened.urls.empty());
#ifdef _WIN32
    GTEST_SKIP() << "Notepad opens the licence here, past the recorder of addresses";
#endif

    struct Removed {
        QString path;
        ~Removed() { QFile::remove(path); }
    } removed{path};
    QFile licence(path);
    ASSERT_TRUE(licence.open(QIODevice::WriteOnly));
    licence.write("Terms\n");
    licence.close();
    child<QAction>("LicensePrivacyPolicy1")->trigger();
    EXPECT_EQ(messages.size(), 1u);
    ASSERT_EQ(opened.urls.size(), 1u);
    EXPECT_EQ(opened.urls[0], QUrl::fromLocalFile(path));
}

TEST_F(AboutBoxTest, InfoButtonOpensItsMenuBelowItOnceAClickHasClosedIt) {
    quint32 now = 1000;
    dropdownmenu::setTickSource([&now] { return now; });
    show();
    QPushButton* info = child<QPushButton>("BitBtn2");
    QMenu* menu = child<QMenu>("PopupMenu1");
    int opens = 0;
    QPoint shownAt;
    QObject::connect(menu, &QMenu::aboutToShow, menu, [&] {
        ++opens;
        QTimer::singleShot(0, menu, [&] {
            shownAt = menu->pos();
            menu->close();
        });
    });
    QTest::mouseClick(info, Qt::LeftButton);
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(shownAt, info->mapToGlobal(QPoint(0, info->height())));
    now += 40;
    QTest::mouseClick(info, Qt::LeftButton);
    EXPECT_EQ(opens, 1);
    now += 200;
    QTest::mouseClick(info, Qt::LeftButton);
    EXPECT_EQ(opens, 2);
}

TEST_F(AboutBoxTest, RainDrawsOnTheWindowsSurfaceWhichARepaintClears) {
    show();
    const MatrixRain& rain = box->rain();
    EXPECT_EQ(box->surface().size(), box->size() * box->devicePixelRatio());
    // The window has no frame yet when the rain starts during its creation.
    EXPECT_EQ(rain.matrixWidth(), 446 / 8);
    EXPECT_EQ(rain.matrixHeight(), 374 / 12);
    EXPECT_EQ(rain.drops().size(), std::size_t(2 * rain.matrixWidth()));

    for (int tick = 0; tick < 5; ++tick)
        box->tmTimerTimer();
    EXPECT_FALSE(allBlack(box->surface()));
    // The margin left of the panel shows the surface as it is.
    const QRect margin(0, 0, 48, 374);
    EXPECT_EQ(box->grab(margin).toImage().convertToFormat(QImage::Format_RGB32),
              box->surface().copy(margin));

    // A repaint asked for by the window system clears the surface; the drops go on.
    const std::vector<TDrop> drops(rain.drops().begin(), rain.drops().end());
    QExposeEvent expose{QRegion(box->rect())};
    QCoreApplication::sendEvent(box->windowHandle(), &expose);
    EXPECT_TRUE(allBlack(box->surface()));
    EXPECT_TRUE(std::equal(drops.begin(), drops.end(), rain.drops().begin(), rain.drops().end()));

    // A resize clears the surface and seeds new drops on the grid of the start.
    box->tmTimerTimer();
    const std::uint32_t frames = rain.frameCounter();
    box->FormResize();
    EXPECT_TRUE(allBlack(box->surface()));
    EXPECT_EQ(rain.drops().size(), std::size_t(2 * rain.matrixWidth()));
    EXPECT_EQ(rain.frameCounter(), frames);
}

TEST_F(AboutBoxTest, AboutCommandShowsANewModalWindowEachTimeAndFreesIt) {
    TAppForm form;
    std::vector<QPointer<TAboutBox>> shown;
    for (int run = 0; run < 2; ++run) {
        QTimer::singleShot(0, &form, [&] {
            auto* modal = qobject_cast<TAboutBox*>(QApplication::activeModalWidget());
            ASSERT_NE(modal, nullptr);
            EXPECT_TRUE(modal->isModal());
            EXPECT_EQ(modal->parentWidget(), &form);
            shown.emplace_back(modal);
            modal->close();
        });
        form.findChild<QAction*>(QStringLiteral("About1"))->trigger();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    ASSERT_EQ(shown.size(), 2u);
    for (const QPointer<TAboutBox>& window : shown)
        EXPECT_TRUE(window.isNull());
}
