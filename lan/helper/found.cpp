#include "lan/helper/found.h"
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>
#include "lan/helper/names_line.h"
#include "lan/helper/now.h"
#include "lan/helper/whole_file.h"

namespace found {

namespace {

const char* const kHows[] = {"NetBIOS", "WS-Discovery", "mDNS"};

// The line at `*at` without its LF; `*at` moves past it.
std::string NextLine(const std::string& text, size_t* at)
{
    size_t end = text.find('\n', *at);
    if (end == std::string::npos)
        end = text.size();
    std::string line = text.substr(*at, end - *at);
    *at = end + 1;
    return line;
}

std::vector<std::string> Fields(const std::string& line)
{
    std::vector<std::string> out(1);
    for (char c : line) {
        if (c == ' ')
            out.emplace_back();
        else
            out.back() += c;
    }
    return out;
}

// This computer's own name, as a computer of the network would be named.
std::string OwnName()
{
    char host[HOST_NAME_MAX + 1] = {};
    if (gethostname(host, sizeof host - 1) != 0)
        return std::string();
    std::string name(host);
    return discovery::Upper(name.substr(0, name.find('.')));
}

} // namespace

std::string Format(const std::vector<discovery::Computer>& computers, long long passMs)
{
    std::string out = "# pass " + std::to_string(passMs) + "\n";
    for (const discovery::Computer& c : computers)
        out += discovery::Dotted(c.address) + ' ' + c.name + ' ' + (c.workgroup.empty() ? "-" : c.workgroup) + ' ' +
               c.how + '\n';
    return out;
}

bool Parse(const std::string& text, std::vector<discovery::Computer>* computers, long long* passMs, size_t most)
{
    computers->clear();
    bool pass = false;
    size_t at = 0;
    while (at < text.size() && computers->size() < most) {
        const std::vector<std::string> f = Fields(NextLine(text, &at));
        if (f.size() == 3 && f[0] == "#" && f[1] == "pass" && !pass) {
            char* stop = nullptr;
            errno = 0;
            const long long ms = std::strtoll(f[2].c_str(), &stop, 10);
            pass = errno == 0 && !f[2].empty() && *stop == '\0' && ms >= 0;
            *passMs = pass ? ms : 0;
            continue;
        }
        in_addr a;
        bool how = false;
        for (const char* h : kHows)
            how |= f.size() == 4 && f[3] == h;
        if (!how || inet_pton(AF_INET, f[0].c_str(), &a) != 1 || !discovery::ValidName(f[1]) ||
            (f[2] != "-" && !discovery::ValidName(f[2])))
            continue;
        computers->push_back({discovery::Upper(f[1]), f[2] == "-" ? std::string() : discovery::Upper(f[2]), a.s_addr,
                              f[3]});
    }
    return pass;
}

std::string LearnedAddress(const std::string& path, const std::string& name)
{
    std::string text;
    if (path.empty() || !ReadWhole(path, &text, 1 << 20))
        return std::string();
    const std::string wanted = discovery::Upper(name);
    for (size_t at = 0; at < text.size();) {
        const std::string line = NextLine(text, &at);
        in_addr a;
        char known[64];
        if (ReadNamesLine(line.c_str(), &a, known) && discovery::Upper(known) == wanted)
            return discovery::Dotted(a.s_addr);
    }
    return std::string();
}

std::vector<std::vector<uint32_t>> Resolve(const std::vector<std::string>& names, int ms)
{
    // A few threads of our own ask the resolver one name at a time (glibc's
    // getaddrinfo_a can still touch a waiter's stack after gai_suspend has
    // returned). What they find goes into a state they share with us; when
    // the time is up we take what is there and leave them the rest.
    struct State {
        std::mutex lock;
        std::condition_variable done;
        std::vector<std::string> names;
        std::vector<std::vector<uint32_t>> found;
        size_t next = 0, finished = 0;
    };
    auto state = std::make_shared<State>();
    state->names = names;
    state->found.resize(names.size());
    const size_t threads = std::min<size_t>(names.size(), 16);
    for (size_t t = 0; t < threads; ++t) {
        std::thread([state] {
            for (;;) {
                size_t i;
                {
                    std::lock_guard<std::mutex> hold(state->lock);
                    if (state->next == state->names.size())
                        return;
                    i = state->next++;
                }
                addrinfo hints = {};
                hints.ai_family = AF_INET;
                hints.ai_socktype = SOCK_STREAM;
                addrinfo* list = nullptr;
                std::vector<uint32_t> addresses;
                if (getaddrinfo(state->names[i].c_str(), nullptr, &hints, &list) == 0) {
                    for (const addrinfo* a = list; a && addresses.size() < 16; a = a->ai_next)
                        addresses.push_back(reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr.s_addr);
                    freeaddrinfo(list);
                }
                std::lock_guard<std::mutex> hold(state->lock);
                state->found[i] = std::move(addresses);
                if (++state->finished == state->names.size())
                    state->done.notify_all();
            }
        }).detach();
    }
    std::unique_lock<std::mutex> hold(state->lock);
    state->done.wait_for(hold, std::chrono::milliseconds(ms), [&] { return state->finished == state->names.size(); });
    return state->found;
}

void Vet(std::vector<discovery::Computer>* computers, int ms, std::vector<std::string>* refusals)
{
    const std::string own = OwnName();
    std::vector<std::string> names;
    for (const discovery::Computer& c : *computers)
        names.push_back(c.name);
    const std::vector<std::vector<uint32_t>> resolved = Resolve(names, ms);
    std::vector<discovery::Computer> kept;
    for (size_t i = 0; i < computers->size(); ++i) {
        const discovery::Computer& c = (*computers)[i];
        const std::vector<uint32_t>& at = resolved[i];
        const bool elsewhere = !at.empty() && std::find(at.begin(), at.end(), c.address) == at.end();
        const std::string from = c.name + " from " + discovery::Dotted(c.address);
        if (!c.name.empty() && c.name == own) {
            if (refusals)
                refusals->push_back(from + ": this computer's own name");
        } else if (elsewhere) {
            if (refusals)
                refusals->push_back(from + ": the resolver gives it " + discovery::Dotted(at[0]));
        } else {
            kept.push_back(c);
        }
    }
    *computers = std::move(kept);
}

bool Shared::Read(long long maxAgeMs, std::vector<discovery::Computer>* computers) const
{
    std::string text;
    long long pass = 0;
    return ReadWhole(File(), &text, 1 << 20) && Parse(text, computers, &pass) && NowMs() - pass <= maxAgeMs;
}

std::vector<discovery::Computer> Shared::Get(const discovery::Options& options, long long maxAgeMs,
                                             long long deadlineMs, std::vector<std::string>* refusals, bool* ran)
{
    *ran = false;
    std::vector<discovery::Computer> computers;
    auto pass = [&] {
        const long long began = NowMs();
        computers = discovery::Discover(options, refusals);
        Vet(&computers, 1000, refusals);
        *ran = true;
        const std::string text = Format(computers, began);
        if (!m_folder.empty())
            WriteWhole(File(), text);
        if (!m_namesFile.empty())
            WriteWhole(m_namesFile, text);
    };
    if (m_folder.empty()) {
        pass();
        return computers;
    }
    if (Read(maxAgeMs, &computers))
        return computers;
    // One pass at a time: whoever holds the lock makes it; the others wait
    // for it and read what it found.
    const int lock = open((m_folder + "/found.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lock < 0) {
        pass();
        return computers;
    }
    bool held = false;
    while (!(held = flock(lock, LOCK_EX | LOCK_NB) == 0) && errno == EWOULDBLOCK && NowMs() < deadlineMs)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (held && !Read(maxAgeMs, &computers))
        pass();
    else if (!held)
        Read(LLONG_MAX, &computers);   // the last pass there is, however old
    close(lock);
    return computers;
}

} // namespace found
