// Latest value wins: what panoctl_set_latest keeps per (display, code), and
// the lane threads that send it, one per display that has had values.
#pragma once

#include <pthread.h>

#include <array>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "discovery/display_table.h"
#include "panoctl/panoctl.h"

struct LatestCode {
    bool touched = false;  // had calls since the last flush reported it
    bool pending = false;  // `value` waits to be sent
    bool inFlight = false;
    uint16_t value = 0;      // the newest value asked for
    uint16_t sentValue = 0;  // the last one sent
    uint32_t calls = 0;
    uint32_t sent = 0;
    panoctl_status status = PANOCTL_OK;
};

inline constexpr size_t kCodes = 256;

struct LatestLane {
    bool used = false;
    std::array<char, sizeof(DisplayRecord::id)> id{};  // the display it sends to
    std::array<LatestCode, kCodes> codes{};
    size_t pending = 0;   // codes with a value waiting
    size_t nextCode = 0;  // where the lane looks first, so no code waits behind another
    panoctl_session* session = nullptr;
    pthread_t thread{};
    bool started = false;
};

struct LatestValues {
    std::mutex guard;
    std::condition_variable changed;
    bool stopping = false;
    std::array<LatestLane, kMaxDisplays> lanes;
};

// How long closing a session lets pending values go out before it drops them.
inline constexpr int kCloseFlushMillis = 250;

// At close: sends what is pending for at most kCloseFlushMillis, drops the
// rest, and ends the lanes once their write in flight is done. Returns
// PANOCTL_NOT_SENT when a value was dropped.
panoctl_status stopLatestValues(LatestValues* latest);
