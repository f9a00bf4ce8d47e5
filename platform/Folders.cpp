#include "platform/Folders.h"

#include "platform/Paths.h"

#include <QStringList>

namespace tarsel::platform {

QString createMissingFolders(const QString& folder) {
    // Innermost first, up to the first entry that is there; a root or share that is not there
    // ends the walk as well, and its own creation names it.
    QStringList missing;
    for (QString at = folder; !at.isEmpty() && !entryExists(at);) {
        missing.prepend(at);
        const qsizetype cut = lastSeparator(at);
        if (cut <= 0)
            break;
        at.truncate(cut);
    }
    QString created;
    for (const QString& each : missing)
        if (makeFolder(each) && created.isEmpty())
            created = each;
    return created;
}

} // namespace tarsel::platform
