#include "lan/helper/credentials.h"
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <string_view>
#include "lan/helper/log.h"

namespace {

// A key as smbclient compares it: blanks anywhere left out, any case.
std::string Key(std::string_view text)
{
    std::string key;
    for (char c : text)
        if (!std::isspace(static_cast<unsigned char>(c)))
            key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return key;
}

std::string LoginName()
{
    const passwd* pw = getpwuid(getuid());
    return pw && pw->pw_name ? pw->pw_name : std::string();
}

void Note(std::vector<std::string>* notes, const std::string& text)
{
    // A file of nothing but odd lines says so a few times, not thousands.
    if (notes && notes->size() < 16)
        notes->push_back(text);
}

} // namespace

void ParseCredentials(const std::string& text, Credentials* credentials, std::vector<std::string>* notes)
{
    Wipe(credentials);
    // Where each value lies in `text`: nothing is copied until the end, so
    // no copy of the password is left behind by a later line.
    std::string_view user, password, domain;
    bool hasUser = false, hasPassword = false;
    size_t at = 0;
    for (int line = 1; at < text.size(); ++line) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        std::string_view l(text.data() + at, end - at);
        at = end + 1;
        // A carriage return or a zero byte ends what smbclient sees of a line.
        l = l.substr(0, l.find_first_of(std::string_view("\r\0", 2)));
        const size_t first = l.find_first_not_of(" \t");
        if (first == std::string_view::npos || l[first] == '#' || l[first] == ';')
            continue;   // blank, or a comment
        const size_t eq = l.find('=');
        if (eq == std::string_view::npos) {
            Note(notes, "line " + std::to_string(line) + " of the credentials has no \"=\": ignored");
            continue;
        }
        const std::string key = Key(l.substr(0, eq));
        std::string_view value = l.substr(eq + 1);
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
            value.remove_prefix(1);
        if (key == "username") {
            user = value;
            hasUser = true;
        } else if (key == "password") {
            password = value;
            hasPassword = true;
        } else if (key == "domain") {
            domain = value;
        } else if (key == "realm") {
            Note(notes, "line " + std::to_string(line) + " of the credentials: the realm is not used (no Kerberos)");
        } else {
            Note(notes, "line " + std::to_string(line) + " of the credentials: " +
                            lanlog::Quote(key.substr(0, 32)) + " is not a key smbclient knows: ignored");
        }
    }
    // The user name as smbclient reads it: "NAME%PASSWORD" gives the
    // password, "DOMAIN\NAME" or "DOMAIN/NAME" the domain.
    if (const size_t percent = user.find('%'); percent != std::string_view::npos) {
        password = user.substr(percent + 1);
        hasPassword = true;
        user = user.substr(0, percent);
    }
    if (const size_t slash = user.find_first_of("\\/"); slash != std::string_view::npos) {
        domain = user.substr(0, slash);
        user = user.substr(slash + 1);
    }
    credentials->domain.assign(domain);
    credentials->password.reserve(password.size());
    credentials->password.assign(password);
    if (!hasUser) {
        credentials->user = LoginName();
        Note(notes, "the credentials name no username: the login name " + lanlog::Quote(credentials->user) +
                        " is used, as smbclient does");
    } else {
        credentials->user.assign(user);
        if (user.empty())
            Note(notes, "the credentials' username is empty: the helper is a guest");
    }
    if (!hasPassword && !credentials->user.empty())
        Note(notes, "the credentials give no password: an empty one is used");
}

bool ReadCredentials(const std::string& path, Credentials* credentials, std::string* why,
                     std::vector<std::string>* notes)
{
    Wipe(credentials);
    // Not blocking: a FIFO or a device at the path is refused below
    // instead of holding the start.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        *why = path + ": " + std::strerror(errno);
        return false;
    }
    // Looked at through the descriptor: what is checked is what is read.
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        *why = path + ": not a regular file";
        return false;
    }
    if (st.st_uid != geteuid() || (st.st_mode & 077)) {
        close(fd);
        *why = path + ": others may read it or it is not yours (chmod 600 it)";
        return false;
    }
    // One buffer of fixed size, wiped after: growing a string would leave
    // copies of the password in freed memory.
    std::string text(kMaxCredentialsFile + 1, '\0');
    size_t got = 0;
    ssize_t n = 0;
    while (got < text.size() && (n = read(fd, &text[got], text.size() - got)) > 0)
        got += static_cast<size_t>(n);
    close(fd);
    if (n < 0 || got > kMaxCredentialsFile) {
        Wipe(&text);
        *why = path + (n < 0 ? ": cannot be read" : ": longer than " + std::to_string(kMaxCredentialsFile) + " bytes");
        return false;
    }
    text.resize(got);
    ParseCredentials(text, credentials, notes);
    Wipe(&text);
    return true;
}

void Wipe(std::string* secret)
{
    if (!secret->empty())
        explicit_bzero(&(*secret)[0], secret->size());
    secret->clear();
}

void Wipe(Credentials* credentials)
{
    Wipe(&credentials->user);
    Wipe(&credentials->password);
    Wipe(&credentials->domain);
}
