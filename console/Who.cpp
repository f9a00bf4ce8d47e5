#include "console/Who.h"

#include "console/ExitCode.h"
#include "core/Printable.h"
#include "sweep/WhoHolds.h"

#include <cstdio>

namespace tarsel::console {

namespace {

void warn(const QString& text) {
    std::fputs((QStringLiteral("tarselcopy: warning: ") + printable(text) + u'\n')
                   .toLocal8Bit()
                   .constData(),
               stderr);
}

} // namespace

int tellWhoHolds(const Options& options) {
    const Holders holders = whoHolds(*platform::systemProcessTable(), options.target);
    if (!holders.local)
        warn(QStringLiteral("this system cannot tell which programs hold ") + options.target);
    else if (!holders.sawOtherAccounts)
        warn(QStringLiteral("the programs of other accounts cannot be seen from this one; they "
                            "may hold ") +
             options.target + QStringLiteral(" too (as root they are seen)"));
    QStringList lines = whoHoldsLines(holders);
    if (lines.isEmpty())
        lines.append(QStringLiteral("nobody is known to hold ") + options.target);
    // Process names are other people's: each line escaped, joined by real line breaks.
    for (QString& line : lines)
        line = printable(line);
    std::fputs((lines.join(u'\n') + u'\n').toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
    return ExitCode::Ok;
}

} // namespace tarsel::console
