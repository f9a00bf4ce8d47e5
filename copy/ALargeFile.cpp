#include "copy/ALargeFile.h"

namespace tarsel {

bool ALargeFile(const platform::OpenFile& source, const platform::OpenFile& target,
                CopyHost& host) {
    const QString prompt = QStringLiteral("The file '") + source.path() +
                           QStringLiteral("' is too large for this function.\r") +
                           QStringLiteral("Would you like to perform a regular file copy?\r") +
                           QStringLiteral("(The Progress Bar will not show the file copy)");
    const int style = MsgStyle::YesNo + MsgStyle::Critical + MsgStyle::DefaultButton2;
    if (host.dialogs().msgBox(prompt, style, QStringLiteral("F I L E    T O O    L A R G E")) !=
        MsgAnswer::Yes)
        return false;
    try {
        platform::copyWholeFile(source, target);
        return true;
    } catch (const RunTimeError& error) {
        showErrorReport(host.dialogs(), error, QStringLiteral("(ALargeFile) of (frmCopyRoutine)."));
        return false;
    }
}

} // namespace tarsel
