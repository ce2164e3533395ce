/* Preloaded into the helper by discovery-wire.py: no datagram it sends
 * leaves. Each one is written to FERROLINK_SHIM_LOG as a line
 *   dst=A port=N ttl=T mif=A loop=L len=N
 * (the TTL its socket would send it with: the multicast TTL for a group,
 * else the unicast one; mif the socket's multicast interface; loop its
 * multicast loop), and handed instead to the test's answerer on
 * 127.0.0.1:FERROLINK_SHIM_PORT, behind a header of the destination (4
 * bytes), its port (2) and the multicast interface (4), all in network
 * order. A TCP connection may go to 127.0.0.0/8 alone. */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <dlfcn.h>
#include <errno.h>
#include <netinet/in.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;

static ssize_t (*real_sendto)(int, const void*, size_t, int, const struct sockaddr*, socklen_t);
static int (*real_connect)(int, const struct sockaddr*, socklen_t);

static void init(void)
{
    if (!real_sendto)
        real_sendto = dlsym(RTLD_NEXT, "sendto");
    if (!real_connect)
        real_connect = dlsym(RTLD_NEXT, "connect");
}

static int is_udp4(int fd)
{
    int type = 0, domain = 0;
    socklen_t n = sizeof type;
    if (getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &n) != 0)
        return 0;
    n = sizeof domain;
    if (getsockopt(fd, SOL_SOCKET, SO_DOMAIN, &domain, &n) != 0)
        return 0;
    return type == SOCK_DGRAM && domain == AF_INET;
}

static ssize_t intercept(int fd, const void* data, size_t len, const struct sockaddr_in* to)
{
    init();
    const int group = (ntohl(to->sin_addr.s_addr) >> 28) == 0xE;
    int ttl = -1, loop = -1;
    struct in_addr mif = {0};
    socklen_t n = sizeof ttl;
    getsockopt(fd, IPPROTO_IP, group ? IP_MULTICAST_TTL : IP_TTL, &ttl, &n);
    n = sizeof loop;
    getsockopt(fd, IPPROTO_IP, IP_MULTICAST_LOOP, &loop, &n);
    n = sizeof mif;
    getsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &mif, &n);
    char dst[INET_ADDRSTRLEN], via[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &to->sin_addr, dst, sizeof dst);
    inet_ntop(AF_INET, &mif, via, sizeof via);
    const char* path = getenv("FERROLINK_SHIM_LOG");
    pthread_mutex_lock(&lock);
    FILE* log = path ? fopen(path, "a") : NULL;
    if (log) {
        struct timespec t;
        clock_gettime(CLOCK_MONOTONIC, &t);
        fprintf(log, "dst=%s port=%u ttl=%d mif=%s loop=%d len=%zu ms=%lld\n", dst, ntohs(to->sin_port), ttl, via, loop,
                len, (long long)t.tv_sec * 1000 + t.tv_nsec / 1000000);
        fclose(log);
    }
    pthread_mutex_unlock(&lock);
    const char* port = getenv("FERROLINK_SHIM_PORT");
    if (port && len <= 65000) {
        unsigned char* out = malloc(len + 10);
        if (out) {
            memcpy(out, &to->sin_addr.s_addr, 4);
            memcpy(out + 4, &to->sin_port, 2);
            memcpy(out + 6, &mif.s_addr, 4);
            memcpy(out + 10, data, len);
            struct sockaddr_in answerer;
            memset(&answerer, 0, sizeof answerer);
            answerer.sin_family = AF_INET;
            answerer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            answerer.sin_port = htons((unsigned short)atoi(port));
            real_sendto(fd, out, len + 10, 0, (struct sockaddr*)&answerer, sizeof answerer);
            free(out);
        }
    }
    return (ssize_t)len;
}

ssize_t sendto(int fd, const void* data, size_t len, int flags, const struct sockaddr* to, socklen_t tolen)
{
    init();
    if (to && tolen >= sizeof(struct sockaddr_in) && to->sa_family == AF_INET && is_udp4(fd))
        return intercept(fd, data, len, (const struct sockaddr_in*)to);
    return real_sendto(fd, data, len, flags, to, tolen);
}

ssize_t sendmsg(int fd, const struct msghdr* msg, int flags)
{
    static ssize_t (*real_sendmsg)(int, const struct msghdr*, int);
    if (!real_sendmsg)
        real_sendmsg = dlsym(RTLD_NEXT, "sendmsg");
    if (msg->msg_name && msg->msg_namelen >= sizeof(struct sockaddr_in) &&
        ((const struct sockaddr*)msg->msg_name)->sa_family == AF_INET && is_udp4(fd)) {
        char flat[65536];
        size_t len = 0;
        for (size_t i = 0; i < msg->msg_iovlen; ++i) {
            const size_t part = msg->msg_iov[i].iov_len;
            if (len + part > sizeof flat) {
                errno = EMSGSIZE;
                return -1;
            }
            memcpy(flat + len, msg->msg_iov[i].iov_base, part);
            len += part;
        }
        return intercept(fd, flat, len, (const struct sockaddr_in*)msg->msg_name);
    }
    return real_sendmsg(fd, msg, flags);
}

int sendmmsg(int fd, struct mmsghdr* msgs, unsigned int count, int flags)
{
    for (unsigned int i = 0; i < count; ++i) {
        const ssize_t n = sendmsg(fd, &msgs[i].msg_hdr, flags);
        if (n < 0)
            return i ? (int)i : -1;
        msgs[i].msg_len = (unsigned int)n;
    }
    return (int)count;
}

int connect(int fd, const struct sockaddr* to, socklen_t tolen)
{
    init();
    if (to && to->sa_family == AF_INET6) {
        errno = ENETUNREACH;
        return -1;
    }
    if (to && to->sa_family == AF_INET && tolen >= sizeof(struct sockaddr_in) &&
        (ntohl(((const struct sockaddr_in*)to)->sin_addr.s_addr) >> 24) != 127) {
        errno = ENETUNREACH;   /* only loopback and the test's own hosts */
        return -1;
    }
    if (to && to->sa_family == AF_INET && is_udp4(fd)) {
        errno = EPERM;   /* a connected datagram socket would bypass the log */
        return -1;
    }
    return real_connect(fd, to, tolen);
}
