#include "sweep/AskedAccess.h"

namespace tarsel {

std::optional<qint64> AskedAccess::askedAt(const platform::ProcessEntry& process) const {
    if (const auto asked = askedAt_.find(identityOf(process)); asked != askedAt_.end())
        return asked->second;
    return std::nullopt;
}

bool AskedAccess::ask(platform::ProcessTable& table, const platform::ProcessEntry& process,
                      qint64 now) {
    if (!table.requestClose(process.pid))
        return false;
    askedAt_.insert_or_assign(identityOf(process), now);
    tell(AccessStep::AskedToClose, process);
    return true;
}

bool AskedAccess::end(platform::ProcessTable& table, const platform::ProcessEntry& process) {
    if (table.terminate(process.pid) != 0)
        return false;
    askedAt_.erase(identityOf(process));
    tell(AccessStep::Ended, process);
    return true;
}

void AskedAccess::keepOnly(const std::vector<platform::ProcessEntry>& listed) {
    std::map<Identity, qint64> still;
    for (const platform::ProcessEntry& process : listed)
        if (const auto asked = askedAt_.find(identityOf(process)); asked != askedAt_.end())
            still.insert(*asked);
    askedAt_ = std::move(still);
}

void AskedAccess::tell(AccessStep step, const platform::ProcessEntry& process) const {
    if (witness_)
        witness_(step, process);
}

} // namespace tarsel
