// Serving the displays of a list: each in a thread of its own, so that all
// of them take about as long as the slowest, or, with --one-at-a-time, one
// after another in the list's order. Each display is driven through a link
// of its own (its own retries and counters) and under its own lock; its
// transfers are added to the session's counters once all are done.
#pragma once

#include <array>
#include <cstddef>
#include <cstdio>
#include <type_traits>

#include "cli/commands.h"
#include "cli/display_list.h"
#include "cli/session.h"
#include "ddc/link.h"

// Called once for each entry of the list that is a display, with the
// entry's index; from several threads at once unless one at a time.
using ServeDisplay = void (*)(void* context, const DdcLink& link, const DisplayRecord& display,
                              size_t index);

void serveDisplays(Session* session, const DisplayList& list, ServeDisplay serve, void* context);

// serveDisplays with a callable `serve(link, display, index)`.
template <typename Serve>
void serveEachDisplay(Session* session, const DisplayList& list, Serve&& serve)
{
    using Callable = std::remove_reference_t<Serve>;
    serveDisplays(
        session, list,
        [](void* context, const DdcLink& link, const DisplayRecord& display, size_t index) {
            (*static_cast<Callable*>(context))(link, display, index);
        },
        &serve);
}

// A command over the displays that `selector` lists: reads the list (a
// refused one gives kStatusUsage), serves each display with
// `serve(link, display)`, which returns its Result, and once all are done
// prints the array, each display's entry ended by `finish(out, result)`
// (which writes the members after the id and the closing brace, and returns
// whether the entry reports a failure). Returns the document's status: a
// failure is any such entry, a list element that names no display, or an
// empty document (`all` on a machine with none: nothing was done).
template <typename Result, typename Serve, typename Finish>
int commandOverDisplays(Session* session, const char* selector, Serve&& serve, Finish&& finish)
{
    DisplayList list;
    if (!readDisplayList(session, selector, &list)) {
        return kStatusUsage;
    }
    std::array<Result, kMaxDisplayListElements> results{};
    serveEachDisplay(session, list,
                     [&](const DdcLink& link, const DisplayRecord& display, size_t index) {
                         results[index] = serve(link, display);
                     });
    bool anyFailed = false;
    std::fputc('[', session->out);
    for (size_t i = 0; i < list.count; i++) {
        printEntryStart(*session, list.entries[i], i);
        bool failed = list.entries[i].display == nullptr || finish(session->out, results[i]);
        anyFailed = anyFailed || failed;
    }
    std::fprintf(session->out, "]\n");
    return documentStatus(*session, anyFailed || list.count == 0);
}
