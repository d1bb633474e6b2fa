// The subjects and attributes one analysis meets, numbered as they first come, with what the
// analysis keeps about them: a reason list per subject and attribute, and the directory's answers
// about a subject. Names compare exactly, letter case included. Texts are copied into a few large
// blocks and looked up in an open-addressing table, so that an analysis of a hundred thousand
// trustees neither allocates per trustee nor chases one list node per lookup. A copy shares the
// blocks of kept text with its original: kept text never changes, and a copy keeps what it adds
// in blocks of its own, so that copying the index of a level for each entry below it is cheap.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/NWClient.h"

namespace trovalen {

// One answer of the directory's effective rights of a subject on the analysed object.
struct TRightsAnswer {
    std::string Letters;
    uint32_t Rights = 0;
    NWCCODE Code = 0;
};

class TTrusteeIndex {
public:
    static constexpr uint32_t kNone = 0xFFFFFFFFu;

    TTrusteeIndex() = default;
    TTrusteeIndex(const TTrusteeIndex& other);
    TTrusteeIndex& operator=(const TTrusteeIndex& other);
    TTrusteeIndex(TTrusteeIndex&&) noexcept = default;
    TTrusteeIndex& operator=(TTrusteeIndex&&) noexcept = default;

    // The number of a subject and attribute pair (file system: the attribute is empty).
    uint32_t Key(std::string_view subject, std::string_view attribute);
    // The number of a subject alone, and of an attribute alone.
    uint32_t Subject(std::string_view subject);
    // The number of a subject met before, kNone for one not met.
    uint32_t FindSubject(std::string_view subject) const;
    uint32_t Attribute(std::string_view attribute);

    uint32_t SubjectOf(uint32_t key) const { return FKeys[key].Subject; }
    uint32_t AttributeOf(uint32_t key) const { return FKeys[key].Attribute; }
    std::string_view SubjectText(uint32_t subject) const { return FSubjects[subject].Name; }
    const std::string& AttributeText(uint32_t attribute) const { return FAttributes[attribute]; }

    // The first reason of a key's list (kNone when it has none); the list is the caller's.
    uint32_t& ReasonHead(uint32_t key) { return FKeys[key].ReasonHead; }

    // The answer kept for a subject and attribute, null when none is.
    TRightsAnswer* FindAnswer(uint32_t subject, uint32_t attribute);
    TRightsAnswer& AddAnswer(uint32_t subject, uint32_t attribute);

    size_t KeyCount() const { return FKeys.size(); }
    size_t SubjectCount() const { return FSubjects.size(); }

private:
    struct TSubject {
        std::string_view Name; // in FBlocks
        size_t Hash = 0;
        uint32_t FirstKey = kNone;
        uint32_t FirstAnswer = kNone;
    };
    struct TKey {
        uint32_t Subject = 0;
        uint32_t Attribute = 0;
        uint32_t NextOfSubject = kNone;
        uint32_t ReasonHead = kNone;
    };
    struct TAnswer {
        uint32_t Attribute = 0;
        uint32_t Next = kNone;
        TRightsAnswer Answer;
    };

    std::string_view Keep(std::string_view text);
    uint32_t FindSubject(std::string_view subject, size_t hash) const;
    void Grow();

    std::vector<TSubject> FSubjects;
    std::vector<uint32_t> FSlots; // subject number + 1; 0 is a free slot
    std::vector<TKey> FKeys;
    std::vector<TAnswer> FAnswers;
    std::vector<std::string> FAttributes;
    std::unordered_map<std::string, uint32_t> FAttributeNumbers;
    std::vector<std::shared_ptr<char[]>> FBlocks;
    size_t FBlockUsed = 0;
    size_t FBlockSize = 0;
    size_t FNextBlock = 64 * 1024; // the size of the next block
};

// Sort keys of trustee names: U_AppendDottedKey appends a key of a dotted name whose bytes
// order as U_CompareDottedNames orders the upper-case names: the parts from the last to the
// first, upper case, each but the first followed by the pair 0 0; a zero byte of a name is
// written 0 1, so that a part ends before anything it could go on with. U_CompareDottedKeys
// answers what U_CompareDottedNames does, including that a name whose parts all match the last
// parts of a longer one is not before it, while the longer one comes after it.
void U_AppendDottedKey(std::string_view name, std::string& key);
int U_CompareDottedKeys(std::string_view a, std::string_view b);

} // namespace trovalen
