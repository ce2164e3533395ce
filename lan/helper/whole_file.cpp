#include "lan/helper/whole_file.h"
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdlib>

bool WriteWhole(const std::string& path, const std::string& text)
{
    const size_t slash = path.rfind('/');
    std::string temp = (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "/.new-XXXXXX";
    const int fd = mkstemp(&temp[0]);
    if (fd < 0)
        return false;
    bool ok = fchmod(fd, 0600) == 0;
    for (size_t sent = 0; ok && sent < text.size();) {
        const ssize_t n = write(fd, text.data() + sent, text.size() - sent);
        ok = n > 0;
        sent += ok ? static_cast<size_t>(n) : 0;
    }
    ok = close(fd) == 0 && ok;
    if (!ok || rename(temp.c_str(), path.c_str()) != 0) {
        unlink(temp.c_str());
        return false;
    }
    return true;
}

bool ReadWhole(const std::string& path, std::string* text, size_t most)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    char buffer[4096];
    ssize_t n = 0;
    while (ok && (n = read(fd, buffer, sizeof buffer)) > 0 && text->size() < most)
        text->append(buffer, static_cast<size_t>(n));
    close(fd);
    return ok && n >= 0;
}
