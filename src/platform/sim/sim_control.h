// Control and inspection of the simulated platform, for the sim build's entry
// point, the tests and the benchmarks. The core never includes this file.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// Replaces the simulated machine with the one the scenario describes. On
// failure returns false, sets *error to "<what is wrong>" (no path prefix) and
// leaves an empty machine (no registry entries below the root, no monitors).
bool loadScenarioText(std::string_view text, std::string* error);
// Reads and loads a scenario file; *error as above. From the second
// discovery on, the file is read again whenever it has changed (monitors
// whose key remains keep their values); one that no longer loads ends the
// process with the one-line scenario error and status 2.
bool loadScenarioFile(const std::string& path, std::string* error);
// The built-in machine: a built-in panel and two external monitors.
void loadDefaultScenario();
std::string_view defaultScenarioText();

// Sets the simulation up from PANOCTL_SIM_SCENARIO, PANOCTL_SIM_SEED,
// PANOCTL_SIM_TRACE, PANOCTL_SIM_FAST and PANOCTL_SIM_STATE. On failure returns
// false with *error = "scenario <path>: <what is wrong>" (or "seed ...",
// "trace ..."). With `useStateFile` false, PANOCTL_SIM_STATE is not used.
bool configureFromEnvironment(std::string* error, bool useStateFile = true);
// Writes "panoctl: <message>" and a line feed on standard error. The entry
// point replaces how the message is written (`print`), so that paths and
// keys in it cannot break the line or reach the terminal raw.
void reportError(const std::string& message);
void setErrorPrinter(void (*print)(const char* message));

// Work to do once the command has run (such as writing monitor state back).
// Returns false with *error set on failure.
// `kept`, when given, is called once the state is written back and before
// its lock is let go: what it tells of the run's changes (panoctl's journal
// of changes) comes after they are kept and before another run may change
// them.
bool finishRun(std::string* error, const std::function<void()>& kept = {});

// The PANOCTL_SIM_STATE file around one command, for a batch's lines:
// takeMonitorState locks it and applies its values (loadMonitorState),
// giveMonitorState writes back what changed and unlocks it
// (saveMonitorState). Both do nothing without a state file; on failure
// *error is "scenario <path>: <what is wrong>". configureFromEnvironment
// takes it for the whole run, and finishRun gives it back.
bool takeMonitorState(std::string* error);
bool giveMonitorState(std::string* error, const std::function<void()>& kept = {});

// Monitor values kept from run to run in a state file (PANOCTL_SIM_STATE).
// loadMonitorState takes the exclusive lock on "<path>.lock", reads the file
// (a missing one holds no values) and applies it to the current machine's
// monitors; the lock stays held until saveMonitorState. On failure it
// releases the lock, returns false and sets *error to "<what is wrong>".
bool loadMonitorState(const std::string& path, std::string* error);
// Writes the state file back (new file, fsync, rename) when a monitor
// value changed since loadMonitorState, then releases the lock. Does nothing
// when no state was loaded. On failure the old file stays and *error is set.
bool saveMonitorState(std::string* error, const std::function<void()>& kept = {});

// The file of presses of the monitors' own buttons ("" for none); a
// monitor takes the presses it has not had before each operation on it.
void setPanelFile(const std::string& path);

// Pauses: traced always, waited only when not fast.
void setFastPauses(bool fast);
// Appends each trace line to this file as well ("" for none).
void setTraceFile(const std::string& path);
// Whether trace lines are also kept in memory for traceLines (the default);
// the sim build's entry point turns it off, so that a batch of any length
// holds no more memory than its first line did.
void keepTraceInMemory(bool keep);
// Every trace line of the current machine, in order, without line feeds.
const std::vector<std::string>& traceLines();
void clearTrace();

// Makes IORegistryEntryCreateIterator fail (for tests of that path).
void setIteratorCreationFails(bool fails);
// Changes the registry while it is walked (for tests of that path): after
// `afterEntries` more calls of IOIteratorNext the machine becomes the one
// `scenarioText` describes, as when the scenario file is rewritten, and every
// iterator goes invalid; again after as many calls, `times` times in all.
void changeRegistryDuringWalks(uint64_t afterEntries, int times, std::string scenarioText);

// Makes IONotificationPortCreate fail (for tests of a registry that cannot
// be watched), and the ports alive now.
void setNotificationPortCreationFails(bool fails);
int liveNotificationPorts();

// Ownership counters. Live Core Foundation objects counts every object
// created and not yet freed (AV service handles included); outstanding
// registry references counts root, iterator, entry and parent references
// handed out and not released.
int liveCfObjects();
int liveAvServices();
int outstandingRegistryReferences();
// Misuse seen since the machine was loaded: releases of a registry object
// that held no reference.
int badRegistryReleases();

// Work counters since the machine was loaded, for benchmarks. Registry
// operations are the calls that reach the kernel on the real system: every
// IORegistry* call, IOIteratorNext, IOObjectRelease and
// IOAVServiceCreateWithService (not the I2C transfers, which are bus traffic).
// Core Foundation objects created counts each object made, the members of a
// copied dictionary or array and AV service handles included.
uint64_t registryOperations();
uint64_t cfObjectsCreated();

// The current value of a simulated monitor's VCP code, if it supports it.
std::optional<int> monitorVcpCurrent(std::string_view monitorKey, int code);

}  // namespace sim
