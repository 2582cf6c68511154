#include "gui/windowfonts.h"

QStringList tahomaFamilies() {
    return {QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed"),
            QStringLiteral("Liberation Sans"), QStringLiteral("Arial")};
}

QFont windowFont(const QStringList& families, int pixelSize, bool bold) {
    QFont font;
    font.setFamilies(families);
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}
