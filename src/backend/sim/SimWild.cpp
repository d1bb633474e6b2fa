#include "backend/sim/SimInternal.h"
#include "util/Util.h"

namespace trovalen::sim {

bool WildMatch(std::string_view pattern, std::string_view text, TWildStyle style) {
    const bool fileName = style == TWildStyle::FileName;
    std::string lowered = fileName ? U_LowerCase(std::string(pattern)) : std::string();
    std::string t = fileName ? U_LowerCase(std::string(text)) : std::string(text);
    std::string_view p = fileName ? std::string_view(lowered) : pattern;
    if (fileName && p == "*.*")
        p = "*";
    // Greedy scan that returns to the last "*" on a mismatch.
    size_t pi = 0, ti = 0, star = std::string::npos, mark = 0;
    while (ti < t.size()) {
        if (pi < p.size() && p[pi] == '*') {
            star = pi++;
            mark = ti;
        } else if (pi < p.size() && (p[pi] == t[ti] || (fileName && p[pi] == '?'))) {
            ++pi;
            ++ti;
        } else if (star != std::string::npos) {
            pi = star + 1;
            ti = ++mark;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*')
        ++pi;
    return pi == p.size();
}

} // namespace trovalen::sim
