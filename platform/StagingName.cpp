#include "platform/StagingFile.h"

#include <QRandomGenerator>

namespace tarsel::platform {

namespace {

const QString Marker = QStringLiteral(".tarsel-");
constexpr int RandomLength = 12;
constexpr int NameMax = 255;

QString randomSuffix() {
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString s;
    for (int i = 0; i < RandomLength; ++i)
        s += QLatin1Char(alphabet[QRandomGenerator::system()->bounded(int(sizeof alphabet) - 1)]);
    return s;
}

} // namespace

QString stagingName(const QString& targetName) {
    // In UTF-8 bytes, which are never fewer than UTF-16 units: the name then fits both limits.
    const int room = NameMax - 1 - int(Marker.size()) - RandomLength;
    QString base = targetName;
    while (base.toUtf8().size() > room)
        base.chop(base.size() > 1 && base.back().isLowSurrogate() ? 2 : 1);
    return QLatin1Char('.') + base + Marker + randomSuffix();
}

bool isStagingName(const QString& name) {
    const qsizetype at = name.lastIndexOf(Marker);
    return name.startsWith(QLatin1Char('.')) && at > 0 &&
           name.size() - at - Marker.size() == RandomLength;
}

} // namespace tarsel::platform
