// Synthetic tree files of a requested size, for benchmarks and scale tests.
#pragma once

#include <cstdint>
#include <string>

namespace trovalen::convert {

struct TGenerateOptions {
    uint32_t Users = 1000;
    uint32_t Groups = 20;
    uint32_t Depth = 3;    // levels of organizational units below the organization
    uint32_t Fanout = 4;   // organizational units in each container
    uint32_t Dirs = 100;   // directories on the volume
    uint32_t Trustees = 3; // trustees per directory
    uint32_t Seed = 1;
    // The share of the users, in percent, that are security-equal to groups: with fewer, each
    // group has fewer members.
    uint32_t EqualShare = 100;
    // The large-trustee scenario, off when both counts are 0: the group Everyone.Gen with
    // Members users in the unit Members.Gen, each security-equal to it; the unit Residents.Gen
    // with Residents users; the object Target.Gen and the directory SYS:PROJ, on which the group
    // and the unit Residents.Gen are trustees.
    uint32_t Members = 0;
    uint32_t Residents = 0;
    // With the scenario: each of its users also holds an assignment of its own on SYS:PROJ and
    // on Target.Gen.
    bool AssignEach = false;
};

// The tree file as JSON text: tree GEN_TREE with the organization Gen, the units Unit<n>, users
// User<n> spread over the units, groups Group<n> in the organization that every user is
// security-equal to one or two of, a server GEN-FS1 with the volume SYS holding the directories,
// and one authenticated connection. The large-trustee scenario comes on top when asked for.
std::string GenerateTreeJson(const TGenerateOptions& options);

} // namespace trovalen::convert
