// Small builders for simulated registries, so tests read as the machine
// they describe.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace reg {

using Json = nlohmann::ordered_json;
// Children are a vector, not a Json: a braced list of one entry must stay a
// list of one, which list-initialising a Json does not promise.
using Children = std::vector<Json>;

inline Json node(const std::string& name, Json properties = Json::object(), Children children = {})
{
    Json entry{{"name", name}};
    if (!properties.empty()) {
        entry["properties"] = std::move(properties);
    }
    if (!children.empty()) {
        entry["children"] = Json(std::move(children));
    }
    return entry;
}

// An AV service proxy; `monitor` names the monitor at the end of its channel
// ("" for a service with nothing connected).
inline Json proxy(const std::string& monitor, Json properties = Json::object(),
                  Children children = {})
{
    Json entry = node("DCPAVServiceProxy", std::move(properties), std::move(children));
    entry["avservice"] = monitor.empty() ? Json::object() : Json{{"monitor", monitor}};
    return entry;
}

inline Json displayAttributes(const std::string& productName, Json serialNumber = nullptr)
{
    Json product = Json::object();
    if (!productName.empty()) {
        product["ProductName"] = productName;
    }
    if (!serialNumber.is_null()) {
        product["SerialNumber"] = std::move(serialNumber);
    }
    return Json{{"ProductAttributes", product}};
}

// A 128-byte EDID base block whose serial number field (bytes 12 to 15,
// little-endian) holds `serial`.
inline Json edid(uint32_t serial)
{
    std::string hex = "00ffffffffffff004c2d";
    hex += "0000";  // product code
    char field[9];
    std::snprintf(field, sizeof field, "%02x%02x%02x%02x", serial & 0xFF, (serial >> 8) & 0xFF,
                  (serial >> 16) & 0xFF, serial >> 24);
    hex += field;
    hex.append(256 - hex.size(), '0');
    return Json{{"$data", hex}};
}

inline Json panel(const std::string& uuid, const std::string& productName,
                  Json extraProperties = Json::object())
{
    Json properties{{"EDID UUID", uuid}};
    if (!productName.empty()) {
        properties["DisplayAttributes"] = displayAttributes(productName);
    }
    properties.update(extraProperties);
    return node("AppleCLCD2", properties);
}

inline Json monitor(int brightness = 50, int maxBrightness = 100,
                    const std::string& capabilities = "")
{
    Json vcp{{"0x10", {{"current", brightness}, {"max", maxBrightness}}}};
    return Json{{"vcp", vcp}, {"capabilities", capabilities}};
}

inline std::string scenario(Children children, Json monitors = Json::object())
{
    return Json{{"registry", node("Root", Json::object(), std::move(children))},
                {"monitors", std::move(monitors)}}
        .dump();
}

}  // namespace reg
