// Runs panoctl in-process on a simulated machine and collects what a caller
// sees: standard output, standard error, the exit status and the bus trace.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct RunResult {
    std::string out;
    std::string err;
    int status = -1;
    std::vector<std::string> trace;
    int liveCfObjects = 0;  // after the run
    int liveAvServices = 0;
    int registryReferences = 0;
    int badRegistryReleases = 0;
};

// Loads `scenario` (JSON text; "" for the built-in machine), runs
// `panoctl <args...>` with pauses traced but not waited, and returns what it
// did. A scenario that does not load fails the calling test.
RunResult runPanoctl(const std::string& scenario, const std::vector<std::string>& args);

// runPanoctl with standard input reading `input` (for batch runs).
RunResult runPanoctlWithInput(const std::string& scenario, const std::vector<std::string>& args,
                              const std::string& input);

// The lines of `text`, without their line feeds.
std::vector<std::string> linesOf(const std::string& text);

// When PANOCTL_TEST_DOCUMENTS names a file, appends to it one line for a run
// that printed a document: "<command word>\t<status>\t<document>", for the
// schema check that runs after the tests. Help and version are not logged;
// of a batch's answers, the usage errors are, as "batch" documents (the
// others are the documents of one-shot runs, which batch tests compare).
void logDocument(const std::vector<std::string>& args, int status, const std::string& out);

// The transfer counters line of a run that discovered displays and made no
// transfer, as DDC_DEBUG shows it at the end.
inline const std::string kNoTransfers = "[dbg] writes=0 reads=0 failed=0 retries=0\n";

// Sets or clears DDC_DEBUG for the lifetime of the object.
class DebugEnv {
public:
    explicit DebugEnv(const char* value);
    ~DebugEnv();
    DebugEnv(const DebugEnv&) = delete;
    DebugEnv& operator=(const DebugEnv&) = delete;
};

// A capabilities cache of the test's own for the lifetime of the object:
// runs in between share it, as the runs of one user do. Without one, runs
// keep no cache. HOME is as it was once the object is gone.
class CacheFolder {
public:
    CacheFolder();
    ~CacheFolder();
    CacheFolder(const CacheFolder&) = delete;
    CacheFolder& operator=(const CacheFolder&) = delete;

    // Where panoctl keeps its files: XDG_CACHE_HOME's panoctl folder.
    std::string folder() const;
    const std::string& base() const { return base_; }

private:
    std::string base_;
    std::optional<std::string> home_;
};

// A configuration file of the test's own for the lifetime of the object:
// `text` written to a private file that PANOCTL_CONFIG names. PANOCTL_CONFIG
// is as it was once the object is gone.
class ConfigFile {
public:
    explicit ConfigFile(const std::string& text);
    ~ConfigFile();
    ConfigFile(const ConfigFile&) = delete;
    ConfigFile& operator=(const ConfigFile&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string folder_;
    std::string path_;
    std::optional<std::string> previous_;
};
