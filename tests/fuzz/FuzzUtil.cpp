// The string, number and buffer helpers that read settings values, client buffers and user
// input: conversions never write outside their buffers, and what the program writes reads back.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"

#include "util/Util.h"

using namespace trovalen;

namespace {} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    int capacity = in.ConsumeIntegralInRange(0, 64);
    int32_t number = in.ConsumeIntegral<int32_t>();
    uint16_t offset = in.ConsumeIntegral<uint16_t>();
    uint32_t length = in.ConsumeIntegralInRange<uint32_t>(0, 5000);
    int start = in.ConsumeIntegralInRange(-5, 300);
    std::string separator = in.ConsumeRandomLengthString(4);
    std::string text = in.ConsumeRemainingBytesAsString();

    // Hex text into a buffer of the given capacity (exactly that big, so that ASan sees any
    // write past it).
    std::vector<uint8_t> buffer(static_cast<size_t>(capacity));
    int count = capacity;
    if (U_HexToBytes(text, count, buffer.data())) {
        FUZZ_CHECK(count >= 0 && count <= capacity);
        std::string hex = U_BytesToHex(buffer.data(), static_cast<uint16_t>(count));
        std::vector<uint8_t> again(static_cast<size_t>(count));
        int n = count;
        FUZZ_CHECK(count == 0 ||
                   (U_HexToBytes(hex, n, again.data()) && n == count &&
                    again == std::vector<uint8_t>(buffer.begin(), buffer.begin() + count)));
    }

    // Numbers written in decimal and in "$" hex read back.
    FUZZ_CHECK(U_StrToIntDef(std::to_string(number), 1) == number);
    FUZZ_CHECK(U_StrToIntDef(U_Format("$%X", static_cast<uint32_t>(number)), 1) == number);
    (void)U_StrToIntDef(text, 0);

    // Client buffers.
    std::string fromBuf = U_BufToStr(text, offset, length);
    FUZZ_CHECK(fromBuf.size() <= text.size() && fromBuf.find('\0') == std::string::npos);
    (void)U_MultiStrBufToLines(text, offset, length);
    std::vector<char> out(static_cast<size_t>(capacity) + 1);
    size_t copied = U_StrToBuf(text, start, static_cast<int>(length), true, out.data(), out.size());
    FUZZ_CHECK(copied <= out.size());

    // Splitting and replacing.
    TArrayOfString parts(static_cast<size_t>(capacity % 6 + 1));
    U_SplitToArray(text, separator, parts);
    std::string replaced = U_ReplaceStr(text, separator, "#", true, true);
    if (!separator.empty() && separator != "#")
        FUZZ_CHECK(U_CountOf(replaced, separator) == 0 || separator.find('#') != std::string::npos);
    (void)U_ReplaceStr(text, separator, text, false, true);
    (void)U_PosCI(separator, text);
    (void)U_FindStr(separator, text, false);
    (void)U_HeadOf(text, separator, true);
    (void)U_TailOf(text, separator, false);
    (void)U_TrimBlank(text);
    (void)U_IsAbbrevOf(text, separator, start);

    // Time texts and file names.
    (void)U_FormatDateTime(text.substr(0, 200), number, start);
    (void)U_SecondsToText(static_cast<uint32_t>(number));
    (void)U_ChangeExt(text, separator);
    (void)U_JoinPath(text, separator);
    (void)U_ConvertOem(text, true);
    (void)U_ConvertOem(text, false);
    return 0;
}
