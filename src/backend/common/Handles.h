// What a client hands out handles for (contexts, buffers, filters, iterations, streams,
// connections), and the one way an operation finds the object behind a handle.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <utility>

#include "model/NWClient.h"

namespace trovalen::backend {

// What one client holds open at most of each kind, so that a caller that never frees cannot
// exhaust it.
constexpr size_t kMaxLiveHandles = 65536;
// Iterations beyond it drop the oldest abandoned one.
constexpr size_t kMaxLiveIterations = 4096;

// The objects of one kind that are open, by handle. T may be incomplete where the table is
// declared; it is complete wherever the table is used.
template <class T> class THandles {
public:
    // missing: what an operation answers for a handle that is not open.
    explicit THandles(NWCCODE missing = ERR_INVALID_HANDLE) : FMissing(missing) {}

    // The object open under h: NW_OK with out set, else the table's code with out null.
    NWCCODE Lookup(NWHandle h, T*& out) const {
        auto it = FOpen.find(h);
        out = it == FOpen.end() ? nullptr : it->second.get();
        return out != nullptr ? NW_OK : FMissing;
    }
    bool Has(NWHandle h) const { return FOpen.count(h) != 0; }
    size_t Size() const { return FOpen.size(); }
    // Whether the table holds as many as one client may keep open.
    bool Full() const { return FOpen.size() >= kMaxLiveHandles; }
    void Add(NWHandle h, std::unique_ptr<T> object) { FOpen[h] = std::move(object); }
    // Closes h: NW_OK, or the table's code when h was not open.
    NWCCODE Free(NWHandle h) { return FOpen.erase(h) != 0 ? NW_OK : FMissing; }
    // Closes h and hands its object over; null when h was not open.
    std::unique_ptr<T> Take(NWHandle h) {
        auto it = FOpen.find(h);
        if (it == FOpen.end())
            return nullptr;
        std::unique_ptr<T> object = std::move(it->second);
        FOpen.erase(it);
        return object;
    }
    // Makes room in a full table: closes the open object with the lowest handle.
    void FreeLowest() {
        if (!FOpen.empty())
            FOpen.erase(FOpen.begin());
    }

private:
    std::map<NWHandle, std::unique_ptr<T>> FOpen;
    NWCCODE FMissing;
};

// Looks up every handle of a call in its table, in the order given: NW_OK, or the code of the
// first handle that is not open. Lookup(FContexts, ctx, c, FBufs, buf, b).
template <class T, class... TRest>
NWCCODE Lookup(const THandles<T>& table, NWHandle h, T*& out, TRest&&... rest) {
    NWCCODE code = table.Lookup(h, out);
    if constexpr (sizeof...(TRest) == 0)
        return code;
    else
        return code != NW_OK ? code : Lookup(std::forward<TRest>(rest)...);
}

} // namespace trovalen::backend
