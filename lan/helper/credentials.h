// The user's own credentials for the network, from a file in the format
// Samba's tools read (`smbclient -A`): "username = NAME", "password = ...",
// "domain = NAME", one a line. Only a file that its owner alone may read is
// taken; the password goes nowhere but the library's logon.
#pragma once
#include <string>

struct Credentials {
    std::string user, password, domain;   // no user: guest
};

// False with the reason (never the password) when the file is not the
// user's alone, cannot be read or is not in the format.
bool ReadCredentials(const std::string& path, Credentials* credentials, std::string* why);
