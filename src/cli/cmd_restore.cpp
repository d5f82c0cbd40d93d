// `restore <display> [file]`: puts back the settings of a saved document,
// writing only those that differ. Everything about the document is checked
// before the bus is touched.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "cli/commands.h"
#include "cli/display_list.h"
#include "cli/display_lookup.h"
#include "cli/quirked_feature.h"
#include "config/config_lookup.h"
#include "config/display_selector.h"
#include "ops/documents.h"
#include "ops/saved_document.h"
#include "ops/settings.h"

namespace {

// One byte more than a document may have, to tell a larger one.
using DocumentBuffer = std::array<char, kMaxSavedDocumentBytes + 1>;

// Reads all of `fd` that fits; false with errno set when a read fails.
bool readAll(int fd, DocumentBuffer* buffer, size_t* length)
{
    *length = 0;
    while (*length < buffer->size()) {
        ssize_t n = read(fd, buffer->data() + *length, buffer->size() - *length);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            break;
        }
        *length += static_cast<size_t>(n);
    }
    return true;
}

bool readDocument(Refusals* refusals, const char* path, DocumentBuffer* buffer, size_t* length)
{
    bool fromInput = std::strcmp(path, "-") == 0;
    int fd = fromInput ? STDIN_FILENO : open(path, O_RDONLY | O_CLOEXEC);
    bool read = fd >= 0 && readAll(fd, buffer, length);
    int error = errno;
    if (fd >= 0 && !fromInput) {
        close(fd);
    }
    if (!read) {
        refuseCommandLine(refusals, "panoctl: cannot read %s: %s",
                          fromInput ? "standard input" : path, std::strerror(error));
    }
    return read;
}

void refuseDocument(Refusals* refusals, const DocumentReading& reading)
{
    auto keyLength = static_cast<int>(reading.key.size());
    const char* key = reading.key.data();
    switch (reading.problem) {
        case DocumentProblem::none: break;
        case DocumentProblem::tooLarge:
            refuseCommandLine(refusals, "panoctl: the document is larger than 64 KiB");
            break;
        case DocumentProblem::notJson:
            refuseCommandLine(refusals, "panoctl: not a JSON document: %s at byte %zu",
                              reading.what, reading.offset);
            break;
        case DocumentProblem::notObject:
            refuseCommandLine(refusals, "panoctl: the document is not a JSON object");
            break;
        case DocumentProblem::noFeatures:
            refuseCommandLine(refusals, "panoctl: the document has no \"features\" object");
            break;
        case DocumentProblem::featuresTwice:
            refuseCommandLine(refusals, "panoctl: the document has \"features\" twice");
            break;
        case DocumentProblem::notRestorable:
            refuseCommandLine(refusals, "panoctl: not a restorable feature: %.*s", keyLength, key);
            break;
        case DocumentProblem::notAnInteger:
            refuseCommandLine(refusals, "panoctl: not an integer from 0 to 65535: %.*s", keyLength,
                              key);
            break;
        case DocumentProblem::givenTwice:
            refuseCommandLine(refusals, "panoctl: feature given twice: %.*s", keyLength, key);
            break;
    }
}

}  // namespace

int commandRestore(Session* session, CommandWords words)
{
    Refusals* refusals = &session->refusals;
    if (!refuseSeveralDisplays(session, words)) {
        return kStatusUsage;
    }
    const char* path = words.size() > 2 ? words[2] : "-";
    if (session->batch && std::strcmp(path, "-") == 0) {
        // The batch's own lines are on standard input.
        refuseCommandLine(refusals,
                          "panoctl: restore in a batch reads a file: restore <display> <file>");
        return kStatusUsage;
    }
    DocumentBuffer buffer;
    size_t length = 0;
    if (!readDocument(refusals, path, &buffer, &length)) {
        return kStatusUsage;
    }
    // Features of one's own are restorable on the displays their model
    // scope names; the document is judged before the display is answered.
    const DisplayRecord* named = findSelected(session->config, session->displays, words[1]);
    OwnRestorable own = ownRestorable(session->config, named != nullptr ? named->name.data() : "");
    SavedSettings settings;
    DocumentReading reading =
        readSavedDocument(std::string_view(buffer.data(), length), &settings, own);
    if (reading.problem != DocumentProblem::none) {
        refuseDocument(refusals, reading);
        return kStatusUsage;
    }
    const DisplayRecord* display = lookupDisplayOrAnswer(session, words[1]);
    if (display == nullptr) {
        return kStatusNoSuchDisplay;
    }
    RestoreOutcomes outcomes =
        restoreSettings(sessionLink(session, *display), session->options.verify, settings,
                        unboundedCodesOf(*session, *display, own), own);
    DocumentText document;
    TextOut written{document};
    writeRestoreDocument(&written, outcomes, own);
    std::fprintf(session->out, "%s\n", document.data());
    return documentStatus(*session, !restoreSucceeded(outcomes));
}
