#pragma once

#include "copy/RunObserver.h"

#include <QElapsedTimer>
#include <QString>
#include <cstdio>

namespace tarsel::console {

// The message boxes of a run without a person to answer them. The only question a run asks is
// whether to copy a release of 2 GiB or more in one piece; unattended, the answer is yes, as the
// copy is verified all the same. A failure reaches tarselcopy's own error line, so nothing is
// shown.
class UnattendedDialogs : public Dialogs {
public:
    int msgBox(const QString& prompt, int style, const QString& title) override;
    QString showOpen(const QString& title, const QString& filter, const QString& fileName) override;
    std::optional<QString> browseForFolder(const QString& title) override;
};

// A run as tarselcopy shows it: a progress line on standard error while copying and verifying
// (when that is a terminal), warnings for skipped steps, and a cancel on Ctrl+C or SIGTERM.
class ConsoleFace : public RunObserver {
public:
    // `length`: the release's length, for the bytes and the rate.
    ConsoleFace(qint64 length, bool showProgress) : length_(length), showProgress_(showProgress) {}
    ~ConsoleFace() override { clearLine(); }

    void phase(RunPhase phase) override;
    void skipped(const RunTimeError& error) override;
    void setProgress(double value) override;
    void yield() override {}
    Dialogs& dialogs() override { return dialogs_; }
    bool cancelled() const override;

    // Writes over the progress line, so that what follows starts on a clean line.
    void clearLine();

private:
    UnattendedDialogs dialogs_;
    qint64 length_;
    bool showProgress_;
    bool verifying_ = false;
    QElapsedTimer phaseTimer_;
    qint64 lastShownMs_ = -1;
    qsizetype lineLength_ = 0;
};

// "Error <number> (<description>)", the error report's first part.
QString errorLine(const RunTimeError& error);

} // namespace tarsel::console
