#include "rights/TrusteeIndex.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "util/Util.h"

namespace trovalen {

namespace {
constexpr size_t kBlockSize = 64 * 1024;
constexpr size_t kFirstSlots = 64;
constexpr size_t kFirstCopyBlock = 1024;
} // namespace

TTrusteeIndex::TTrusteeIndex(const TTrusteeIndex& other)
    : FSubjects(other.FSubjects), FSlots(other.FSlots), FKeys(other.FKeys),
      FAnswers(other.FAnswers), FAttributes(other.FAttributes),
      FAttributeNumbers(other.FAttributeNumbers), FBlocks(other.FBlocks) {
    // The last block may go on filling in the original: the copy starts a block of its own.
    FBlockUsed = FBlockSize = 0;
    FNextBlock = kFirstCopyBlock;
}

TTrusteeIndex& TTrusteeIndex::operator=(const TTrusteeIndex& other) {
    if (this != &other)
        *this = TTrusteeIndex(other);
    return *this;
}

std::string_view TTrusteeIndex::Keep(std::string_view text) {
    if (text.empty())
        return {};
    if (text.size() > kBlockSize / 4) {
        // A long text gets a block of its own, which is full from the start.
        auto& block = FBlocks.emplace_back(new char[text.size()]);
        std::memcpy(block.get(), text.data(), text.size());
        FBlockUsed = FBlockSize = text.size();
        return {block.get(), text.size()};
    }
    if (FBlocks.empty() || FBlockUsed + text.size() > FBlockSize) {
        // A copy adds little to what it shares: its blocks start small and grow.
        FBlockSize = std::max(FNextBlock, text.size());
        FNextBlock = std::min(FNextBlock * 2, kBlockSize);
        FBlocks.emplace_back(new char[FBlockSize]);
        FBlockUsed = 0;
    }
    char* at = FBlocks.back().get() + FBlockUsed;
    std::memcpy(at, text.data(), text.size());
    FBlockUsed += text.size();
    return {at, text.size()};
}

void TTrusteeIndex::Grow() {
    std::vector<uint32_t> slots(FSlots.empty() ? kFirstSlots : FSlots.size() * 2, 0);
    const size_t mask = slots.size() - 1;
    for (uint32_t s = 0; s < FSubjects.size(); ++s) {
        size_t at = FSubjects[s].Hash & mask;
        while (slots[at] != 0)
            at = (at + 1) & mask;
        slots[at] = s + 1;
    }
    FSlots = std::move(slots);
}

uint32_t TTrusteeIndex::FindSubject(std::string_view subject, size_t hash) const {
    if (FSlots.empty())
        return kNone;
    const size_t mask = FSlots.size() - 1;
    for (size_t at = hash & mask; FSlots[at] != 0; at = (at + 1) & mask) {
        const TSubject& s = FSubjects[FSlots[at] - 1];
        if (s.Hash == hash && s.Name == subject)
            return FSlots[at] - 1;
    }
    return kNone;
}

uint32_t TTrusteeIndex::FindSubject(std::string_view subject) const {
    return FindSubject(subject, std::hash<std::string_view>{}(subject));
}

uint32_t TTrusteeIndex::Subject(std::string_view subject) {
    const size_t hash = std::hash<std::string_view>{}(subject);
    if (const uint32_t known = FindSubject(subject, hash); known != kNone)
        return known;
    // The table stays at most half full.
    if ((FSubjects.size() + 1) * 2 > FSlots.size())
        Grow();
    const auto number = static_cast<uint32_t>(FSubjects.size());
    TSubject& added = FSubjects.emplace_back();
    added.Name = Keep(subject);
    added.Hash = hash;
    const size_t mask = FSlots.size() - 1;
    size_t at = hash & mask;
    while (FSlots[at] != 0)
        at = (at + 1) & mask;
    FSlots[at] = number + 1;
    return number;
}

uint32_t TTrusteeIndex::Attribute(std::string_view attribute) {
    // Few attributes carry rights; their table stays small.
    std::string text(attribute);
    auto [it, added] =
        FAttributeNumbers.try_emplace(text, static_cast<uint32_t>(FAttributes.size()));
    if (added)
        FAttributes.push_back(std::move(text));
    return it->second;
}

uint32_t TTrusteeIndex::Key(std::string_view subject, std::string_view attribute) {
    const uint32_t s = Subject(subject);
    for (uint32_t k = FSubjects[s].FirstKey; k != kNone; k = FKeys[k].NextOfSubject)
        if (FAttributes[FKeys[k].Attribute] == attribute)
            return k;
    const uint32_t a = Attribute(attribute);
    const auto number = static_cast<uint32_t>(FKeys.size());
    TKey& added = FKeys.emplace_back();
    added.Subject = s;
    added.Attribute = a;
    added.NextOfSubject = FSubjects[s].FirstKey;
    FSubjects[s].FirstKey = number;
    return number;
}

TRightsAnswer* TTrusteeIndex::FindAnswer(uint32_t subject, uint32_t attribute) {
    for (uint32_t a = FSubjects[subject].FirstAnswer; a != kNone; a = FAnswers[a].Next)
        if (FAnswers[a].Attribute == attribute)
            return &FAnswers[a].Answer;
    return nullptr;
}

TRightsAnswer& TTrusteeIndex::AddAnswer(uint32_t subject, uint32_t attribute) {
    const auto number = static_cast<uint32_t>(FAnswers.size());
    TAnswer& added = FAnswers.emplace_back();
    added.Attribute = attribute;
    added.Next = FSubjects[subject].FirstAnswer;
    FSubjects[subject].FirstAnswer = number;
    return added.Answer;
}

void U_AppendDottedKey(std::string_view name, std::string& key) {
    // Each dot becomes two NULs and each NUL a NUL and a 1: the key's length is known, and the
    // parts are written into it in place (a sort of a large entry makes millions of keys).
    const size_t dots = static_cast<size_t>(std::count(name.begin(), name.end(), '.'));
    const size_t nuls = static_cast<size_t>(std::count(name.begin(), name.end(), '\0'));
    const size_t at = key.size();
    key.resize(at + name.size() + dots + nuls);
    char* out = key.data() + at;
    size_t end = name.size();
    while (true) {
        size_t dot = end == 0 ? std::string_view::npos : name.rfind('.', end - 1);
        size_t start = dot == std::string_view::npos ? 0 : dot + 1;
        for (size_t i = start; i < end; ++i) {
            char c = U_UpCaseChar(name[i]);
            if (c == '\0') {
                *out++ = '\0';
                *out++ = '\1';
            } else {
                *out++ = c;
            }
        }
        if (dot == std::string_view::npos)
            return;
        *out++ = '\0';
        *out++ = '\0';
        end = dot;
    }
}

int U_CompareDottedKeys(std::string_view a, std::string_view b) {
    const size_t common = std::min(a.size(), b.size());
    if (common > 0) {
        int c = std::memcmp(a.data(), b.data(), common);
        if (c != 0)
            return c < 0 ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    if (a.size() > b.size())
        return 1;
    // a ran out: at the end of one of b's parts (0 0) its parts all matched.
    return b[common] == '\0' && b[common + 1] == '\0' ? 0 : -1;
}

} // namespace trovalen
