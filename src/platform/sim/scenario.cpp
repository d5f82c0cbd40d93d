// The scenario loader: a JSON text to a Machine, checked member by member.
// Anything the format does not allow is rejected with a one-line message
// that starts with where it was found, e.g.
// `registry.children[1].name: expected a string`.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <limits>
#include <map>
#include <new>
#include <utility>

#include "json_input.h"
#include "sim_control.h"
#include "sim_state.h"

namespace sim {
namespace {

constexpr size_t kMaxNameBytes = 127;
constexpr int kMaxValueDepth = 200;
constexpr int kMaxVcpValue = 65535;

// A problem found in the document. `where` is assembled while the error
// unwinds, each level adding its own part in front, so that locations cost
// nothing unless something is wrong (registries may be 100,000 entries deep).
struct ScenarioError {
    std::string where;
    std::string what;
};

[[noreturn]] void fail(std::string what)
{
    throw ScenarioError{"", std::move(what)};
}

// Runs `parse`; an error from it is located at `part` (".name", "[3]",
// "[\"key\"]") within what the caller is parsing.
template <typename Parse>
auto at(const std::string& part, Parse&& parse) -> decltype(parse())
{
    try {
        return parse();
    } catch (ScenarioError& error) {
        error.where.insert(0, part);
        throw;
    }
}

// A key as JSON text: quoted, control characters escaped, so that messages
// stay on one line whatever the key holds.
std::string quoted(const std::string& key)
{
    return Json(key).dump();
}
std::string keyPart(const std::string& key)
{
    return "[" + quoted(key) + "]";
}
std::string indexPart(size_t index)
{
    return "[" + std::to_string(index) + "]";
}

void requireObject(const Json& value)
{
    if (!value.is_object()) fail("expected an object");
}

void checkMembers(const Json& object, std::initializer_list<const char*> allowed)
{
    for (const auto& [key, value] : object.items()) {
        bool known = false;
        for (const char* name : allowed) known = known || key == name;
        if (!known) fail("unknown member " + quoted(key));
    }
}

const Json* member(const Json& object, const char* name)
{
    auto found = object.find(name);
    return found == object.end() ? nullptr : &*found;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::vector<uint8_t> parseHex(const Json& value)
{
    if (!value.is_string()) fail("expected a string of hex digits");
    const std::string& text = value.get_ref<const std::string&>();
    if (text.size() % 2 != 0) fail("odd number of hex digits");
    std::vector<uint8_t> bytes;
    bytes.reserve(text.size() / 2);
    for (size_t i = 0; i < text.size(); i += 2) {
        int high = hexDigit(text[i]);
        int low = hexDigit(text[i + 1]);
        if (high < 0 || low < 0) fail("expected only hex digits");
        bytes.push_back(static_cast<uint8_t>(high * 16 + low));
    }
    return bytes;
}

// An unsigned decimal number of at most `limit`, or -1.
int64_t parseDecimal(const std::string& text, uint64_t limit)
{
    if (text.empty()) return -1;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return -1;
        // Checked before multiplying: 64 bits would wrap for keys of 20 digits
        // and more, and a wrapped key would name a small index.
        auto digit = static_cast<uint64_t>(c - '0');
        if (value > (limit - digit) / 10) return -1;
        value = value * 10 + digit;
    }
    return static_cast<int64_t>(value);
}

}  // namespace

// Shared with the monitor state file, which names codes the same way.
int parseVcpCode(const std::string& key)
{
    if (key.size() > 2 && key[0] == '0' && key[1] == 'x') {
        int value = 0;
        for (size_t i = 2; i < key.size(); ++i) {
            int digit = hexDigit(key[i]);
            if (digit < 0) return -1;
            value = value * 16 + digit;
            if (value > 255) return -1;
        }
        return value;
    }
    return static_cast<int>(parseDecimal(key, 255));
}

namespace {

int parseVcpNumber(const Json& value)
{
    if (!value.is_number_unsigned() || value.get<uint64_t>() > kMaxVcpValue) {
        fail("expected an integer from 0 to 65535");
    }
    return static_cast<int>(value.get<uint64_t>());
}

Value parseValue(const Json& json, int depth)
{
    if (depth > kMaxValueDepth) fail("nested too deeply");
    Value value;
    switch (json.type()) {
        case Json::value_t::string:
            value.kind = Value::Kind::String;
            value.text = json.get<std::string>();
            break;
        case Json::value_t::number_integer:
            value.kind = Value::Kind::Integer;
            value.integer = json.get<int64_t>();
            break;
        case Json::value_t::number_unsigned:
            if (json.get<uint64_t>() > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
                fail("integer out of range of a 64-bit signed number");
            }
            value.kind = Value::Kind::Integer;
            value.integer = json.get<int64_t>();
            break;
        case Json::value_t::number_float:
            value.kind = Value::Kind::Real;
            value.real = json.get<double>();
            break;
        case Json::value_t::boolean:
            value.kind = Value::Kind::Boolean;
            value.boolean = json.get<bool>();
            break;
        case Json::value_t::null: value.kind = Value::Kind::Null; break;
        case Json::value_t::object:
            if (json.size() == 1 && json.contains("$data")) {
                value.kind = Value::Kind::Data;
                value.bytes = at(".$data", [&] { return parseHex(json.front()); });
                break;
            }
            value.kind = Value::Kind::Dictionary;
            for (const auto& item : json.items()) {
                const std::string& key = item.key();
                const Json& element = item.value();
                Value parsed = at(keyPart(key), [&] { return parseValue(element, depth + 1); });
                value.members.push_back({key, std::move(parsed)});
            }
            break;
        case Json::value_t::array:
            value.kind = Value::Kind::Array;
            for (size_t i = 0; i < json.size(); ++i) {
                value.elements.push_back(
                    at(indexPart(i), [&] { return parseValue(json[i], depth + 1); }));
            }
            break;
        default: fail("unsupported value");
    }
    return value;
}

std::set<uint64_t> parseIndices(const Json& json)
{
    if (!json.is_array()) fail("expected an array of indices");
    std::set<uint64_t> indices;
    for (size_t i = 0; i < json.size(); ++i) {
        at(indexPart(i), [&] {
            if (!json[i].is_number_unsigned()) fail("expected a non-negative integer");
        });
        indices.insert(json[i].get<uint64_t>());
    }
    return indices;
}

Faults parseFaults(const Json& json)
{
    requireObject(json);
    checkMembers(json, {"failWrites", "failReads", "replies"});
    Faults faults;
    if (const Json* writes = member(json, "failWrites")) {
        faults.failWrites = at(".failWrites", [&] { return parseIndices(*writes); });
    }
    if (const Json* reads = member(json, "failReads")) {
        faults.failReads = at(".failReads", [&] { return parseIndices(*reads); });
    }
    if (const Json* replies = member(json, "replies")) {
        at(".replies", [&] {
            requireObject(*replies);
            for (const auto& item : replies->items()) {
                const std::string& key = item.key();
                const Json& bytes = item.value();
                at(keyPart(key), [&] {
                    int64_t index = parseDecimal(key, std::numeric_limits<int64_t>::max());
                    if (index < 0) fail("expected a read index (decimal digits) as key");
                    faults.replies[static_cast<uint64_t>(index)] = parseHex(bytes);
                });
            }
        });
    }
    return faults;
}

double parseChance(const Json& value)
{
    if (!value.is_number() || value.get<double>() < 0 || value.get<double>() > 1) {
        fail("expected a number from 0 to 1");
    }
    return value.get<double>();
}

FlakyBus parseBus(const Json& json)
{
    requireObject(json);
    checkMembers(json, {"failRate", "corruptRate", "replyDelay", "seed"});
    FlakyBus bus;
    bus.enabled = true;
    if (const Json* rate = member(json, "failRate")) {
        bus.failRate = at(".failRate", [&] { return parseChance(*rate); });
    }
    if (const Json* rate = member(json, "corruptRate")) {
        bus.corruptRate = at(".corruptRate", [&] { return parseChance(*rate); });
    }
    if (const Json* delay = member(json, "replyDelay")) {
        bus.replyDelay = at(".replyDelay", [&] {
            if (!delay->is_number_unsigned() ||
                delay->get<uint64_t>() > std::numeric_limits<uint32_t>::max()) {
                fail("expected an integer from 0 to 4294967295");
            }
            return static_cast<uint32_t>(delay->get<uint64_t>());
        });
    }
    if (const Json* seed = member(json, "seed")) {
        bus.seed = at(".seed", [&] {
            if (!seed->is_number_integer() ||
                (seed->is_number_unsigned() &&
                 seed->get<uint64_t>() >
                     static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))) {
                fail("expected an integer from -9223372036854775808 to 9223372036854775807");
            }
            return seed->get<int64_t>();
        });
    }
    bus.generator.seed(static_cast<uint64_t>(bus.seed));
    return bus;
}

VcpValue parseVcpValue(const std::string& key, const Json& json)
{
    requireObject(json);
    checkMembers(json, {"current", "max"});
    for (const char* name : {"current", "max"}) {
        if (!json.contains(name)) fail(std::string("missing ") + name);
    }
    VcpValue value;
    value.current = at(".current", [&] { return parseVcpNumber(json.at("current")); });
    value.max = at(".max", [&] { return parseVcpNumber(json.at("max")); });
    value.key = key;
    return value;
}

NewControlValue parseNewControlValue(const Json& json)
{
    if (json == "faithful") return NewControlValue::faithful;
    if (json == "stuck") return NewControlValue::stuck;
    if (json == "never") return NewControlValue::never;
    fail("expected \"faithful\", \"stuck\" or \"never\"");
}

Monitor parseMonitor(const std::string& key, const Json& json)
{
    requireObject(json);
    checkMembers(json, {"vcp", "capabilities", "faults", "bus", "newControlValue", "sourceAddress",
                        "ignoreWrites"});
    Monitor monitor;
    monitor.key = key;
    if (const Json* vcp = member(json, "vcp")) {
        at(".vcp", [&] {
            requireObject(*vcp);
            for (const auto& item : vcp->items()) {
                const std::string& codeKey = item.key();
                const Json& setting = item.value();
                at(keyPart(codeKey), [&] {
                    int code = parseVcpCode(codeKey);
                    if (code < 0) fail("not a vcp code (\"0x10\" or \"16\", up to 255)");
                    if (monitor.vcp.count(code)) fail("code given twice");
                    monitor.vcp[code] = parseVcpValue(codeKey, setting);
                });
            }
        });
    }
    if (const Json* capabilities = member(json, "capabilities")) {
        at(".capabilities", [&] {
            if (!capabilities->is_string()) fail("expected a string");
            monitor.capabilities = capabilities->get<std::string>();
            for (unsigned char c : monitor.capabilities) {
                if (c >= 0x80) fail("expected ascii text");
            }
        });
    }
    if (const Json* addresses = member(json, "sourceAddress")) {
        at(".sourceAddress", [&] {
            requireObject(*addresses);
            for (const auto& item : addresses->items()) {
                at(keyPart(item.key()), [&] {
                    int code = parseVcpCode(item.key());
                    if (code < 0) fail("not a vcp code (\"0x10\" or \"16\", up to 255)");
                    if (!item.value().is_string() || item.value().get<std::string>() != "0x50") {
                        fail("expected \"0x50\"");
                    }
                    monitor.sourceAddress[code] = 0x50;
                });
            }
        });
    }
    if (const Json* ignored = member(json, "ignoreWrites")) {
        at(".ignoreWrites", [&] {
            if (!ignored->is_array()) fail("expected an array of vcp codes");
            for (size_t i = 0; i < ignored->size(); i++) {
                at("[" + std::to_string(i) + "]", [&] {
                    const Json& code = (*ignored)[i];
                    int parsed = -1;
                    if (code.is_string()) {
                        parsed = parseVcpCode(code.get<std::string>());
                    } else if (code.is_number_unsigned() && code.get<uint64_t>() <= 255) {
                        parsed = static_cast<int>(code.get<uint64_t>());
                    }
                    if (parsed < 0) fail("not a vcp code (\"0x10\", \"16\" or 16, up to 255)");
                    monitor.ignoreWrites.insert(parsed);
                });
            }
        });
    }
    if (const Json* faults = member(json, "faults")) {
        monitor.faults = at(".faults", [&] { return parseFaults(*faults); });
    }
    if (const Json* bus = member(json, "bus")) {
        monitor.bus = at(".bus", [&] { return parseBus(*bus); });
    }
    if (const Json* reports = member(json, "newControlValue")) {
        monitor.newControlValue =
            at(".newControlValue", [&] { return parseNewControlValue(*reports); });
    }
    return monitor;
}

// The registry, flattened depth first without recursion (registries may be
// deep). An entry's location is rebuilt from parent links only on error.
class RegistryParser {
public:
    RegistryParser(Machine& machine, const std::map<std::string, int>& monitorIndex)
        : machine_(machine), monitorIndex_(monitorIndex), monitorUsed_(machine.monitors.size())
    {
    }

    void parse(const Json& root)
    {
        std::vector<Pending> stack = {{&root, 0, 0}};
        while (!stack.empty()) {
            Pending next = stack.back();
            stack.pop_back();
            auto index = static_cast<uint32_t>(machine_.entries.size());
            machine_.entries.emplace_back();
            machine_.entries.back().parent = next.parent;
            positions_.push_back(next.position);
            try {
                parseEntry(*next.json, index, stack);
            } catch (ScenarioError& error) {
                error.where.insert(0, pathOf(index));
                throw;
            }
        }
        computeSubtreeEnds();
    }

private:
    struct Pending {
        const Json* json;
        uint32_t parent;
        size_t position;  // among the parent's children
    };

    std::string pathOf(uint32_t index) const
    {
        std::vector<size_t> positions;
        for (; index != 0; index = machine_.entries[index].parent) {
            positions.push_back(positions_[index]);
        }
        std::string path = "registry";
        for (size_t i = positions.size(); i-- > 0;) {
            path += ".children" + indexPart(positions[i]);
        }
        return path;
    }

    void parseEntry(const Json& json, uint32_t index, std::vector<Pending>& stack)
    {
        requireObject(json);
        checkMembers(json, {"name", "properties", "children", "avservice"});
        Entry& entry = machine_.entries[index];
        const Json* name = member(json, "name");
        if (name == nullptr) fail("missing name");
        entry.name = at(".name", [&] {
            if (!name->is_string()) fail("expected a string");
            const std::string& text = name->get_ref<const std::string&>();
            if (text.size() > kMaxNameBytes) fail("longer than 127 bytes");
            if (text.find('\0') != std::string::npos) fail("contains a nul character");
            return text;
        });
        if (const Json* properties = member(json, "properties")) {
            at(".properties", [&] {
                requireObject(*properties);
                for (const auto& item : properties->items()) {
                    const std::string& key = item.key();
                    const Json& value = item.value();
                    Value parsed = at(keyPart(key), [&] { return parseValue(value, 1); });
                    entry.properties.push_back({key, std::move(parsed)});
                }
            });
        }
        if (const Json* service = member(json, "avservice")) {
            entry.service = at(".avservice", [&] { return parseService(*service); });
        }
        if (const Json* children = member(json, "children")) {
            at(".children", [&] {
                if (!children->is_array()) fail("expected an array");
            });
            // Pushed last child first so that the first child is taken next.
            for (size_t i = children->size(); i-- > 0;) {
                stack.push_back({&(*children)[i], index, i});
            }
        }
    }

    int parseService(const Json& json)
    {
        requireObject(json);
        checkMembers(json, {"monitor"});
        Service service;
        if (const Json* monitor = member(json, "monitor")) {
            service.monitor = at(".monitor", [&] {
                if (!monitor->is_string()) fail("expected a string");
                const std::string& key = monitor->get_ref<const std::string&>();
                auto found = monitorIndex_.find(key);
                if (found == monitorIndex_.end()) fail("no monitor " + quoted(key));
                auto slot = static_cast<size_t>(found->second);
                if (monitorUsed_[slot]) fail("monitor " + quoted(key) + " already has a service");
                monitorUsed_[slot] = true;
                return found->second;
            });
        }
        machine_.services.push_back(service);
        return static_cast<int>(machine_.services.size() - 1);
    }

    // Entries are in depth-first order, so every entry comes after its parent:
    // adding subtree sizes from the last entry back gives each range in one pass.
    void computeSubtreeEnds()
    {
        std::vector<uint32_t> sizes(machine_.entries.size(), 1);
        for (size_t i = machine_.entries.size(); i-- > 1;) {
            sizes[machine_.entries[i].parent] += sizes[i];
        }
        for (size_t i = 0; i < machine_.entries.size(); ++i) {
            machine_.entries[i].subtreeEnd = static_cast<uint32_t>(i + sizes[i]);
        }
    }

    Machine& machine_;
    const std::map<std::string, int>& monitorIndex_;
    std::vector<bool> monitorUsed_;
    std::vector<size_t> positions_;
};

Machine parseScenario(const Json& document)
{
    if (!document.is_object()) fail("expected a json object");
    checkMembers(document, {"registry", "monitors"});
    Machine machine;
    std::map<std::string, int> monitorIndex;
    if (const Json* monitors = member(document, "monitors")) {
        at("monitors", [&] {
            requireObject(*monitors);
            for (const auto& item : monitors->items()) {
                const std::string& key = item.key();
                const Json& json = item.value();
                monitorIndex[key] = static_cast<int>(machine.monitors.size());
                machine.monitors.push_back(
                    at(keyPart(key), [&] { return parseMonitor(key, json); }));
            }
        });
    }
    if (const Json* registry = member(document, "registry")) {
        RegistryParser(machine, monitorIndex).parse(*registry);
    } else {
        machine.entries = emptyMachine().entries;
    }
    return machine;
}

}  // namespace

std::string parseErrorMessage(std::string_view text, size_t byte)
{
    size_t end = std::min(byte > 0 ? byte - 1 : 0, text.size());
    size_t line = 1, lineStart = 0;
    for (size_t i = 0; i < end; ++i) {
        if (text[i] == '\n') ++line, lineStart = i + 1;
    }
    return "invalid json at line " + std::to_string(line) + ", column " +
           std::to_string(end - lineStart + 1);
}

// The checks above only read members they have checked the type of; the
// library's own exceptions and allocation failures are caught all the same,
// so that no document can end the process.
bool buildMachine(std::string_view text, Machine* machine, std::string* error)
{
    Json document;
    if (!parseJson(text, &document, error)) return false;
    try {
        *machine = parseScenario(document);
        return true;
    } catch (const ScenarioError& e) {
        *error = e.where.empty() ? e.what : e.where + ": " + e.what;
    } catch (const Json::exception& e) {
        *error = std::string("unexpected value: ") + e.what();
    } catch (const std::bad_alloc&) {
        *error = "too large to load";
    }
    return false;
}

bool loadScenarioText(std::string_view text, std::string* error)
{
    Machine machine;
    bool built = buildMachine(text, &machine, error);
    installMachine(built ? std::move(machine) : emptyMachine());
    return built;
}

bool loadScenarioFile(const std::string& path, std::string* error)
{
    std::string text;
    FileStamp stamp;
    if (!readTextFile(path, &text, &stamp, error)) {
        installMachine(emptyMachine());
        return false;
    }
    if (!loadScenarioText(text, error)) return false;
    watchScenario(path, stamp, text);
    return true;
}

}  // namespace sim
