#pragma once

#include "copy/RunObserver.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <cstdio>

namespace tarsel::console {

// A run as tarselcopy shows it: a progress line on standard error while copying and verifying
// (when that is a terminal), warnings for skipped steps, what it did besides, and a cancel on
// Ctrl+C or SIGTERM.
class ConsoleFace : public RunObserver {
public:
    // `length`: the release's length, for the bytes and the rate.
    ConsoleFace(qint64 length, bool showProgress) : length_(length), showProgress_(showProgress) {}
    ~ConsoleFace() override { clearLine(); }

    void phase(RunPhase phase) override;
    void skipped(const RunTimeError& error) override;
    void setProgress(double value) override;
    void yield() override {}
    // Unattended, a release of 2 GiB or more is copied in one piece: it is verified all the same.
    bool confirmWholeFileCopy(const QString&) override { return true; }
    bool cancelled() const override;

    // Writes over the progress line, so that what follows starts on a clean line.
    void clearLine();

    // Says on standard error what the run did besides the copy (whom it asked to close or ended),
    // and keeps it for the log with the warnings.
    void tell(const QString& text);

    // The warnings for the steps skipped so far, as their error lines, and what was told, in order.
    const QStringList& notes() const { return notes_; }

private:
    qint64 length_;
    bool showProgress_;
    bool verifying_ = false;
    QElapsedTimer phaseTimer_;
    qint64 lastShownMs_ = -1;
    qsizetype lineLength_ = 0;
    QStringList notes_;
};

// "Error <number> (<description>)", the error report's first part.
QString errorLine(const RunTimeError& error);

} // namespace tarsel::console
