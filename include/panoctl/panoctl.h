/*
 * libpanoctl: monitor settings over DDC/CI for programs that stay running
 * (menu-bar sliders, hotkey daemons, scripting hosts), on the same core as
 * the panoctl command.
 *
 * C99, usable from C++. Every name starts with panoctl_ or PANOCTL_.
 *
 * What the library never does: print, exit, abort on bad input, or read the
 * environment. Every call returns a panoctl_status; a bad argument (a null
 * pointer, a code over 255, a value over 65535, a buffer too small) gives
 * its status and changes nothing.
 *
 * Displays are named as on the command line: by position ("1", "2", ... in
 * the order of panoctl_display_info) or by id (the EDID UUID), matched in any
 * letter case. An id stays valid across rediscovery for as long as the
 * display stays plugged in; a position may then name another display. A
 * selector that names no display makes the session discover once more
 * before it answers PANOCTL_NO_SUCH_DISPLAY (never seen) or
 * PANOCTL_DISPLAY_GONE (an id this session found before).
 *
 * Threads: a session may be used from any number of threads at once. Calls
 * on different displays run in parallel; calls on one display take turns,
 * in this process and with other processes (the panoctl command included)
 * through the same per-display lock file. That lock is held for one DDC/CI
 * transaction at a time, never between calls, so a program that keeps a
 * session open never keeps another program from a display. Rediscovery
 * waits for the calls running on the session's displays, and they for it.
 *
 * Blocking: calls that reach a monitor block for its DDC/CI pauses (a get
 * about 50 ms, a set about 60 ms, more with retries; capabilities several
 * hundred ms unless cached). Call them from a worker thread, or use
 * panoctl_set_latest, which returns at once.
 */
#ifndef PANOCTL_PANOCTL_H
#define PANOCTL_PANOCTL_H

#include <stddef.h>

#if defined(__GNUC__) || defined(__clang__)
#define PANOCTL_API __attribute__((visibility("default")))
#else
#define PANOCTL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* What a call came to. panoctl_status_name gives each a stable word, the
 * one the panoctl command's JSON documents use where they have it. */
typedef enum panoctl_status {
    PANOCTL_OK = 0,                /* "ok" */
    PANOCTL_NO_SUCH_DISPLAY = 1,   /* "no_such_display": the selector names none */
    PANOCTL_UNSUPPORTED = 2,       /* "unsupported": the monitor says it has no such feature */
    PANOCTL_READ_FAILED = 3,       /* "read_failed": no valid reply, retries spent */
    PANOCTL_WRITE_FAILED = 4,      /* "write_failed": the monitor took no write */
    PANOCTL_DISPLAY_BUSY = 5,      /* "display_busy": reserved; this version waits its turn */
    PANOCTL_INVALID_ARGUMENT = 6,  /* "invalid_argument": a null pointer, a value out of range */
    PANOCTL_DISPLAY_GONE = 7,      /* "display_gone": an id found before, now unplugged */
    PANOCTL_NO_CAPABILITIES = 8,   /* "no_capabilities": the monitor sent no string */
    PANOCTL_BUFFER_TOO_SMALL = 9,  /* "buffer_too_small": *needed says how much */
    PANOCTL_CLOSED = 10,           /* "closed": no session (null, or closed) */
    PANOCTL_INVALID_DOCUMENT = 11, /* "invalid_document": not a saved document */
    PANOCTL_TIMED_OUT = 12,        /* "timed_out": a flush whose values had not all landed */
    PANOCTL_NOT_SENT = 13,         /* "not_sent": a latest value dropped at close */
    PANOCTL_NO_RESOURCES = 14      /* "no_resources": no memory, thread or descriptor */
} panoctl_status;

/* The status's stable word ("ok", "no_such_display", ...); "unknown" for a
 * number that is no status. Never null; any thread; never blocks. */
PANOCTL_API const char* panoctl_status_name(panoctl_status status);

/* The library's version, "MAJOR.MINOR.PATCH", the panoctl command's.
 * Any thread; never blocks. */
PANOCTL_API const char* panoctl_version(void);

/* Options of a session. Fill with panoctl_options_init, then change what
 * you need: `size` lets later versions add members. */
typedef struct panoctl_options {
    size_t size; /* sizeof(panoctl_options), set by panoctl_options_init */
    int retries; /* times a failed transaction is made again, 0 to 10 (--retries) */
    int verify;  /* nonzero: a set reads the value back (--verify) */
    int refresh; /* nonzero: read capabilities from the monitor, not the cache (--refresh) */
    /* Path of a configuration file (aliases, calibration, features of one's
     * own, quirks), or null for none; a path where no file is is none too.
     * The library reads no environment variable for it. Added in 0.4: a
     * caller built with an older header, whose `size` ends before it, has
     * none. */
    const char* config;
} panoctl_options;

/* Fills `options` with the defaults (no retries, no verify, the cache
 * used). Any thread; never blocks. Nothing happens for a null pointer. */
PANOCTL_API void panoctl_options_init(panoctl_options* options);

typedef struct panoctl_session panoctl_session;

/* Opens a session and discovers the displays. `options` may be null for the
 * defaults. Statuses: OK (*session set), INVALID_ARGUMENT (null `session`,
 * a `size` too small, retries out of range, a configuration file that the
 * command line would refuse: `panoctl config check` says why), NO_RESOURCES. Blocks for
 * discovery (milliseconds). Any thread. */
PANOCTL_API panoctl_status panoctl_open(const panoctl_options* options, panoctl_session** session);

/* Closes the session and sets *session to null, so later calls through
 * that pointer answer PANOCTL_CLOSED. Values of panoctl_set_latest still
 * pending are sent first, for at most 250 ms in all; what is not sent by
 * then is dropped whole (a write is never left half done), and the call
 * answers PANOCTL_NOT_SENT. Statuses: OK, NOT_SENT, CLOSED (null or
 * already closed). Call it once no other call on the session runs or will
 * start. */
PANOCTL_API panoctl_status panoctl_close(panoctl_session** session);

/* Discovers the displays again (after a hot-plug, say). Statuses: OK,
 * CLOSED. Blocks for discovery and until calls running on the session's
 * displays end. Any thread. */
PANOCTL_API panoctl_status panoctl_rediscover(panoctl_session* session);

/* How many displays the latest discovery found. Statuses: OK, CLOSED,
 * INVALID_ARGUMENT. Never touches a monitor. Any thread. */
PANOCTL_API panoctl_status panoctl_display_count(panoctl_session* session, size_t* count);

/* One display of the latest discovery, as `panoctl list` shows it. */
typedef struct panoctl_display_info {
    size_t size;     /* set by the caller: sizeof(panoctl_display_info) */
    int position;    /* from 1: the selector "1", "2", ... */
    char id[40];     /* the EDID UUID: a selector that lasts */
    char name[128];  /* UTF-8 product name, or "Display" */
    char serial[24]; /* upper-case hex, or empty */
} panoctl_display_info;

/* Fills `info` for the display at `index` (from 0). Statuses: OK, CLOSED,
 * INVALID_ARGUMENT (null, `size` too small), NO_SUCH_DISPLAY (index past
 * the end). Never touches a monitor. Any thread. */
PANOCTL_API panoctl_status panoctl_display_info_at(panoctl_session* session, size_t index,
                                                   panoctl_display_info* info);

/* Reads VCP feature `code` (0 to 255): its current value and its maximum
 * (`maximum` may be null). Statuses: OK, CLOSED, INVALID_ARGUMENT,
 * NO_SUCH_DISPLAY, DISPLAY_GONE, READ_FAILED, UNSUPPORTED. Blocks for one
 * get transaction. Any thread. */
PANOCTL_API panoctl_status panoctl_get(panoctl_session* session, const char* display, unsigned code,
                                       unsigned* value, unsigned* maximum);

/* Writes `value` (0 to 65535) to feature `code`; with the verify option,
 * reads it back. Statuses: OK, CLOSED, INVALID_ARGUMENT, NO_SUCH_DISPLAY,
 * DISPLAY_GONE, WRITE_FAILED. Blocks for one set transaction. Any thread. */
PANOCTL_API panoctl_status panoctl_set(panoctl_session* session, const char* display, unsigned code,
                                       unsigned value);

/* Moves feature `code` from its current value: by `step` (signed, -65535 to
 * 65535) or, with `percent` nonzero, by `step` percent of the maximum (-100
 * to 100), held between 0 and the maximum. *value (may be null) gets the
 * value written. Only for levels (brightness, contrast, a manufacturer's
 * code): a code the MCCS table knows as a choice (input, power mode, ...) or
 * an action is INVALID_ARGUMENT. Statuses: OK, CLOSED, INVALID_ARGUMENT,
 * NO_SUCH_DISPLAY, DISPLAY_GONE, READ_FAILED or UNSUPPORTED (nothing
 * written), WRITE_FAILED. Blocks for a get and a set transaction. Any
 * thread. */
PANOCTL_API panoctl_status panoctl_step(panoctl_session* session, const char* display,
                                        unsigned code, int step, int percent, unsigned* value);

/* Sets feature `code` to `percent` (0 to 100) of its maximum. *value (may
 * be null) gets the value written. Statuses and blocking as panoctl_step. */
PANOCTL_API panoctl_status panoctl_set_percent(panoctl_session* session, const char* display,
                                               unsigned code, unsigned percent, unsigned* value);

/* Text results: a call copies its text and a NUL into `buffer` of `size`
 * bytes and sets *needed (may be null) to the text's length plus one. When
 * the buffer is too small (or null with size 0) it answers
 * BUFFER_TOO_SMALL, and *needed says the size to ask with; the monitor was
 * still read, so ask again with a buffer that size. */

/* The monitor's capabilities string as it sent it, always read from the
 * monitor. Statuses: OK, CLOSED, INVALID_ARGUMENT, NO_SUCH_DISPLAY,
 * DISPLAY_GONE, NO_CAPABILITIES, BUFFER_TOO_SMALL. Blocks for the reading
 * (tens of fragments). Any thread. */
PANOCTL_API panoctl_status panoctl_capabilities(panoctl_session* session, const char* display,
                                                char* buffer, size_t size, size_t* needed);

/* The decoded capabilities as a JSON text, the document of `panoctl
 * features` without its line feed: {"model":...,"type":...,"mccsVersion":
 * ...,"commands":[...],"vcp":[{"code":16,"name":"brightness"},...]}. Uses
 * the capabilities cache unless the refresh option is set. Statuses as
 * panoctl_capabilities. */
PANOCTL_API panoctl_status panoctl_features_json(panoctl_session* session, const char* display,
                                                 char* buffer, size_t size, size_t* needed);

/* What one address combination of a probe gave. */
typedef struct panoctl_probe_result {
    unsigned chip;         /* 0x37, or 0x50 (reported only: never written to) */
    unsigned data_address; /* 0x51, 0x50 or 0x52 */
    int written;           /* the bare request was acknowledged */
    int ok;                /* a VCP read there gave a valid reply */
    int current;           /* the value read, or -1 */
    int maximum;           /* its maximum, or -1 */
} panoctl_probe_result;

#define PANOCTL_PROBE_COMBINATIONS 6

/* Tries a read of feature `code` at each of the six address combinations,
 * as `panoctl probeaddr` does, into `results` (PANOCTL_PROBE_COMBINATIONS
 * of them). Statuses: OK, CLOSED, INVALID_ARGUMENT, NO_SUCH_DISPLAY,
 * DISPLAY_GONE. Blocks for six transactions. Any thread. */
PANOCTL_API panoctl_status panoctl_probe(panoctl_session* session, const char* display,
                                         unsigned code,
                                         panoctl_probe_result results[PANOCTL_PROBE_COMBINATIONS]);

/* The monitor's restorable settings as the JSON text `panoctl save` prints
 * (without its line feed). Statuses: those of text results, and READ_FAILED
 * when none of the settings it tried could be read. Blocks for the
 * capabilities (unless cached) and a get per setting. Any thread. */
PANOCTL_API panoctl_status panoctl_save_json(panoctl_session* session, const char* display,
                                             char* buffer, size_t size, size_t* needed);

/* Puts back the settings of a saved document (`length` bytes of
 * `document`), writing only those that differ, as `panoctl restore` does.
 * Everything about the document is checked before the bus is touched. The
 * report, `panoctl restore`'s document without its line feed, is written
 * to `report` as a text result; `report` may be null with `size` 0 when it
 * is not wanted. Statuses: OK, CLOSED, INVALID_ARGUMENT, INVALID_DOCUMENT,
 * NO_SUCH_DISPLAY, DISPLAY_GONE, WRITE_FAILED (a feature failed: see the
 * report), BUFFER_TOO_SMALL (the settings were restored; only the report
 * did not fit). Blocks for a get, and maybe a set, per feature. Any
 * thread. */
PANOCTL_API panoctl_status panoctl_restore_json(panoctl_session* session, const char* display,
                                                const char* document, size_t length, char* report,
                                                size_t size, size_t* needed);

/* Latest value wins, for a slider: panoctl_set_latest returns at once and
 * keeps only the newest value per (display, code); a thread of the
 * session's own per display sends it as soon as that display is free, as
 * panoctl_set would (verify option included). While one value is on the
 * bus, newer ones replace each other, so however fast the calls come the
 * monitor gets at most one set transaction per set's time, plus two, and
 * ends at the last value. */

/* Keeps `value` (0 to 65535) as the one to send to feature `code` (0 to
 * 255) of `display`, replacing a pending one. The display is resolved now
 * (without discovering again) and remembered by its id. Statuses: OK,
 * CLOSED, INVALID_ARGUMENT, NO_SUCH_DISPLAY, DISPLAY_GONE, NO_RESOURCES
 * (no thread could be started). Returns at once: it waits at most for a
 * rediscovery running at the time. Any thread. */
PANOCTL_API panoctl_status panoctl_set_latest(panoctl_session* session, const char* display,
                                              unsigned code, unsigned value);

/* What became of the latest values of one (display, code) since the
 * previous flush. */
typedef struct panoctl_flush_entry {
    char id[40];           /* the display's id */
    unsigned code;         /* the feature */
    unsigned value;        /* the last value sent */
    unsigned calls;        /* panoctl_set_latest calls made for it */
    unsigned sent;         /* set transactions made for it */
    panoctl_status status; /* OK, or the failure of the last one sent (WRITE_FAILED, ...) */
} panoctl_flush_entry;

/* Waits until every pending value has been sent, for at most `timeout_ms`
 * milliseconds (0: do not wait), then reports each (display, code) that
 * had values since the previous flush into `entries` (`capacity` of them;
 * null with 0 to report nothing) and sets *count (may be null) to how many
 * there were. Entries that do not fit are kept for the next flush.
 * Statuses: OK (all landed), TIMED_OUT (values still pending: they go on
 * being sent), BUFFER_TOO_SMALL (all landed, but *count entries did not
 * fit), CLOSED, INVALID_ARGUMENT. Blocks up to `timeout_ms`. Any thread. */
PANOCTL_API panoctl_status panoctl_flush(panoctl_session* session, unsigned timeout_ms,
                                         panoctl_flush_entry* entries, size_t capacity,
                                         size_t* count);

/* Hot-plug: a watch delivers the events `panoctl watch` prints. It is a
 * pollable file descriptor plus a call that drains the events, rather than
 * a callback: every main loop (Cocoa through CFFileDescriptor or a dispatch
 * source, GLib, Qt's QSocketNotifier, select and poll) can wait on a
 * descriptor, and the program then handles the events on its own thread,
 * where its interface lives; a callback would run on a thread of the
 * library's, which every caller would have to hop off first.
 *
 * Behind the descriptor a thread of the library's waits for the registry's
 * notifications; after each burst it discovers the displays again (so the
 * session's selectors follow) and queues what changed. It never touches a
 * monitor's bus. */

typedef enum panoctl_watch_kind {
    PANOCTL_WATCH_ADDED = 1,   /* a display came (first: one per display present) */
    PANOCTL_WATCH_REMOVED = 2, /* a display went */
    PANOCTL_WATCH_READY = 3,   /* the displays present at the start have been told */
    PANOCTL_WATCH_LOST = 4     /* events were dropped (a full queue, or no notification
                                * source left): list the displays again */
} panoctl_watch_kind;

typedef struct panoctl_watch_event {
    panoctl_watch_kind kind;
    int position; /* ADDED: its place in the list, from 1; otherwise 0 */
    char id[40];  /* ADDED and REMOVED: the display, as panoctl_display_info has it */
    char name[128];
    char serial[24];
} panoctl_watch_event;

/* Starts the session's watch and sets *fd to a descriptor that becomes
 * readable when events wait; do not read or close it yourself. Statuses:
 * OK, CLOSED, INVALID_ARGUMENT, NO_RESOURCES (no notification port, pipe or
 * thread; or a watch already running). Blocks for the first discovery. Any
 * thread. */
PANOCTL_API panoctl_status panoctl_watch_start(panoctl_session* session, int* fd);

/* Takes up to `capacity` waiting events into `events`, oldest first, and
 * sets *count to how many it took; the descriptor stays readable while
 * more wait. Statuses: OK, CLOSED, INVALID_ARGUMENT (null pointers, no
 * watch running). Never blocks. Any thread. */
PANOCTL_API panoctl_status panoctl_watch_read(panoctl_session* session, panoctl_watch_event* events,
                                              size_t capacity, size_t* count);

/* Stops the watch and closes its descriptor; panoctl_close does it too.
 * Statuses: OK, CLOSED. Blocks until the watch's thread ends (at most a few
 * hundred ms). Any thread. */
PANOCTL_API panoctl_status panoctl_watch_stop(panoctl_session* session);

#ifdef __cplusplus
}
#endif

#endif /* PANOCTL_PANOCTL_H */
