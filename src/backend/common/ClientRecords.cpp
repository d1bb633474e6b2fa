// How values are laid into result buffers, and typed names made typeless.
#include "backend/common/ClientRecords.h"

#include <type_traits>
#include <variant>

#include "model/NameForm.h"

namespace trovalen::backend {

uint32_t ValueBytes(const TAttrValue& v) {
    auto str = NameBytes;
    return std::visit(
        [&](const auto& x) -> uint32_t {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, TValString>)
                return str(x.Text);
            else if constexpr (std::is_same_v<T, TValCIList>) {
                uint32_t n = 4;
                for (const auto& i : x.Items)
                    n += str(i);
                return n;
            } else if constexpr (std::is_same_v<T, TValOctetString>)
                return static_cast<uint32_t>(4 + x.Data.size());
            else if constexpr (std::is_same_v<T, TValFax>)
                return str(x.TelephoneNumber) + 8;
            else if constexpr (std::is_same_v<T, TValNetAddress>)
                return static_cast<uint32_t>(8 + x.Address.size());
            else if constexpr (std::is_same_v<T, TValOctetList>) {
                uint32_t n = 4;
                for (const auto& i : x.Items)
                    n += static_cast<uint32_t>(4 + i.size());
                return n;
            } else if constexpr (std::is_same_v<T, TValEMail>)
                return 4 + str(x.Address);
            else if constexpr (std::is_same_v<T, TValPath>)
                return 4 + str(x.VolumeName) + str(x.Path);
            else if constexpr (std::is_same_v<T, TValReplicaPointer>)
                return 12 + str(x.ServerName);
            else if constexpr (std::is_same_v<T, TValObjectACL>)
                return 4 + str(x.ProtectedAttrName) + str(x.SubjectName);
            else if constexpr (std::is_same_v<T, TValPostalAddress>) {
                uint32_t n = 4;
                for (const auto& l : x.Lines)
                    n += str(l);
                return n;
            } else if constexpr (std::is_same_v<T, TValBackLink>)
                return 4 + str(x.ObjectName);
            else if constexpr (std::is_same_v<T, TValTypedName>)
                return 8 + str(x.ObjectName);
            else if constexpr (std::is_same_v<T, TValHold>)
                return 4 + str(x.ObjectName);
            else if constexpr (std::is_same_v<T, TValUnknown>)
                return static_cast<uint32_t>(12 + str(x.AttrName) + x.Value.size());
            else if constexpr (std::is_same_v<T, TValRaw>)
                return static_cast<uint32_t>(x.Bytes.size());
            else
                return 8;
        },
        v.Data);
}

std::string Typeless(const std::string& name) {
    if (name.find('=') == std::string::npos)
        return name;
    std::string out;
    size_t start = 0;
    while (start <= name.size()) {
        size_t dot = U_FindNameDot(name, start);
        std::string part = name.substr(start, dot == std::string::npos ? dot : dot - start);
        size_t eq = part.find('=');
        if (eq != std::string::npos && eq > 0 && eq <= 3)
            part = part.substr(eq + 1);
        out += part;
        if (dot == std::string::npos)
            break;
        out += '.';
        start = dot + 1;
    }
    return out;
}

} // namespace trovalen::backend
