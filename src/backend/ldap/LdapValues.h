// Attribute values as LDAP carries them, turned into the program's value records by the
// directory syntax of their attribute. Pure logic: names are resolved by the caller.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "model/NWClient.h"

namespace trovalen::ldap {

// A DN turned into the name the program shows; false when it names nothing.
using TDnToName = std::function<bool(std::string_view dn, std::string& name)>;
// An LDAP attribute or class name turned into the directory's name.
using TNameMap = std::function<std::string(std::string_view ldapName)>;

struct TValueMaps {
    TDnToName Dn;
    TNameMap Attr;
    TNameMap Class;
};

// Reads one value of the directory syntax; false with one message when the value does not have
// the syntax's form. attrName is the directory's name of its attribute (kept in unknown values).
bool ValueFromLdap(uint32_t syntax, std::string_view attrName, std::string_view text,
                   const TValueMaps& maps, TAttrValue& out, std::string& error);

// A generalized time (`20240531174210Z`, fractions and offsets allowed) as seconds since 1970.
bool ParseGeneralizedTime(std::string_view text, uint32_t& seconds);

// The request value of the directory's effective-rights operation: three BER OCTET STRINGs one
// after the other (object DN, trustee DN, attribute name); empty when it cannot be encoded.
std::string EffectivePrivilegesRequest(std::string_view object, std::string_view trustee,
                                       std::string_view attribute);
// Its answer, one BER INTEGER: the rights bits. false when the value holds no integer.
bool ParseEffectivePrivileges(std::string_view value, uint32_t& rights);

} // namespace trovalen::ldap
