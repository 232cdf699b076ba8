#include "driver/packet_framer.h"

#include <gtest/gtest.h>

#include <vector>

namespace zorvan {
namespace {

const Packet kDown{0xEE, 0x00, 0x51, 0x01, 0x24, 0x03, 0x08, 0x00};
const Packet kUp{0xEE, 0x00, 0x61, 0x01, 0x24, 0x03, 0x08, 0x00};
const Packet kTouchMode{0xC8, 0xCC, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFB};

struct Collector {
    PacketFramer framer;
    std::vector<Packet> packets;
    void push(std::vector<std::uint8_t> bytes) {
        framer.push(bytes, [this](const Packet& p) { packets.push_back(p); });
    }
};

std::vector<std::uint8_t> bytesOf(std::initializer_list<Packet> packets) {
    std::vector<std::uint8_t> bytes;
    for (const Packet& p : packets) {
        bytes.insert(bytes.end(), p.begin(), p.end());
    }
    return bytes;
}

TEST(PacketFramer, JoinsAPacketSplitOverReads) {
    Collector c;
    c.push({0xEE, 0x00, 0x51});
    EXPECT_TRUE(c.packets.empty());
    EXPECT_EQ(c.framer.pendingBytes(), 3u);
    c.push({0x01, 0x24, 0x03, 0x08, 0x00});
    EXPECT_EQ(c.packets, std::vector<Packet>{kDown});
    EXPECT_EQ(c.framer.pendingBytes(), 0u);
}

TEST(PacketFramer, HandsOverEveryPacketOfOneReadInOrder) {
    Collector c;
    auto bytes = bytesOf({kTouchMode, kDown, kUp});
    bytes.push_back(0xEE);  // the start of the next one stays pending
    c.push(bytes);
    EXPECT_EQ(c.packets, (std::vector<Packet>{kTouchMode, kDown, kUp}));
    EXPECT_EQ(c.framer.pendingBytes(), 1u);
}

TEST(PacketFramer, SkipsGarbageUpToAPacketHead) {
    Collector c;
    std::vector<std::uint8_t> bytes{0x00, 0x13, 0xC8, 0x00, 0xFF};  // C8 00 is no signature
    const auto mode = bytesOf({kTouchMode, kDown});
    bytes.insert(bytes.end(), mode.begin(), mode.end());
    c.push(bytes);
    EXPECT_EQ(c.packets, (std::vector<Packet>{kTouchMode, kDown}));
    EXPECT_EQ(c.framer.discardedBytes(), 5u);
}

TEST(PacketFramer, KeepsAPossibleModeHeadUntilItsSecondByte) {
    Collector c;
    c.push({0x42, 0xC8});
    EXPECT_EQ(c.framer.pendingBytes(), 1u);
    c.push({0xCC, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFB});
    EXPECT_EQ(c.packets, std::vector<Packet>{kTouchMode});
}

TEST(PacketFramer, RecoversAfterALostByte) {
    Collector c;
    auto bytes = bytesOf({kDown, kDown, kUp});
    bytes.erase(bytes.begin() + 3);  // the first packet loses a byte
    c.push(bytes);
    // One misframed packet swallows the next head; the rest of that packet
    // is skipped and the stream is whole again from the following head.
    ASSERT_EQ(c.packets.size(), 2u);
    EXPECT_EQ(c.packets[1], kUp);
    EXPECT_EQ(c.framer.discardedBytes(), 7u);
}

}  // namespace
}  // namespace zorvan
