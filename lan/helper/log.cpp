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

void Hex(std::string* out, unsigned char c)
{
    static const char digits[] = "0123456789ABCDEF";
    *out += '%';
    *out += digits[c >> 4];
    *out += digits[c & 15];
}

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
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F || c == '%' || c == '"') {
            Hex(&out, c);
            ++i;
            continue;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        // A whole UTF-8 character is kept, unless it is a C1 control.
        const std::string rest = text.substr(i, 4);
        size_t n = 0;
        for (size_t k = 2; k <= rest.size() && !n; ++k)
            if (lanproto::IsUtf8(rest.substr(0, k)))
                n = k;
        if (!n || (c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0)) {
            for (size_t k = 0; k < (n ? n : 1); ++k)
                Hex(&out, static_cast<unsigned char>(text[i + k]));
            i += n ? n : 1;
            continue;
        }
        out.append(text, i, n);
        i += n;
    }
    return out + '"';
}

} // namespace lanlog
