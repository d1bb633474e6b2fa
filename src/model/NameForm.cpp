#include "model/NameForm.h"

#include <algorithm>
#include <cctype>

namespace trovalen {

namespace {

bool SamePart(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

TNameForm U_NameForm(const std::vector<std::string>& full,
                     const std::vector<std::string>& nameContext, bool canonical) {
    TNameForm form;
    form.Keep = full.size();
    if (!canonical || nameContext.empty() || full.empty())
        return form;
    // The nearest container above the object that also holds the name context (or is it).
    size_t shared = 0;
    size_t most = std::min(full.size() - 1, nameContext.size());
    while (shared < most &&
           SamePart(full[full.size() - 1 - shared], nameContext[nameContext.size() - 1 - shared]))
        ++shared;
    if (shared == 0) {
        form.Absolute = true;
        return form;
    }
    form.Keep = full.size() - shared;
    form.Climbs = nameContext.size() - shared;
    return form;
}

std::string U_JoinNameForm(const std::vector<std::string>& parts, const TNameForm& form) {
    std::string out = form.Absolute ? "." : "";
    for (size_t i = 0; i < form.Keep && i < parts.size(); ++i) {
        if (i > 0)
            out += '.';
        out += parts[i];
    }
    out.append(form.Climbs, '.');
    return out;
}

} // namespace trovalen
