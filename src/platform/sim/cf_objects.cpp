// Core Foundation objects: reference-counted, one struct behind every opaque
// pointer type, with the misuse checks that make the real library crash
// (NULL or dead objects, wrong types) turned into an abort with a message.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "sim_control.h"
#include "sim_state.h"

extern "C" const CFAllocatorRef kCFAllocatorDefault = nullptr;

namespace sim {
namespace {

const char* kindName(CfKind kind)
{
    switch (kind) {
        case CfKind::String: return "CFString";
        case CfKind::Number: return "CFNumber";
        case CfKind::Boolean: return "CFBoolean";
        case CfKind::Null: return "CFNull";
        case CfKind::Data: return "CFData";
        case CfKind::Dictionary: return "CFDictionary";
        case CfKind::Array: return "CFArray";
        case CfKind::AvService: return "IOAVService";
    }
    return "?";
}

[[noreturn]] void crash(const char* function, const char* what)
{
    std::fprintf(stderr, "simulated CoreFoundation: %s: %s\n", function, what);
    std::fflush(stderr);
    std::abort();
}

bool isAscii(const std::string& text)
{
    for (unsigned char c : text) {
        if (c >= 0x80) return false;
    }
    return true;
}

// Structure of UTF-8: lead bytes, continuation counts, no overlong forms,
// no surrogates, nothing above U+10FFFF.
bool isUtf8(const std::string& text)
{
    size_t i = 0;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t extra;
        uint32_t point;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xc2 && c <= 0xdf) {
            extra = 1, point = c & 0x1f;
        } else if (c >= 0xe0 && c <= 0xef) {
            extra = 2, point = c & 0x0f;
        } else if (c >= 0xf0 && c <= 0xf4) {
            extra = 3, point = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= text.size()) return false;
        for (size_t k = 1; k <= extra; ++k) {
            unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xc0) != 0x80) return false;
            point = (point << 6) | (next & 0x3f);
        }
        static const uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
        if (point < kSmallest[extra] || point > 0x10ffff || (point >= 0xd800 && point <= 0xdfff)) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

// Value equality of the kinds used as dictionary keys; containers by identity.
bool cfEqual(const CfObject* a, const CfObject* b)
{
    if (a == b) return true;
    if (a->kind != b->kind) return false;
    switch (a->kind) {
        case CfKind::String: return a->text == b->text;
        case CfKind::Number:
            if (a->isReal || b->isReal) {
                double x = a->isReal ? a->real : static_cast<double>(a->integer);
                double y = b->isReal ? b->real : static_cast<double>(b->integer);
                return x == y;
            }
            return a->integer == b->integer;
        case CfKind::Boolean: return a->boolean == b->boolean;
        case CfKind::Null: return true;
        case CfKind::Data: return a->bytes == b->bytes;
        default: return false;
    }
}

CFTypeID typeIdOf(CfKind kind)
{
    return static_cast<CFTypeID>(kind);
}

}  // namespace

CfObject* newCfObject(CfKind kind)
{
    State& s = state();
    auto* object = new CfObject{};
    object->kind = kind;
    s.liveObjects.insert(object);
    ++s.cfObjectsCreated;
    if (kind == CfKind::AvService) ++s.liveAvServices;
    return object;
}

CfObject* newCfString(std::string text)
{
    CfObject* object = newCfObject(CfKind::String);
    object->text = std::move(text);
    return object;
}

CfObject* cfFromValue(const Value& value)
{
    CfObject* object = nullptr;
    switch (value.kind) {
        case Value::Kind::String: return newCfString(value.text);
        case Value::Kind::Integer:
            object = newCfObject(CfKind::Number);
            object->integer = value.integer;
            return object;
        case Value::Kind::Real:
            object = newCfObject(CfKind::Number);
            object->isReal = true;
            object->real = value.real;
            return object;
        case Value::Kind::Boolean:
            object = newCfObject(CfKind::Boolean);
            object->boolean = value.boolean;
            return object;
        case Value::Kind::Null: return newCfObject(CfKind::Null);
        case Value::Kind::Data:
            object = newCfObject(CfKind::Data);
            object->bytes = value.bytes;
            return object;
        case Value::Kind::Dictionary:
            object = newCfObject(CfKind::Dictionary);
            for (const Member& member : value.members) {
                object->members.emplace_back(newCfString(member.key), cfFromValue(member.value));
            }
            return object;
        case Value::Kind::Array:
            object = newCfObject(CfKind::Array);
            for (const Value& element : value.elements) {
                object->elements.push_back(cfFromValue(element));
            }
            return object;
    }
    return nullptr;
}

CfObject* requireCf(CFTypeRef cf, const char* function)
{
    if (cf == nullptr) crash(function, "called with NULL");
    // Look the pointer up before touching it: a released object's memory is gone.
    auto* object = static_cast<CfObject*>(const_cast<void*>(cf));
    if (state().liveObjects.count(object) == 0) {
        crash(function, "called with an object that is not alive (released already?)");
    }
    return object;
}

CfObject* requireCf(CFTypeRef cf, CfKind expected, const char* function)
{
    CfObject* object = requireCf(cf, function);
    if (object->kind != expected) {
        std::string what =
            std::string("expected a ") + kindName(expected) + ", got a " + kindName(object->kind);
        crash(function, what.c_str());
    }
    return object;
}

void releaseCf(CfObject* object)
{
    if (--object->refs > 0) return;
    for (auto& [key, value] : object->members) {
        releaseCf(key);
        releaseCf(value);
    }
    for (CfObject* element : object->elements) releaseCf(element);
    State& s = state();
    s.liveObjects.erase(object);
    if (object->kind == CfKind::AvService) --s.liveAvServices;
    delete object;
}

int liveCfObjects()
{
    return static_cast<int>(state().liveObjects.size());
}
int liveAvServices()
{
    return state().liveAvServices;
}
uint64_t cfObjectsCreated()
{
    return state().cfObjectsCreated;
}

}  // namespace sim

using sim::CfKind;
using sim::CfObject;
using sim::requireCf;

CFStringRef CFStringCreateWithCString(CFAllocatorRef, const char* cStr, CFStringEncoding encoding)
{
    const std::lock_guard<std::recursive_mutex> hold(sim::machineGuard());
    if (cStr == nullptr) sim::crash("CFStringCreateWithCString", "called with NULL");
    std::string text(cStr);
    bool representable = (encoding == kCFStringEncodingASCII && sim::isAscii(text)) ||
                         (encoding == kCFStringEncodingUTF8 && sim::isUtf8(text));
    if (!representable) return nullptr;
    return reinterpret_cast<CFStringRef>(sim::newCfString(std::move(text)));
}

Boolean CFStringGetCString(CFStringRef s, char* buffer, CFIndex bufferSize,
                           CFStringEncoding encoding)
{
    const std::lock_guard<std::recursive_mutex> hold(sim::machineGuard());
    const CfObject* string = requireCf(s, CfKind::String, "CFStringGetCString");
    const std::string& text = string->text;
    if (encoding == kCFStringEncodingASCII ? !sim::isAscii(text)
                                           : encoding != kCFStringEncodingUTF8) {
        return false;
    }
    if (buffer == nullptr || bufferSize <= 0) return false;
    size_t capacity = static_cast<size_t>(bufferSize);
    if (text.size() + 1 > capacity) {
        // The real call leaves the buffer undefined on failure; an unterminated
        // prefix makes a caller that uses it anyway misbehave visibly.
        // NOLINTNEXTLINE(bugprone-not-null-terminated-result)
        std::memcpy(buffer, text.data(), std::min(text.size(), capacity));
        return false;
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return true;
}

CFTypeID CFGetTypeID(CFTypeRef cf)
{
    const std::lock_guard<std::recursive_mutex> hold(sim::machineGuard());
    return sim::typeIdOf(requireCf(cf, "CFGetTypeID")->kind);
}
CFTypeID CFStringGetTypeID(void)
{
    const std::lock_guard<std::recursive_mutex> hold(sim::machineGuard());
    return sim::typeIdOf(CfKind::String);
}
CFTypeID CFDictionaryGetTypeID(void)
{
    const std::lock_guard<std::recursive_mutex> hold(sim::machineGuard());
    return sim::typeIdOf(CfKind::Dictionary);
}
CFTypeID CFDataGetTypeID(void)
{
    const std::lock_guard<std::recursive_mutex> hold(sim::machineGuard());
    return sim::typeIdOf(CfKind::Data);
}
CFTypeID CFNumberGetTypeID(void)
{
    const std::lock_guard<std::recursive_mutex> hold(sim::machineGuard());
    return sim::typeIdOf(CfKind::Number);
}
CFTypeID CFBooleanGetTypeID(void)
{
    const std::lock_guard<std::recursive_mutex> hold(sim::machineGuard());
    return sim::typeIdOf(CfKind::Boolean);
}
CFTypeID CFNullGetTypeID(void)
{
    const std::lock_guard<std::recursive_mutex> hold(sim::machineGuard());
    return sim::typeIdOf(CfKind::Null);
}
CFTypeID CFArrayGetTypeID(void)
{
    const std::lock_guard<std::recursive_mutex> hold(sim::machineGuard());
    return sim::typeIdOf(CfKind::Array);
}

const void* CFDictionaryGetValue(CFDictionaryRef dict, const void* key)
{
    const std::lock_guard<std::recursive_mutex> hold(sim::machineGuard());
    const CfObject* dictionary = requireCf(dict, CfKind::Dictionary, "CFDictionaryGetValue");
    if (key == nullptr) return nullptr;
    const CfObject* wanted = requireCf(key, "CFDictionaryGetValue");
    for (const auto& [memberKey, value] : dictionary->members) {
        if (sim::cfEqual(memberKey, wanted)) return value;
    }
    return nullptr;
}

CFIndex CFDataGetLength(CFDataRef data)
{
    const std::lock_guard<std::recursive_mutex> hold(sim::machineGuard());
    return static_cast<CFIndex>(requireCf(data, CfKind::Data, "CFDataGetLength")->bytes.size());
}

const UInt8* CFDataGetBytePtr(CFDataRef data)
{
    const std::lock_guard<std::recursive_mutex> hold(sim::machineGuard());
    return requireCf(data, CfKind::Data, "CFDataGetBytePtr")->bytes.data();
}

Boolean CFNumberGetValue(CFNumberRef number, CFNumberType type, void* valuePtr)
{
    const std::lock_guard<std::recursive_mutex> hold(sim::machineGuard());
    const CfObject* object = requireCf(number, CfKind::Number, "CFNumberGetValue");
    if (type != kCFNumberSInt64Type && type != kCFNumberLongLongType) return false;
    if (valuePtr == nullptr) return false;
    int64_t result;
    bool exact = true;
    if (!object->isReal) {
        result = object->integer;
    } else {
        // Like the real conversion: store the truncated (saturated) value and
        // report whether it lost anything.
        double real = object->real;
        constexpr double kLimit = 9223372036854775808.0;  // 2^63
        if (std::isnan(real)) {
            result = 0, exact = false;
        } else if (real >= kLimit) {
            result = INT64_MAX, exact = false;
        } else if (real < -kLimit) {
            result = INT64_MIN, exact = false;
        } else {
            result = static_cast<int64_t>(real);
            exact = static_cast<double>(result) == real;
        }
    }
    std::memcpy(valuePtr, &result, sizeof result);
    return exact;
}

void CFRelease(CFTypeRef cf)
{
    const std::lock_guard<std::recursive_mutex> hold(sim::machineGuard());
    sim::releaseCf(requireCf(cf, "CFRelease"));
}
