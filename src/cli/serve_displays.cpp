#include "cli/serve_displays.h"

#include <pthread.h>

#include <array>

namespace {

// A display's work uses little stack: a transaction's buffers and the
// callers above it. Sanitizer builds take several times more.
constexpr size_t kWorkerStackBytes = size_t{512} * 1024;

struct Worker {
    ServeDisplay serve = nullptr;
    void* context = nullptr;
    const DisplayRecord* display = nullptr;
    size_t index = 0;
    DdcLink link;
    TransferCounters counters;
    pthread_t thread{};
    bool started = false;
};

void runWorker(Worker* worker)
{
    worker->serve(worker->context, worker->link, *worker->display, worker->index);
}

void* workerThread(void* argument)
{
    runWorker(static_cast<Worker*>(argument));
    return nullptr;
}

// Starts the worker's thread; false when the system has none to give.
bool startThread(Worker* worker, const pthread_attr_t* attributes)
{
    worker->started = pthread_create(&worker->thread, attributes, workerThread, worker) == 0;
    return worker->started;
}

}  // namespace

void serveDisplays(Session* session, const DisplayList& list, ServeDisplay serve, void* context)
{
    std::array<Worker, kMaxDisplayListElements> workers;
    size_t count = 0;
    for (size_t i = 0; i < list.count; i++) {
        if (list.entries[i].display == nullptr) {
            continue;
        }
        Worker& worker = workers[count++];
        worker.serve = serve;
        worker.context = context;
        worker.display = list.entries[i].display;
        worker.index = i;
        worker.link = displayLink(&session->displays, *worker.display, session->options.retries,
                                  &worker.counters);
        deferChangesToHold(*session, worker.link);
    }

    pthread_attr_t attributes;
    bool parallel =
        !session->options.oneAtATime && count > 1 && pthread_attr_init(&attributes) == 0;
    if (parallel) {
        pthread_attr_setstacksize(&attributes, kWorkerStackBytes);
        for (size_t i = 0; i < count; i++) {
            // A display the system gives no thread for is served here, in
            // turn, while the others go on in theirs.
            if (!startThread(&workers[i], &attributes)) {
                runWorker(&workers[i]);
            }
        }
        pthread_attr_destroy(&attributes);
    }
    for (size_t i = 0; i < count; i++) {
        Worker& worker = workers[i];
        if (worker.started) {
            pthread_join(worker.thread, nullptr);
        } else if (!parallel) {
            runWorker(&worker);
        }
    }
    for (size_t i = 0; i < count; i++) {
        session->counters += workers[i].counters;
    }
}
