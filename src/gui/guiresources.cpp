#include "gui/guiresources.h"

#include <QDirIterator>
#include <QFile>
#include <QGuiApplication>
#include <QIconEngine>
#include <QImageReader>
#include <QResource>
#include <QWidget>
#include <QtEndian>
#include <QtGlobal>

#include <optional>
#include <utility>

// Resources of a static library register only when asked, and outside any namespace.
static void registerRenderedResources() {
    Q_INIT_RESOURCE(rendered);
}

void ensureGuiResources() {
    static const bool registered = [] {
        registerRenderedResources();
        return true;
    }();
    (void)registered;
}

namespace {

// Reads a picture kept as plain pixels: its width and height as 32-bit little-endian
// numbers, then its rows of RGBA bytes.
QPixmap readPixels(const QString& path) {
    const QByteArray data = QResource(path).uncompressedData();
    constexpr qsizetype header = 8;
    if (data.size() < header)
        return {};
    const auto* bytes = reinterpret_cast<const uchar*>(data.constData());
    const quint32 width = qFromLittleEndian<quint32>(bytes);
    const quint32 height = qFromLittleEndian<quint32>(bytes + 4);
    constexpr quint32 largest = 4096;
    if (width > largest || height > largest ||
        data.size() != header + qsizetype(width) * qsizetype(height) * 4)
        return {};
    // Converted, and so copied, while the bytes are still there.
    return QPixmap::fromImage(
        QImage(bytes + header, int(width), int(height), int(width) * 4, QImage::Format_RGBA8888));
}

// Read as PNG by name: left to guess a file's format, the image reader loads every
// image-format plugin on the system to ask each one.
QPixmap readPng(const QString& path) {
    QImageReader reader(path, QByteArrayLiteral("png"));
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImageReader(&reader);
}

// An icon of PNG files, of known sizes, that reads them only when it is drawn or asked
// for a picture.
class PngOnDemandIconEngine : public QIconEngine {
public:
    PngOnDemandIconEngine(QStringList paths, QList<QSize> sizes)
        : m_paths(std::move(paths)), m_sizes(std::move(sizes)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return icon().pixmap(size, mode, state);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override {
        return icon().pixmap(size, scale, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return icon().actualSize(size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
        if (mode == QIcon::Normal && state == QIcon::Off)
            return m_sizes;
        return icon().availableSizes(mode, state);
    }
    bool isNull() override { return m_paths.isEmpty(); }
    QIconEngine* clone() const override { return new PngOnDemandIconEngine(*this); }

private:
    const QIcon& icon() {
        if (!m_icon) {
            m_icon.emplace();
            for (const QString& path : std::as_const(m_paths))
                m_icon->addPixmap(readPng(path));
        }
        return *m_icon;
    }

    QStringList m_paths;
    QList<QSize> m_sizes;
    std::optional<QIcon> m_icon;
};

} // namespace

QIcon applicationIcon() {
    ensureGuiResources();
    QIcon icon;
    QDirIterator sizes(QStringLiteral(":/appicon"), QDir::Files);
    while (sizes.hasNext())
        icon.addPixmap(readPixels(sizes.next()));
    return icon;
}

QIcon renderedIcon(const QString& name) {
    QIcon icon;
    icon.addPixmap(renderedPicture(name, 1.0));
    icon.addPixmap(renderedPicture(name, 2.0));
    return icon;
}

QPixmap renderedPicture(const QString& name, qreal devicePixelRatio) {
    ensureGuiResources();
    const bool dense = devicePixelRatio > 1.0;
    QPixmap picture =
        readPixels(QStringLiteral(":/") + name + (dense ? QStringLiteral("@2x") : QString()));
    picture.setDevicePixelRatio(dense ? 2.0 : 1.0);
    return picture;
}

QIcon StartupFriendlyStyle::standardIcon(StandardPixmap standardIcon, const QStyleOption* option,
                                         const QWidget* widget) const {
    const bool rightToLeft = widget ? widget->isRightToLeft() : QGuiApplication::isRightToLeft();
    if (standardIcon != SP_ToolBarHorizontalExtensionButton || rightToLeft)
        return QProxyStyle::standardIcon(standardIcon, option, widget);
    if (m_extensionIcon.isNull()) {
        // The pictures Qt ships, named with their sizes: listing its folder of more than a
        // hundred pictures, or reading their sizes, would take longer than the rest of this.
        QStringList paths;
        QList<QSize> sizes;
        for (const QSize size : {QSize(8, 5), QSize(16, 10), QSize(32, 20)}) {
            const QString path =
                QStringLiteral(":/qt-project.org/styles/commonstyle/images/toolbar-ext-h-%1.png")
                    .arg(size.width());
            if (QFile::exists(path)) {
                paths.append(path);
                sizes.append(size);
            }
        }
        m_extensionIcon = QIcon(new PngOnDemandIconEngine(std::move(paths), std::move(sizes)));
    }
    return m_extensionIcon.isNull() ? QProxyStyle::standardIcon(standardIcon, option, widget)
                                    : m_extensionIcon;
}
