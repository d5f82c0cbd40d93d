// Opening and closing a session, its displays, and the names of statuses.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>

#include "config/config_file.h"

#include "ddc/link.h"
#include "lib/lib_session.h"
#include "platform/platform.h"

namespace {

// The stable words, in the enum's order.
constexpr const char* kStatusNames[] = {
    "ok",           "no_such_display",  "unsupported",  "read_failed",     "write_failed",
    "display_busy", "invalid_argument", "display_gone", "no_capabilities", "buffer_too_small",
    "closed",       "invalid_document", "timed_out",    "not_sent",        "no_resources",
};

bool validOptions(const panoctl_options& options)
{
    return options.retries >= 0 && options.retries <= kMaxRetries;
}

// The options as the caller's `size` has them: members past it keep their
// defaults, so a caller built against an older header still opens.
bool takeOptions(const panoctl_options& given, panoctl_options* chosen)
{
    if (given.size < offsetof(panoctl_options, config)) {
        return false;
    }
    std::memcpy(chosen, &given, std::min(given.size, sizeof(panoctl_options)));
    chosen->size = sizeof(panoctl_options);
    return true;
}

}  // namespace

extern "C" {

const char* panoctl_status_name(panoctl_status status)
{
    auto index = static_cast<size_t>(status);
    constexpr size_t count = sizeof kStatusNames / sizeof kStatusNames[0];
    return index < count ? kStatusNames[index] : "unknown";
}

const char* panoctl_version(void)
{
    return PANOCTL_VERSION;
}

void panoctl_options_init(panoctl_options* options)
{
    if (options != nullptr) {
        *options = panoctl_options{};
        options->size = sizeof(panoctl_options);
    }
}

panoctl_status panoctl_open(const panoctl_options* options, panoctl_session** session)
{
    if (session == nullptr) {
        return PANOCTL_INVALID_ARGUMENT;
    }
    *session = nullptr;
    panoctl_options chosen{};
    panoctl_options_init(&chosen);
    if (options != nullptr && !takeOptions(*options, &chosen)) {
        return PANOCTL_INVALID_ARGUMENT;
    }
    if (!validOptions(chosen)) {
        return PANOCTL_INVALID_ARGUMENT;
    }
    // The one allocation of a session's life: everything else it holds is
    // of fixed size inside it.
    auto* opened = new (std::nothrow) panoctl_session;
    if (opened == nullptr) {
        return PANOCTL_NO_RESOURCES;
    }
    // The file is read once, here, into the session's tables; the path is
    // not kept.
    ConfigError error;
    if (loadConfigFile(chosen.config, {}, &opened->config, &error) == ConfigLoad::refused) {
        delete opened;
        return PANOCTL_INVALID_ARGUMENT;
    }
    chosen.config = nullptr;
    startPlatformForLibrary();
    opened->options = chosen;
    {
        std::unique_lock<std::shared_mutex> whole(opened->tableGuard);
        discoverSessionDisplays(opened);
    }
    *session = opened;
    return PANOCTL_OK;
}

panoctl_status panoctl_close(panoctl_session** session)
{
    if (session == nullptr || *session == nullptr) {
        return PANOCTL_CLOSED;
    }
    panoctl_session* closing = *session;
    *session = nullptr;
    stopSessionWatch(closing);
    panoctl_status status = stopLatestValues(&closing->latest);
    {
        std::unique_lock<std::shared_mutex> whole(closing->tableGuard);
        releaseDisplays(&closing->displays);
    }
    delete closing;
    return status;
}

panoctl_status panoctl_rediscover(panoctl_session* session)
{
    if (session == nullptr) {
        return PANOCTL_CLOSED;
    }
    std::unique_lock<std::shared_mutex> whole(session->tableGuard);
    discoverSessionDisplays(session);
    return PANOCTL_OK;
}

panoctl_status panoctl_display_count(panoctl_session* session, size_t* count)
{
    if (session == nullptr) {
        return PANOCTL_CLOSED;
    }
    if (count == nullptr) {
        return PANOCTL_INVALID_ARGUMENT;
    }
    std::shared_lock<std::shared_mutex> table(session->tableGuard);
    *count = static_cast<size_t>(session->displays.count);
    return PANOCTL_OK;
}

panoctl_status panoctl_display_info_at(panoctl_session* session, size_t index,
                                       panoctl_display_info* info)
{
    if (session == nullptr) {
        return PANOCTL_CLOSED;
    }
    if (info == nullptr || info->size < sizeof(panoctl_display_info)) {
        return PANOCTL_INVALID_ARGUMENT;
    }
    std::shared_lock<std::shared_mutex> table(session->tableGuard);
    std::span<const DisplayRecord> displays = session->displays.displays();
    if (index >= displays.size()) {
        return PANOCTL_NO_SUCH_DISPLAY;
    }
    const DisplayRecord& display = displays[index];
    info->position = static_cast<int>(index) + 1;
    copyText(info->id, display.id.data());
    copyText(info->name, display.name.data());
    copyText(info->serial, display.serial.data());
    return PANOCTL_OK;
}

}  // extern "C"
