// The window's "Connect to directory" through the registry: the fields of a live directory as a
// person fills them in (checked field by field, kept in the settings without the password) and
// the connection they make. Without a live-directory back end built in (U_HaveLiveDirectory),
// the window offers no such command, and these answer that there is none.
#pragma once

#include <string>
#include <vector>

#include "backend/Backends.h"
#include "backend/ldap/LdapConnectSettings.h"
#include "settings/IniFile.h"

namespace trovalen {

// Every bad field with its message, in the dialog's order; empty when the fields can be used.
std::vector<TLdapFieldError> U_CheckConnectFields(const TLdapConnectSettings& fields);

// Reads every field but the password from the settings file; writes every field but it.
void U_LoadConnectFields(TLdapConnectSettings& fields, const TIniFile& file);
void U_SaveConnectFields(const TLdapConnectSettings& fields, TIniFile& file);

// The connection's options from fields that U_CheckConnectFields accepts.
TLdapClientOptions U_ConnectOptions(const TLdapConnectSettings& fields);

// Builds the live directory's client and connects it; Client is null, with Error, when it
// cannot connect.
TOpenedDirectory U_ConnectLiveDirectory(const TLdapClientOptions& options);

} // namespace trovalen
