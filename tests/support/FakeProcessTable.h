#pragma once

#include "platform/ProcessTable.h"
#include "platform/RunTimeError.h"

#include <QHash>
#include <QList>
#include <QStringList>
#include <functional>
#include <optional>

namespace tarsel::test {

// A scripted process table: answers every query with `running`, ends a process when its
// terminate answer is 0 (the default), and records every call.
class FakeProcessTable : public platform::ProcessTable {
public:
    QList<platform::ProcessEntry> running;
    QHash<qint64, int> answers;            // terminate's answer by pid; 0 when not given
    std::optional<RunTimeError> failQuery; // thrown by query
    std::optional<RunTimeError> failTerminate;
    std::function<void()> onCall; // runs inside every query and terminate

    QStringList queries;
    QList<qint64> terminated; // every pid passed to terminate, in order

    std::vector<platform::ProcessEntry> query(const QString& queryText) override {
        queries.append(queryText);
        if (onCall)
            onCall();
        if (failQuery)
            throw *failQuery;
        return {running.cbegin(), running.cend()};
    }

    int terminate(qint64 pid) override {
        terminated.append(pid);
        if (onCall)
            onCall();
        if (failTerminate)
            throw *failTerminate;
        const int answer = answers.value(pid, 0);
        if (answer == 0)
            running.removeIf([pid](const platform::ProcessEntry& p) { return p.pid == pid; });
        return answer;
    }
};

} // namespace tarsel::test
