#include "config/display_selector.h"

DisplayKey displayKeyOf(const DisplayRecord& display)
{
    return DisplayKey{display.id.data(), display.serial.data(), display.name.data()};
}

const DisplayRecord* findSelected(const Configuration& config, const DisplayTable& table,
                                  const char* selector)
{
    const ConfigDisplay* alias = findAlias(config, selector);
    if (alias == nullptr) {
        return findDisplay(table, selector);
    }
    for (const DisplayRecord& display : table.displays()) {
        if (aliasNames(*alias, displayKeyOf(display))) {
            return &display;
        }
    }
    return nullptr;
}

const char* aliasNameOf(const Configuration& config, const DisplayKey& display)
{
    const ConfigDisplay* alias = aliasOf(config, display);
    return alias != nullptr ? alias->alias.data() : nullptr;
}
