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

// A scripted process table: answers every listing with `running`, ends a process when its
// terminate answer is 0 (the default), and records every call. A process has no window to be
// asked to close unless `onAsk` gives it one. The holders of a file are the processes of `running`
// that `holding` names for its path, as long as they run; with `cannotTellHolders` no one can say.
class FakeProcessTable : public platform::ProcessTable {
public:
    enum class OnAsk { NoWindow, Closes, Ignores };

    QList<platform::ProcessEntry> running;
    QHash<qint64, int> answers;                // terminate's answer by pid; 0 when not given
    QHash<qint64, OnAsk> onAsk;                // by pid; NoWindow when not given
    std::optional<RunTimeError> failQuery;     // thrown by processesNamed
    std::optional<RunTimeError> failTerminate; // thrown by requestClose and terminate
    std::function<void()> onCall;              // runs inside every call
    QHash<QString, QList<qint64>> holding;     // path -> the pids that hold it open
    bool cannotTellHolders = false;            // holdersOf answers nothing, as under Wine

    QStringList queries;
    QList<QStringList> holderQuestions; // the paths of every holdersOf, in order
    QList<qint64> asked;                // every pid that requestClose could ask, in order
    QList<qint64> terminated;           // every pid passed to terminate, in order

    std::vector<platform::ProcessEntry> processesNamed(const QString& image) override {
        queries.append(image);
        if (onCall)
            onCall();
        if (failQuery)
            throw *failQuery;
        return {running.cbegin(), running.cend()};
    }

    std::optional<std::vector<platform::ProcessEntry>>
    holdersOf(const QStringList& paths) override {
        holderQuestions.append(paths);
        if (onCall)
            onCall();
        if (cannotTellHolders)
            return std::nullopt;
        std::vector<platform::ProcessEntry> holders;
        for (const platform::ProcessEntry& process : running)
            if (std::any_of(paths.cbegin(), paths.cend(), [&](const QString& path) {
                    return holding.value(path).contains(process.pid);
                }))
                holders.push_back(process);
        return holders;
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
