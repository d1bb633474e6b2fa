// Random byte strings of every length through every decoder: nothing may read outside its value
// (run under the sanitizers), and every decoder must come back with a text.
#include "attrinfo/AttrInfo.h"
#include "directory/DSNames.h"

#include <gtest/gtest.h>
#include <random>
#include <stdexcept>

using namespace trovalen;

namespace {

// Every decoded attribute, and one that only gets a hex dump.
std::vector<std::string> OctetAttributes() {
    std::vector<std::string> names = U_DecodedOctetAttributes();
    names.push_back("Anything Else");
    return names;
}

const char* const kStreamAttributes[] = {"App:Macros", "App:Copy Files", "App:Inventory",
                                         "App:Program Groups", "Login Script"};

std::string RandomBytes(std::mt19937& rng, size_t length) {
    // Mostly small bytes and zeros so that the record walkers find numbers, strings and NULs.
    std::uniform_int_distribution<int> kind(0, 9);
    std::uniform_int_distribution<int> any(0, 255);
    std::uniform_int_distribution<int> printable(32, 126);
    std::string s(length, '\0');
    for (char& c : s) {
        int k = kind(rng);
        c = static_cast<char>(k < 3 ? 0 : k < 7 ? printable(rng) : any(rng));
    }
    return s;
}

} // namespace

TEST(Fuzz, OctetDecodersStayInsideTheirValue) {
    std::mt19937 rng(20240601);
    size_t runs = 0;
    for (size_t length = 0; length <= 400; ++length)
        for (int round = 0; round < 2; ++round) {
            std::string value = RandomBytes(rng, length);
            for (const std::string& attr : OctetAttributes()) {
                for (uint32_t number : {1u, 2u}) {
                    std::string text = U_FormatOctetValue(value, attr, number);
                    (void)text;
                    ++runs;
                }
            }
        }
    EXPECT_GT(runs, 30000u);
}

TEST(Fuzz, StreamDecoderStaysInsideItsData) {
    std::mt19937 rng(7);
    size_t runs = 0;
    for (size_t length = 0; length <= 400; ++length)
        for (int round = 0; round < 3; ++round) {
            std::string data = RandomBytes(rng, length);
            if (round > 0 && length >= 8)
                data.replace(0, 8, "AOT FILE");
            for (const char* attr : kStreamAttributes) {
                try {
                    (void)U_AOTStreamText(data, attr);
                } catch (const std::runtime_error&) {
                    // An over-long record string is reported as the value's error.
                }
                ++runs;
            }
        }
    EXPECT_GT(runs, 6000u);
}

TEST(Fuzz, NetAddressesStayInsideTheirValue) {
    std::mt19937 rng(99);
    size_t runs = 0;
    for (size_t length = 0; length <= 400; ++length)
        for (uint32_t type : {0u, 1u, 7u, 8u, 9u, 10u, 11u, 13u, 2u, 255u}) {
            std::string address = RandomBytes(rng, length);
            (void)U_NetAddressText(type, address, true);
            (void)U_NetAddressText(type, address, false);
            ++runs;
        }
    EXPECT_GT(runs, 4000u);
}

TEST(Fuzz, WholeValuesOfEverySyntax) {
    std::mt19937 rng(3);
    for (size_t length = 0; length <= 400; length += 7) {
        std::string bytes = RandomBytes(rng, length);
        std::vector<TAttrValue> values = {
            {SYN_UNKNOWN, TValUnknown{"X", 99, bytes}},
            {SYN_OCTET_STRING, TValOctetString{bytes}},
            {SYN_OCTET_LIST, TValOctetList{{bytes, bytes.substr(0, length / 2)}}},
            {SYN_NET_ADDRESS, TValNetAddress{static_cast<uint32_t>(length % 16), bytes}},
            {SYN_COUNT + 5, TValRaw{bytes}},
        };
        for (const TAttrValue& value : values) {
            TStringList lines;
            EXPECT_EQ(U_FormatAttrValue(nullptr, 0, "o", "Partition Status", lines, value,
                                        static_cast<uint32_t>(length * 3), 1),
                      0);
            EXPECT_FALSE(lines.Empty());
        }
    }
}
