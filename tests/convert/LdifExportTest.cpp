// The LDIF export without a server: every object becomes one entry under its DN, ACL values keep
// their privileges with the inheritance bit as scope, and every name in the schema is a valid
// LDAP descriptor that appears once.
#include <cstring>
#include <gtest/gtest.h>
#include <set>
#include <sstream>

#include "backend/ldap/LdapNames.h"
#include "backend/sim/SimLoader.h"
#include "convert/LdifExport.h"
#include "util/Util.h"

using namespace trovalen;
using namespace trovalen::convert;

namespace {

const std::string kSampleTree = std::string(TROVALEN_SOURCE_DIR) + "/data/sample-tree.json";

TEST(LdifExport, EveryObjectAndAclValueOfEachSampleTree) {
    std::string error;
    auto world = sim::LoadTreeFile(kSampleTree, error);
    ASSERT_TRUE(world) << error;
    for (size_t t = 0; t < world->Trees.size(); ++t) {
        TLdifExport out;
        ASSERT_TRUE(ExportLdif(*world, t, out, error)) << error;
        size_t entries = 0, acl = 0;
        std::istringstream in(out.Ldif + out.RootDse);
        for (std::string line; std::getline(in, line);) {
            entries += line.rfind("dn: ", 0) == 0 || line.rfind("dn:: ", 0) == 0;
            acl += line.rfind("ACL: ", 0) == 0;
        }
        size_t wantAcl = 0;
        for (const auto& o : world->Trees[t].Objects)
            wantAcl += o.Acl.size();
        EXPECT_EQ(entries, world->Trees[t].Objects.size() - 1) << world->Trees[t].Name;
        EXPECT_EQ(acl, wantAcl) << world->Trees[t].Name;
        EXPECT_NE(out.RootDse.find("directoryTreeName: " + world->Trees[t].Name),
                  std::string::npos);
    }
    TLdifExport none;
    EXPECT_FALSE(ExportLdif(*world, world->Trees.size(), none, error));
}

TEST(LdifExport, SchemaNamesAreUniqueDescriptors) {
    std::string error;
    auto world = sim::LoadTreeFile(kSampleTree, error);
    ASSERT_TRUE(world) << error;
    TLdifExport out;
    ASSERT_TRUE(ExportLdif(*world, 0, out, error)) << error;
    // "attributetype ( OID NAME 'name' ..." and "objectclass ( OID NAME 'name' ...": the kind
    // and the name of each definition.
    auto definition = [](const std::string& line, std::string& kind, std::string& name) {
        for (const char* k : {"attributetype ( ", "objectclass ( "}) {
            if (line.rfind(k, 0) != 0)
                continue;
            size_t at = line.find(" NAME '", std::strlen(k));
            if (at == std::string::npos)
                return false;
            at += 7;
            size_t end = line.find('\'', at);
            if (end == std::string::npos)
                return false;
            kind = k;
            name = line.substr(at, end - at);
            return true;
        }
        return false;
    };
    std::set<std::string> seen;
    std::istringstream in(out.Schema);
    size_t defs = 0;
    for (std::string line; std::getline(in, line);) {
        std::string kind, name;
        if (!definition(line, kind, name))
            continue;
        ++defs;
        const std::string lower = U_LowerCase(name);
        EXPECT_TRUE(ldap::IsLdapDescriptor(name)) << name;
        EXPECT_TRUE(seen.insert(kind + lower).second) << name;
    }
    EXPECT_GT(defs, world->Schema.Attrs.size() / 2);
    EXPECT_NE(out.Schema.find("X-NDS_NAME 'Security Equals'"), std::string::npos);
    EXPECT_NE(out.Schema.find("NAME 'inetOrgPerson'"), std::string::npos);
}

} // namespace
