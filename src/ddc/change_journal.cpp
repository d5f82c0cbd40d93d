#include "ddc/change_journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <span>

#include "ddc/display_lock.h"

namespace {

constexpr std::array<char, 17> kMagic{"panoctl-journal1"};
constexpr size_t kHeaderBytes = 16;
constexpr size_t kSlotBytes = 16;
constexpr size_t kSlots = 256;
constexpr size_t kFileBytes = kHeaderBytes + kSlots * kSlotBytes;

using FileBytes = std::array<uint8_t, kFileBytes>;
using Slot = std::span<const uint8_t, kSlotBytes>;

// Why a file at the journal's name is not the journal; null when it is.
using Problem = const char*;

uint32_t fnv1a(std::span<const uint8_t> bytes)
{
    uint32_t hash = 2166136261U;
    for (uint8_t byte : bytes) {
        hash = (hash ^ byte) * 16777619U;
    }
    return hash;
}

uint32_t read32(const uint8_t* at)
{
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
           static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

uint16_t read16(const uint8_t* at)
{
    return static_cast<uint16_t>(at[0] | at[1] << 8);
}

void write32(uint8_t* at, uint32_t value)
{
    for (int i = 0; i < 4; i++) {
        at[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

void write16(uint8_t* at, uint16_t value)
{
    at[0] = static_cast<uint8_t>(value & 0xFF);
    at[1] = static_cast<uint8_t>(value >> 8);
}

// Slot layout: sequence (4 bytes), code, flags (1: maximum known), value
// (2), maximum (2), two zero bytes, checksum of the twelve before (4); all
// little-endian. A slot never written is all zeros.
bool decodeSlot(Slot slot, uint8_t code, JournalEntry* entry)
{
    *entry = JournalEntry{};
    uint32_t sequence = read32(slot.data());
    if (sequence == 0) {
        return std::all_of(slot.begin(), slot.end(), [](uint8_t byte) { return byte == 0; });
    }
    if (slot[4] != code || slot[5] > 1 || slot[10] != 0 || slot[11] != 0 ||
        read32(slot.data() + 12) != fnv1a(slot.first(12))) {
        return false;
    }
    entry->sequence = sequence;
    entry->maximumKnown = slot[5] == 1;
    entry->value = read16(slot.data() + 6);
    entry->maximum = read16(slot.data() + 8);
    return true;
}

std::array<uint8_t, kSlotBytes> encodeSlot(uint8_t code, const JournalEntry& entry)
{
    std::array<uint8_t, kSlotBytes> slot{};
    write32(slot.data(), entry.sequence);
    slot[4] = code;
    slot[5] = entry.maximumKnown ? 1 : 0;
    write16(slot.data() + 6, entry.value);
    write16(slot.data() + 8, entry.maximum);
    write32(slot.data() + 12, fnv1a(std::span(slot).first(12)));
    return slot;
}

// Opens the journal, `flags` added to the checks every open makes.
int openJournal(int folder, const char* name, int flags, Problem* problem)
{
    *problem = nullptr;
    int fd = openat(folder, name, flags | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ELOOP) {
            *problem = "is a symbolic link";
        } else if (errno == EISDIR || errno == ENXIO) {
            *problem = "is not a regular file";
        } else if (errno != ENOENT) {
            *problem = "cannot be opened";
        }
        return -1;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        *problem = "is not a regular file";
    } else if (info.st_uid != geteuid()) {
        *problem = "belongs to another user";
    } else if (static_cast<uint64_t>(info.st_size) != kFileBytes) {
        *problem = "has the wrong size";
    }
    if (*problem != nullptr) {
        close(fd);
        return -1;
    }
    return fd;
}

// Reads the whole file and its header.
Problem readWhole(int fd, FileBytes* bytes, JournalEntries* identity = nullptr)
{
    struct stat info {};
    if (identity != nullptr && fstat(fd, &info) == 0) {
        identity->device = static_cast<uint64_t>(info.st_dev);
        identity->inode = static_cast<uint64_t>(info.st_ino);
    }
    ssize_t got = pread(fd, bytes->data(), bytes->size(), 0);
    if (got != static_cast<ssize_t>(bytes->size())) {
        return "has the wrong size";
    }
    if (std::memcmp(bytes->data(), kMagic.data(), kHeaderBytes) != 0) {
        return "is not a journal";
    }
    return nullptr;
}

Slot slotOf(const FileBytes& bytes, size_t code)
{
    return Slot(bytes.data() + kHeaderBytes + code * kSlotBytes, kSlotBytes);
}

void warnOnce(const DdcLink& link, const char* name, const char* problem)
{
    DisplayLock& lock = *link.lock;
    if (lock.journalWarned) {
        return;
    }
    lock.journalWarned = true;
    lock.journalWarning.pending = true;
    std::snprintf(lock.journalWarning.text.data(), lock.journalWarning.text.size(),
                  "panoctl: journal %s/%s %s: ignored, and a new one made",
                  link.lockFolder->path.data(), name, problem);
}

// Puts an empty journal at `name`: written whole under another name, then
// renamed over whatever is there (a link is replaced, not followed). The
// caller holds the display's lock, so no other run writes it meanwhile.
bool rebuild(int folder, const char* displayId)
{
    DisplayFileName name{};
    DisplayFileName aside{};
    if (!journalFileName(displayId, &name) || !displayFileName(displayId, ".journal.new", &aside)) {
        return false;
    }
    unlinkat(folder, aside.data(), 0);  // left by a run killed while making it
    int fd =
        openat(folder, aside.data(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    FileBytes empty{};
    std::memcpy(empty.data(), kMagic.data(), kHeaderBytes);
    bool written = write(fd, empty.data(), empty.size()) == static_cast<ssize_t>(empty.size());
    written = close(fd) == 0 && written;
    if (!written || renameat(folder, aside.data(), folder, name.data()) != 0) {
        unlinkat(folder, aside.data(), 0);
        return false;
    }
    return true;
}

// The journal, opened for writing and checked whole; rebuilt first when it
// is missing or is not the journal.
int openForWriting(const DdcLink& link, int folder, const char* name, FileBytes* bytes)
{
    for (int attempt = 0; attempt < 2; attempt++) {
        Problem problem = nullptr;
        int fd = openJournal(folder, name, O_RDWR, &problem);
        if (fd >= 0) {
            problem = readWhole(fd, bytes);
            for (size_t code = 0; problem == nullptr && code < kSlots; code++) {
                JournalEntry unused;
                if (!decodeSlot(slotOf(*bytes, code), static_cast<uint8_t>(code), &unused)) {
                    problem = "holds a damaged entry";
                }
            }
            if (problem == nullptr) {
                return fd;
            }
            close(fd);
        }
        if (problem != nullptr) {
            warnOnce(link, name, problem);
        }
        if (!rebuild(folder, link.displayId)) {
            return -1;
        }
    }
    return -1;
}

}  // namespace

bool journalFileName(const char* displayId, DisplayFileName* name)
{
    return displayFileName(displayId, ".journal", name);
}

void recordChange(const DdcLink& link, uint8_t code, uint16_t value, const uint16_t* maximum)
{
    int folder = link.lock != nullptr ? lockFolderDescriptor(link.lockFolder) : -1;
    DisplayFileName name{};
    if (folder < 0 || !journalFileName(link.displayId, &name)) {
        return;
    }
    FileBytes bytes{};
    int fd = openForWriting(link, folder, name.data(), &bytes);
    if (fd < 0) {
        return;
    }
    JournalEntry entry;
    decodeSlot(slotOf(bytes, code), code, &entry);
    // Zero marks a slot never written: the count goes round past it.
    entry.sequence = entry.sequence == UINT32_MAX ? 1 : entry.sequence + 1;
    entry.value = value;
    entry.maximumKnown = maximum != nullptr;
    entry.maximum = maximum != nullptr ? *maximum : 0;
    std::array<uint8_t, kSlotBytes> slot = encodeSlot(code, entry);
    // One write of one slot: a reader sees the old slot or the new one, or
    // a mix that fails its checksum until the next look.
    pwrite(fd, slot.data(), slot.size(), static_cast<off_t>(kHeaderBytes + code * kSlotBytes));
    close(fd);
}

JournalRead readJournal(const DdcLink& link, JournalEntries* entries)
{
    *entries = JournalEntries{};
    int folder = link.lock != nullptr ? lockFolderDescriptor(link.lockFolder) : -1;
    DisplayFileName name{};
    if (folder < 0 || !journalFileName(link.displayId, &name)) {
        return JournalRead::missing;
    }
    Problem problem = nullptr;
    FileBytes bytes{};
    int fd = openJournal(folder, name.data(), O_RDONLY, &problem);
    if (fd >= 0) {
        problem = readWhole(fd, &bytes, entries);
        close(fd);
    } else if (problem == nullptr) {
        return JournalRead::missing;
    }
    if (problem == nullptr) {
        for (size_t code = 0; code < kSlots; code++) {
            decodeSlot(slotOf(bytes, code), static_cast<uint8_t>(code), &entries->codes[code]);
        }
        return JournalRead::read;
    }
    warnOnce(link, name.data(), problem);
    // Under the lock, a writer is not halfway through rebuilding it too; one
    // that did meanwhile left a good journal, which stays.
    DisplayLockGuard hold(link);
    Problem still = nullptr;
    fd = openJournal(folder, name.data(), O_RDONLY, &still);
    if (fd >= 0) {
        still = readWhole(fd, &bytes);
        close(fd);
    }
    if (fd < 0 || still != nullptr) {
        rebuild(folder, link.displayId);
    }
    return JournalRead::failed;
}

void noteChange(const DdcLink& link, uint8_t code, uint16_t value, const uint16_t* maximum)
{
    if (link.lock == nullptr) {
        return;
    }
    PendingChanges& changes = link.lock->changes;
    auto noted = std::span(changes.items).first(changes.count);
    auto same = std::find_if(noted.begin(), noted.end(),
                             [code](const PendingChange& change) { return change.code == code; });
    PendingChange* change = nullptr;
    if (same != noted.end()) {
        change = &*same;
    } else if (changes.count < changes.items.size()) {
        change = &changes.items[changes.count++];
    } else {
        // No room: this change goes untold, and a watch finds it by reading.
        return;
    }
    change->code = code;
    change->value = value;
    change->maximumKnown = maximum != nullptr;
    change->maximum = maximum != nullptr ? *maximum : 0;
}

void publishChanges(const DdcLink& link)
{
    if (link.lock == nullptr || link.lock->changes.count == 0) {
        return;
    }
    DisplayLockGuard hold(link);
    PendingChanges& changes = link.lock->changes;
    for (const PendingChange& change : std::span(changes.items).first(changes.count)) {
        recordChange(link, change.code, change.value,
                     change.maximumKnown ? &change.maximum : nullptr);
    }
    changes = PendingChanges{};
}
