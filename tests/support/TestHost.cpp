#include "support/TestHost.h"

#include "support/TestHostParts.h"

#include <QDir>
#include <QFile>
#include <QUuid>

#include <optional>
#include <vector>

// The half of the tests' host that every system shares; tests/platform/<os>/support/TestHost.cpp
// holds each system's own.
namespace tarsel::test {

bool changeOwner(const QString& path, uint id) {
    return changeOwner(path, id, id);
}

namespace parts {

ProbeFile::ProbeFile(const QString& folder)
    : path_(QDir(folder.isEmpty() ? QDir::tempPath() : folder)
                .filePath(QStringLiteral("probe-") +
                          QUuid::createUuid().toString(QUuid::WithoutBraces))),
      handle_(createNewFile(path_)) {}

ProbeFile::~ProbeFile() {
    if (handle_ != -1) {
        closeSystemHandle(handle_);
        QFile::remove(path_);
    }
}

QString whyNoReservation(const QString& folder) {
    const ProbeFile probe(folder);
    if (!probe.isOpen())
        return QStringLiteral("cannot create a file in ") + folder;
    return reserveRoom(probe, folder);
}

SavedVariable::SavedVariable(const char* name)
    : name_(name), set_(qEnvironmentVariableIsSet(name)), value_(qgetenv(name)) {}

void SavedVariable::restore() const {
    if (set_)
        qputenv(name_, value_);
    else
        qunsetenv(name_);
}

} // namespace parts

namespace {

// Names the latest store, so that a child process finds it.
constexpr char StoreVariable[] = "TARSEL_TEST_SETTINGS";

// The stores of this process, latest last; the system's settings and the environment lead to the
// latest.
std::vector<IsolatedSettings::Store*>& liveStores() {
    static std::vector<IsolatedSettings::Store*> stores;
    return stores;
}

// What the environment held before the first store of this process.
std::optional<std::vector<parts::SavedVariable>>& originalEnvironment() {
    static std::optional<std::vector<parts::SavedVariable>> original;
    return original;
}

void pointAt(const IsolatedSettings::Store& store) {
    parts::pointSettingsAt(store);
    qputenv(StoreVariable, QFile::encodeName(store.name));
}

} // namespace

bool parts::settingsAreIsolated() {
    return !liveStores().empty();
}

IsolatedSettings::IsolatedSettings() : store_(std::make_unique<Store>()) {
    auto& stores = liveStores();
    if (stores.empty()) {
        auto& original = originalEnvironment().emplace();
        for (const char* name : parts::settingsVariables())
            original.emplace_back(name);
        original.emplace_back(StoreVariable);
        // Only the first store of a process can be its parent's.
        store_->name = qEnvironmentVariable(StoreVariable);
    }
    store_->owned = store_->name.isEmpty();
    parts::openStore(*store_);
    stores.push_back(store_.get());
    pointAt(*store_);
}

IsolatedSettings::~IsolatedSettings() {
    auto& stores = liveStores();
    std::erase(stores, store_.get());
    parts::closeStore(*store_);
    if (!stores.empty()) {
        pointAt(*stores.back());
    } else if (auto& original = originalEnvironment()) {
        for (const parts::SavedVariable& variable : *original)
            variable.restore();
        original.reset();
    }
}

HeldFile::~HeldFile() {
    if (handle_ != -1)
        parts::closeSystemHandle(handle_);
}

QString StandInOpener::standInExtension() {
    return QStringLiteral(".tarselopen");
}

} // namespace tarsel::test
