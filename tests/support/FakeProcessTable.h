#pragma once

#include "core/RunTimeError.h"
#include "platform/ProcessTable.h"

#include <QHash>
#include <QList>
#include <QStringList>
#include <algorithm>
#include <functional>
#include <optional>

namespace tarsel::test {

// A scripted process table: answers every query with `running`, ends a process when its
// terminate answer is 0 (the default), and records every call. A process has no window to be
// asked to close unless `onAsk` gives it one.
class FakeProcessTable : public platform::ProcessTable {
public:
    enum class OnAsk { NoWindow, Closes, Ignores };

    QList<platform::ProcessEntry> running;
    QHash<qint64, int> answers;                // terminate's answer by pid; 0 when not given
    QHash<qint64, OnAsk> onAsk;                // by pid; NoWindow when not given
    std::optional<RunTimeError> failQuery;     // thrown by query
    std::optional<RunTimeError> failTerminate; // thrown by requestClose and terminate
    std::function<void()> onCall;              // runs inside every call

    QStringList queries;
    QList<qint64> asked;      // every pid that requestClose could ask, in order
    QList<qint64> terminated; // every pid passed to terminate, in order

    std::vector<platform::ProcessEntry> query(const QString& queryText) override {
        queries.append(queryText);
        if (onCall)
            onCall();
        if (failQuery)
            throw *failQuery;
        return {running.cbegin(), running.cend()};
    }

    bool requestClose(qint64 pid) override {
        if (onCall)
            onCall();
        if (failTerminate)
            throw *failTerminate;
        const OnAsk answer = onAsk.value(pid, OnAsk::NoWindow);
        if (answer == OnAsk::NoWindow || !isRunning(pid))
            return false;
        asked.append(pid);
        if (answer == OnAsk::Closes)
            remove(pid);
        return true;
    }

    int terminate(qint64 pid) override {
        terminated.append(pid);
        if (onCall)
            onCall();
        if (failTerminate)
            throw *failTerminate;
        const int answer = answers.value(pid, 0);
        if (answer == 0)
            remove(pid);
        return answer;
    }

private:
    bool isRunning(qint64 pid) const {
        return std::any_of(running.cbegin(), running.cend(),
                           [pid](const platform::ProcessEntry& p) { return p.pid == pid; });
    }
    void remove(qint64 pid) {
        running.removeIf([pid](const platform::ProcessEntry& p) { return p.pid == pid; });
    }
};

} // namespace tarsel::test
