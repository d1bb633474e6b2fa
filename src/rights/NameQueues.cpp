#include "rights/NameQueues.h"

#include <bit>

#include "util/Util.h"

namespace trovalen {

size_t U_CaseInsensitiveHash(std::string_view text) {
    uint64_t h = 14695981039346656037ull;
    for (char c : text)
        h = (h ^ static_cast<unsigned char>(U_UpCaseChar(c))) * 1099511628211ull;
    return static_cast<size_t>(h);
}

TNameQueues::TNameQueues(size_t names) {
    FQueues.reserve(names);
    // At most half the slots in use keeps the probe sequences short.
    FSlots.assign(std::bit_ceil(std::max<size_t>(16, names * 2)), 0);
}

void TNameQueues::Push(std::string_view name, size_t position) {
    TQueue& queue = Find(name);
    if (position >= FNext.size())
        FNext.resize(std::max(position + 1, FNext.size() * 2), kNoPosition);
    FNext[position] = kNoPosition;
    if (queue.Head == kNoPosition)
        queue.Head = position;
    else
        FNext[queue.Tail] = position;
    queue.Tail = position;
}

size_t TNameQueues::Pop(std::string_view name) {
    TQueue& queue = Find(name);
    const size_t first = queue.Head;
    if (first != kNoPosition)
        queue.Head = FNext[first];
    return first;
}

TNameQueues::TQueue& TNameQueues::Find(std::string_view name) {
    const size_t hash = U_CaseInsensitiveHash(name);
    size_t mask = FSlots.size() - 1;
    size_t at = hash & mask;
    for (; FSlots[at] != 0; at = (at + 1) & mask) {
        TQueue& queue = FQueues[FSlots[at] - 1];
        if (queue.Hash == hash && U_SameText(queue.Name, name))
            return queue;
    }
    if ((FQueues.size() + 1) * 2 > FSlots.size()) {
        Grow();
        mask = FSlots.size() - 1;
        at = hash & mask;
        while (FSlots[at] != 0)
            at = (at + 1) & mask;
    }
    FSlots[at] = static_cast<uint32_t>(FQueues.size() + 1);
    TQueue& added = FQueues.emplace_back();
    added.Name = name;
    added.Hash = hash;
    return added;
}

void TNameQueues::Grow() {
    FSlots.assign(FSlots.size() * 2, 0);
    const size_t mask = FSlots.size() - 1;
    for (size_t i = 0; i < FQueues.size(); ++i) {
        size_t at = FQueues[i].Hash & mask;
        while (FSlots[at] != 0)
            at = (at + 1) & mask;
        FSlots[at] = static_cast<uint32_t>(i + 1);
    }
}

} // namespace trovalen
