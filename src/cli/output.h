// How a run starts and ends around its one document: the standard
// descriptors made safe to use, and the document's delivery checked.
#pragma once

#include "cli/session.h"

// Exit status of a run whose document could not be written.
inline constexpr int kStatusOutputFailed = 3;

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed, so that
// no file the run opens later takes one of their numbers (a document written
// into a trace or lock file), standard output for reading only, so that the
// document still cannot be written (EBADF, status 3); and ignores SIGPIPE, so that a pipe whose
// reader is gone fails the write (status 3, with its message) instead of
// killing the process without a word. Called first thing in main.
void guardStandardDescriptors();

// Flushes the session's output. Returns `status` when everything written
// reached it; otherwise writes "panoctl: cannot write standard output:
// <reason>" to the session's diagnostics (once per session) and returns
// kStatusOutputFailed.
int finishOutput(Session* session, int status);
