#include "console/ConsoleFace.h"

#include "core/Printable.h"
#include "platform/Console.h"

namespace tarsel::console {

namespace {

// Often enough to look alive, seldom enough to cost nothing against a block of 32,767 bytes.
constexpr qint64 RedrawMs = 200;

void writeErr(const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

QString megabytes(double bytes) {
    return QString::number(bytes / 1e6, 'f', 1) + QStringLiteral(" MB");
}

} // namespace

QString errorLine(const RunTimeError& error) {
    return QStringLiteral("Error ") + QString::number(error.number()) + QStringLiteral(" (") +
           error.description() + QStringLiteral(")");
}

void ConsoleFace::phase(RunPhase phase) {
    clearLine();
    verifying_ = phase == RunPhase::Verifying;
    phaseTimer_.start();
    lastShownMs_ = -1;
}

void ConsoleFace::skipped(const RunTimeError& error) {
    clearLine();
    notes_ << errorLine(error);
    writeErr(QStringLiteral("tarselcopy: warning: ") + printable(notes_.last()) +
             QLatin1Char('\n'));
}

void ConsoleFace::tell(const QString& text) {
    clearLine();
    notes_ << text;
    writeErr(QStringLiteral("tarselcopy: ") + printable(text) + QLatin1Char('\n'));
}

// The verification's bar runs down from 100; the line counts up in both stretches.
void ConsoleFace::setProgress(double value) {
    if (!showProgress_ || !phaseTimer_.isValid())
        return;
    const qint64 now = phaseTimer_.elapsed();
    if (lastShownMs_ >= 0 && now - lastShownMs_ < RedrawMs)
        return;
    lastShownMs_ = now;
    const double percent = verifying_ ? 100.0 - value : value;
    const double done = double(length_) * percent / 100.0;
    const double seconds = double(now) / 1000.0;
    QString line = (verifying_ ? QStringLiteral("verifying ") : QStringLiteral("copying   ")) +
                   QString::number(qRound(percent)).rightJustified(3) + QStringLiteral("%  ") +
                   megabytes(done) + QStringLiteral(" of ") + megabytes(double(length_));
    if (seconds > 0)
        line += QStringLiteral("  ") + megabytes(done / seconds) + QStringLiteral("/s");
    const qsizetype shown = line.size();
    if (shown < lineLength_)
        line += QString(lineLength_ - shown, QLatin1Char(' '));
    lineLength_ = shown;
    writeErr(QLatin1Char('\r') + line);
}

bool ConsoleFace::cancelled() const {
    return platform::interrupted();
}

void ConsoleFace::clearLine() {
    if (lineLength_ == 0)
        return;
    writeErr(QLatin1Char('\r') + QString(lineLength_, QLatin1Char(' ')) + QLatin1Char('\r'));
    lineLength_ = 0;
}

} // namespace tarsel::console
