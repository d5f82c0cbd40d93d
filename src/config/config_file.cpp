// The file itself: whether there is one, whether it may be trusted, and its
// text. Like ssh with its own files, panoctl refuses a configuration that
// someone else could have written: it decides which monitor a command
// reaches and what is sent to it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "config/config_file.h"

namespace {

// Far more than any person's configuration, and a bound on what is read.
constexpr off_t kMaxConfigBytes = 1 << 20;

void describe(ConfigError* error, const char* what)
{
    error->line = 0;
    error->column = 0;
    std::snprintf(error->what.data(), error->what.size(), "%s", what);
}

// Refuses what is not a regular file the user's own (or root's) that only
// its owner may write.
bool trustworthy(const struct stat& status, ConfigError* error)
{
    if (!S_ISREG(status.st_mode)) {
        describe(error, "not a regular file");
        return false;
    }
    if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        describe(error, "writable by others (chmod go-w fixes it)");
        return false;
    }
    if (status.st_uid != getuid() && status.st_uid != 0) {
        describe(error, "owned by another user");
        return false;
    }
    if (status.st_size > kMaxConfigBytes) {
        describe(error, "larger than 1 MiB");
        return false;
    }
    return true;
}

bool readWhole(int descriptor, off_t size, std::string* text, ConfigError* error)
{
    text->resize(static_cast<size_t>(size));
    size_t done = 0;
    while (done < text->size()) {
        ssize_t got = read(descriptor, text->data() + done, text->size() - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            describe(error, got < 0 ? std::strerror(errno) : "shorter than its size");
            return false;
        }
        done += static_cast<size_t>(got);
    }
    return true;
}

}  // namespace

ConfigLoad loadConfigFile(const char* path, std::span<const std::string_view> reservedWords,
                          Configuration* config, ConfigError* error)
{
    *config = Configuration{};
    addBuiltInQuirks(config);
    if (path == nullptr || *path == '\0') {
        return ConfigLoad::none;
    }
    // O_NONBLOCK: a FIFO put where the file should be must not hang the run
    // before it is refused.
    int descriptor = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (descriptor < 0 && errno == ENOENT) {
        return ConfigLoad::none;
    }
    if (descriptor < 0) {
        *config = Configuration{};
        describe(error, std::strerror(errno));
        return ConfigLoad::refused;
    }
    struct stat status {};
    std::string text;
    bool read = false;
    if (fstat(descriptor, &status) != 0) {
        describe(error, std::strerror(errno));
    } else {
        read = trustworthy(status, error) && readWhole(descriptor, status.st_size, &text, error);
    }
    close(descriptor);
    if (!read) {
        return ConfigLoad::refused;
    }
    if (std::strlen(path) >= config->path.size()) {
        describe(error, "path too long");
        return ConfigLoad::refused;
    }
    if (!parseConfigText(text, reservedWords, config, error)) {
        *config = Configuration{};
        return ConfigLoad::refused;
    }
    config->fromFile = true;
    std::memcpy(config->path.data(), path, std::strlen(path) + 1);
    return ConfigLoad::loaded;
}
