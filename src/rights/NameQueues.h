// Positions in a list by name, ignoring letter case: for each name a first-in, first-out queue of
// positions. One flat table of names and one array of links, so that a list of a hundred thousand
// names neither allocates per name nor chases a node per lookup.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace trovalen {

// A hash of a name in which names equal ignoring letter case (U_SameText) hash alike.
size_t U_CaseInsensitiveHash(std::string_view text);

class TNameQueues {
public:
    static constexpr size_t kNoPosition = static_cast<size_t>(-1);

    // Room for `names` different names; more make the table grow. Names are viewed where the
    // caller keeps them: they must stay in place while the queues are used.
    explicit TNameQueues(size_t names);

    // Puts a position at the end of the name's queue.
    void Push(std::string_view name, size_t position);
    // Takes the first position off the name's queue; kNoPosition when it holds none.
    size_t Pop(std::string_view name);

private:
    struct TQueue {
        std::string_view Name;
        size_t Hash = 0;
        size_t Head = kNoPosition;
        size_t Tail = kNoPosition;
    };
    TQueue& Find(std::string_view name);
    void Grow();

    std::vector<TQueue> FQueues;
    std::vector<uint32_t> FSlots; // queue number + 1; 0 is a free slot
    std::vector<size_t> FNext;    // the position after a position in its queue
};

} // namespace trovalen
