#include "platform/StagingFile.h"

#include "platform/FileParts.h"
#include "platform/StagingFileParts.h"

#include <QRandomGenerator>

#include <algorithm>

namespace tarsel::platform {

StoredCopy::StoredCopy(OpenFile file, qint64 length, bool durable, Yielder* yielder)
    : file_(std::move(file)), length_(length), stored_(durable ? length : 0), started_(stored_),
      durable_(durable), yielder_(yielder) {}

namespace {

const QString Marker = QStringLiteral(".tarsel-");
constexpr int RandomLength = 12;
constexpr int NameMax = 255;
constexpr char Alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
// A piece of the room takes a millisecond or two where the file system has to wait for nothing.
constexpr qint64 ReservedPiece = qint64(64) << 20;

QString randomSuffix() {
    QString s;
    for (int i = 0; i < RandomLength; ++i)
        s += QLatin1Char(Alphabet[QRandomGenerator::system()->bounded(int(sizeof Alphabet) - 1)]);
    return s;
}

bool isRandomSuffix(QStringView s) {
    const auto drawn = [](QChar c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
    };
    return s.size() == RandomLength && std::all_of(s.begin(), s.end(), drawn);
}

} // namespace

void parts::reserveInPieces(const OpenFile& file, qint64 length, Yielder* yielder) {
    for (qint64 done = 0; done < length;) {
        if (done > 0 && yielder)
            yielder->yield();
        const qint64 end = std::min(length, done + ReservedPiece);
        if (!parts::reserve(file, done, end))
            return;
        done = end;
    }
}

QString stagingName(const QString& targetName) {
    // In UTF-8 bytes, which are never fewer than UTF-16 units: the name then fits both limits.
    const int room = NameMax - 1 - int(Marker.size()) - RandomLength;
    QString base = targetName;
    while (base.toUtf8().size() > room)
        base.chop(base.size() > 1 && base.back().isLowSurrogate() ? 2 : 1);
    return QLatin1Char('.') + base + Marker + randomSuffix();
}

// A user's own ".notes.tarsel-my-draft-v2" is not ours: only "." + a name + the marker + exactly
// the random letters and digits that stagingName() draws.
bool isStagingName(const QString& name) {
    const qsizetype at = name.size() - RandomLength - Marker.size();
    return at > 1 && name.startsWith(QLatin1Char('.')) &&
           QStringView(name).mid(at, Marker.size()) == Marker &&
           isRandomSuffix(QStringView(name).mid(at + Marker.size()));
}

std::vector<StagingLeftover> stagingLeftovers(const QString& target) {
    std::vector<StagingLeftover> found = parts::listStagingLeftovers(target);
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.name < b.name; });
    return found;
}

bool sameFile(const QString& a, const QString& b) {
    if (a.isEmpty() || b.isEmpty())
        return false;
    return a == b || parts::sameExistingFile(a, b);
}

} // namespace tarsel::platform
