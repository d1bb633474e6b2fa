// The subjects and attributes one analysis meets, numbered as they first come, with what the
// analysis keeps about them: a reason list per subject and attribute, and the directory's answers
// about a subject. Names compare exactly, letter case included. Texts are copied into a few large
// blocks and looked up in an open-addressing table, so that an analysis of a hundred thousand
// trustees neither allocates per trustee nor chases one list node per lookup.
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
    std::vector<std::unique_ptr<char[]>> FBlocks;
    size_t FBlockUsed = 0;
    size_t FBlockSize = 0;
};

} // namespace trovalen
