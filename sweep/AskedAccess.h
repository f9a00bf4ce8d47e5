#pragma once

#include "platform/ProcessTable.h"

#include <QtGlobal>
#include <functional>
#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace tarsel {

enum class AccessStep { AskedToClose, Ended };

// Whom an end of Access asked to close, and when: the window's sweep and tarselcopy's
// --end-access both ask first and end later. A process is known by its pid and start time, so that
// a pid that passed to another process is asked afresh, never ended for having been asked.
class AskedAccess {
public:
    // Told of every ask and end that succeeded, as it happens.
    using Witness = std::function<void(AccessStep, const platform::ProcessEntry&)>;

    explicit AskedAccess(Witness witness = {}) : witness_(std::move(witness)) {}

    // When this very process was asked, on the caller's clock; nothing when it was not.
    std::optional<qint64> askedAt(const platform::ProcessEntry& process) const;

    // Asks it through `table`; true when it could be asked, and it is then noted as asked `now`.
    bool ask(platform::ProcessTable& table, const platform::ProcessEntry& process, qint64 now);

    // Ends it through `table`; true when it was ended, and it is then forgotten.
    bool end(platform::ProcessTable& table, const platform::ProcessEntry& process);

    // Forgets those asked that `listed` no longer holds: gone, or closed by themselves.
    void keepOnly(const std::vector<platform::ProcessEntry>& listed);

private:
    using Identity = std::pair<qint64, quint64>;
    static Identity identityOf(const platform::ProcessEntry& process) {
        return {process.pid, process.started};
    }
    void tell(AccessStep step, const platform::ProcessEntry& process) const;

    Witness witness_;
    std::map<Identity, qint64> askedAt_;
};

} // namespace tarsel
