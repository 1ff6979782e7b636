#include "app/config/Settings.h"

#include "os/Logger.h"

namespace App {

const OS::Config& Settings::Store() {
    OS::Trace t("Settings::Store()");
    static const OS::Config config(kKey);
    return config;
}

std::uint32_t Settings::Get(const Setting& setting) {
    OS::Trace t("Settings::Get()");
    std::uint32_t value = setting.defaultValue;
    // Another program may have written the store: an index past its list is not ours.
    if (!Store().GetInt(kRoot, setting.name, value) || value > setting.maxValue)
        return setting.defaultValue;
    return value;
}

void Settings::Set(const Setting& setting, std::uint32_t value) {
    OS::Trace t("Settings::Set()");
    Store().SetInt(kRoot, setting.name, value);
}

}  // namespace App
