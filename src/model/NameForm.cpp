#include "model/NameForm.h"

#include <algorithm>

#include "util/Util.h"

namespace trovalen {

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
           U_SameText(full[full.size() - 1 - shared], nameContext[nameContext.size() - 1 - shared]))
        ++shared;
    if (shared == 0) {
        form.Absolute = true;
        return form;
    }
    form.Keep = full.size() - shared;
    form.Climbs = nameContext.size() - shared;
    return form;
}

bool U_CompleteName(std::string_view name, std::string_view nameContext, bool canonical,
                    std::string& full) {
    auto valid = [](std::string_view n) {
        return !n.empty() && n.front() != '.' && n.back() != '.' &&
               n.find("..") == std::string_view::npos;
    };
    if (!name.empty() && name.front() == '.') {
        name.remove_prefix(1);
        canonical = false;
    }
    if (!canonical) {
        if (!valid(name))
            return false;
        full.assign(name);
        return true;
    }
    if (nameContext == "[Root]")
        nameContext = {};
    // Each trailing dot climbs one container above the name context.
    while (!name.empty() && name.back() == '.') {
        name.remove_suffix(1);
        if (nameContext.empty())
            return false;
        size_t dot = nameContext.find('.');
        nameContext =
            dot == std::string_view::npos ? std::string_view() : nameContext.substr(dot + 1);
    }
    if (!valid(name))
        return false;
    full.assign(name);
    if (!nameContext.empty()) {
        full += '.';
        full += nameContext;
    }
    return true;
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
