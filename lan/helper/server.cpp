#include "lan/helper/server.h"
#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <memory>
#include <vector>
#include "lan/common/protocol.h"
#include "lan/helper/log.h"
#include "lan/helper/now.h"
#include "lan/helper/whole_file.h"

namespace {

using lanproto::Record;
using lanproto::Verb;

volatile sig_atomic_t g_stop = 0;

void OnStop(int)
{
    g_stop = 1;
}

// What a request that cannot be answered gets: the code for a computer or
// a browser that cannot be reached.
uint32_t Unreachable(Verb verb)
{
    return verb == Verb::Shares ? lanproto::kBadNetPath : lanproto::kNoBrowserServers;
}

bool IsBrowse(Verb verb)
{
    return verb != Verb::Shares;
}

std::string Describe(Verb verb, const std::string& argument)
{
    std::string text = lanproto::VerbName(verb);
    if (verb != Verb::Workgroups)
        text += ' ' + lanlog::Quote(argument);
    return text;
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

// ---- The messages between the supervisor and a worker ----

// One buffer and room for one descriptor beside it.
struct FdMessage {
    iovec io;
    alignas(cmsghdr) char space[CMSG_SPACE(sizeof(int))] = {};
    msghdr msg = {};
    FdMessage(void* data, size_t size) : io{data, size}
    {
        msg.msg_iov = &io;
        msg.msg_iovlen = 1;
        msg.msg_control = space;
        msg.msg_controllen = sizeof space;
    }
    FdMessage(const FdMessage&) = delete;
    FdMessage& operator=(const FdMessage&) = delete;
};

// A job: the verb, when its answer is due (the monotonic clock's ms, the
// same in every process), the nonce and the argument, with the client's
// socket.
constexpr size_t kDueBytes = sizeof(long long);

bool SendJob(int control, int client, Verb verb, long long due, const std::string& nonce, const std::string& argument)
{
    std::string payload(1, static_cast<char>(verb));
    payload.append(reinterpret_cast<const char*>(&due), kDueBytes);
    payload += nonce + argument;
    FdMessage m(&payload[0], payload.size());
    cmsghdr* c = CMSG_FIRSTHDR(&m.msg);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(c), &client, sizeof client);
    return sendmsg(control, &m.msg, MSG_NOSIGNAL) == static_cast<ssize_t>(payload.size());
}

bool ReceiveJob(int control, int* client, Verb* verb, long long* due, std::string* nonce, std::string* argument)
{
    std::vector<char> buffer(lanproto::kMaxRequest + 64);
    FdMessage m(buffer.data(), buffer.size());
    const ssize_t n = recvmsg(control, &m.msg, MSG_CMSG_CLOEXEC);
    cmsghdr* c = CMSG_FIRSTHDR(&m.msg);
    const size_t head = 1 + kDueBytes + lanproto::kNonceDigits;
    if (n < static_cast<ssize_t>(head) || !c || c->cmsg_type != SCM_RIGHTS)
        return false;
    std::memcpy(client, CMSG_DATA(c), sizeof *client);
    *verb = static_cast<Verb>(buffer[0]);
    std::memcpy(due, buffer.data() + 1, kDueBytes);
    nonce->assign(buffer.data() + 1 + kDueBytes, lanproto::kNonceDigits);
    argument->assign(buffer.data() + head, static_cast<size_t>(n) - head);
    return true;
}

// A worker's report: the code, the number of records, whether the worker
// ends now, and the reason.
std::string Report(const Outcome& outcome, size_t records, bool retiring)
{
    return std::to_string(outcome.code) + ' ' + std::to_string(records) + ' ' + (retiring ? "1 " : "0 ") +
           outcome.reason;
}

[[noreturn]] void WorkerMain(int control, const std::string& key, SmbOptions& options, bool browse)
{
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    signal(SIGTERM, SIG_DFL);
    signal(SIGINT, SIG_DFL);
    SmbClient client(options, browse ? Protocols::Browse : Protocols::Shares);
    // The client has the password now; this process's copy of the
    // supervisor's, which it needs no more, goes.
    Wipe(&options.credentials);
    for (;;) {
        int fd;
        Verb verb;
        long long due = 0;
        std::string nonce, argument;
        if (!ReceiveJob(control, &fd, &verb, &due, &nonce, &argument))
            _exit(0);
        std::vector<Record> records;
        const Outcome outcome = client.List(verb, argument, &records, due);
        const timeval wait = {2, 0};
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
        SendAll(fd, outcome.code ? lanproto::FormatError(key, nonce, outcome.code)
                                 : lanproto::FormatOk(key, nonce, verb, records));
        shutdown(fd, SHUT_WR);
        close(fd);
        // A worker that has met many servers keeps a session with each:
        // it makes way for a new one before they add up.
        const bool retiring = client.Spent();
        const std::string report = Report(outcome, records.size(), retiring);
        if (send(control, report.data(), report.size(), MSG_NOSIGNAL) < 0 || retiring)
            _exit(0);
    }
}

// ---- The supervisor ----

struct Job {
    int client = -1;
    Verb verb = Verb::Workgroups;
    std::string argument, nonce;
    long long accepted = 0;
};

struct Worker {
    pid_t pid = -1;
    int control = -1;
    bool browse = false;
    bool busy = false;
    bool gone = false;   // ended; taken out of the list after this round
    Job job;
};

struct Connection {
    int fd = -1;
    std::string line;
    long long accepted = 0;
};

class Supervisor {
public:
    Supervisor(ServerOptions& options, const std::string& key) : m_options(options), m_key(key) {}
    int Run(int listener);

private:
    void Accept(int listener);
    void Read(Connection* c);
    void Dispatch(Job job);
    bool Start(Worker* w, bool browse);
    void Give(Worker* w, Job job);
    void Finished(Worker* w);
    void Answer(Job* job, uint32_t code, const std::string& why);
    void Stop(Worker* w);
    void Refused(const std::string& why);
    void Expire(long long now);
    void Sweep();
    long long NextDeadline() const;

    ServerOptions& m_options;   // a worker wipes its copy of the password
    const std::string m_key;
    std::vector<std::unique_ptr<Connection>> m_connections;
    std::vector<std::unique_ptr<Worker>> m_workers;
    std::deque<Job> m_queue;
    long long m_refusedSince = 0;
    int m_refused = 0;
};

int Supervisor::Run(int listener)
{
    while (!g_stop) {
        std::vector<pollfd> fds;
        fds.push_back({listener, POLLIN, 0});
        for (const auto& c : m_connections)
            fds.push_back({c->fd, POLLIN, 0});
        for (const auto& w : m_workers)
            fds.push_back({w->control, POLLIN, 0});   // none is gone between rounds
        const long long next = NextDeadline();
        const long long now = NowMs();
        const int timeout = next < 0 ? 1000 : static_cast<int>(std::max(0LL, std::min(next - now, 1000LL)));
        const int n = poll(fds.data(), fds.size(), timeout);
        if (n < 0 && errno != EINTR) {
            lanlog::Line(std::string("poll: ") + std::strerror(errno));
            return 1;
        }
        if (n > 0) {
            size_t i = 1;
            // Connections and workers may go while their events are looked
            // at: both lists are walked by what they held at the poll.
            std::vector<Connection*> connections;
            for (const auto& c : m_connections)
                connections.push_back(c.get());
            std::vector<Worker*> workers;
            for (const auto& w : m_workers)
                workers.push_back(w.get());
            for (Connection* c : connections)
                if (fds[i++].revents)
                    Read(c);
            for (Worker* w : workers)
                if (fds[i++].revents && !w->gone)
                    Finished(w);
            if (fds[0].revents & POLLIN)
                Accept(listener);
        }
        Expire(NowMs());
        Sweep();
    }
    for (auto& w : m_workers)
        Stop(w.get());
    Sweep();
    return 0;
}

void Supervisor::Accept(int listener)
{
    const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0)
        return;
    if (static_cast<int>(m_connections.size()) >= m_options.maxConnections) {
        // The oldest goes: a client of ours sends its request at once, so
        // connections that idle cannot keep it out.
        close(m_connections.front()->fd);
        m_connections.erase(m_connections.begin());
        Refused("too many connections at once");
    }
    auto c = std::make_unique<Connection>();
    c->fd = fd;
    c->accepted = NowMs();
    m_connections.push_back(std::move(c));
}

void Supervisor::Read(Connection* c)
{
    char buffer[1024];
    const ssize_t n = recv(c->fd, buffer, sizeof buffer, 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    bool done = n <= 0;
    std::string line;
    if (n > 0) {
        c->line.append(buffer, static_cast<size_t>(n));
        const size_t end = c->line.find('\n');
        if (end != std::string::npos) {
            line = c->line.substr(0, end);
            done = true;
            if (end + 1 != c->line.size())
                line.clear();   // more than one line: malformed
        } else if (c->line.size() > lanproto::kMaxRequest) {
            done = true;
        }
    }
    if (!done)
        return;
    Job job;
    job.client = c->fd;
    job.accepted = c->accepted;
    const lanproto::Read read = line.empty() ? lanproto::Read::Malformed
                                             : lanproto::ParseRequest(m_key, line, &job.verb, &job.argument,
                                                                      &job.nonce);
    for (auto it = m_connections.begin(); it != m_connections.end(); ++it)
        if (it->get() == c) {
            m_connections.erase(it);
            break;
        }
    if (read != lanproto::Read::Ok) {
        close(job.client);
        Refused(read == lanproto::Read::WrongKey ? "a request without the key" : "a malformed request");
        return;
    }
    // The worker's reply is written in one go; the socket blocks for it.
    fcntl(job.client, F_SETFL, fcntl(job.client, F_GETFL) & ~O_NONBLOCK);
    Dispatch(std::move(job));
}

void Supervisor::Refused(const std::string& why)
{
    // At most a line a second, however many are refused.
    const long long now = NowMs();
    ++m_refused;
    if (now - m_refusedSince < 1000)
        return;
    lanlog::Line("refused " + std::to_string(m_refused) + (m_refused == 1 ? " connection: " : " connections, the last: ") +
                 why);
    m_refused = 0;
    m_refusedSince = now;
}

void Supervisor::Dispatch(Job job)
{
    const bool browse = IsBrowse(job.verb);
    int ofKind = 0;
    for (auto& w : m_workers) {
        if (w->browse != browse || w->gone)
            continue;
        ++ofKind;
        if (!w->busy) {
            Give(w.get(), std::move(job));
            return;
        }
    }
    if (ofKind < m_options.workersPerKind) {
        auto w = std::make_unique<Worker>();
        if (Start(w.get(), browse)) {
            Worker* started = w.get();
            m_workers.push_back(std::move(w));
            Give(started, std::move(job));
            return;
        }
        if (ofKind == 0) {
            Answer(&job, Unreachable(job.verb), "no worker could be started");
            return;
        }
    }
    if (static_cast<int>(m_queue.size()) >= m_options.maxQueued) {
        Answer(&job, Unreachable(job.verb), "too many requests waiting");
        return;
    }
    m_queue.push_back(std::move(job));
}

bool Supervisor::Start(Worker* w, bool browse)
{
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0)
        return false;
    const pid_t pid = fork();
    if (pid < 0) {
        close(pair[0]);
        close(pair[1]);
        return false;
    }
    if (pid == 0) {
        // Nothing of the supervisor's but the worker's own end and the log,
        // at 3 and 4 (moved out of the way first: either may be one of them).
        const int control = fcntl(pair[1], F_DUPFD, 10), log = fcntl(lanlog::Fd(), F_DUPFD, 10);
        if (control < 0 || log < 0 || dup2(control, 3) < 0 || dup2(log, 4) < 0)
            _exit(1);
        closefrom(5);
        lanlog::Use(4);
        // The libraries' own messages go where standard error goes (the
        // log): libnetapi writes some to standard output, which nobody
        // reads past "ready". Nothing is read from a terminal.
        dup2(2, 1);
        const int nothing = open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (nothing >= 0 && nothing != 0) {
            dup2(nothing, 0);
            close(nothing);
        }
        WorkerMain(3, m_key, m_options.smb, browse);
    }
    close(pair[1]);
    w->pid = pid;
    w->control = pair[0];
    w->browse = browse;
    return true;
}

void Supervisor::Give(Worker* w, Job job)
{
    w->busy = true;
    w->job = std::move(job);
    if (!SendJob(w->control, w->job.client, w->job.verb, w->job.accepted + m_options.budgetMs, w->job.nonce,
                 w->job.argument)) {
        Answer(&w->job, Unreachable(w->job.verb), "the worker could not be reached");
        Stop(w);
    }
}

void Supervisor::Finished(Worker* w)
{
    char buffer[2048];
    const ssize_t n = recv(w->control, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n < 0 && errno == EAGAIN)
        return;
    if (n <= 0) {
        // The worker is gone, a crash in the library most likely; reaped
        // before its client hears why, as a late worker is.
        Job job = std::move(w->job);
        const bool busy = w->busy;
        w->job = Job();
        w->busy = false;
        Stop(w);
        if (busy)
            Answer(&job, Unreachable(job.verb), "the worker died");
        return;
    }
    const std::string report(buffer, static_cast<size_t>(n));
    unsigned long code = 0, count = 0;
    int retiring = 0, used = 0;
    std::sscanf(report.c_str(), "%lu %lu %d %n", &code, &count, &retiring, &used);
    const std::string reason = report.substr(static_cast<size_t>(used));
    const long long ms = NowMs() - w->job.accepted;
    const std::string what = Describe(w->job.verb, w->job.argument);
    if (code)
        lanlog::Line(what + ": error " + std::to_string(code) + " (" + lanlog::Quote(reason) + "), " +
                     std::to_string(ms) + " ms");
    else
        lanlog::Line(what + ": " + std::to_string(count) + ", " + std::to_string(ms) + " ms");
    close(w->job.client);
    w->job = Job();
    w->busy = false;
    if (retiring) {
        // What waits goes to a new worker (Expire).
        lanlog::Line("a worker makes way for a new one: it has met many servers");
        Stop(w);
        return;
    }
    for (auto it = m_queue.begin(); it != m_queue.end(); ++it) {
        if (IsBrowse(it->verb) == w->browse) {
            Job next = std::move(*it);
            m_queue.erase(it);
            Give(w, std::move(next));
            break;
        }
    }
}

void Supervisor::Answer(Job* job, uint32_t code, const std::string& why)
{
    if (job->client < 0)
        return;
    lanlog::Line(Describe(job->verb, job->argument) + ": error " + std::to_string(code) + " (" + why + "), " +
                 std::to_string(NowMs() - job->accepted) + " ms");
    const timeval wait = {1, 0};
    setsockopt(job->client, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
    SendAll(job->client, lanproto::FormatError(m_key, job->nonce, code));
    close(job->client);
    job->client = -1;
}

void Supervisor::Stop(Worker* w)
{
    if (w->gone)
        return;
    w->gone = true;
    // Only here is a worker reaped, by its own id: until then its id cannot
    // pass to another process, so the signal reaches nobody else.
    if (w->pid > 0) {
        kill(w->pid, SIGKILL);
        while (waitpid(w->pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    if (w->control >= 0)
        close(w->control);
    if (w->busy && w->job.client >= 0)
        close(w->job.client);
}

void Supervisor::Sweep()
{
    for (auto it = m_workers.begin(); it != m_workers.end();)
        it = (*it)->gone ? m_workers.erase(it) : it + 1;
}

void Supervisor::Expire(long long now)
{
    for (size_t i = 0; i < m_connections.size();) {
        if (now - m_connections[i]->accepted >= m_options.requestMs) {
            close(m_connections[i]->fd);
            m_connections.erase(m_connections.begin() + static_cast<long>(i));
            Refused("no request in time");
        } else {
            ++i;
        }
    }
    std::vector<Worker*> late;
    for (auto& w : m_workers)
        if (!w->gone && w->busy && now - w->job.accepted >= m_options.budgetMs)
            late.push_back(w.get());
    for (Worker* w : late) {
        // The worker is ended before the client hears from us: its late
        // reply can no longer reach the socket beside ours.
        Job job = std::move(w->job);
        w->job = Job();
        w->busy = false;
        Stop(w);
        Answer(&job, Unreachable(job.verb), "no answer within " + std::to_string(m_options.budgetMs) + " ms");
    }
    for (auto it = m_queue.begin(); it != m_queue.end();) {
        if (now - it->accepted >= m_options.budgetMs) {
            Answer(&*it, Unreachable(it->verb), "waited too long for a worker");
            it = m_queue.erase(it);
        } else {
            ++it;
        }
    }
    // Workers that were ended leave room for what waits.
    while (!m_queue.empty()) {
        const size_t before = m_queue.size();
        Job job = std::move(m_queue.front());
        m_queue.pop_front();
        Dispatch(std::move(job));
        if (m_queue.size() >= before)
            break;
    }
}

long long Supervisor::NextDeadline() const
{
    long long next = -1;
    auto consider = [&next](long long t) {
        if (next < 0 || t < next)
            next = t;
    };
    for (const auto& c : m_connections)
        consider(c->accepted + m_options.requestMs);
    for (const auto& w : m_workers)
        if (w->busy && !w->gone)
            consider(w->job.accepted + m_options.budgetMs);
    for (const Job& j : m_queue)
        consider(j.accepted + m_options.budgetMs);
    return next;
}

// A folder only this user may enter, in the user's runtime folder where
// there is one; empty when none can be made.
std::string OwnFolder()
{
    const char* base = std::getenv("XDG_RUNTIME_DIR");
    if (!base || base[0] != '/' || access(base, W_OK | X_OK) != 0)
        base = std::getenv("TMPDIR");
    if (!base || base[0] != '/' || access(base, W_OK | X_OK) != 0)
        base = "/tmp";
    std::string path = std::string(base) + "/ferrolink-lan-XXXXXX";
    return mkdtemp(&path[0]) ? path : std::string();
}

void RemoveFolder(const std::string& path)
{
    if (path.empty())
        return;
    if (DIR* d = opendir(path.c_str())) {
        while (const dirent* e = readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                unlinkat(dirfd(d), e->d_name, 0);
        closedir(d);
    }
    rmdir(path.c_str());
}

} // namespace

int RunServer(ServerOptions& options)
{
    if (options.keyFile.empty()) {
        std::fprintf(stderr, "ferrolink-lan: --key FILE is needed to serve\n");
        return 1;
    }
    if (!lanlog::Open(options.logFile)) {
        std::fprintf(stderr, "ferrolink-lan: cannot write the log %s: %s\n", options.logFile.c_str(),
                     std::strerror(errno));
        return 1;
    }
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(options.port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);   // loopback only, always
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 64) != 0) {
        std::fprintf(stderr, "ferrolink-lan: cannot listen on 127.0.0.1:%d: %s\n", options.port,
                     std::strerror(errno));
        return 1;
    }
    socklen_t length = sizeof address;
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    lanproto::KeyFile file;
    file.port = ntohs(address.sin_port);
    file.key.resize(lanproto::kKeyBytes);
    if (getrandom(&file.key[0], file.key.size(), 0) != static_cast<ssize_t>(file.key.size())) {
        std::fprintf(stderr, "ferrolink-lan: no random key: %s\n", std::strerror(errno));
        return 1;
    }
    if (!options.logFile.empty()) {
        char real[4096];
        file.log = realpath(options.logFile.c_str(), real) ? real : options.logFile;
    }
    // Written whole and only ever readable by this user.
    if (!WriteWhole(options.keyFile, lanproto::FormatKeyFile(file))) {
        std::fprintf(stderr, "ferrolink-lan: cannot write the key file %s: %s\n", options.keyFile.c_str(),
                     std::strerror(errno));
        return 1;
    }
    signal(SIGPIPE, SIG_IGN);
    struct sigaction stop = {};
    stop.sa_handler = OnStop;
    sigaction(SIGTERM, &stop, nullptr);
    sigaction(SIGINT, &stop, nullptr);
    lanlog::Line("serving on 127.0.0.1:" + std::to_string(file.port));
    for (const std::string& note : options.notes)
        lanlog::Line(note);
    std::printf("ready %u\n", file.port);
    std::fflush(stdout);
    lanlog::CaptureStandardError();
    // The workers share one discovery pass through a folder of the
    // helper's own, which goes with it.
    options.smb.foundFolder = OwnFolder();
    if (options.smb.foundFolder.empty())
        lanlog::Line(std::string("no folder of its own for discovery (") + std::strerror(errno) +
                     "): each worker makes its own passes");
    Supervisor supervisor(options, file.key);
    const int status = supervisor.Run(listener);
    RemoveFolder(options.smb.foundFolder);
    unlink(options.keyFile.c_str());
    lanlog::Line("ended");
    return status;
}
