// The directory's own answer to "which rights does this subject hold here": computed from the
// ACL values of the tree, independently of the program's analysis, which it checks.
//
// 1. The subject's principals: the subject, the objects in its "Security Equals" (one level),
//    every container above it, [Public] and [Root]. "[This]" in an ACL value stands for the
//    object whose rights are asked: on the object itself, or inherited from a container above.
// 2. For each principal, from the top of the tree down to the object: the level's inherited
//    rights masks filter what came from above, a value assigned at the level replaces what was
//    inherited for the same protected attribute, and only inheritable values flow further down.
// 3. A value on a single attribute overrides the principal's [All Attributes Rights].
// 4. The union over the principals, then the implied rights.
#include "backend/sim/SimInternal.h"

#include "model/RightsModel.h"

#include <algorithm>
#include <bit>

namespace trovalen::sim {

namespace {

constexpr uint32_t kEntryBits =
    DS_ENTRY_BROWSE | DS_ENTRY_ADD | DS_ENTRY_DELETE | DS_ENTRY_RENAME | DS_ENTRY_SUPERVISOR;
constexpr uint32_t kAttrBits = DS_ATTR_ALL_RIGHTS;
constexpr uint32_t kRightsBits = kEntryBits | kAttrBits;

// The values one level assigns to a principal, merged into what the level holds for it.
void AddAssigned(std::span<const TSimAcl> values, int32_t prot, TRightsHeld& here) {
    for (const TSimAcl& a : values) {
        if (a.Protected == PROT_ENTRY) {
            here.Entry |= a.Privileges;
            here.HasEntry = true;
        } else if (a.Protected == PROT_ALL_ATTRS) {
            here.All |= a.Privileges;
            here.HasAll = true;
        } else if (a.Protected == prot && prot >= 0) {
            here.Attr |= a.Privileges;
            here.HasAttr = true;
        }
    }
}

void Walk(const TSimTree& t, const std::vector<TRightsLevel>& chain, int32_t principal,
          int32_t prot, TRightsHeld& held) {
    const int32_t target = chain.back().Object;
    for (const TRightsLevel& step : chain) {
        const int32_t level = step.Object;
        const auto& acl = t.Objects[level].Acl;
        // A level without ACL values changes nothing: what flows down was filtered already.
        if (acl.empty() && level != target)
            continue;
        // The masks of this level filter what came from above.
        for (const TSimAcl& a : step.Irm) {
            uint32_t mask = a.Privileges & kRightsBits;
            if (a.Protected == PROT_ENTRY) {
                held.Entry &= mask | DS_INHERIT_CTL;
            } else if (a.Protected == PROT_ALL_ATTRS) {
                held.All &= mask | DS_INHERIT_CTL;
                held.Attr &= mask | DS_INHERIT_CTL;
            } else if (a.Protected == prot) {
                held.Attr &= mask | DS_INHERIT_CTL;
            }
        }
        // A value assigned here replaces what was inherited for the same protected attribute.
        TRightsHeld here;
        AddAssigned(AclOf(acl, principal), prot, here);
        // "[This]" is each object on itself: wherever the value stands (on the object, or on a
        // container above it and inherited), it counts for the object whose rights are asked.
        if (principal == target)
            AddAssigned(step.This, prot, here);
        if (here.HasEntry) {
            held.Entry = here.Entry;
            held.HasEntry = true;
        }
        if (here.HasAll) {
            held.All = here.All;
            held.HasAll = true;
        }
        if (here.HasAttr) {
            held.Attr = here.Attr;
            held.HasAttr = true;
        }
        if (level == target)
            break;
        // Only the inheritable part flows down.
        if (held.HasEntry && !AclInheritable(PROT_ENTRY, held.Entry)) {
            held.HasEntry = false;
            held.Entry = 0;
        }
        if (held.HasAll && !AclInheritable(PROT_ALL_ATTRS, held.All)) {
            held.HasAll = false;
            held.All = 0;
        }
        if (held.HasAttr && !AclInheritable(prot, held.Attr)) {
            held.HasAttr = false;
            held.Attr = 0;
        }
    }
}

// The first slot of key's probe in an index of size slots (a power of two).
size_t FirstSlot(uint64_t key, size_t size) {
    return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> 32) & (size - 1);
}

// Puts entry i of the memo into its index.
void IndexEntry(TRightsMemo& memo, size_t i) {
    const size_t mask = memo.Slots.size() - 1;
    size_t slot = FirstSlot(memo.Held[i].Key, memo.Slots.size());
    while (memo.Slots[slot] != 0)
        slot = (slot + 1) & mask;
    memo.Slots[slot] = static_cast<uint32_t>(i + 1);
    memo.Held[i].Slot = static_cast<uint32_t>(slot);
}

// What the memo holds under key, worked out by walk the first time.
template <class TWalk> const TRightsHeld& HeldBy(TRightsMemo& memo, uint64_t key, TWalk walk) {
    auto& held = memo.Held;
    if (memo.Slots.empty()) {
        for (const auto& known : held)
            if (known.Key == key)
                return known.Held;
    } else {
        const size_t mask = memo.Slots.size() - 1;
        for (size_t slot = FirstSlot(key, memo.Slots.size()); memo.Slots[slot] != 0;
             slot = (slot + 1) & mask)
            if (held[memo.Slots[slot] - 1].Key == key)
                return held[memo.Slots[slot] - 1].Held;
    }
    TRightsMemo::TEntry& added = held.emplace_back();
    added.Key = key;
    walk(added.Held);
    if (held.size() >= TRightsMemo::kIndexFrom && held.size() * 2 > memo.Slots.size()) {
        // Built, or grown to four times the entries, with every entry put in again.
        memo.Slots.assign(held.size() * 4 > 256 ? std::bit_ceil(held.size() * 4) : 256, 0);
        for (size_t i = 0; i < held.size(); ++i)
            IndexEntry(memo, i);
    } else if (!memo.Slots.empty()) {
        IndexEntry(memo, held.size() - 1);
    }
    return held.back().Held;
}

// Empties the memo, keeping its room.
void Forget(TRightsMemo& memo) {
    if (!memo.Slots.empty())
        for (const auto& entry : memo.Held)
            memo.Slots[entry.Slot] = 0;
    memo.Held.clear();
}

} // namespace

void SortAcl(std::vector<TSimAcl>& acl) {
    std::stable_sort(acl.begin(), acl.end(),
                     [](const TSimAcl& a, const TSimAcl& b) { return a.Subject < b.Subject; });
}

std::span<const TSimAcl> AclOf(const std::vector<TSimAcl>& acl, int32_t subject) {
    struct TBySubject {
        bool operator()(const TSimAcl& a, int32_t s) const { return a.Subject < s; }
        bool operator()(int32_t s, const TSimAcl& a) const { return s < a.Subject; }
    };
    auto [first, last] = std::equal_range(acl.begin(), acl.end(), subject, TBySubject{});
    return {first, last};
}

uint32_t EffectiveRights(const TSimTree& t, int32_t subject, int32_t object, int32_t prot,
                         TRightsMemo& memo) {
    // The levels from the top of the tree down to the object, worked out once per object.
    std::vector<TRightsLevel>& chain = memo.Chain;
    if (memo.Tree != &t || memo.Object != object) {
        memo.Tree = &t;
        memo.Object = object;
        Forget(memo);
        chain.clear();
        for (int32_t cur = object; cur >= 0 && chain.size() < 1024; cur = t.Objects[cur].Parent) {
            const auto& acl = t.Objects[cur].Acl;
            chain.push_back({cur, AclOf(acl, SUBJ_IRM), AclOf(acl, SUBJ_THIS)});
        }
        std::reverse(chain.begin(), chain.end());
    }
    if (chain.empty())
        return 0;

    std::vector<int32_t>& principals = memo.Principals;
    principals.clear();
    principals.push_back(subject);
    auto add = [&principals](int32_t p) {
        for (int32_t q : principals)
            if (q == p)
                return;
        principals.push_back(p);
    };
    if (subject >= 0) {
        for (int32_t eq : t.Objects[subject].SecurityEquals)
            add(eq);
        for (int32_t up = t.Objects[subject].Parent; up >= 0; up = t.Objects[up].Parent)
            add(up);
    }
    add(SUBJ_PUBLIC);
    if (subject != SUBJ_PUBLIC)
        add(0); // [Root]: every object that has logged in

    uint32_t entry = 0, attrs = 0;
    for (int32_t p : principals) {
        // What a principal holds here does not depend on whose principal it is.
        const uint64_t key =
            (static_cast<uint64_t>(static_cast<uint32_t>(p)) << 32) | static_cast<uint32_t>(prot);
        const TRightsHeld& held =
            HeldBy(memo, key, [&](TRightsHeld& walked) { Walk(t, chain, p, prot, walked); });
        entry |= held.Entry & kEntryBits;
        if (prot == PROT_ENTRY)
            continue;
        // A value on the attribute itself overrides [All Attributes Rights].
        if (prot >= 0 && held.HasAttr)
            attrs |= held.Attr & kAttrBits;
        else
            attrs |= held.All & kAttrBits;
    }

    if (prot == PROT_ENTRY) {
        if (entry & DS_ENTRY_SUPERVISOR)
            entry |= kEntryBits;
        return entry;
    }
    if (entry & DS_ENTRY_SUPERVISOR)
        attrs |= kAttrBits;
    if (attrs & DS_ATTR_SUPERVISOR)
        attrs |= DS_ATTR_COMPARE | DS_ATTR_READ | DS_ATTR_WRITE | DS_ATTR_SELF;
    if (attrs & DS_ATTR_WRITE)
        attrs |= DS_ATTR_SELF;
    if (attrs & DS_ATTR_READ)
        attrs |= DS_ATTR_COMPARE;
    return attrs;
}

} // namespace trovalen::sim
