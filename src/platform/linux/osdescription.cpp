#include "platform/osdescription.h"

#include "platform/linux/osrelease.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringList>

#include <sys/utsname.h>

namespace platform {

namespace {

QString readTextFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

// A shell-style value as os-release writes it: quoted with " or ', or bare.
QString unquote(QString value) {
    value = value.trimmed();
    if (value.size() >= 2 &&
        (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\'')) &&
        value.back() == value.front()) {
        value = value.mid(1, value.size() - 2);
        static const QRegularExpression escaped(QStringLiteral(R"(\\([\\$"`]))"));
        value.replace(escaped, QStringLiteral("\\1"));
    }
    return value;
}

} // namespace

QString prettyNameFromOsRelease(const QString& osReleaseText) {
    const QStringList lines = osReleaseText.split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QLatin1String("PRETTY_NAME=")))
            return unquote(trimmed.mid(12));
    }
    return {};
}

QString formatOperatingSystem(const QString& productName, const QString& kernelRelease,
                              const QString& machine) {
    // "6.1.0-13-amd64": major 6, minor 1, build 0; missing numbers count as 0.
    static const QRegularExpression numbers(QStringLiteral(R"(^(\d+)(?:\.(\d+))?(?:\.(\d+))?)"));
    const QRegularExpressionMatch match = numbers.match(kernelRelease);
    const auto number = [&match](int index) {
        const QString digits = match.captured(index);
        return digits.isEmpty() ? QStringLiteral("0") : digits;
    };
    const QString edition = machine == QLatin1String("x86_64") ? QStringLiteral("64-bit Edition")
                                                               : QStringLiteral("32-bit Edition");
    return productName + QStringLiteral(" (Version ") + number(1) + QLatin1Char('.') + number(2) +
           QStringLiteral(", Build ") + number(3) + QStringLiteral(", ") + edition +
           QLatin1Char(')');
}

QString operatingSystemDescription() {
    QString product = prettyNameFromOsRelease(readTextFile(QStringLiteral("/etc/os-release")));
    if (product.isEmpty())
        product = prettyNameFromOsRelease(readTextFile(QStringLiteral("/usr/lib/os-release")));
    utsname system{};
    if (uname(&system) != 0)
        return formatOperatingSystem(product.isEmpty() ? QStringLiteral("Linux") : product, {}, {});
    if (product.isEmpty())
        product = QString::fromUtf8(system.sysname);
    return formatOperatingSystem(product, QString::fromUtf8(system.release),
                                 QString::fromUtf8(system.machine));
}

} // namespace platform
