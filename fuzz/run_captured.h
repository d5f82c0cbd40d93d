// One in-process run of panoctl for the fuzzers, seen as its caller would see
// the process: standard output and standard error are caught in memory files
// around panoctl_main, and what the process would free at exit is freed.
#pragma once

#include <sanitizer/common_interface_defs.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/dispatch.h"
#include "discovery/display_table.h"
#include "sim_control.h"

namespace fuzz {

struct RunOutput {
    int status = -1;
    std::string out;
    std::string err;
};

namespace detail {

inline void require(bool ok, const char* what)
{
    if (!ok) {
        std::perror(what);
        std::abort();
    }
}

// A memory file standing in for one of the process's streams.
class Stream {
public:
    Stream(int fd, const char* name) : fd_(fd), file_(memfd_create(name, 0))
    {
        require(file_ >= 0, "memfd_create");
    }
    void begin()
    {
        require(ftruncate(file_, 0) == 0, "ftruncate");
        require(lseek(file_, 0, SEEK_SET) == 0, "lseek");
        saved_ = dup(fd_);
        require(saved_ >= 0 && dup2(file_, fd_) == fd_, "dup2");
    }
    std::string end() const
    {
        require(dup2(saved_, fd_) == fd_, "dup2");
        close(saved_);
        std::string text;
        char buffer[4096];
        lseek(file_, 0, SEEK_SET);
        for (ssize_t n; (n = read(file_, buffer, sizeof buffer)) > 0;) {
            text.append(buffer, static_cast<size_t>(n));
        }
        return text;
    }

private:
    int fd_;
    int file_;
    int saved_ = -1;
};

// A memory file holding what the run reads on standard input, so a batch
// never reads the fuzzer's own.
class Input {
public:
    Input() : file_(memfd_create("panoctl-stdin", 0)) { require(file_ >= 0, "memfd_create"); }
    void begin(const std::string& text)
    {
        // Standard input shares this file's offset, which the last run's
        // reads moved: the text goes at the start, not after a hole.
        require(ftruncate(file_, 0) == 0, "ftruncate");
        require(pwrite(file_, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size()),
                "pwrite");
        require(lseek(file_, 0, SEEK_SET) == 0, "lseek");
        saved_ = dup(STDIN_FILENO);
        require(saved_ >= 0 && dup2(file_, STDIN_FILENO) == STDIN_FILENO, "dup2");
    }
    void end() const
    {
        require(dup2(saved_, STDIN_FILENO) == STDIN_FILENO, "dup2");
        close(saved_);
    }

private:
    int file_;
    int saved_ = -1;
};

}  // namespace detail

// Once per target, from LLVMFuzzerInitialize: sanitizer reports go to the
// real standard error even while a run has it caught, and no debug line
// mixes into the captured streams. No capabilities cache: every run reads
// the monitor as the last one did, and nothing is written to the home folder.
inline void prepareProcess()
{
    setenv("XDG_CACHE_HOME", "/dev/null", 1);
    // The interface takes the descriptor as a pointer.
    // NOLINTNEXTLINE(performance-no-int-to-ptr)
    __sanitizer_set_report_fd(reinterpret_cast<void*>(static_cast<intptr_t>(dup(STDERR_FILENO))));
    unsetenv("DDC_DEBUG");
    // A watch runs until a signal: here it finds no notification port and
    // ends at once with its one-line failure.
    sim::setNotificationPortCreationFails(true);
}

// Whether an input names the save command, which writes the file it is
// given: fuzzing must never write over the machine's files, or litter the
// folder it runs in.
inline bool mayWriteAFile(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text.find("save") != std::string::npos;
}

// Runs `panoctl <args...>` on the simulated machine loaded now, with `input`
// on standard input.
inline RunOutput runCaptured(const std::vector<std::string>& args, const std::string& input = "")
{
    static detail::Input in;
    static detail::Stream out(STDOUT_FILENO, "panoctl-stdout");
    static detail::Stream err(STDERR_FILENO, "panoctl-stderr");
    std::vector<std::string> words{"panoctl"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    std::fflush(stdout);
    std::fflush(stderr);
    in.begin(input);
    out.begin();
    err.begin();
    RunOutput result;
    Session session;
    result.status = panoctl_main(&session, static_cast<int>(words.size()), argv.data());
    std::fflush(stdout);
    std::fflush(stderr);
    result.err = err.end();
    result.out = out.end();
    in.end();
    releaseDisplays(&session.displays);
    return result;
}

// Ends the fuzzing run with a finding: what was wrong, then abort, which
// libFuzzer reports with the input that caused it.
[[noreturn]] inline void finding(const std::string& what, const RunOutput& run)
{
    std::fprintf(stderr, "finding: %s\nstatus %d\nstdout: %s\nstderr: %s\n", what.c_str(),
                 run.status, run.out.c_str(), run.err.c_str());
    std::abort();
}

}  // namespace fuzz
