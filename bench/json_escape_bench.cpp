// json_escape on what the documents carry: product names (plain, UTF-8, and
// a full 127-byte field that needs escapes throughout) and the longest
// capabilities text a read can gather (13 chunks of 35 bytes, 455 bytes).
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <string>

#include "discovery/display_table.h"
#include "ops/json_escape.h"

namespace {

const std::string kLongCapabilities = [] {
    std::string text =
        "(prot(monitor)type(LCD)model(T27Q)cmds(01 02 03 07 0C E3 F3)vcp(02 04 05 08 0B 0C 10 12 "
        "14(01 04 05 06 08 0B) 16 18 1A 52 60(0F 11 12) 62 6C 6E 70 86(02 05) 87 8D(01 02) AC AE "
        "B6 C0 C6 C8 C9 CA(01 02) CC(01 02 03 04 05 06 07 08 09 0A 0C 0D 0E 14 16 1E) D6(01 04 "
        "05) DC(00 02 03 05) DF E0 E1 E2(00 01 02 04 0B 0C 0D 0E 0F 10 11 12 14) F0(00 05) FF";
    // More manufacturer codes, as a monitor with a long list reports them.
    for (int code = 0xE3; code < 0xE3 + 27; code++) {
        char item[8];
        std::snprintf(item, sizeof item, " %02X", code);
        text += item;
    }
    text += ")mccs_ver(2.2)asset_eep(40))";
    return text;
}();

const std::string kFullName = [] {
    std::string name;
    while (name.size() < 127) name += "\"Q\\32\"\t";
    return name.substr(0, 127);
}();

void escapeBench(benchmark::State& state, const std::string& input, size_t fieldSize)
{
    static std::array<char, escapedCapacity(2048)> out;
    const size_t cap = escapedCapacity(fieldSize);
    if (input.size() >= fieldSize) {
        state.SkipWithError("input does not fit its field");
        return;
    }
    for (auto _ : state) {
        json_escape(input.c_str(), out.data(), cap);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(input.size()));
    state.counters["bytes"] = static_cast<double>(input.size());
}

constexpr size_t kNameField = sizeof(DisplayRecord::name);

BENCHMARK_CAPTURE(escapeBench, name_ascii, std::string("Tessaro T27Q"), kNameField);
BENCHMARK_CAPTURE(escapeBench, name_utf8, std::string("Écran Stüdio 27 ★ 4K"), kNameField);
BENCHMARK_CAPTURE(escapeBench, name_127_escapes, kFullName, kNameField);
BENCHMARK_CAPTURE(escapeBench, capabilities_455, kLongCapabilities, size_t{2048});

}  // namespace
