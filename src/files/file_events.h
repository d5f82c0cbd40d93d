// Word that files in a folder changed, from the system rather than by
// looking: inotify on Linux, kqueue on macOS, side by side in
// file_events.cpp. A watch sleeps on the descriptor until a run writes a
// journal of changes beside the lock files.
#pragma once

struct FileEvents {
    int fd = -1;     // the inotify instance or the kqueue
    int watch = -1;  // inotify: the folder's watch descriptor
};

// Starts watching the folder at `path`, open as `folderFd`, for files made,
// written or renamed into it. False when the system gives no way to.
bool startFileEvents(FileEvents* events, const char* path, int folderFd);

// kqueue tells writes to a file only to a watcher of that file, not of its
// folder: `fileFd`, a file of the folder kept open, is watched too. Nothing
// on Linux, where the folder's watch covers its files.
void watchFileWrites(FileEvents* events, int fileFd);

// Waits up to `timeoutMillis` (0: not at all) for events and takes all that
// came; true when there were any. A signal cuts the wait short.
bool waitForFileEvents(FileEvents* events, int timeoutMillis);

void stopFileEvents(FileEvents* events);
