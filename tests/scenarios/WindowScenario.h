#pragma once

#include "app/ReleaseWorkflow.h"
#include "copy/FileExists.h"
#include "scenarios/WindowAnswers.h"
#include "support/ReleaseFixture.h"
#include "support/WindowFixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include <functional>
#include <memory>

namespace tarsel::test {

// Runs `action` once, the first time `when` holds while the progress bar moves.
inline void onProgress(frmCopyRoutine& window, std::function<bool()> when,
                       std::function<void()> action) {
    auto done = std::make_shared<bool>(false);
    QObject::connect(window.ProgressBar1, &QProgressBar::valueChanged, &window, [=](int) {
        if (!*done && when()) {
            *done = true;
            action();
        }
    });
}

// In the copy, halfway through.
inline bool copying(const frmCopyRoutine& window) {
    return window.Label2->text().startsWith(CopyingText) && window.ProgressBar1->value() >= 50;
}

// The Copy button pressed in the real window, with the checks every scenario makes afterwards: the
// target's bytes, staging files, the texts shown and whether the window still answers.
class WindowScenario : public QObject {
protected:
    ReleaseFixture files_;
    std::unique_ptr<WindowFixture> fixture_;

    // A release of 24 blocks and more, an old version of a few bytes.
    bool layOut() { return files_.reset(patternBytes(24 * 32767 + 17), QByteArray(5000, 'o')); }

    frmCopyRoutine& openOn(const QString& source, const QString& target) {
        fixture_ = std::make_unique<WindowFixture>();
        fixture_->store(NewVersionLocation, source);
        fixture_->store(RunningVersionLocation, target);
        return fixture_->open();
    }

    // Types the target again, which enables Copy whatever it names, and presses Copy.
    static void typeTargetAndCopy(frmCopyRoutine& window) {
        const QString target = window.txtTarget->text();
        window.txtTarget->clear();
        window.txtTarget->setText(target);
        window.cmdCopy->click();
    }

    // The run kept the old version: the window is open and still answers.
    void expectOldKept(frmCopyRoutine& window, const QString& label2,
                       const QStringList& boxes = {}) {
        QCOMPARE(window.Label2->text(), label2);
        QCOMPARE(readFile(files_.target), files_.oldBytes);
        QCOMPARE(files_.stagingFiles(), QStringList());
        QCOMPARE(boxTexts(), boxes);
        QCOMPARE(fixture_->ended, 0);
        QVERIFY(stillAnswers(window));
    }

    void expectNewInService(frmCopyRoutine& window, const QString& target) {
        QCOMPARE(window.Label2->text(), SuccessText);
        QCOMPARE(readFile(target), files_.newBytes);
        QVERIFY(QFileInfo(target).isFile() && !QFileInfo(target).isSymLink());
        QVERIFY(FileExists(target)); // not hidden, as the staging file was
        QCOMPARE(ReleaseFixture::stagingFilesIn(QFileInfo(target).path()), QStringList());
        QCOMPARE(boxTexts(), QStringList());
        QCOMPARE(fixture_->ended, 1);
    }

    QStringList boxTexts() const {
        QStringList texts;
        for (const auto& box : fixture_->dialogs.boxes)
            texts << box.prompt;
        return texts;
    }

    static QString report(const QString& description) {
        return "Error " + description + ") in procedure\r\n" + CopyTag;
    }
};

} // namespace tarsel::test
