// One library call on one display: the selector resolved (discovering once
// more when it names none), the table kept from rediscovery and the
// display's turn in this process taken, both until the call ends.
#pragma once

#include <mutex>
#include <shared_mutex>

#include "ddc/link.h"
#include "lib/lib_session.h"

class DisplayCall {
public:
    DisplayCall(panoctl_session* session, const char* selector);
    // Publishes the changes the call made to the display's journal.
    ~DisplayCall();
    DisplayCall(const DisplayCall&) = delete;
    DisplayCall& operator=(const DisplayCall&) = delete;

    // OK when a display was found; NO_SUCH_DISPLAY or DISPLAY_GONE otherwise.
    [[nodiscard]] panoctl_status status() const { return status_; }
    [[nodiscard]] const DisplayRecord& display() const { return *display_; }
    // The link of this call's transactions, counted in `counters`.
    [[nodiscard]] DdcLink link(TransferCounters* counters) const;
    // The link and code of `feature`'s transactions, as the display's quirks
    // send it (its own code from 0x51 without one).
    [[nodiscard]] DdcLink featureLink(TransferCounters* counters, uint8_t feature,
                                      uint8_t* code) const;
    [[nodiscard]] const Configuration& config() const { return session_->config; }
    [[nodiscard]] const panoctl_options& options() const { return session_->options; }

private:
    panoctl_session* session_;
    std::shared_lock<std::shared_mutex> table_;
    std::unique_lock<std::mutex> turn_;
    const DisplayRecord* display_ = nullptr;
    panoctl_status status_ = PANOCTL_NO_SUCH_DISPLAY;
};

// The checks every call on a display makes of its arguments first.
inline panoctl_status checkCall(const panoctl_session* session, const char* selector)
{
    if (session == nullptr) {
        return PANOCTL_CLOSED;
    }
    return selector == nullptr ? PANOCTL_INVALID_ARGUMENT : PANOCTL_OK;
}

inline constexpr unsigned kMaxCode = 0xFF;
inline constexpr unsigned kMaxValue = 0xFFFF;
