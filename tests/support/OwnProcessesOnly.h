#pragma once

#include "platform/ProcessTable.h"

#include <QList>
#include <QSet>

#include <cerrno>

namespace tarsel::test {

// The machine's process table narrowed to the processes this test started, so that an Access
// process of anyone else can be neither counted nor ended.
class OwnProcessesOnly : public platform::ProcessTable {
public:
    OwnProcessesOnly(platform::ProcessTable& table, QSet<qint64> ours)
        : table_(table), ours_(std::move(ours)) {}

    QList<qint64> asked; // asked to close
    QList<qint64> ended;

    std::vector<platform::ProcessEntry> processesNamed(const QString& image) override {
        std::vector<platform::ProcessEntry> found = table_.processesNamed(image);
        std::erase_if(found,
                      [this](const platform::ProcessEntry& p) { return !ours_.contains(p.pid); });
        return found;
    }
    std::optional<std::vector<platform::ProcessEntry>>
    holdersOf(const QStringList& paths) override {
        std::optional<std::vector<platform::ProcessEntry>> found = table_.holdersOf(paths);
        if (found)
            std::erase_if(
                *found, [this](const platform::ProcessEntry& p) { return !ours_.contains(p.pid); });
        return found;
    }
    bool sawOtherAccounts() const override { return table_.sawOtherAccounts(); }
    bool requestClose(qint64 pid) override {
        if (!ours_.contains(pid) || !table_.requestClose(pid))
            return false;
        asked.append(pid);
        return true;
    }
    int terminate(qint64 pid) override {
        if (!ours_.contains(pid))
            return EPERM;
        const int answer = table_.terminate(pid);
        if (answer == 0)
            ended.append(pid);
        return answer;
    }

private:
    platform::ProcessTable& table_;
    QSet<qint64> ours_;
};

} // namespace tarsel::test
