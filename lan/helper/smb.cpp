#include "lan/helper/smb.h"
#include <libsmbclient.h>
#include <netapi.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <algorithm>
#include <sys/stat.h>
#include <thread>
#include "lan/helper/found.h"
#include "lan/helper/log.h"
#include "lan/helper/now.h"

namespace {

using lanproto::kAccessDenied;
using lanproto::kBadNetPath;
using lanproto::kNoBrowserServers;
using lanproto::kNoNetwork;
using lanproto::Record;
using lanproto::Verb;

constexpr uint32_t kTypeSpecial = 0x80000000u;
constexpr uint32_t kMoreData = 234;            // ERROR_MORE_DATA
constexpr uint32_t kMaxPreferredLength = 0xFFFFFFFFu;

// A request's answer, once its computers are asked for their workgroups,
// is given this much of its time; without a due time a request has 6 s.
constexpr long long kAnswerMs = 800;
// How old a discovery pass may be before the next request makes another.
constexpr long long kPassMs = 30000;
constexpr long long kRequestMs = 6000;
// Computers asked for their workgroup at once, how long one may take in
// all (libnetapi gives a connection 5 s), and the longest answer read.
constexpr size_t kAtOnce = 16;
constexpr long long kAskingMs = 20000;
constexpr size_t kMaxTold = 256;

// What libnetapi's NetWkstaGetInfo gives at level 100 (its header leaves
// the structure out): Windows' WKSTA_INFO_100, the text in UTF-8.
struct WkstaInfo100 {
    uint32_t platformId;
    const char* computerName;
    const char* langroup;
    uint32_t versionMajor;
    uint32_t versionMinor;
};

// The user's credentials where there are any; else guest, with an empty
// password (the library needs a user name filled in: NULL crashes it).
void Auth(SMBCCTX* ctx, const char*, const char*, char* workgroup, int workgroupLength, char* user, int userLength,
          char* password, int passwordLength)
{
    const Credentials* c = static_cast<const Credentials*>(smbc_getOptionUserData(ctx));
    const bool given = c && !c->user.empty();
    std::snprintf(user, static_cast<size_t>(userLength), "%s", given ? c->user.c_str() : "guest");
    std::snprintf(password, static_cast<size_t>(passwordLength), "%s", given ? c->password.c_str() : "");
    if (given && !c->domain.empty())
        std::snprintf(workgroup, static_cast<size_t>(workgroupLength), "%s", c->domain.c_str());
}

std::string Reason(const char* what, int error)
{
    return std::string(what) + ": " + std::strerror(error);
}

// The library reads its settings from a file; this one takes the user's
// (or the system's) and makes the text the library hands us UTF-8 whatever
// that says. Gone once the library has read it.
std::string WrapConfiguration(const char* conf)
{
    const char* tmp = std::getenv("TMPDIR");
    std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/ferrolink-lan-XXXXXX";
    const int fd = mkstemp(&path[0]);
    if (fd < 0)
        return std::string();
    const std::string base = conf ? conf : "/etc/samba/smb.conf";
    std::string text = "[global]\n";
    if (access(base.c_str(), R_OK) == 0)
        text += "include = " + base + "\n";
    text += "unix charset = UTF-8\n";
    // The user's password goes to the server's own logon, never to a KDC
    // that the network names.
    text += "client use kerberos = off\n";
    const bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    if (!ok) {
        unlink(path.c_str());
        return std::string();
    }
    return path;
}

// Where the system's resolver puts `name` within `ms`, or empty.
std::string Resolved(const std::string& name, int ms)
{
    const std::vector<uint32_t> at = found::Resolve({name}, ms)[0];
    return at.empty() ? std::string() : discovery::Dotted(at[0]);
}

// A computer's address: where the system's resolver knows the name within
// `ms`, else from the names discovery learned (as Windows asks DNS before
// NetBIOS: no computer on the network can take over a name the hosts file
// or DNS gives); empty when neither does. The libraries are given only
// addresses: given a name, they would ask the network by broadcast, where
// anybody may answer.
std::string Address(const std::string& name, int ms, const std::string& learnedFile)
{
    in_addr literal;
    if (inet_pton(AF_INET, name.c_str(), &literal) == 1)
        return name;
    const std::string resolved = Resolved(name, ms);
    return resolved.empty() ? found::LearnedAddress(learnedFile, name) : resolved;
}

std::string UrlPart(const std::string& text)
{
    std::vector<char> encoded(text.size() * 3 + 1);
    smbc_urlencode(encoded.data(), const_cast<char*>(text.c_str()), static_cast<int>(encoded.size()));
    return encoded.data();
}

// Why nothing answers at `address` on the SMB ports (445, then 139)
// within `ms`, or empty when one does. libnetapi gives a connection 5 s of
// its own, more than a request has; this bounds it, and a computer that
// does not answer costs no more than here.
std::string Unanswered(const std::string& address, int ms)
{
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    if (inet_pton(AF_INET, address.c_str(), &to.sin_addr) != 1)
        return "not an address";
    const long long start = NowMs();
    std::string why;
    for (const uint16_t port : {445, 139}) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return Reason("no socket", errno);
        to.sin_port = htons(port);
        int error = connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0 ? 0 : errno;
        if (error == EINPROGRESS) {
            pollfd p = {fd, POLLOUT, 0};
            const long long left = ms - (NowMs() - start);
            if (left > 0 && poll(&p, 1, static_cast<int>(left)) == 1) {
                socklen_t length = sizeof error;
                getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
            } else {
                error = ETIMEDOUT;
            }
        }
        close(fd);
        if (!error)
            return std::string();
        why += (why.empty() ? "" : ", ") + std::to_string(port) + ": " + std::strerror(error);
        if (NowMs() - start >= ms)
            break;
    }
    return "no SMB server answers (" + why + ")";
}

// A name that may stand as one component of a path.
bool SafeComponent(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\") == std::string::npos &&
           name.find('\0') == std::string::npos && lanproto::IsUtf8(name);
}

} // namespace

uint32_t SpecialByName(uint32_t type, const std::string& name)
{
    const std::string n = discovery::Upper(name);
    const bool administrative = n == "ADMIN$" || (n.size() == 2 && n[1] == '$' && n[0] >= 'A' && n[0] <= 'Z');
    return type == 0 && administrative ? kTypeSpecial : type;
}

uint32_t TypeFromKind(unsigned kind, const std::string& name)
{
    const std::string n = discovery::Upper(name);
    switch (kind) {
    case SMBC_PRINTER_SHARE: return 1;
    case SMBC_COMMS_SHARE: return 2;
    case SMBC_IPC_SHARE: return n == "IPC$" ? kTypeSpecial | 3 : 3;
    default: return SpecialByName(0, name);
    }
}

SmbClient::SmbClient(const SmbOptions& options, Protocols protocols)
    : m_options(options), m_protocols(protocols)
{
    // libnetapi first: it loads the system's smb.conf when it starts, which
    // the client library's wrapped configuration below then replaces for
    // the whole process.
    if (libnetapi_init(&m_netapi) != 0) {
        lanlog::Line("libnetapi did not start: share lists come from the client library alone");
        m_netapi = nullptr;
    } else {
        libnetapi_set_debuglevel(m_netapi, "0");
        // A password is always set, empty for a guest: without one the
        // library asks for it on the terminal.
        const Credentials& c = m_options.credentials;
        libnetapi_set_username(m_netapi, c.user.empty() ? "guest" : c.user.c_str());
        libnetapi_set_password(m_netapi, c.user.empty() ? "" : c.password.c_str());
        if (!c.user.empty() && !c.domain.empty())
            libnetapi_set_workgroup(m_netapi, c.domain.c_str());
    }
    m_ctx = smbc_new_context();
    if (!m_ctx)
        return;
    smbc_setDebug(m_ctx, 0);
    smbc_setOptionDebugToStderr(m_ctx, 1);
    const std::string conf = WrapConfiguration(options.conf);
    if (!conf.empty()) {
        smbc_setConfiguration(m_ctx, conf.c_str());
        unlink(conf.c_str());
    }
    smbc_setTimeout(m_ctx, options.timeoutMs);
    smbc_setOptionUserData(m_ctx, &m_options.credentials);
    smbc_setFunctionAuthDataWithContext(m_ctx, Auth);
    smbc_setOptionUseKerberos(m_ctx, 0);
    if (!smbc_init_context(m_ctx)) {
        smbc_free_context(m_ctx, 1);
        m_ctx = nullptr;
        return;
    }
    if (protocols != Protocols::PerCall)
        Speak(protocols);
}

SmbClient::~SmbClient()
{
    if (m_ctx)
        smbc_free_context(m_ctx, 1);
    if (m_netapi)
        libnetapi_free(m_netapi);
}

void SmbClient::Speak(Protocols protocols)
{
    if (protocols == Protocols::Shares)
        smbc_setOptionProtocols(m_ctx, "NT1", "SMB3");
    else
        smbc_setOptionProtocols(m_ctx, "NT1", "NT1");
}

Outcome SmbClient::List(Verb verb, const std::string& name, std::vector<Record>* records, long long dueMs)
{
    m_due = dueMs ? dueMs : NowMs() + kRequestMs;
    records->clear();
    if (!m_ctx)
        return {verb == Verb::Shares ? kBadNetPath : kNoBrowserServers, "the client library did not start"};
    if (verb != Verb::Workgroups && (name.empty() || name.find_first_of("/\\") != std::string::npos))
        return {verb == Verb::Shares ? kBadNetPath : kNoBrowserServers, "not a name"};
    if (m_protocols == Protocols::PerCall)
        Speak(verb == Verb::Shares ? Protocols::Shares : Protocols::Browse);
    const Outcome outcome = verb == Verb::Shares ? Shares(name, records) : Browse(verb, name, records);
    const size_t listed = records->size();
    if (lanproto::Cap(records))
        lanlog::Line(std::string(lanproto::VerbName(verb)) + (name.empty() ? "" : " " + lanlog::Quote(name)) + ": " +
                     std::to_string(records->size()) + " of " + std::to_string(listed) +
                     " kept, the most an answer holds");
    if (verb == Verb::Shares && !outcome.code)
        Placeholders(name, *records);
    return outcome;
}

Outcome SmbClient::Browse(Verb verb, const std::string& name, std::vector<Record>* records)
{
    // Discovery runs beside the library's browse list (it uses sockets of
    // its own and nothing of the library's).
    // One pass at a time for the whole helper, shared by its workers and
    // made again when half a minute old.
    const bool discover = m_options.discover && (verb == Verb::Workgroups || DiscoveryStale());
    std::vector<discovery::Computer> found;
    std::vector<std::string> refusals;
    bool ran = false;
    const long long start = NowMs();
    std::thread finder;
    if (discover)
        finder = std::thread([this, &found, &refusals, &ran] {
            found::Shared shared(m_options.foundFolder, m_options.namesFile);
            found = shared.Get(m_options.discovery, kPassMs, m_due - kAnswerMs, &refusals, &ran);
        });
    // A workgroup that only discovery knows has no browser to ask.
    const std::string group = discovery::Upper(name);
    const bool browse = verb == Verb::Workgroups || !m_options.discover || m_foundAt < 0 ||
                        std::find(m_browseGroups.begin(), m_browseGroups.end(), group) != m_browseGroups.end();
    Outcome outcome = browse ? BrowseList(verb, name, records)
                             : Outcome{kNoBrowserServers, "known only by discovery"};
    if (discover) {
        finder.join();
        for (const std::string& r : refusals)
            lanlog::Line("discovery refused " + r);
        Discovered(std::move(found), NowMs() - start, ran);
        AskWorkgroups(m_due - kAnswerMs);
    }
    if (verb == Verb::Workgroups) {
        m_browseGroups.clear();
        for (const Record& r : *records)
            m_browseGroups.push_back(discovery::Upper(r[0]));
    }
    if (!m_options.discover)
        return outcome;
    // What discovery adds: the workgroups it met, or this workgroup's
    // computers, after the browse list's and without repeating them.
    std::vector<std::string> more;
    for (const discovery::Computer& c : m_found) {
        const std::string cgroup = c.workgroup.empty() ? kDefaultWorkgroup : c.workgroup;
        if (verb == Verb::Workgroups)
            more.push_back(cgroup);
        else if (cgroup == group)
            more.push_back(c.name);
    }
    std::sort(more.begin(), more.end());
    more.erase(std::unique(more.begin(), more.end()), more.end());
    bool added = false;
    for (const std::string& m : more) {
        const bool listed = std::any_of(records->begin(), records->end(),
                                        [&m](const Record& r) { return discovery::Upper(r[0]) == m; });
        if (!listed) {
            records->push_back({m, ""});
            added = true;
        }
    }
    if (outcome.code && (added || !records->empty()))
        return {};
    return outcome;
}

bool SmbClient::DiscoveryStale() const
{
    return m_foundAt < 0 || NowMs() - m_foundAt > kPassMs;
}

void SmbClient::Discovered(std::vector<discovery::Computer> found, long long ms, bool ran)
{
    m_foundAt = NowMs();
    m_found = std::move(found);
    std::string how;
    for (const discovery::Computer& c : m_found)
        how += (how.empty() ? "" : ", ") + c.name + " (" + c.how + ")";
    lanlog::Line(std::string(ran ? "discovery: " : "discovery kept: ") + std::to_string(m_found.size()) +
                 " computers in " + std::to_string(ms) + " ms" + (how.empty() ? "" : ": " + lanlog::Quote(how)));
}

void SmbClient::AskWorkgroups(long long deadlineMs)
{
    HearWorkgroups(NowMs());
    std::vector<std::string> keys(m_found.size());
    bool asked = false;
    for (size_t i = 0; i < m_found.size(); ++i) {
        if (!m_found[i].workgroup.empty())
            continue;
        const std::string address = discovery::Dotted(m_found[i].address);
        keys[i] = m_found[i].name + ' ' + address;
        // What a server told is kept ten minutes; that it told nothing, one
        // (so that others get their turn).
        const auto told = std::find_if(m_told.begin(), m_told.end(), [&](const Told& t) { return t.key == keys[i]; });
        if (told != m_told.end() && NowMs() - told->at < (told->workgroup.empty() ? 60000 : 600000))
            continue;
        const bool asking = std::any_of(m_asking.begin(), m_asking.end(), [&](const Asking& q) { return q.key == keys[i]; });
        if (!m_netapi || asking || m_asking.size() >= kAtOnce)
            continue;
        // Each is asked by a process of its own, all at once: the library
        // blocks, and a computer that never answers must cost the others
        // nothing, nor this request more than its time.
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0)
            continue;
        const pid_t parent = getpid();
        const pid_t pid = fork();
        if (pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent)
                _exit(0);
            close(ends[0]);
            Wipe(&m_options.credentials);   // asks as a guest
            // As a guest: the user's password goes only to the computers
            // the user asks for, not to every one that announced itself.
            if (m_ctx)
                Speak(Protocols::Shares);
            libnetapi_set_username(m_netapi, "guest");
            libnetapi_set_password(m_netapi, "");
            uint8_t* buffer = nullptr;
            if (NetWkstaGetInfo(address.c_str(), 100, &buffer) == 0 && buffer) {
                const WkstaInfo100* info = reinterpret_cast<const WkstaInfo100*>(buffer);
                const std::string group = info->langroup ? info->langroup : "";
                if (write(ends[1], group.data(), std::min<size_t>(group.size(), kMaxTold)) < 0)
                    _exit(1);
            }
            _exit(0);
        }
        close(ends[1]);
        if (pid < 0) {
            close(ends[0]);
            continue;
        }
        Asking q;
        q.key = keys[i];
        q.pid = pid;
        q.fd = ends[0];
        q.began = NowMs();
        m_asking.push_back(q);
        asked = true;
    }
    const long long begun = NowMs();
    if (asked)
        HearWorkgroups(deadlineMs);
    std::string how;
    for (size_t i = 0; i < m_found.size(); ++i) {
        if (keys[i].empty())
            continue;
        const auto told = std::find_if(m_told.begin(), m_told.end(), [&](const Told& t) { return t.key == keys[i]; });
        m_found[i].workgroup = told != m_told.end() ? told->workgroup : std::string();
        how += (how.empty() ? "" : ", ") + keys[i] + ": " +
               (told == m_told.end() ? std::string("no answer yet") :
                told->workgroup.empty() ? std::string("none") : told->workgroup);
    }
    if (!how.empty())
        lanlog::Line("workgroups of announced computers (" + std::to_string(NowMs() - begun) +
                     " ms): " + lanlog::Quote(how));
}

void SmbClient::HearWorkgroups(long long untilMs)
{
    for (;;) {
        std::vector<pollfd> fds;
        for (const Asking& q : m_asking)
            fds.push_back({q.fd, POLLIN, 0});
        const long long left = std::max(0LL, untilMs - NowMs());
        if (fds.empty() || poll(fds.data(), fds.size(), static_cast<int>(left)) <= 0)
            break;
        for (size_t i = 0; i < fds.size(); ++i) {
            if (!fds[i].revents)
                continue;
            Asking& q = m_asking[i];
            char buffer[kMaxTold + 1];
            const ssize_t n = read(q.fd, buffer, sizeof buffer);
            if (n > 0 && q.told.size() <= kMaxTold) {
                q.told.append(buffer, static_cast<size_t>(n));
                continue;
            }
            // Done: what it told, or nothing.
            close(q.fd);
            q.fd = -1;
        }
        SettleWorkgroups();
    }
    SettleWorkgroups();
}

void SmbClient::SettleWorkgroups()
{
    for (auto q = m_asking.begin(); q != m_asking.end();) {
        const bool done = q->fd < 0, overdue = NowMs() - q->began > kAskingMs;
        if (!done && !overdue) {
            ++q;
            continue;
        }
        if (!done)
            close(q->fd);
        kill(q->pid, SIGKILL);
        waitpid(q->pid, nullptr, 0);
        const bool plausible = done && discovery::ValidName(q->told);
        if (m_told.size() >= 4096)
            m_told.clear();
        const std::string key = q->key;
        m_told.erase(std::remove_if(m_told.begin(), m_told.end(), [&key](const Told& t) { return t.key == key; }),
                     m_told.end());
        m_told.push_back({key, plausible ? discovery::Upper(q->told) : std::string(), NowMs()});
        q = m_asking.erase(q);
    }
}

Outcome SmbClient::BrowseList(Verb verb, const std::string& name, std::vector<Record>* records)
{
    const std::string url = "smb://" + (verb == Verb::Servers ? UrlPart(name) : std::string());
    SMBCFILE* dir = smbc_getFunctionOpendir(m_ctx)(m_ctx, url.c_str());
    if (!dir) {
        const int error = errno;
        // EPERM here is a workgroup whose browser could not be named.
        if (error == EACCES)
            return {kAccessDenied, Reason("the browser refused us", error)};
        if (error == ENETUNREACH || error == ENETDOWN)
            return {kNoNetwork, Reason("no network", error)};
        return {kNoBrowserServers, Reason(verb == Verb::Workgroups ? "no master browser answered"
                                                                    : "the workgroup's browser cannot be reached",
                                          error)};
    }
    const unsigned want = verb == Verb::Workgroups ? SMBC_WORKGROUP : SMBC_SERVER;
    while (struct smbc_dirent* entry = smbc_getFunctionReaddir(m_ctx)(m_ctx, dir))
        if (entry->smbc_type == want)
            records->push_back({lanproto::ValidUtf8(entry->name),
                                lanproto::ValidUtf8(entry->comment ? entry->comment : "")});
    smbc_getFunctionClosedir(m_ctx)(m_ctx, dir);
    return {};
}

void SmbClient::Placeholders(const std::string& server, const std::vector<Record>& shares) const
{
    if (m_options.uncDir.empty() || !SafeComponent(server))
        return;
    const std::string folder = m_options.uncDir + "/" + discovery::Upper(server);
    mkdir(folder.c_str(), 0700);
    for (const Record& r : shares) {
        uint32_t type = 0;
        lanproto::ParseType(r[1], &type);
        if ((type & 0xFFFF) == 0 && SafeComponent(r[0]))
            mkdir((folder + "/" + r[0]).c_str(), 0700);
    }
}

Outcome SmbClient::Shares(const std::string& name, std::vector<Record>* records)
{
    const std::string host = Address(name, m_options.resolveMs,
                                     m_options.foundFolder.empty() ? m_options.namesFile
                                                                   : found::Shared(m_options.foundFolder, "").File());
    if (host.empty())
        return {kBadNetPath, "no address: neither discovery nor the resolver knows the name"};
    const std::string silent = Unanswered(host, m_options.timeoutMs);
    if (!silent.empty())
        return {kBadNetPath, silent};
    if (std::find(m_servers.begin(), m_servers.end(), host) == m_servers.end())
        m_servers.push_back(host);
    Outcome outcome;
    if (!m_netapi || !SharesByNetapi(host, records, &outcome)) {
        // The client library's listing: what a server without the service
        // offers (comments there are short anyway), and why not when it
        // cannot.
        records->clear();
        outcome = SharesBySmbc(host, records);
    }
    return outcome;
}

bool SmbClient::SharesByNetapi(const std::string& host, std::vector<Record>* records, Outcome* outcome)
{
    uint32_t resume = 0, status = 0;
    // Everything comes at once; a server that answers in parts is followed
    // only as far as a reply may hold.
    for (int pass = 0; pass < 64; ++pass) {
        uint8_t* buffer = nullptr;
        uint32_t read = 0, total = 0;
        status = NetShareEnum(host.c_str(), 1, &buffer, kMaxPreferredLength, &read, &total, &resume);
        if ((status == 0 || status == kMoreData) && buffer) {
            const SHARE_INFO_1* shares = reinterpret_cast<const SHARE_INFO_1*>(buffer);
            for (uint32_t i = 0; i < read && records->size() < lanproto::kMaxRecords; ++i) {
                const std::string share = shares[i].shi1_netname ? shares[i].shi1_netname : "";
                records->push_back({lanproto::ValidUtf8(share), std::to_string(SpecialByName(shares[i].shi1_type, share)),
                                    lanproto::ValidUtf8(shares[i].shi1_remark ? shares[i].shi1_remark : "")});
            }
        }
        if (buffer)
            NetApiBufferFree(buffer);
        if (status != kMoreData || records->size() >= lanproto::kMaxRecords)
            break;
    }
    if (status == 0 || status == kMoreData) {
        *outcome = {};
        return true;
    }
    char* text = libnetapi_get_error_string(m_netapi, static_cast<NET_API_STATUS>(status));
    const std::string why = "libnetapi: " + std::to_string(status) + " (" + (text ? text : "") + ")";
    if (text)
        NetApiBufferFree(text);
    if (status == kAccessDenied) {
        *outcome = {kAccessDenied, why};
        return true;
    }
    // A logon the server refused comes back as a connection that failed:
    // the client library's own try tells them apart.
    lanlog::Line("shares of " + host + ": " + why + "; the client library tries");
    return false;
}

Outcome SmbClient::SharesBySmbc(const std::string& host, std::vector<Record>* records)
{
    if (!m_ctx)
        return {kBadNetPath, "the client library did not start"};
    const std::string url = "smb://" + UrlPart(host);
    SMBCFILE* dir = smbc_getFunctionOpendir(m_ctx)(m_ctx, url.c_str());
    if (!dir) {
        const int error = errno;
        if (error == EACCES || error == EPERM)
            return {kAccessDenied, Reason("the server refused us", error)};
        return {kBadNetPath, Reason("the server cannot be reached", error)};
    }
    while (struct smbc_dirent* entry = smbc_getFunctionReaddir(m_ctx)(m_ctx, dir)) {
        switch (entry->smbc_type) {
        case SMBC_FILE_SHARE:
        case SMBC_PRINTER_SHARE:
        case SMBC_COMMS_SHARE:
        case SMBC_IPC_SHARE:
            if (records->size() < lanproto::kMaxRecords)
                records->push_back({lanproto::ValidUtf8(entry->name),
                                    std::to_string(TypeFromKind(entry->smbc_type, entry->name)),
                                    lanproto::ValidUtf8(entry->comment ? entry->comment : "")});
            break;
        default:
            break;
        }
    }
    smbc_getFunctionClosedir(m_ctx)(m_ctx, dir);
    return {};
}
