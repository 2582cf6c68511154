#include "gui/guiresources.h"

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QProxyStyle>
#include <QSize>
#include <gtest/gtest.h>

namespace {

// Something is drawn: not every pixel is transparent.
bool isDrawn(const QPixmap& pixmap) {
    const QImage image = pixmap.toImage();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y).alpha() != 0)
                return true;
    return false;
}

// The picture as the build rendered it to PNG, read by Qt's decoder and made a pixmap like
// the window's own.
QImage renderedPng(const QString& name) {
    return QPixmap(QStringLiteral(":/png/") + name + QStringLiteral(".png")).toImage();
}

TEST(RenderedPictures, EachAtTheSizeShownAndTwiceThatForDenseScreens) {
    const struct {
        const char* name;
        QSize shown;
    } pictures[] = {
        {"icons/load16", {16, 16}},  {"icons/save16", {16, 16}},     {"icons/exit16", {16, 16}},
        {"icons/help16", {16, 16}},  {"icons/feedback16", {16, 16}}, {"icons/about16", {16, 16}},
        {"icons/close16", {16, 16}}, {"icons/envelope16", {16, 16}}, {"icons/laughing32", {32, 32}},
        {"icons/sad32", {32, 32}},   {"about/logo", {344, 105}},     {"about/cat", {320, 214}},
        {"about/arrow", {16, 16}},
    };
    for (const auto& picture : pictures) {
        SCOPED_TRACE(picture.name);
        const QString name = QString::fromLatin1(picture.name);
        const QPixmap plain = renderedPicture(name, 1.0);
        EXPECT_EQ(plain.size(), picture.shown);
        EXPECT_EQ(plain.deviceIndependentSize().toSize(), picture.shown);
        EXPECT_TRUE(isDrawn(plain));
        EXPECT_EQ(plain.toImage(), renderedPng(name));
        const QPixmap dense = renderedPicture(name, 2.0);
        EXPECT_EQ(dense.size(), picture.shown * 2);
        EXPECT_EQ(dense.deviceIndependentSize().toSize(), picture.shown);
        EXPECT_TRUE(isDrawn(dense));
        EXPECT_EQ(dense.toImage(), renderedPng(name + QStringLiteral("@2x")));
    }
}

TEST(RenderedPictures, TheProgramsIconHasARenderingForEverySizeShown) {
    const QIcon icon = applicationIcon();
    for (const int size : {16, 32, 48, 60, 64, 96, 120}) {
        SCOPED_TRACE(size);
        EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size)));
        // Exactly that rendering, not another one scaled.
        const QPixmap shown = icon.pixmap(QSize(size, size), 1.0);
        EXPECT_TRUE(isDrawn(shown));
        EXPECT_EQ(shown.toImage(), renderedPng(QStringLiteral("appicon/%1").arg(size)));
    }
    // Twice the size on a dense screen, covering the same window pixels.
    const QPixmap dense = icon.pixmap(QSize(60, 60), 2.0);
    EXPECT_EQ(dense.size(), QSize(120, 120));
    EXPECT_EQ(dense.deviceIndependentSize().toSize(), QSize(60, 60));
}

TEST(StartupFriendlyStyle, GivesTheMenuBarsOverflowIconThePlatformStyleGives) {
    const QProxyStyle platformStyle;
    const StartupFriendlyStyle style;
    const QIcon expected = platformStyle.standardIcon(QStyle::SP_ToolBarHorizontalExtensionButton);
    const QIcon given = style.standardIcon(QStyle::SP_ToolBarHorizontalExtensionButton);
    ASSERT_FALSE(expected.availableSizes().isEmpty());
    EXPECT_EQ(given.availableSizes(), expected.availableSizes());
    for (const QSize& size : expected.availableSizes()) {
        SCOPED_TRACE(size.width());
        EXPECT_EQ(given.pixmap(size, 1.0).toImage(), expected.pixmap(size, 1.0).toImage());
    }
    // Other icons are the platform style's own.
    EXPECT_EQ(style.standardIcon(QStyle::SP_MessageBoxWarning).availableSizes(),
              platformStyle.standardIcon(QStyle::SP_MessageBoxWarning).availableSizes());
}

} // namespace
