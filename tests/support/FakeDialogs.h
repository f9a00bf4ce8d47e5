#pragma once

#include "app/Dialogs.h"

#include <QList>
#include <QString>
#include <optional>

namespace tarsel::test {

// Records every dialog the code under test asks for and answers from a script.
class FakeDialogs : public Dialogs {
public:
    struct Box {
        QString prompt;
        int style;
        QString title;
    };

    int msgBoxAnswer = MsgAnswer::Ok;
    QList<Box> boxes;

    QString openAnswer;                  // empty: the dialog is cancelled
    std::optional<QString> folderAnswer; // nothing: the browser is cancelled
    int openCalls = 0;
    int folderCalls = 0;
    QString lastOpenTitle, lastOpenFilter, lastOpenFileName, lastFolderTitle;

    int msgBox(const QString& prompt, int style, const QString& title) override {
        boxes.append({prompt, style, title});
        return msgBoxAnswer;
    }
    QString showOpen(const QString& title, const QString& filter,
                     const QString& fileName) override {
        ++openCalls;
        lastOpenTitle = title;
        lastOpenFilter = filter;
        lastOpenFileName = fileName;
        return openAnswer.isEmpty() ? fileName : openAnswer;
    }
    std::optional<QString> browseForFolder(const QString& title) override {
        ++folderCalls;
        lastFolderTitle = title;
        return folderAnswer;
    }
};

} // namespace tarsel::test
