// The user a benchmark's reverse query asks about in a generated tree: the one deepest in the
// units among those security-equal to groups, so that every way of holding rights is followed.
#pragma once

#include <string>

#include "util/Util.h"

namespace trovalen::bench {

inline std::string QueriedUser(const std::string& treeJson) {
    std::string user;
    const std::string key = "\"name\": \"User";
    for (size_t at = treeJson.find(key); at != std::string::npos; at = treeJson.find(key, at + 1)) {
        const size_t from = at + key.size() - 4;
        const std::string name = treeJson.substr(from, treeJson.find('"', from) - from);
        const size_t end = treeJson.find('}', from);
        const std::string object = treeJson.substr(from, end - from);
        if (U_CountOf(object, ".Gen\"") >= 3 && U_CountOf(name, ".") > U_CountOf(user, "."))
            user = name;
    }
    return "." + user;
}

} // namespace trovalen::bench
