// What the benchmark files share: one simulated machine loaded at a time,
// and standard output sent to /dev/null while commands run.
#pragma once

#include <string>
#include <string_view>

namespace bench {

// Makes the generated machine (entries, displays) the simulated one, or the
// built-in machine for entries == 0, unless it is loaded already: a
// 100,000-entry scenario takes most of a second to parse, and a benchmark
// function is called several times with the same arguments. Returns false
// with *error set when the machine cannot be loaded.
bool ensureMachine(int entries, int displays, std::string* error);

// Loads `scenario` as the simulated machine, so that the next ensureMachine
// loads its own again. Returns false with *error set when it does not load.
bool loadOtherMachine(std::string_view scenario, std::string* error);

// ensureMachine for the built-in machine, then what every in-process run
// there starts from: no DDC_DEBUG, pauses not waited, no trace file, the
// trace in memory empty.
bool readyBuiltInMachine(std::string* error);

// While alive, standard output goes to /dev/null.
class QuietStdout {
public:
    QuietStdout();
    ~QuietStdout();
    QuietStdout(const QuietStdout&) = delete;
    QuietStdout& operator=(const QuietStdout&) = delete;

private:
    int saved_ = -1;
};

}  // namespace bench
