#include "lan/helper/wsd.h"
#include <arpa/inet.h>
#include <curl/curl.h>
#include <expat.h>
#include <sys/random.h>
#include <strings.h>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include "lan/helper/discovery.h"

namespace discovery::wsd {

const char kGroup[] = "239.255.255.250";

namespace {

const char kSoap[] = "http://www.w3.org/2003/05/soap-envelope";
const char kWsa[] = "http://schemas.xmlsoap.org/ws/2004/08/addressing";
const char kWsd[] = "http://schemas.xmlsoap.org/ws/2005/04/discovery";
const char kWsdp[] = "http://schemas.xmlsoap.org/ws/2006/02/devprof";
const char kPub[] = "http://schemas.microsoft.com/windows/pub/2005/07";
const char kDiscoveryTo[] = "urn:schemas-xmlsoap-org:ws:2005:04:discovery";

// Bounds on what a message may hold; a message beyond them is refused.
constexpr size_t kMaxInput = 1 << 20, kMaxNodes = 512, kMaxDepth = 32, kMaxText = 8192, kMaxNames = 32;
constexpr size_t kMaxMatches = 16, kMaxAddrs = 8, kMaxPath = 256, kMaxMetadata = 65536;
const char kSpace[] = " \t\r\n";

std::string Trim(const std::string& s)
{
    const size_t a = s.find_first_not_of(kSpace);
    if (a == std::string::npos)
        return std::string();
    return s.substr(a, s.find_last_not_of(kSpace) - a + 1);
}

std::vector<std::string> Words(const std::string& s, size_t most)
{
    std::vector<std::string> out;
    for (size_t at = s.find_first_not_of(kSpace); at != std::string::npos && out.size() < most;) {
        const size_t end = s.find_first_of(kSpace, at);
        out.push_back(s.substr(at, end == std::string::npos ? std::string::npos : end - at));
        at = end == std::string::npos ? end : s.find_first_not_of(kSpace, end);
    }
    return out;
}

bool IsUuid(const std::string& s)
{
    if (s.size() != 36)
        return false;
    for (size_t i = 0; i < s.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? s[i] != '-' : !std::isxdigit(static_cast<unsigned char>(s[i])))
            return false;
    }
    return true;
}

// ---- XML, read by expat into a small tree ----

struct Node {
    std::string ns, local, text;   // text: the element's own character data
    int parent = -1;
    bool hasChildren = false;
    std::vector<std::pair<std::string, std::string>> qnames;   // a Types list, resolved
};

// A document's elements in document order; false when it is not
// well-formed, declares a DTD or entities, or is beyond the bounds.
class Reader {
public:
    bool Read(const std::string& xml, std::vector<Node>* nodes)
    {
        nodes->clear();
        if (xml.size() > kMaxInput)
            return false;
        m_nodes = nodes;
        XML_Parser p = XML_ParserCreateNS(nullptr, ' ');
        if (!p)
            return false;
        m_parser = p;
        XML_SetUserData(p, this);
        XML_SetElementHandler(p, Start, End);
        XML_SetCharacterDataHandler(p, Text);
        XML_SetNamespaceDeclHandler(p, NamespaceStart, NamespaceEnd);
        XML_SetStartDoctypeDeclHandler(p, Doctype);
        XML_SetEntityDeclHandler(p, Entity);
        XML_SetParamEntityParsing(p, XML_PARAM_ENTITY_PARSING_NEVER);
        const bool ok = XML_Parse(p, xml.data(), static_cast<int>(xml.size()), XML_TRUE) == XML_STATUS_OK && !m_refused;
        XML_ParserFree(p);
        if (!ok)
            nodes->clear();
        return ok && !nodes->empty();
    }

private:
    void Refuse()
    {
        m_refused = true;
        XML_StopParser(m_parser, XML_FALSE);
    }
    static void Start(void* self, const XML_Char* name, const XML_Char**)
    {
        Reader* r = static_cast<Reader*>(self);
        if (r->m_refused)
            return;
        if (r->m_nodes->size() >= kMaxNodes || r->m_open.size() >= kMaxDepth)
            return r->Refuse();
        Node n;
        const char* space = std::strrchr(name, ' ');
        n.ns = space ? std::string(name, static_cast<size_t>(space - name)) : std::string();
        n.local = space ? space + 1 : name;
        n.parent = r->m_open.empty() ? -1 : r->m_open.back();
        if (n.parent >= 0)
            (*r->m_nodes)[static_cast<size_t>(n.parent)].hasChildren = true;
        r->m_open.push_back(static_cast<int>(r->m_nodes->size()));
        r->m_nodes->push_back(std::move(n));
    }
    static void End(void* self, const XML_Char*)
    {
        Reader* r = static_cast<Reader*>(self);
        if (r->m_refused || r->m_open.empty())
            return;
        Node& n = (*r->m_nodes)[static_cast<size_t>(r->m_open.back())];
        r->m_open.pop_back();
        // A list of QNames: each prefix as it is bound here.
        if (n.ns == kWsd && n.local == "Types") {
            for (const std::string& word : Words(n.text, kMaxNames)) {
                const size_t colon = word.find(':');
                const std::string prefix = colon == std::string::npos ? std::string() : word.substr(0, colon);
                for (auto b = r->m_bindings.rbegin(); b != r->m_bindings.rend(); ++b)
                    if (b->first == prefix) {
                        n.qnames.emplace_back(b->second, colon == std::string::npos ? word : word.substr(colon + 1));
                        break;
                    }
            }
        }
    }
    static void Text(void* self, const XML_Char* s, int len)
    {
        Reader* r = static_cast<Reader*>(self);
        if (r->m_refused || r->m_open.empty())
            return;
        std::string& text = (*r->m_nodes)[static_cast<size_t>(r->m_open.back())].text;
        if (text.size() + static_cast<size_t>(len) > kMaxText)
            return r->Refuse();
        text.append(s, static_cast<size_t>(len));
    }
    static void NamespaceStart(void* self, const XML_Char* prefix, const XML_Char* uri)
    {
        Reader* r = static_cast<Reader*>(self);
        if (r->m_bindings.size() >= kMaxNodes)
            return r->Refuse();
        r->m_bindings.emplace_back(prefix ? prefix : "", uri ? uri : "");
    }
    static void NamespaceEnd(void* self, const XML_Char* prefix)
    {
        Reader* r = static_cast<Reader*>(self);
        const std::string p = prefix ? prefix : "";
        for (auto b = r->m_bindings.end(); b != r->m_bindings.begin();)
            if ((--b)->first == p) {
                r->m_bindings.erase(b);
                break;
            }
    }
    static void Doctype(void* self, const XML_Char*, const XML_Char*, const XML_Char*, int)
    {
        static_cast<Reader*>(self)->Refuse();
    }
    static void Entity(void* self, const XML_Char*, int, const XML_Char*, int, const XML_Char*, const XML_Char*,
                       const XML_Char*, const XML_Char*)
    {
        static_cast<Reader*>(self)->Refuse();
    }

    XML_Parser m_parser = nullptr;
    std::vector<Node>* m_nodes = nullptr;
    std::vector<int> m_open;
    std::vector<std::pair<std::string, std::string>> m_bindings;   // prefix ("" the default), namespace
    bool m_refused = false;
};

// The children of `parent` with this name.
std::vector<int> Children(const std::vector<Node>& nodes, int parent, const char* ns, const char* local)
{
    std::vector<int> out;
    for (size_t i = static_cast<size_t>(parent) + 1; i < nodes.size(); ++i)
        if (nodes[i].parent == parent && nodes[i].ns == ns && nodes[i].local == local)
            out.push_back(static_cast<int>(i));
    return out;
}

// The one child of `parent` with this name, or -1.
int Child(const std::vector<Node>& nodes, int parent, const char* ns, const char* local)
{
    const std::vector<int> c = Children(nodes, parent, ns, local);
    return c.size() == 1 ? c[0] : -1;
}

// The body of a SOAP 1.2 envelope, or -1.
int Body(const std::vector<Node>& nodes)
{
    if (nodes.empty() || nodes[0].ns != kSoap || nodes[0].local != "Envelope")
        return -1;
    return Child(nodes, 0, kSoap, "Body");
}

std::string Envelope(const std::string& to, const std::string& action, const std::string& messageId,
                     const std::string& headerExtra, const std::string& body)
{
    return std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope xmlns:soap=\"") + kSoap +
           "\" xmlns:wsa=\"" + kWsa + "\" xmlns:wsd=\"" + kWsd + "\" xmlns:wsdp=\"" + kWsdp +
           "\"><soap:Header><wsa:To>" + Escape(to) + "</wsa:To><wsa:Action>" + Escape(action) +
           "</wsa:Action><wsa:MessageID>" + Escape(messageId) + "</wsa:MessageID>" + headerExtra +
           "</soap:Header><soap:Body>" + body + "</soap:Body></soap:Envelope>";
}

bool UuidPath(const std::string& path)
{
    std::string p = path;
    if (p.size() > 1 && p.back() == '/')
        p.pop_back();
    return p.size() == 37 && p[0] == '/' && IsUuid(p.substr(1));
}

} // namespace

std::string NewUuid()
{
    unsigned char b[16] = {};
    if (getrandom(b, sizeof b, 0) != sizeof b) {
        timespec t;
        clock_gettime(CLOCK_MONOTONIC, &t);
        std::memcpy(b, &t, sizeof t);
    }
    b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x40);
    b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80);
    char text[64];
    std::snprintf(text, sizeof text, "urn:uuid:%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", b[0],
                  b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
    return text;
}

bool ValidEndpoint(const std::string& text)
{
    return text.size() == 45 && strncasecmp(text.c_str(), "urn:uuid:", 9) == 0 && IsUuid(text.substr(9));
}

std::string Escape(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string Probe(const std::string& messageId)
{
    return Envelope(kDiscoveryTo, std::string(kWsd) + "/Probe", messageId, "",
                    "<wsd:Probe><wsd:Types>wsdp:Device</wsd:Types></wsd:Probe>");
}

std::string Resolve(const std::string& messageId, const std::string& endpoint)
{
    return Envelope(kDiscoveryTo, std::string(kWsd) + "/Resolve", messageId, "",
                    "<wsd:Resolve><wsa:EndpointReference><wsa:Address>" + Escape(endpoint) +
                        "</wsa:Address></wsa:EndpointReference></wsd:Resolve>");
}

std::string Get(const std::string& messageId, const std::string& endpoint, const std::string& from)
{
    return Envelope(endpoint, "http://schemas.xmlsoap.org/ws/2004/09/transfer/Get", messageId,
                    std::string("<wsa:ReplyTo><wsa:Address>") + kWsa +
                        "/role/anonymous</wsa:Address></wsa:ReplyTo><wsa:From><wsa:Address>" + Escape(from) +
                        "</wsa:Address></wsa:From>",
                    "");
}

bool ParseMatches(const std::string& xml, Matches* out)
{
    *out = Matches();
    std::vector<Node> nodes;
    if (!Reader().Read(xml, &nodes))
        return false;
    const int body = Body(nodes);
    if (body < 0)
        return false;
    const int header = Child(nodes, 0, kSoap, "Header");
    const int relates = header < 0 ? -1 : Child(nodes, header, kWsa, "RelatesTo");
    if (relates >= 0)
        out->relatesTo = Trim(nodes[static_cast<size_t>(relates)].text);
    int list = Child(nodes, body, kWsd, "ProbeMatches");
    if (list < 0) {
        list = Child(nodes, body, kWsd, "ResolveMatches");
        out->resolve = true;
    }
    if (list < 0)
        return false;
    for (int match : Children(nodes, list, kWsd, out->resolve ? "ResolveMatch" : "ProbeMatch")) {
        if (out->matches.size() >= kMaxMatches)
            break;
        Match m;
        const int reference = Child(nodes, match, kWsa, "EndpointReference");
        const int address = reference < 0 ? -1 : Child(nodes, reference, kWsa, "Address");
        if (address >= 0)
            m.endpoint = Trim(nodes[static_cast<size_t>(address)].text);
        const int types = Child(nodes, match, kWsd, "Types");
        if (types >= 0)
            for (const auto& q : nodes[static_cast<size_t>(types)].qnames)
                m.computer |= q.first == kPub && q.second == "Computer";
        const int xaddrs = Child(nodes, match, kWsd, "XAddrs");
        if (xaddrs >= 0)
            m.xaddrs = Words(nodes[static_cast<size_t>(xaddrs)].text, kMaxAddrs);
        out->matches.push_back(std::move(m));
    }
    return true;
}

bool ParseUrl(const std::string& text, Url* url)
{
    const size_t schemeEnd = 7;   // "http://"
    if (text.size() <= schemeEnd || strncasecmp(text.c_str(), "http://", schemeEnd) != 0)
        return false;
    const size_t hostEnd = text.find_first_of(":/", schemeEnd);
    const std::string host = text.substr(schemeEnd, hostEnd == std::string::npos ? std::string::npos : hostEnd - schemeEnd);
    in_addr a;
    if (inet_pton(AF_INET, host.c_str(), &a) != 1)
        return false;   // only an address: a name would need a look-up
    url->address = a.s_addr;
    url->port = 80;
    url->path = "/";
    size_t at = hostEnd;
    if (at != std::string::npos && text[at] == ':') {
        const size_t end = text.find('/', at);
        const std::string p = text.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
        if (p.empty() || p.size() > 5 || p.find_first_not_of("0123456789") != std::string::npos)
            return false;
        const unsigned long n = std::stoul(p);
        if (n == 0 || n > 65535)
            return false;
        url->port = static_cast<uint16_t>(n);
        at = end;
    }
    if (at != std::string::npos)
        url->path = text.substr(at);
    // A plain path: no query, fragment, space or anything outside ASCII.
    static const char kPathChars[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-._~/%!$&'()*+,;=:@";
    return url->path.size() <= kMaxPath && url->path.find_first_not_of(kPathChars) == std::string::npos;
}

std::string UrlText(const Url& url)
{
    return "http://" + Dotted(url.address) + ":" + std::to_string(url.port) + url.path;
}

bool ParseComputer(const std::string& value, std::string* name, std::string* workgroup)
{
    const size_t slash = value.find('/');
    const std::string n = value.substr(0, slash);
    std::string group;
    if (slash != std::string::npos) {
        const std::string rest = value.substr(slash + 1);
        for (const char* key : {"Workgroup:", "Domain:"})
            if (rest.compare(0, std::strlen(key), key) == 0)
                group = rest.substr(std::strlen(key));
        if (!group.empty() && !ValidName(group))
            return false;
    }
    if (!ValidName(n))
        return false;
    *name = Upper(n);
    *workgroup = Upper(group);
    return true;
}

bool ParseMetadata(const std::string& xml, std::string* name, std::string* workgroup)
{
    std::vector<Node> nodes;
    const int body = Reader().Read(xml, &nodes) ? Body(nodes) : -1;
    if (body < 0)
        return false;
    // Exactly one pub:Computer in the body, of text alone.
    int computer = -1;
    for (size_t i = static_cast<size_t>(body) + 1; i < nodes.size(); ++i) {
        if (nodes[i].ns != kPub || nodes[i].local != "Computer")
            continue;
        if (computer >= 0)
            return false;
        computer = static_cast<int>(i);
    }
    if (computer < 0 || nodes[static_cast<size_t>(computer)].hasChildren)
        return false;
    // Inside the body: its ancestors lead there.
    int up = computer;
    while (up > body)
        up = nodes[static_cast<size_t>(up)].parent;
    return up == body && ParseComputer(Trim(nodes[static_cast<size_t>(computer)].text), name, workgroup);
}

Next Consider(const Matches& m, const std::string& asked, uint32_t source, Url* url, std::string* endpoint,
              std::string* why)
{
    why->clear();
    const std::string from = "a WS-Discovery answer from " + Dotted(source);
    if (m.relatesTo.empty() || m.relatesTo != asked) {
        *why = from + " to no message of ours";
        return Next::Nothing;
    }
    for (const Match& match : m.matches) {
        if (!match.computer)
            continue;   // a printer, a scanner: not what we look for
        if (!ValidEndpoint(match.endpoint)) {
            *why = from + " whose endpoint is no urn:uuid";
            return Next::Nothing;
        }
        *endpoint = match.endpoint;
        if (match.xaddrs.empty()) {
            if (m.resolve) {
                *why = from + " that gives no address";
                return Next::Nothing;
            }
            return Next::Resolve;
        }
        for (const std::string& x : match.xaddrs)
            if (ParseUrl(x, url) && url->address == source && UuidPath(url->path))
                return Next::Fetch;
        *why = from + " that points elsewhere";
        return Next::Nothing;
    }
    return Next::Nothing;
}

// ---- The metadata's requests ----

struct Transfer {
    uint32_t address = 0;
    CURL* easy = nullptr;
    curl_slist* headers = nullptr;
    std::string body, reply;
    char error[CURL_ERROR_SIZE] = {};
};

struct Fetches::Impl {
    CURLM* multi = nullptr;
    std::vector<std::unique_ptr<Transfer>> running;

    void End(Transfer* t)
    {
        curl_multi_remove_handle(multi, t->easy);
        curl_easy_cleanup(t->easy);
        curl_slist_free_all(t->headers);
    }
};

namespace {

size_t Keep(char* data, size_t size, size_t count, void* user)
{
    Transfer* t = static_cast<Transfer*>(user);
    const size_t bytes = size * count;
    if (t->reply.size() + bytes > kMaxMetadata)
        return 0;   // more than any computer's metadata: the transfer fails
    t->reply.append(data, bytes);
    return bytes;
}

} // namespace

Fetches::Fetches() : m(new Impl)
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    m->multi = curl_multi_init();
}

Fetches::~Fetches()
{
    for (auto& t : m->running)
        m->End(t.get());
    if (m->multi)
        curl_multi_cleanup(m->multi);
}

bool Fetches::Start(uint32_t address, const Url& url, const std::string& body, long limitMs)
{
    if (!m->multi)
        return false;
    auto t = std::make_unique<Transfer>();
    t->address = address;
    t->body = body;
    t->easy = curl_easy_init();
    if (!t->easy)
        return false;
    for (const char* h : {"Content-Type: application/soap+xml; charset=utf-8", "Expect:"})
        t->headers = curl_slist_append(t->headers, h);
    CURL* e = t->easy;
    const std::string text = UrlText(url);
    curl_easy_setopt(e, CURLOPT_URL, text.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(e, CURLOPT_PROXY, "");   // never through a proxy the environment names
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(e, CURLOPT_POSTFIELDS, t->body.data());
    curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE, static_cast<long>(t->body.size()));
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, t->headers);
    curl_easy_setopt(e, CURLOPT_USERAGENT, "ferrolink-lan");
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, Keep);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, t.get());
    curl_easy_setopt(e, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxMetadata));
    curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, limitMs);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, limitMs);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, t->error);
    curl_easy_setopt(e, CURLOPT_PRIVATE, t.get());
    if (curl_multi_add_handle(m->multi, e) != CURLM_OK) {
        curl_easy_cleanup(e);
        curl_slist_free_all(t->headers);
        return false;
    }
    m->running.push_back(std::move(t));
    return true;
}

size_t Fetches::Running() const
{
    return m->running.size();
}

void Fetches::Wait(std::vector<pollfd>* fds, int ms)
{
    std::vector<curl_waitfd> w;
    for (const pollfd& p : *fds)
        w.push_back({p.fd, static_cast<short>(p.events), 0});
    if (m->multi)
        curl_multi_poll(m->multi, w.data(), static_cast<unsigned>(w.size()), ms, nullptr);
    else
        poll(fds->data(), fds->size(), ms);
    for (size_t i = 0; i < w.size() && m->multi; ++i)
        (*fds)[i].revents = w[i].revents;
}

std::vector<Fetches::Done> Fetches::Collect()
{
    std::vector<Done> done;
    if (!m->multi)
        return done;
    int running = 0;
    curl_multi_perform(m->multi, &running);
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(m->multi, &left)) {
        if (msg->msg != CURLMSG_DONE)
            continue;
        Transfer* t = nullptr;
        curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, &t);
        long status = 0;
        curl_easy_getinfo(msg->easy_handle, CURLINFO_RESPONSE_CODE, &status);
        Done d{t->address, msg->data.result == CURLE_OK && status == 200,
               msg->data.result == CURLE_OPERATION_TIMEDOUT, std::string(), std::string()};
        if (d.ok)
            d.body = std::move(t->reply);
        else if (msg->data.result != CURLE_OK)
            d.why = t->error[0] ? t->error : curl_easy_strerror(msg->data.result);
        else
            d.why = "HTTP status " + std::to_string(status);
        done.push_back(std::move(d));
        m->End(t);
        for (auto it = m->running.begin(); it != m->running.end(); ++it)
            if (it->get() == t) {
                m->running.erase(it);
                break;
            }
    }
    return done;
}

std::vector<uint32_t> Fetches::Unfinished() const
{
    std::vector<uint32_t> out;
    for (const auto& t : m->running)
        out.push_back(t->address);
    return out;
}

} // namespace discovery::wsd
