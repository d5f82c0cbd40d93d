#include "ddc/replies.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// "6e 88 02 …": how a failing case names the reply it was given.
std::string hex(const Bytes& bytes)
{
    std::string text;
    for (uint8_t byte : bytes) {
        char two[4];
        std::snprintf(two, sizeof two, "%02x ", byte);
        text += two;
    }
    if (!text.empty()) text.pop_back();
    return text;
}

TEST(DdcReplyChecksum, IsTheXorOfTheHostAddressAndTheBytes)
{
    struct Case {
        Bytes bytes;
        uint8_t checksum;
    } cases[] = {
        {{}, 0x50},
        {{0x6E}, 0x3E},
        {{0x6E, 0x88, 0x02, 0x00, 0x10, 0x00, 0x00, 0x64, 0x00, 0x3C}, 0xFC},
        {{0x50}, 0x00},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ddcReplyChecksum(c.bytes), c.checksum) << "bytes: " << hex(c.bytes);
    }
}

// A Get VCP Feature reply for brightness (0x10), current 60 of 100, as a
// monitor sends it in the 12 bytes read: the source address, the length
// byte, the opcode, the result code, the code, the type, max and current
// (high byte first), the checksum and one byte past it.
const Bytes kBrightness60 = {0x6E, 0x88, 0x02, 0x00, 0x10, 0x00,
                             0x00, 0x64, 0x00, 0x3C, 0xFC, 0x00};

TEST(ValidVcpReply, TakesOnlyAnExactAnswerToTheCodeAsked)
{
    struct Case {
        const char* what;
        Bytes reply;
        uint8_t vcp;
        bool valid;
    } cases[] = {
        {"an answer to the code asked", kBrightness60, 0x10, true},
        {"no byte read past the checksum", Bytes(kBrightness60.begin(), kBrightness60.end() - 1),
         0x10, true},
        {"the largest values",
         {0x6E, 0x88, 0x02, 0x00, 0x10, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xA4},
         0x10,
         true},
        {"a stale answer to another code", kBrightness60, 0x12, false},
        {"the code unsupported (result 01)",
         {0x6E, 0x88, 0x02, 0x01, 0x10, 0x00, 0x00, 0x64, 0x00, 0x3C, 0xFD},
         0x10,
         false},
        {"a length byte of 7",
         {0x6E, 0x87, 0x02, 0x00, 0x10, 0x00, 0x00, 0x64, 0x00, 0x3C, 0xF3},
         0x10,
         false},
        {"the opcode of a request",
         {0x6E, 0x88, 0x01, 0x00, 0x10, 0x00, 0x00, 0x64, 0x00, 0x3C, 0xFF},
         0x10,
         false},
        {"a garbled current value",
         {0x6E, 0x88, 0x02, 0x00, 0x10, 0x00, 0x00, 0x64, 0x00, 0x3D, 0xFC},
         0x10,
         false},
        {"a checksum off by one",
         {0x6E, 0x88, 0x02, 0x00, 0x10, 0x00, 0x00, 0x64, 0x00, 0x3C, 0xFD},
         0x10,
         false},
        {"cut off before the checksum", Bytes(kBrightness60.begin(), kBrightness60.begin() + 10),
         0x10, false},
        {"the null message", {0x6E, 0x80, 0xBE}, 0x10, false},
        {"nothing read", {}, 0x10, false},
        {"a bus that reads all ones", Bytes(12, 0xFF), 0x10, false},
        {"a bus that reads all zeros", Bytes(12, 0x00), 0x00, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(validVcpReply(c.reply, c.vcp), c.valid)
            << c.what << ": code " << int{c.vcp} << ", bytes: " << hex(c.reply);
    }
}

// A fragment of 32 data bytes in the 40 bytes read: length byte 0xA3 (the
// opcode, two offset bytes and the data), checksum at 37, two bytes past it.
const Bytes kFullFragment = {0x6E, 0xA3, 0xE3, 0x00, 0x00, 0x28, 0x70, 0x72, 0x6F, 0x74,
                             0x28, 0x6D, 0x6F, 0x6E, 0x69, 0x74, 0x6F, 0x72, 0x29, 0x74,
                             0x79, 0x70, 0x65, 0x28, 0x6C, 0x63, 0x64, 0x29, 0x6D, 0x6F,
                             0x64, 0x65, 0x6C, 0x28, 0x54, 0x32, 0x37, 0x46, 0x00, 0x00};

Bytes withByte(Bytes bytes, size_t at, uint8_t value)
{
    bytes[at] = value;
    return bytes;
}

TEST(ParseCapabilitiesFragment, GivesTheDataOfTheFragmentAskedForOnly)
{
    const Bytes prot = {0x6E, 0x88, 0xE3, 0x00, 0x00, 0x28, 0x70, 0x72, 0x6F, 0x74, 0x64};
    struct Case {
        const char* what;
        Bytes reply;
        uint16_t offset;
        std::optional<std::string> data;  // nothing: not such a fragment
    } cases[] = {
        {"five bytes at offset 0", prot, 0, "(prot"},
        {"thirty-two bytes, the most", kFullFragment, 0, "(prot(monitor)type(lcd)model(T27"},
        {"the end of the string: no data", {0x6E, 0x83, 0xE3, 0x00, 0x20, 0x7E}, 0x20, ""},
        {"an offset past 255", {0x6E, 0x84, 0xE3, 0x01, 0x20, 0x78, 0x00}, 0x0120, "x"},
        {"a NUL in the data is data",
         {0x6E, 0x85, 0xE3, 0x00, 0x40, 0x29, 0x00, 0x31},
         0x40,
         std::string(")\0", 2)},
        {"bytes read past the checksum",
         {0x6E, 0x83, 0xE3, 0x00, 0x20, 0x7E, 0xFF, 0xFF},
         0x20,
         ""},
        {"another offset than asked", prot, 0x20, std::nullopt},
        {"the high byte of the offset not asked",
         {0x6E, 0x84, 0xE3, 0x01, 0x20, 0x78, 0x00},
         0x20,
         std::nullopt},
        {"the opcode of a VCP reply",
         {0x6E, 0x88, 0x02, 0x00, 0x00, 0x28, 0x70, 0x72, 0x6F, 0x74, 0x85},
         0,
         std::nullopt},
        {"a checksum off by one", withByte(prot, 10, 0x65), 0, std::nullopt},
        {"a garbled data byte", withByte(prot, 6, 0x71), 0, std::nullopt},
        {"a length byte without its top bit", withByte(prot, 1, 0x08), 0, std::nullopt},
        {"a length too short for the offset", {0x6E, 0x82, 0xE3, 0x00, 0x5F}, 0, std::nullopt},
        {"thirty-three data bytes", withByte(kFullFragment, 1, 0xA4), 0, std::nullopt},
        {"cut off before the checksum", Bytes(prot.begin(), prot.end() - 1), 0, std::nullopt},
        {"the null message", {0x6E, 0x80, 0xBE}, 0, std::nullopt},
        {"nothing read", {}, 0, std::nullopt},
        {"a bus that reads all ones", Bytes(40, 0xFF), 0, std::nullopt},
    };
    for (const Case& c : cases) {
        std::optional<std::span<const uint8_t>> data = parseCapabilitiesFragment(c.reply, c.offset);
        std::optional<std::string> got;
        if (data) got = std::string(data->begin(), data->end());
        EXPECT_EQ(got, c.data) << c.what << ": offset " << c.offset << ", bytes: " << hex(c.reply);
    }
}

}  // namespace
