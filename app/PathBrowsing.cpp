#include "app/frmCopyRoutine.h"

#include "platform/Paths.h"

#include <QLineEdit>

namespace tarsel {

namespace {

// Past this the old 16-bit position of the last separator overflowed, which ended the browse.
constexpr qsizetype LastSeparatorLimit = 32766;

} // namespace

// A failed or cancelled browse ends without a word; what was done so far stays done.
void frmCopyRoutine::cmdPath_Click(int index) {
    if (index == 0) {
        const QString chosen = dialogs_.showOpen(QStringLiteral("Select your source file to copy"),
                                                 QStringLiteral("*.*"), QStringLiteral("*.*"));
        putText(txtSource, chosen);
        if (txtSource->text() == QLatin1String("*.*"))
            putText(txtSource, QString());
    } else if (index == 1) {
        BrowsingForFolder = true;
        const QString source = txtSource->text();
        const qsizetype separator = platform::lastSeparator(source) + 1;
        if (separator > LastSeparatorLimit)
            return;
        const QString fileName = source.mid(separator);
        const std::optional<QString> folder =
            dialogs_.browseForFolder(QStringLiteral("Select a Folder"));
        if (!folder)
            return;
        putText(txtTarget, *folder);
        BrowsingForFolder = false;
        putText(txtTarget, txtTarget->text() + platform::separator() + fileName);
    }
}

} // namespace tarsel
