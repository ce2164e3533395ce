#include "lan/helper/credentials.h"
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace {

std::string Trim(const std::string& s)
{
    const size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos)
        return std::string();
    return s.substr(a, s.find_last_not_of(" \t\r") - a + 1);
}

} // namespace

bool ReadCredentials(const std::string& path, Credentials* credentials, std::string* why)
{
    *credentials = Credentials();
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        *why = path + ": " + std::strerror(errno);
        return false;
    }
    // Looked at through the descriptor: what is checked is what is read.
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        *why = path + ": not a file";
        return false;
    }
    if (st.st_uid != getuid() || (st.st_mode & 077)) {
        close(fd);
        *why = path + ": others may read it or it is not yours (chmod 600 it)";
        return false;
    }
    std::string text;
    char buffer[1024];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0 && text.size() < 16384)
        text.append(buffer, static_cast<size_t>(n));
    close(fd);
    if (n < 0 || text.size() >= 16384) {
        *why = path + ": cannot be read whole";
        return false;
    }
    size_t at = 0;
    int line = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        const std::string l = Trim(text.substr(at, end - at));
        at = end + 1;
        ++line;
        if (l.empty() || l[0] == '#' || l[0] == ';')
            continue;
        const size_t eq = l.find('=');
        const std::string key = eq == std::string::npos ? l : Trim(l.substr(0, eq));
        const std::string value = eq == std::string::npos ? std::string() : Trim(l.substr(eq + 1));
        if (eq == std::string::npos || (key != "username" && key != "password" && key != "domain")) {
            *why = path + ": line " + std::to_string(line) + " is not \"username\", \"password\" or \"domain\" = value";
            *credentials = Credentials();
            return false;
        }
        (key == "username" ? credentials->user : key == "password" ? credentials->password : credentials->domain) =
            value;
    }
    if (credentials->user.empty()) {
        *why = path + ": no username";
        *credentials = Credentials();
        return false;
    }
    return true;
}
