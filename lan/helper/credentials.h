// The user's own credentials for the network, from a file in the format
// Samba's tools read (`smbclient -A`), read as smbclient reads it: one
// "key = value" a line, keys in any case and with any blanks, the value's
// leading blanks dropped and its trailing ones kept, the last line of a key
// winning; "username" may carry "DOMAIN\" (or "DOMAIN/") and "%PASSWORD".
// Only a regular file that its owner alone may read is taken; the password
// goes nowhere but the library's logon.
#pragma once
#include <string>
#include <vector>

struct Credentials {
    std::string user, password, domain;   // no user: guest
};

// The most a credentials file may hold.
constexpr size_t kMaxCredentialsFile = 16384;

// Reads `text` as smbclient does. What it ignores or guesses (a realm, an
// unknown key, a line without "=", no username or no password) is a note
// for the log, never showing a value.
void ParseCredentials(const std::string& text, Credentials* credentials, std::vector<std::string>* notes);

// False with the reason (never the password) when the file is not a
// regular file of this user's that nobody else may read, or cannot be read.
bool ReadCredentials(const std::string& path, Credentials* credentials, std::string* why,
                     std::vector<std::string>* notes);

// Overwrites a copy of a secret before it is given back, so that it
// lingers in no freed memory.
void Wipe(std::string* secret);
void Wipe(Credentials* credentials);
