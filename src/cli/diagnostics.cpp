#include "cli/diagnostics.h"

#include <array>
#include <cstdlib>
#include <cstring>

#include "ops/json_escape.h"

namespace {

bool debugging()
{
    return std::getenv("DDC_DEBUG") != nullptr;
}

// Records the display as warned; false when it was already.
bool firstWarning(WarnedDisplays* warned, const DisplayRecord& display)
{
    for (size_t i = 0; i < warned->count; i++) {
        if (std::strcmp(warned->ids[i].data(), display.id.data()) == 0) {
            return false;
        }
    }
    if (warned->count < warned->ids.size()) {
        copyText(warned->ids[warned->count++], display.id.data());
    }
    return true;
}

}  // namespace

bool debugLinesWanted()
{
    return debugging();
}

namespace {

// The warning names the lock folder's path: one printable line whatever
// bytes the path holds.
void printWarning(Session* session, LockWarning* warning)
{
    warning->pending = false;
    std::array<char, escapedCapacity(sizeof(warning->text))> line{};
    makeLineSafe(warning->text.data(), line.data(), line.size());
    std::fprintf(session->err, "%s\n", line.data());
}

}  // namespace

void showLockWarnings(Session* session)
{
    for (DisplayRecord& display : session->displays.displays()) {
        // Said once for the record: the journal marks it warned.
        if (display.lock.journalWarning.pending) {
            printWarning(session, &display.lock.journalWarning);
        }
        if (!display.lock.warning.pending) {
            continue;
        }
        display.lock.warning.pending = false;
        if (firstWarning(&session->warned, display)) {
            // The warning names the lock folder's path: one printable line
            // whatever bytes the path holds.
            std::array<char, escapedCapacity(sizeof(display.lock.warning.text))> line{};
            makeLineSafe(display.lock.warning.text.data(), line.data(), line.size());
            std::fprintf(session->err, "%s\n", line.data());
        }
    }
}

void showWalkCounters(const Session& session, const WalkCounters& counters)
{
    if (counters.walked && debugging()) {
        std::fprintf(session.err, "[dbg] shim=%d shimWithUUID=%d proxy=%d added=%d\n",
                     counters.shim, counters.shimWithUuid, counters.proxy, counters.added);
    }
}

void showQuirk(const Session& session, const Quirk& quirk, const char* id, const char* what)
{
    if (!debugging()) {
        return;
    }
    std::array<char, escapedCapacity(kConfigNameCapacity)> name;
    std::array<char, escapedCapacity(sizeof(DisplayRecord::id))> escapedId;
    escapeForTerminal(quirk.name.data(), std::strlen(quirk.name.data()), name.data(), name.size());
    escapeForTerminal(id, std::strlen(id), escapedId.data(), escapedId.size());
    std::fprintf(session.err, "[dbg] quirk %s on %s: %s\n", name.data(), escapedId.data(), what);
}

void showTransferCounters(const Session& session)
{
    if (!session.discovered || !debugging()) {
        return;
    }
    const TransferCounters& counters = session.counters;
    std::fprintf(session.err, "[dbg] writes=%u reads=%u failed=%u retries=%u\n", counters.writes,
                 counters.reads, counters.failed, counters.retries);
}
