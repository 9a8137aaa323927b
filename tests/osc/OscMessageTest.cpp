// OSC encoding byte for byte, and the sender's validation of the destination.

#include "control/osc/OscMessage.h"
#include "control/osc/OscSender.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace vyn {
namespace {

template <typename Packet> std::string bytes(const Packet& p) {
    return std::string(reinterpret_cast<const char*>(p.data()), p.size());
}

TEST(OscMessage, EncodesByteForByte) {
    using namespace std::string_literals;
    const std::pair<OscMessage, std::string> cases[] = {
        {OscMessage::withInt("/abc", -2), "/abc\0\0\0\0,i\0\0\xFF\xFF\xFF\xFE"s},
        {OscMessage::withInt("/abcdefg", 1), "/abcdefg\0\0\0\0,i\0\0\0\0\0\1"s},
        {OscMessage::withFloat("/x", 0.5f), "/x\0\0,f\0\0\x3F\0\0\0"s},
        {OscMessage::withStringFloat("/composition/tempocontroller/tempo", "a", 120.0f),
         "/composition/tempocontroller/tempo\0\0,sf\0a\0\0\0\x42\xF0\0\0"s},
    };
    for (const auto& [message, expected] : cases)
        EXPECT_EQ(bytes(message), expected);
    EXPECT_TRUE(OscMessage::withInt(std::string(505, 'a'), 1).empty()) << "over 512 bytes";
    EXPECT_EQ(OscMessage::withInt(std::string(503, 'a'), 1).size(), 512u);
}

TEST(OscBundle, HeaderImmediateTimeTagAndSizePrefixes) {
    using namespace std::string_literals;
    OscBundle bundle;
    ASSERT_TRUE(bundle.add(OscMessage::withInt("/a", 1)));
    ASSERT_TRUE(bundle.add(OscMessage::withInt("/b", 0)));
    EXPECT_FALSE(bundle.add(OscMessage::withInt(std::string(600, 'a'), 1))) << "empty message";
    EXPECT_EQ(bytes(bundle), ("#bundle\0\0\0\0\0\0\0\0\1"
                              "\0\0\0\x0C/a\0\0,i\0\0\0\0\0\1"
                              "\0\0\0\x0C/b\0\0,i\0\0\0\0\0\0"s));
    OscBundle full;
    const OscMessage big = OscMessage::withInt(std::string(503, 'a'), 1);
    int added = 0;
    while (full.add(big))
        ++added;
    EXPECT_EQ(added, (8192 - 16) / (512 + 4));
    EXPECT_LE(full.size(), OscBundle::kCapacity);
}

TEST(OscSender, DestinationValidation) {
    // No error: the sender opens.
    const char* const notIpv4 = "Host must be an IPv4 address.";
    const std::tuple<const char*, int, const char*> cases[] = {
        {"127.0.0.1", 7000, nullptr},
        {"localhost", 1, nullptr},
        {"10.0.0.255", 65535, nullptr},
        {"", 7000, "Host is empty."},
        {"127.0.0.1", 0, "Port is out of range."},
        {"127.0.0.1", 65536, "Port is out of range."},
        {"booth-pc", 7000, notIpv4},
        {"256.0.0.1", 7000, notIpv4},
        {"1.2.3", 7000, notIpv4},
        {"1.2.3.4.5", 7000, notIpv4},
        {"1.2.3.4 ", 7000, notIpv4},
        {"0001.2.3.4", 7000, notIpv4}};
    for (const auto& [host, port, error] : cases) {
        OscSender sender;
        EXPECT_EQ(sender.open(host, port), error == nullptr) << host;
        EXPECT_EQ(sender.isOpen(), error == nullptr);
        EXPECT_EQ(sender.lastError(), error ? error : "") << host;
    }
}

} // namespace
} // namespace vyn
