// The monitor's replies: any failed writes and reads, and any reply bytes,
// scripted through the simulated monitor's faults under get, set,
// capabilities and probeaddr. Input:
//   byte 0      the command (get, set, capabilities, probeaddr)
//   byte 1      the VCP code
//   bytes 2-3   writes that fail (bit i: the service's write i)
//   bytes 4-5   reads that fail (bit i: read i)
//   bytes 6-7   the value for set, high byte first
//   then        replies: a read index (low 4 bits), a length (up to 40) and
//               that many bytes, as often as the input lasts
// The run must exit 0 with one line of valid JSON, touch no chip but 0x37,
// and print exactly the document that the reply checks give for the
// operations and replies its bus trace shows.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "ops/json_escape.h"
#include "run_captured.h"
#include "sim_control.h"

namespace {

using Json = nlohmann::json;

const std::string kId = "5A5A5A5A-0000-4000-8000-00000000F022";
const std::string kCapabilities =
    "(prot(monitor)type(LCD)model(FZ27)cmds(01 02 03 07 0C E3 F3)vcp(02 04 05 08 10 12 14(05 "
    "08 0B) 16 18 1A 52 60(0F 11 12) 62 AC AE B2 B6 C6 C8 CA CC(01 02 03 04 05 06 07 08 09 0A "
    "0C 0D 14 16 1E) D6(01 04 05) DF)mccs_ver(2.2)window1(type(PIP) area(25 25 1895 1175)))";

// One I2C operation as the trace shows it.
struct Operation {
    bool write = false;
    unsigned chip = 0;
    unsigned address = 0;
    bool ok = false;
    std::vector<uint8_t> bytes;  // a successful read's reply
};

std::vector<Operation> operations(const std::vector<std::string>& trace)
{
    std::vector<Operation> result;
    for (const std::string& line : trace) {
        std::istringstream words(line);
        std::string kind;
        words >> kind;
        if (kind == "sleep") {
            continue;
        }
        Operation operation;
        operation.write = kind == "write";
        words >> std::hex >> operation.chip >> operation.address;
        std::string word;
        while (words >> word && word != "->") {
        }
        words >> word;
        operation.ok = word == "0";
        unsigned byte = 0;
        while (words >> std::hex >> byte) {
            operation.bytes.push_back(static_cast<uint8_t>(byte));
        }
        result.push_back(operation);
    }
    return result;
}

// 0x50 XOR the first `count` bytes: the checksum after a monitor's reply.
uint8_t replyChecksum(const std::vector<uint8_t>& bytes, size_t count)
{
    uint8_t sum = 0x50;
    for (size_t i = 0; i < count; i++) sum ^= bytes[i];
    return sum;
}

// Walks the operations of one run in the order the rules make them.
class Bus {
public:
    Bus(std::vector<Operation> operations, const fuzz::RunOutput& run)
        : operations_(std::move(operations)), run_(run)
    {
    }

    const Operation& take(bool write, unsigned address)
    {
        if (next_ >= operations_.size()) {
            fuzz::finding("the transaction ended early", run_);
        }
        const Operation& operation = operations_[next_++];
        if (operation.write != write || operation.chip != 0x37 || operation.address != address) {
            fuzz::finding("an operation other than the rules make", run_);
        }
        return operation;
    }

    // Get VCP Feature: two writes, one 12-byte read; accepted when bytes 1 to
    // 4 are 88 02 00 and the code, and byte 10 is 0x50 XOR bytes 0 to 9.
    // Current and maximum.
    std::optional<std::array<int, 2>> getVcp(uint8_t vcp, unsigned address)
    {
        if (!take(true, address).ok || !take(true, address).ok) {
            return std::nullopt;
        }
        const Operation& read = take(false, address);
        if (!read.ok) {
            return std::nullopt;
        }
        const std::vector<uint8_t>& b = read.bytes;
        bool framed = b.size() == 12 && b[1] == 0x88 && b[2] == 0x02 && b[4] == vcp &&
                      b[10] == replyChecksum(b, 10);
        // Result code 01: the monitor says it lacks the code.
        unsupported_ = framed && b[3] == 1;
        if (!framed || b[3] != 0) {
            return std::nullopt;
        }
        return std::array<int, 2>{b[8] << 8 | b[9], b[6] << 8 | b[7]};
    }

    // Whether the last Get VCP Feature reply said "unsupported".
    [[nodiscard]] bool unsupported() const { return unsupported_; }

    void expectEnd()
    {
        if (next_ != operations_.size()) {
            fuzz::finding("operations after the transaction ended", run_);
        }
    }

private:
    std::vector<Operation> operations_;
    size_t next_ = 0;
    bool unsupported_ = false;
    const fuzz::RunOutput& run_;
};

// The data of a fragment answering a request for `offset`: 6e, 0x80 | L,
// e3, the offset, L - 3 data bytes, and 0x50 XOR all of those.
std::optional<std::string> fragmentData(const std::vector<uint8_t>& b, unsigned offset)
{
    if (b.size() != 40 || (b[1] & 0x80) == 0) {
        return std::nullopt;
    }
    unsigned length = b[1] & 0x7F;
    if (length < 3 || length > 35 || b[2] != 0xe3 || b[3] != offset >> 8 ||
        b[4] != (offset & 0xFF) || b[2 + length] != replyChecksum(b, 2 + length)) {
        return std::nullopt;
    }
    return std::string(b.begin() + 5, b.begin() + 2 + length);
}

std::string capabilitiesDocument(Bus& bus)
{
    bus.take(true, 0x51);  // the first request: its status is not looked at
    std::string text;
    unsigned offset = 0;
    for (int fragment = 0; fragment < 64; fragment++) {
        if (!bus.take(true, 0x51).ok) {
            break;
        }
        const Operation& read = bus.take(false, 0x51);
        std::optional<std::string> data = read.ok ? fragmentData(read.bytes, offset) : std::nullopt;
        if (!data || data->empty()) {
            break;
        }
        size_t nul = data->find('\0');
        text += data->substr(0, nul);
        offset += static_cast<unsigned>(data->size());
        // Balanced parentheses end only a text that starts with '('; any
        // other is read on to the end of the string.
        bool closed =
            !text.empty() && text[0] == '(' &&
            std::count(text.begin(), text.end(), '(') == std::count(text.begin(), text.end(), ')');
        if (nul != std::string::npos || text.size() >= 2047 || closed) {
            break;
        }
    }
    text.resize(std::min<size_t>(text.size(), 2047));
    if (text.empty()) {
        return "{\"capabilities\":\"\"}\n";
    }
    static char escaped[escapedCapacity(2048)];
    json_escape(text.c_str(), escaped, sizeof escaped);
    return std::string("{\"capabilities\":\"") + escaped + "\"}\n";
}

Json probeDocument(Bus& bus, uint8_t vcp)
{
    Json document = Json::object();
    for (unsigned address : {0x51U, 0x50U, 0x52U}) {
        bool written = bus.take(true, address).ok;
        std::optional<std::array<int, 2>> values = bus.getVcp(vcp, address);
        char key[16];
        std::snprintf(key, sizeof key, "0x37/0x%02X", address);
        document[key] = {{"write", written},
                         {"ok", values.has_value()},
                         {"current", values ? (*values)[0] : -1},
                         {"max", values ? (*values)[1] : -1}};
        std::snprintf(key, sizeof key, "0x50/0x%02X", address);
        document[key] = {{"write", false}, {"ok", false}, {"current", -1}, {"max", -1}};
    }
    return document;
}

std::string hex(const uint8_t* bytes, size_t count)
{
    std::string text;
    for (size_t i = 0; i < count; i++) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
        text += pair;
    }
    return text;
}

Json indices(unsigned mask)
{
    Json list = Json::array();
    for (unsigned i = 0; i < 16; i++) {
        if (mask & (1U << i)) {
            list.push_back(i);
        }
    }
    return list;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/)
{
    fuzz::prepareProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::array<uint8_t, 8> header{};
    for (size_t i = 0; i < header.size() && i < size; i++) {
        header[i] = data[i];
    }
    int command = header[0] % 4;
    uint8_t vcp = header[1];
    Json replies = Json::object();
    for (size_t at = header.size(); at + 2 <= size;) {
        unsigned index = data[at] & 0x0F;
        size_t length = std::min<size_t>(data[at + 1] % 41, size - at - 2);
        replies[std::to_string(index)] = hex(data + at + 2, length);
        at += 2 + length;
    }
    Json faults{{"failWrites", indices(header[2] << 8 | header[3])},
                {"failReads", indices(header[4] << 8 | header[5])},
                {"replies", replies}};
    Json codes{{"0x10", {{"current", 50}, {"max", 100}}},
               {"0x12", {{"current", 1200}, {"max", 4000}}}};
    Json monitor{{"vcp", codes}, {"capabilities", kCapabilities}, {"faults", faults}};
    Json registry{{"name", "Root"},
                  {"children",
                   {{{"name", "AppleCLCD2"}, {"properties", {{"EDID UUID", kId}}}},
                    {{"name", "DCPAVServiceProxy"}, {"avservice", {{"monitor", "m"}}}}}}};
    std::string error;
    if (!sim::loadScenarioText(Json{{"registry", registry}, {"monitors", {{"m", monitor}}}}.dump(),
                               &error)) {
        std::fprintf(stderr, "the fuzzer's scenario does not load: %s\n", error.c_str());
        std::abort();
    }
    sim::setFastPauses(true);

    std::string code = std::to_string(vcp);
    std::string value = std::to_string(header[6] << 8 | header[7]);
    const std::vector<std::vector<std::string>> commands{{"get", kId, code},
                                                         {"set", kId, code, value},
                                                         {"capabilities", kId},
                                                         {"probeaddr", kId, code}};
    fuzz::RunOutput run = fuzz::runCaptured(commands[static_cast<size_t>(command)]);
    if (run.status != 0 || !run.err.empty() || run.out.empty() ||
        run.out.find('\n') != run.out.size() - 1 || !Json::accept(run.out)) {
        fuzz::finding("not one line of JSON with status 0", run);
    }

    Bus bus(operations(sim::traceLines()), run);
    bool matches = true;
    switch (command) {
        case 0: {
            std::optional<std::array<int, 2>> values = bus.getVcp(vcp, 0x51);
            Json expected =
                values ? Json{{"value", (*values)[0]}}
                       : Json{{"value", nullptr},
                              {"error", bus.unsupported() ? "unsupported" : "read_failed"}};
            matches = Json::parse(run.out) == expected;
            break;
        }
        case 1: {
            // A code that makes the monitor act is sent once, any other three
            // times: a reset told three times would happen three times.
            const std::array<uint8_t, 9> actions{0x01, 0x04, 0x05, 0x06, 0x08,
                                                 0x0A, 0x8B, 0xA2, 0xB0};
            bool action = std::find(actions.begin(), actions.end(), vcp) != actions.end();
            bool ok = false;
            for (int attempt = 0; attempt < (action ? 1 : 3); attempt++) {
                ok = bus.take(true, 0x51).ok || ok;
            }
            matches = Json::parse(run.out) == Json{{"ok", ok}};
            break;
        }
        case 2: matches = run.out == capabilitiesDocument(bus); break;
        default: matches = Json::parse(run.out) == probeDocument(bus, vcp); break;
    }
    if (!matches) {
        fuzz::finding("the document is not the one the replies give", run);
    }
    bus.expectEnd();
    return 0;
}
