// WS-Discovery (2005/04, SOAP 1.2 over UDP 3702) and the metadata of
// Devices Profile for Web Services (a WS-Transfer Get over HTTP): how
// Windows 10 and later, and Samba hosts running wsdd, announce themselves.
//
// A Probe for devices goes to 239.255.255.250:3702; each computer answers
// with a ProbeMatch naming its endpoint (urn:uuid:...) and, usually, the
// URL of its metadata (XAddrs); one that gives none is asked for it with a
// Resolve. Its metadata holds pub:Computer, "NAME/Workgroup:WG" or
// "NAME/Domain:D". Messages are read with expat (namespaces as the
// protocol defines them, no DTD, no entities, nothing fetched) and the
// metadata is fetched with libcurl.
#pragma once
#include <poll.h>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace discovery::wsd {

constexpr uint16_t kPort = 3702;
extern const char kGroup[];   // "239.255.255.250"

// A fresh message id or endpoint: urn:uuid: and a random UUID.
std::string NewUuid();
// An endpoint as we take it: urn:uuid: and a UUID, nothing else.
bool ValidEndpoint(const std::string& text);
// Text as XML character data or an attribute's value.
std::string Escape(const std::string& text);

std::string Probe(const std::string& messageId);
std::string Resolve(const std::string& messageId, const std::string& endpoint);
std::string Get(const std::string& messageId, const std::string& endpoint, const std::string& from);

// A ProbeMatches or ResolveMatches message.
struct Match {
    std::string endpoint;                // as sent; ValidEndpoint says if it is one
    std::vector<std::string> xaddrs;     // the URLs it gives, as sent
    bool computer = false;               // its types include pub:Computer
};
struct Matches {
    bool resolve = false;                // ResolveMatches, else ProbeMatches
    std::string relatesTo;               // the message it answers
    std::vector<Match> matches;          // at most 16
};
bool ParseMatches(const std::string& xml, Matches* out);

// An http:// URL of an IPv4 address, as XAddrs give them.
struct Url {
    uint32_t address = 0;   // network order
    uint16_t port = 80;
    std::string path;       // from its '/'
};
bool ParseUrl(const std::string& text, Url* url);
std::string UrlText(const Url& url);

// The metadata's computer: name and workgroup (or domain), upper case.
bool ParseMetadata(const std::string& xml, std::string* name, std::string* workgroup);
// A pub:Computer value: "NAME", "NAME/Workgroup:WG", "NAME/Domain:D".
bool ParseComputer(const std::string& value, std::string* name, std::string* workgroup);

// What an answer from `source` to our message `asked` leads to: the
// metadata fetched from `url`, a Resolve for `endpoint`, or nothing (with
// the reason for the log). Only a computer's match with an endpoint counts,
// and metadata only from the address that answered, at a UUID path (the
// port as the answer says).
enum class Next { Nothing, Fetch, Resolve };
Next Consider(const Matches& m, const std::string& asked, uint32_t source, Url* url, std::string* endpoint,
              std::string* why);

// The metadata requests of a pass, over HTTP (libcurl's multi interface),
// waited for in the pass's one wait with its own sockets.
class Fetches {
public:
    Fetches();
    ~Fetches();
    Fetches(const Fetches&) = delete;
    Fetches& operator=(const Fetches&) = delete;
    // POSTs `body` to `url`, for at most `limitMs`; false when it cannot start.
    bool Start(uint32_t address, const Url& url, const std::string& body, long limitMs);
    size_t Running() const;
    // Waits at most `ms` for these sockets (their revents filled) and the
    // requests' own.
    void Wait(std::vector<pollfd>* fds, int ms);
    struct Done {
        uint32_t address;
        bool ok;            // a whole reply with status 200
        bool late;          // not whole within its time
        std::string body;   // the reply's body, at most 64 KB
        std::string why;    // else why not
    };
    // Moves the requests on; those that ended.
    std::vector<Done> Collect();
    // The addresses of those still running.
    std::vector<uint32_t> Unfinished() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

} // namespace discovery::wsd
