// ferrolink-lan: lists the real network for Ferrolink's provider and share
// services under Wine, through Samba's client library.
//
//   ferrolink-lan [--port N] [--conf SMB.CONF] [--timeout MS]
//       serves the line protocol (protocol.h) on 127.0.0.1:N (default
//       14445) until it is ended; prints "ready PORT" once it accepts, and
//       a line on stderr for each request: what, its outcome, how long.
//   ferrolink-lan --list [--conf SMB.CONF] [--timeout MS]
//       prints the workgroups and their computers, one per line:
//       "WORKGROUP<TAB>NAME" and "SERVER<TAB>WORKGROUP<TAB>NAME".
//   ferrolink-lan --shares SERVER [--conf SMB.CONF] [--timeout MS]
//       prints the shares of SERVER: "NAME<TAB>TYPE<TAB>COMMENT".
//
// Each connection is served by a child process of its own: the library's
// settings are process-wide and it blocks, and a crash in it ends one
// answer, not the helper. A child lives at most a few seconds past the
// listing's own time limit.
#include <libsmbclient.h>
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>
#include "lan/protocol.h"

namespace {

using lanproto::Record;
using lanproto::Verb;

struct Options {
    int port = 14445;
    const char* conf = nullptr;
    int timeoutMs = 5000;
};

constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorBadNetPath = 53;
constexpr uint32_t kTypeSpecial = 0x80000000u;

void Auth(SMBCCTX*, const char*, const char*, char*, int, char* user, int userLength, char* password,
          int passwordLength)
{
    // Guest, with an empty password: the library needs a user name filled
    // in, and a browse list is what anybody may see.
    std::snprintf(user, static_cast<size_t>(userLength), "%s", "guest");
    if (passwordLength > 0)
        password[0] = '\0';
}

class Client {
public:
    explicit Client(const Options& options)
    {
        m_ctx = smbc_new_context();
        if (!m_ctx)
            return;
        smbc_setDebug(m_ctx, 0);
        smbc_setOptionDebugToStderr(m_ctx, 1);
        if (options.conf && smbc_setConfiguration(m_ctx, options.conf) != 0)
            std::fprintf(stderr, "ferrolink-lan: cannot read %s\n", options.conf);
        smbc_setTimeout(m_ctx, options.timeoutMs);
        smbc_setFunctionAuthDataWithContext(m_ctx, Auth);
        smbc_setOptionUseKerberos(m_ctx, 0);
        if (!smbc_init_context(m_ctx)) {
            smbc_free_context(m_ctx, 1);
            m_ctx = nullptr;
        }
    }
    ~Client()
    {
        if (m_ctx)
            smbc_free_context(m_ctx, 1);
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    // The entries of one smb:// address; 0 or a Windows error code.
    uint32_t List(Verb verb, const std::string& name, std::vector<Record>* records)
    {
        if (!m_ctx)
            return kErrorBadNetPath;
        // Browse lists come only over SMB1; share lists may use anything.
        if (verb == Verb::Shares)
            smbc_setOptionProtocols(m_ctx, "NT1", "SMB3");
        else
            smbc_setOptionProtocols(m_ctx, "NT1", "NT1");
        std::string url = "smb://";
        if (verb != Verb::Workgroups) {
            if (name.empty() || name.find_first_of("/\\") != std::string::npos)
                return kErrorBadNetPath;
            const std::string host = verb == Verb::Shares ? Address(name) : name;
            std::vector<char> encoded(host.size() * 3 + 1);
            smbc_urlencode(encoded.data(), const_cast<char*>(host.c_str()), static_cast<int>(encoded.size()));
            url += encoded.data();
        }
        SMBCFILE* dir = smbc_getFunctionOpendir(m_ctx)(m_ctx, url.c_str());
        if (!dir)
            return ErrorCode(errno);
        while (struct smbc_dirent* entry = smbc_getFunctionReaddir(m_ctx)(m_ctx, dir)) {
            const std::string entryName(entry->name);
            const std::string comment(entry->comment ? entry->comment : "");
            switch (entry->smbc_type) {
            case SMBC_WORKGROUP:
                if (verb == Verb::Workgroups)
                    records->push_back({entryName, comment});
                break;
            case SMBC_SERVER:
                if (verb == Verb::Servers)
                    records->push_back({entryName, comment});
                break;
            case SMBC_FILE_SHARE:
            case SMBC_PRINTER_SHARE:
            case SMBC_COMMS_SHARE:
            case SMBC_IPC_SHARE:
                if (verb == Verb::Shares)
                    records->push_back({entryName, std::to_string(ShareType(entry->smbc_type, entryName)), comment});
                break;
            default:
                break;
            }
        }
        smbc_getFunctionClosedir(m_ctx)(m_ctx, dir);
        return 0;
    }

private:
    // A server's address where the system's resolver knows its name, as
    // Windows asks DNS before NetBIOS; else the name itself. Given a name,
    // the library first asks the network, by broadcast, whether it is a
    // workgroup, and waits half a second for nobody to answer.
    static std::string Address(const std::string& name)
    {
        addrinfo hints = {};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || !found)
            return name;
        char text[INET_ADDRSTRLEN] = {};
        const bool ok = inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr, text,
                                  sizeof text) != nullptr;
        freeaddrinfo(found);
        return ok ? std::string(text) : name;
    }

    static uint32_t ErrorCode(int error)
    {
        return error == EACCES || error == EPERM ? kErrorAccessDenied : kErrorBadNetPath;
    }

    // The library gives a share's kind only; this is the type a Windows
    // server reports for it: IPC$ and the administrative disk shares (ADMIN$
    // and the drives' C$, D$, ...) carry the special bit.
    static uint32_t ShareType(unsigned kind, const std::string& name)
    {
        auto upper = [](std::string s) {
            for (char& c : s)
                if (c >= 'a' && c <= 'z')
                    c = static_cast<char>(c - 'a' + 'A');
            return s;
        };
        const std::string n = upper(name);
        switch (kind) {
        case SMBC_PRINTER_SHARE: return 1;
        case SMBC_COMMS_SHARE: return 2;
        case SMBC_IPC_SHARE: return n == "IPC$" ? kTypeSpecial | 3 : 3;
        default:
            if (n == "ADMIN$" || (n.size() == 2 && n[1] == '$' && n[0] >= 'A' && n[0] <= 'Z'))
                return kTypeSpecial;
            return 0;
        }
    }

    SMBCCTX* m_ctx = nullptr;
};

// Reads one request line within the time limit; false on anything else.
bool ReadRequest(int fd, std::string* line)
{
    char c;
    line->clear();
    while (line->size() <= lanproto::kMaxRequest) {
        const ssize_t n = recv(fd, &c, 1, 0);
        if (n <= 0)
            return false;
        if (c == '\n')
            return true;
        *line += c;
    }
    return false;
}

void SendAll(int fd, const std::string& text)
{
    size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t n = send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        sent += static_cast<size_t>(n);
    }
}

[[noreturn]] void Serve(int fd, const Options& options)
{
    // However the library behaves, this answer ends.
    alarm(static_cast<unsigned>(options.timeoutMs / 1000 + 5));
    const timeval wait = {2, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    std::string line, argument;
    Verb verb;
    if (!ReadRequest(fd, &line) || !lanproto::ParseRequest(line, &verb, &argument)) {
        SendAll(fd, lanproto::FormatError(87));   // ERROR_INVALID_PARAMETER
        _exit(1);
    }
    timespec start, end;
    clock_gettime(CLOCK_MONOTONIC, &start);
    Client client(options);
    std::vector<Record> records;
    const uint32_t error = client.List(verb, argument, &records);
    SendAll(fd, error ? lanproto::FormatError(error) : lanproto::FormatOk(verb, records));
    clock_gettime(CLOCK_MONOTONIC, &end);
    const long ms = (end.tv_sec - start.tv_sec) * 1000 + (end.tv_nsec - start.tv_nsec) / 1000000;
    if (error)
        std::fprintf(stderr, "ferrolink-lan: %s %s: error %u, %ld ms\n", lanproto::VerbName(verb), argument.c_str(), error, ms);
    else
        std::fprintf(stderr, "ferrolink-lan: %s %s: %zu, %ld ms\n", lanproto::VerbName(verb), argument.c_str(),
                     records.size(), ms);
    shutdown(fd, SHUT_WR);
    _exit(0);
}

int RunServer(const Options& options)
{
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int yes = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(options.port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);   // loopback only, always
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 16) != 0) {
        std::fprintf(stderr, "ferrolink-lan: cannot listen on 127.0.0.1:%d: %s\n", options.port,
                     std::strerror(errno));
        return 1;
    }
    // Children are reaped by the system.
    std::signal(SIGCHLD, SIG_IGN);
    std::printf("ready %d\n", options.port);
    std::fflush(stdout);
    for (;;) {
        const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            std::fprintf(stderr, "ferrolink-lan: accept: %s\n", std::strerror(errno));
            return 1;
        }
        const pid_t child = fork();
        if (child == 0) {
            close(listener);
            Serve(fd, options);
        }
        if (child < 0)
            SendAll(fd, lanproto::FormatError(kErrorBadNetPath));
        close(fd);
    }
}

int PrintList(const Options& options)
{
    Client client(options);
    std::vector<Record> groups;
    if (uint32_t error = client.List(Verb::Workgroups, "", &groups)) {
        std::fprintf(stderr, "ferrolink-lan: workgroups: error %u\n", error);
        return 1;
    }
    int status = 0;
    for (const Record& group : groups) {
        std::printf("WORKGROUP\t%s\n", group[0].c_str());
        std::vector<Record> servers;
        if (uint32_t error = client.List(Verb::Servers, group[0], &servers)) {
            std::fprintf(stderr, "ferrolink-lan: %s: error %u\n", group[0].c_str(), error);
            status = 1;
        }
        for (const Record& server : servers)
            std::printf("SERVER\t%s\t%s\n", group[0].c_str(), server[0].c_str());
    }
    return status;
}

int PrintShares(const Options& options, const char* server)
{
    Client client(options);
    std::vector<Record> shares;
    if (uint32_t error = client.List(Verb::Shares, server, &shares)) {
        std::fprintf(stderr, "ferrolink-lan: %s: error %u\n", server, error);
        return 1;
    }
    for (const Record& share : shares)
        std::printf("%s\t%s\t%s\n", share[0].c_str(), share[1].c_str(), share[2].c_str());
    return 0;
}

[[noreturn]] void Usage()
{
    std::fprintf(stderr, "usage: ferrolink-lan [--list | --shares SERVER] [--port N] [--conf SMB.CONF] [--timeout MS]\n");
    std::exit(2);
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    bool list = false;
    const char* shares = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool more = i + 1 < argc;
        if (arg == "--list")
            list = true;
        else if (arg == "--shares" && more)
            shares = argv[++i];
        else if (arg == "--port" && more)
            options.port = std::atoi(argv[++i]);
        else if (arg == "--conf" && more)
            options.conf = argv[++i];
        else if (arg == "--timeout" && more)
            options.timeoutMs = std::atoi(argv[++i]);
        else
            Usage();
    }
    if (options.port <= 0 || options.port > 65535 || options.timeoutMs <= 0)
        Usage();
    if (list)
        return PrintList(options);
    if (shares)
        return PrintShares(options, shares);
    return RunServer(options);
}
