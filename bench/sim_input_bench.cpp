// The simulation's input at scale: JSON objects of 10,000 to 1,000,000
// members, arrays nested 10,000 to 1,000,000 levels deep (the most accepted),
// scenario registries 10,000 to 100,000 entries deep, and registries of as
// many entries side by side or in one chain, walked and searched whole. The
// time per member, level or entry stays flat when parsing, loading and
// walking are linear (a parser that searched the members before each
// insertion would take hours for a million), and none of them recurses, so
// the deepest input cannot overflow the stack. Each benchmark checks what it
// parsed or walked and fails with an error when the result is wrong.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>

#include "bench_support.h"
#include "json_input.h"
#include "platform/platform.h"

namespace {

// Deepest nesting the parser accepts.
constexpr int64_t kNestingLimit = 1'000'000;

void countPer(benchmark::State& state, const char* name, int64_t units)
{
    using benchmark::Counter;
    state.counters[name] =
        Counter(static_cast<double>(units), Counter::kIsIterationInvariantRate | Counter::kInvert);
}

// An object of `members` members "k0" to "k<members - 1>", then "k1" again
// and "last": the repeated key keeps its first place and takes the last value.
void BM_JsonWideObject(benchmark::State& state)
{
    const int64_t members = state.range(0);
    std::string text = "{";
    for (int64_t i = 0; i < members; ++i) text += "\"k" + std::to_string(i) + "\":0,";
    text += R"("k1": 5, "last": 1})";
    sim::Json document;
    std::string error;
    bool parsed = false;
    for (auto _ : state) {
        parsed = sim::parseJson(text, &document, &error);
    }
    if (!parsed) {
        state.SkipWithError(error.c_str());
        return;
    }
    if (document.size() != static_cast<size_t>(members) + 1 || document.begin().key() != "k0" ||
        std::next(document.begin()).key() != "k1" || document["k1"] != 5) {
        state.SkipWithError("members out of place or a repeated key not overwritten");
        return;
    }
    countPer(state, "per_member", members);
}

// `depth` nested arrays parse; at the limit, one level more is refused.
void BM_JsonDeepNesting(benchmark::State& state)
{
    const int64_t depth = state.range(0);
    std::string text(static_cast<size_t>(depth), '[');
    text.append(static_cast<size_t>(depth), ']');
    std::string error;
    bool parsed = false;
    for (auto _ : state) {
        sim::Json document;
        parsed = sim::parseJson(text, &document, &error);
    }
    if (!parsed) {
        state.SkipWithError(error.c_str());
        return;
    }
    if (depth == kNestingLimit) {
        std::string deeper = "[" + text + "]";
        sim::Json document;
        if (sim::parseJson(deeper, &document, &error) ||
            error != "invalid json: nested more than 1000000 levels deep") {
            state.SkipWithError("nesting past the limit not refused as it should be");
            return;
        }
    }
    countPer(state, "per_level", depth);
}

// A registry that is one chain of `depth` entries, loaded as a scenario.
void BM_ScenarioDeepRegistry(benchmark::State& state)
{
    const int64_t depth = state.range(0);
    std::string text = R"({"registry": )";
    for (int64_t i = 0; i < depth; ++i) text += R"({"name": "e", "children": [)";
    text += R"({"name": "leaf"})";
    for (int64_t i = 0; i < depth; ++i) text += "]}";
    text += "}";
    std::string error;
    bool loaded = false;
    for (auto _ : state) {
        loaded = bench::loadOtherMachine(text, &error);
    }
    if (!loaded) {
        state.SkipWithError(error.c_str());
        return;
    }
    countPer(state, "per_entry", depth);
}

// `entries` entries "e" below the root side by side, or the root and
// `entries` - 1 entries "e" in one chain, then an entry "last" whose property
// "k" is "found".
std::string registryText(bool chain, int64_t entries)
{
    std::string text = R"({"registry": )";
    if (chain) {
        for (int64_t i = 0; i < entries; ++i) text += R"({"name": "e", "children": [)";
        text += R"({"name": "last", "properties": {"k": "found"}})";
        for (int64_t i = 0; i < entries; ++i) text += "]}";
    } else {
        text += R"({"name": "Root", "children": [)";
        for (int64_t i = 0; i < entries; ++i) text += R"({"name": "e"},)";
        text += R"({"name": "last", "properties": {"k": "found"}}]})";
    }
    return text + "}";
}

// Whether a recursive search from `root` finds "k" and it is "found".
bool searchFindsLast(io_registry_entry_t root)
{
    CFStringRef key = CFStringCreateWithCString(kCFAllocatorDefault, "k", kCFStringEncodingUTF8);
    CFTypeRef value = IORegistryEntrySearchCFProperty(root, kIOServicePlane, key, nullptr,
                                                      kIORegistryIterateRecursively);
    CFRelease(key);
    if (value == nullptr) return false;
    char text[8] = {};
    bool found = CFGetTypeID(value) == CFStringGetTypeID() &&
                 CFStringGetCString(static_cast<CFStringRef>(value), text, sizeof text,
                                    kCFStringEncodingUTF8) &&
                 std::string_view(text) == "found";
    CFRelease(value);
    return found;
}

// One search and one recursive walk of every entry, each released in turn.
void BM_RegistryWalk(benchmark::State& state)
{
    const bool chain = state.range(0) == 1;
    const int64_t entries = state.range(1);
    std::string error;
    if (!bench::loadOtherMachine(registryText(chain, entries), &error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    io_registry_entry_t root = IORegistryGetRootEntry(kIOMainPortDefault);
    bool found = false;
    int64_t walked = 0;
    for (auto _ : state) {
        found = searchFindsLast(root);
        io_iterator_t iterator = 0;
        IORegistryEntryCreateIterator(root, kIOServicePlane, kIORegistryIterateRecursively,
                                      &iterator);
        walked = 0;
        while (io_object_t entry = IOIteratorNext(iterator)) {
            ++walked;
            IOObjectRelease(entry);
        }
        IOObjectRelease(iterator);
    }
    IOObjectRelease(root);
    // Below the root: every entry and "last", or the chain's entries but
    // the root, and "last".
    if (!found || walked != (chain ? entries : entries + 1)) {
        state.SkipWithError("the search or the walk missed entries");
        return;
    }
    countPer(state, "per_entry", entries);
}

}  // namespace

BENCHMARK(BM_JsonWideObject)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JsonDeepNesting)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Arg(kNestingLimit)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScenarioDeepRegistry)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RegistryWalk)
    ->ArgNames({"chain", "entries"})
    ->ArgsProduct({{0, 1}, {10'000, 100'000}})
    ->Unit(benchmark::kMillisecond);
