// The helper's one way to the network: Samba's client library for the
// browse lists, merged with the computers discovery finds (discovery.h),
// and Samba's libnetapi for what Windows' own calls give: a computer's
// share list (NetShareEnum: whole comments, the exact type) and the
// workgroup of a computer that announced none (NetWkstaGetInfo).
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "lan/common/protocol.h"
#include "lan/helper/credentials.h"
#include "lan/helper/discovery.h"

// What a listing came to: 0 or the Windows error code to answer, and why,
// for the log.
struct Outcome {
    uint32_t code = 0;
    std::string reason;
};

struct SmbOptions {
    const char* conf = nullptr;   // smb.conf; the system's when null
    int timeoutMs = 1500;         // each of the library's network operations
    int resolveMs = 1000;         // a name's look-up through the system
    Credentials credentials;      // no user: guest
    bool discover = false;        // computers that no browse list names too
    discovery::Options discovery;
    std::string namesFile;        // the names discovery learned, for the program (found.h)
    std::string foundFolder;      // the helper's own, where its workers share a pass; empty: none
    std::string uncDir;           // a folder DIR/SERVER/SHARE for each disk share listed
};

// The workgroup of a computer that tells none: Windows' own default.
constexpr char kDefaultWorkgroup[] = "WORKGROUP";

// Which protocols a process speaks: browse lists travel only on SMB1, share
// lists on anything. The library's setting is the whole process's.
enum class Protocols { Browse, Shares, PerCall };

class SmbClient {
public:
    SmbClient(const SmbOptions& options, Protocols protocols);
    ~SmbClient();
    SmbClient(const SmbClient&) = delete;
    SmbClient& operator=(const SmbClient&) = delete;

    // The records of one level: workgroups, a workgroup's computers, a
    // computer's shares; `dueMs` (monotonic) is when the answer is due,
    // 6 s from now when 0.
    Outcome List(lanproto::Verb verb, const std::string& name, std::vector<lanproto::Record>* records,
                 long long dueMs = 0);
    // Whether it has asked so many servers that its sessions with them
    // should end with the process.
    bool Spent() const { return m_servers.size() >= 128; }

private:
    Outcome Browse(lanproto::Verb verb, const std::string& name, std::vector<lanproto::Record>* records);
    Outcome BrowseList(lanproto::Verb verb, const std::string& name, std::vector<lanproto::Record>* records);
    Outcome Shares(const std::string& name, std::vector<lanproto::Record>* records);
    // The share list as the server service gives it (NetShareEnum); false
    // when it could not be had that way (a server without the service, a
    // logon refused: the client library's listing says which).
    bool SharesByNetapi(const std::string& host, std::vector<lanproto::Record>* records, Outcome* outcome);
    Outcome SharesBySmbc(const std::string& host, std::vector<lanproto::Record>* records);
    // Fills in the workgroup of each computer discovery found without one,
    // as its server reports it, by `deadlineMs` (monotonic). A server that
    // answers later is heard at the next pass.
    void AskWorkgroups(long long deadlineMs);
    // Reads what the servers asked have told until `untilMs` or until none
    // is left to answer; then ends those asked too long ago.
    void HearWorkgroups(long long untilMs);
    void SettleWorkgroups();
    void Speak(Protocols protocols);
    // What discovery found, asked again when older than half a minute.
    bool DiscoveryStale() const;
    void Discovered(std::vector<discovery::Computer> found, long long ms, bool ran);
    void Placeholders(const std::string& server, const std::vector<lanproto::Record>& shares) const;

    struct _SMBCCTX* m_ctx = nullptr;
    struct libnetapi_ctx* m_netapi = nullptr;   // the process's one
    SmbOptions m_options;
    Protocols m_protocols;
    std::vector<discovery::Computer> m_found;
    long long m_foundAt = -1;
    std::vector<std::string> m_browseGroups;   // what the last browse list named
    long long m_due = 0;
    std::vector<std::string> m_servers;   // the addresses whose shares were asked
    // What computers' servers told of their workgroup, and those still
    // being asked, each by a process of its own.
    struct Told {
        std::string key;        // "NAME ADDRESS"
        std::string workgroup;  // empty: nothing
        long long at;
    };
    std::vector<Told> m_told;
    struct Asking {
        std::string key;
        int pid = -1;
        int fd = -1;
        std::string told;
        long long began = 0;
    };
    std::vector<Asking> m_asking;
};

// A disk share's type as a Windows server reports it: Samba leaves the
// special bit off the administrative disk shares (ADMIN$ and the drives'
// C$, D$, ...) that Windows puts it on.
uint32_t SpecialByName(uint32_t type, const std::string& name);
// A share's 32-bit type from the kind the library reports, where only that
// is known: IPC$ and the administrative disk shares carry the special bit.
uint32_t TypeFromKind(unsigned kind, const std::string& name);
