#include "lan/helper/log.h"
#include <fcntl.h>
#include <sys/time.h>
#include <unistd.h>
#include <cstdio>
#include <ctime>
#include "lan/common/protocol.h"

namespace lanlog {

namespace {

int g_fd = 2;

} // namespace

bool Open(const std::string& path)
{
    if (path.empty()) {
        g_fd = 2;
        return true;
    }
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    g_fd = fd;
    return true;
}

void Line(const std::string& text)
{
    timeval now;
    gettimeofday(&now, nullptr);
    tm local;
    localtime_r(&now.tv_sec, &local);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d.%03ld ", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, static_cast<long>(now.tv_usec / 1000));
    // One write, so lines of several processes never interleave.
    const std::string line = stamp + text + '\n';
    ssize_t unused = write(g_fd, line.data(), line.size());
    (void)unused;
}

int Fd()
{
    return g_fd;
}

void Use(int fd)
{
    g_fd = fd;
}

void CaptureStandardError()
{
    if (g_fd != 2)
        dup2(g_fd, 2);
}

std::string Quote(const std::string& text)
{
    return lanproto::Quote(text);
}

} // namespace lanlog
