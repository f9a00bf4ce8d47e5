#include "settings/RunPolicy.h"

#include "core/RegistryKeys.h"
#include "platform/SettingsStore.h"

namespace tarsel {

Policy computerPolicy(const QString& name) {
    const auto read = [](const QString& valueName) {
        return platform::readComputerPreset(SettingsKeyPath, valueName, PolicyKeyPath);
    };
    return {read(name), read(name + CommandLineSuffix).value_or(QString()).trimmed() == u'1'};
}

} // namespace tarsel
