// Settings files that nobody should have written: a huge value, a huge number of sections, binary
// junk, lines that are neither sections nor values. Each loads with memory in proportion to the
// file, keeps every value that can be read, and never brings the program down. This program counts
// the bytes it holds on the heap, so it runs on its own.
#include "settings/Ini.h"
#include "settings/IniFile.h"

#include "SettingsTestEnv.h"
#include "util/Util.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <malloc.h>
#include <new>
#include <random>

using namespace trovalen;
using namespace trovalen::test;

// --- Heap accounting ----------------------------------------------------------------------------

namespace {
std::atomic<size_t> liveBytes{0};
std::atomic<size_t> peakBytes{0};

void* Allocate(size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr)
        throw std::bad_alloc();
    size_t now = liveBytes += malloc_usable_size(p);
    size_t peak = peakBytes.load();
    while (now > peak && !peakBytes.compare_exchange_weak(peak, now)) {
    }
    return p;
}

void Release(void* p) noexcept {
    if (p == nullptr)
        return;
    liveBytes -= malloc_usable_size(p);
    std::free(p);
}

// Peak heap growth over what was held when it starts.
class THeapWatch {
public:
    THeapWatch() : base_(liveBytes.load()) { peakBytes = base_; }
    size_t Growth() const { return peakBytes.load() - base_; }

private:
    size_t base_;
};
} // namespace

void* operator new(size_t size) {
    return Allocate(size);
}
void* operator new[](size_t size) {
    return Allocate(size);
}
void operator delete(void* p) noexcept {
    Release(p);
}
void operator delete[](void* p) noexcept {
    Release(p);
}
void operator delete(void* p, size_t) noexcept {
    Release(p);
}
void operator delete[](void* p, size_t) noexcept {
    Release(p);
}

// --- Tests --------------------------------------------------------------------------------------

namespace {

// The lines of a text split at LF only; a final LF opens no further line.
std::vector<std::string> SplitAtLF(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

class HostileIni : public SettingsTest {
protected:
    double Seconds(std::chrono::steady_clock::time_point since) const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
    }
};

constexpr size_t kHugeValue = 100u * 1024 * 1024;

TEST_F(HostileIni, HugeValueReadsCutWithMemoryInProportionAndSurvivesWrites) {
    std::string file = Path("huge.ini");
    {
        std::string text = "[S]\nbefore=1\nhuge=";
        text.append(kHugeValue, 'x');
        text += "\nafter=2\n[T]\nk=v\n";
        Spit(file, text);
    }
    size_t fileSize = fs::file_size(file);
    {
        THeapWatch heap;
        TIniFile ini(file);
        EXPECT_EQ(ini.ReadString("S", "huge", ""), std::string(IniMaxValueLength, 'x'));
        EXPECT_EQ(ini.ReadString("S", "before", ""), "1");
        EXPECT_EQ(ini.ReadString("S", "after", ""), "2");
        EXPECT_EQ(ini.ReadString("T", "k", ""), "v");
        TStringList lines;
        ini.ReadSectionValues("S", lines);
        ASSERT_EQ(lines.Count(), 3);
        EXPECT_EQ(lines[1].size(), 5 + IniMaxValueLength);
        // The file's text and its lines, briefly both; never a copy per read.
        EXPECT_LT(heap.Growth(), 2 * fileSize + 16 * 1024 * 1024) << "peak heap growth";
    }
    {
        // A write elsewhere keeps the huge value as it was. It holds the lines as loaded, the
        // lines as changed and the new file's text.
        TIniFile ini(file);
        EXPECT_EQ(ini.ReadString("T", "k", ""), "v");
        THeapWatch heap;
        ini.SetDurable(false);
        ini.WriteString("T", "new", "n");
        EXPECT_LT(heap.Growth(), 2 * fileSize + 16 * 1024 * 1024) << "peak heap growth";
    }
    EXPECT_EQ(fs::file_size(file), fileSize + 6);
    TIniFile again(file);
    EXPECT_EQ(again.ReadString("T", "new", ""), "n");
    EXPECT_EQ(again.ReadString("S", "huge", ""), std::string(IniMaxValueLength, 'x'));
    // Through the store's own reads as well.
    EXPECT_EQ(U_IniReadStrCached(again, "S", "huge", "").size(), IniMaxValueLength);
    EXPECT_EQ(U_IniReadText(again, "S", "after", ""), "2");
}

TEST_F(HostileIni, HundredThousandSectionsListAndReadQuickly) {
    constexpr int kSections = 100000;
    std::string file = Path("many.ini");
    {
        std::string text;
        for (int i = 0; i < kSections; ++i)
            text += U_Format("[Section %d]\nkey=%d\n", i, i);
        // Repeated names, in another case, are listed once.
        text += "[SECTION 7]\nkey=again\n";
        Spit(file, text);
    }
    auto start = std::chrono::steady_clock::now();
    TIniFile ini(file);
    TStringList sections;
    ini.ReadSections(sections);
    EXPECT_EQ(sections.Count(), kSections);
    EXPECT_EQ(sections[kSections - 1], U_Format("Section %d", kSections - 1));
    EXPECT_EQ(ini.ReadString("section 99999", "KEY", ""), "99999");
    EXPECT_EQ(ini.ReadString("Section 7", "key", ""), "7") << "the first block answers";
    EXPECT_TRUE(ini.SectionExists("Section 50000"));
    EXPECT_LT(Seconds(start), 10.0);
}

// Binary junk between the lines: no read fails, and every value around it reads as written.
TEST_F(HostileIni, BinaryJunkLeavesTheValuesAroundItReadable) {
    std::mt19937 rng(1234);
    std::uniform_int_distribution<int> byte(0, 255);
    auto junk = [&](size_t n) {
        std::string s;
        while (s.size() < n) {
            char c = static_cast<char>(byte(rng));
            // One line of junk: no line break, and nothing that opens a section.
            if (c == '\n' || (s.empty() && (c == '[' || c == ' ' || c == '\t')))
                continue;
            s.push_back(c);
        }
        return s;
    };
    std::string text = junk(5000) + "\n[Good]\n";
    for (int i = 0; i < 50; ++i)
        text += U_Format("key%d=value %d\n", i, i) + junk(200) + "\n";
    text += std::string("\0\0\0\xFF\xFE", 5) + "\n[Other]\nk=v\n" + junk(3000);
    std::string file = Path("junk.ini");
    Spit(file, text);

    TIniFile ini(file);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(ini.ReadString("Good", U_Format("key%d", i), ""), U_Format("value %d", i)) << i;
    EXPECT_EQ(ini.ReadString("Other", "k", ""), "v");
    TStringList sections;
    ini.ReadSections(sections);
    EXPECT_GE(sections.IndexOf("Good"), 0);
    EXPECT_GE(sections.IndexOf("Other"), 0);

    // A write keeps every junk byte: nothing the program did not change is lost.
    ini.SetDurable(false);
    ini.WriteString("Good", "key0", "changed");
    // Only the changed value differs (and the CRs at a line's end, as the lines are rewritten
    // with LF, and the last line gets its line break).
    std::string expected;
    for (const std::string& line :
         SplitAtLF(U_ReplaceStr(text, "key0=value 0\n", "key0=changed\n", true, false)))
        expected += U_TrimRightChars(line, "\r") + "\n";
    EXPECT_EQ(Slurp(file), expected);
    EXPECT_EQ(ini.ReadString("Good", "key49", ""), "value 49");

    // A file of nothing but junk reads as empty.
    std::string noise;
    for (int i = 0; i < 1 << 20; ++i)
        noise.push_back(static_cast<char>(byte(rng)));
    Spit(Path("noise.ini"), noise);
    TIniFile noisy(Path("noise.ini"));
    noisy.ReadSections(sections);
    for (const TStringItem& s : sections) {
        TStringList lines;
        noisy.ReadSectionValues(s.Text, lines);
        for (const TStringItem& l : lines)
            EXPECT_LE(U_TailOf(l.Text, "=", true).size(), 4 * IniMaxValueLength);
    }
    EXPECT_EQ(noisy.ReadString("nothing", "here", "def"), "def");
}

// Lines that are neither "[section]" nor "key=value": skipped by every read, kept by every write.
TEST_F(HostileIni, LinesWithoutEqualsAndSectionsThatNeverCloseAreKept) {
    std::string file = Path("odd.ini");
    Spit(file, "just some text\n[A]\nx=1\nno equals sign here\n[B\ny=2\n= no key\n[C]\nz=3\n"
               "[never closes");
    TIniFile ini(file);
    EXPECT_EQ(ini.ReadString("A", "x", ""), "1");
    EXPECT_EQ(ini.ReadString("A", "y", ""), "2")
        << "an unclosed name opens no section: its lines stay in the one before";
    EXPECT_FALSE(ini.SectionExists("B"));
    EXPECT_FALSE(ini.SectionExists("never closes"));
    EXPECT_EQ(ini.ReadString("C", "z", ""), "3");
    TStringList keys;
    ini.ReadSection("A", keys);
    EXPECT_EQ(keys.Strings(), (std::vector<std::string>{"x", "y"}));

    ini.SetDurable(false);
    ini.WriteString("C", "w", "4");
    ini.WriteString("D", "k", "5");
    EXPECT_EQ(Slurp(file), "just some text\n[A]\nx=1\nno equals sign here\n[B\ny=2\n= no key\n"
                           "[C]\nz=3\n[never closes\nw=4\n[D]\nk=5\n");
    EXPECT_EQ(ini.ReadString("C", "w", ""), "4");
    EXPECT_EQ(ini.ReadString("D", "k", ""), "5");
}

// Found by fuzzing: a last line that ends in two CRs and no LF. The first read kept one CR in the
// value; a write elsewhere ended the line with CR LF, and the next read lost that CR.
TEST_F(HostileIni, CarriageReturnsAtALineEndNeverChangeAValueOnRewrite) {
    std::string file = Path("cr.ini");
    const std::string text("[X]\nk=v\r\r\r\nj=w \r\n[  \r-\r\r0=T\\\r\0\0\r\r", 33);
    Spit(file, text);
    TIniFile ini(file);
    TStringList before;
    ini.ReadSectionValues("X", before);
    ASSERT_EQ(before.Count(), 3);
    EXPECT_EQ(before[0], "k=v");
    EXPECT_EQ(before[1], "j=w");
    EXPECT_EQ(before[2], std::string("[  \r-\r\r0=T\\\r\0\0", 14));
    ini.SetDurable(false);
    ini.WriteString("Y", "a", "b");
    TIniFile again(file);
    TStringList after;
    again.ReadSectionValues("X", after);
    EXPECT_EQ(after.Strings(), before.Strings());
    again.SetDurable(false);
    again.WriteString("Y", "a", "c");
    TIniFile third(file);
    third.ReadSectionValues("X", after);
    EXPECT_EQ(after.Strings(), before.Strings());
}

} // namespace
