// ferrolink-lan: lists the real network for Ferrolink's provider and share
// services under Wine, through Samba's client libraries.
//
//   ferrolink-lan --key FILE [--port N] [--log FILE] [OPTIONS]
//       serves the line protocol (lan/common/protocol.h) on 127.0.0.1:N (by
//       default a port the system picks), answering only requests made with
//       the key it draws and writes to FILE (mode 0600) with the port and
//       the log's path; prints "ready PORT" once it accepts, a line in the
//       log for each request, and removes FILE when it is ended.
//   ferrolink-lan --list [OPTIONS]
//       prints the workgroups and their computers, one per line:
//       "WORKGROUP<TAB>NAME" and "SERVER<TAB>WORKGROUP<TAB>NAME".
//   ferrolink-lan --shares SERVER [OPTIONS]
//       prints the shares of SERVER: "NAME<TAB>TYPE<TAB>COMMENT".
//   ferrolink-lan --discover-now [OPTIONS]
//       one pass of discovery, as the server makes it: prints each computer
//       found, "NAME<TAB>WORKGROUP<TAB>ADDRESS<TAB>HOW", and on stderr
//       what it refused.
//
// OPTIONS:
//   --conf SMB.CONF        the client library's settings (else the system's)
//   --credentials FILE     the user's own (smbclient -A format, mode 0600);
//                          else guest
//   --discover             computers no browse list names too, found by
//                          WS-Discovery, mDNS and NetBIOS node status on
//                          each interface that is up and backed by a device
//                          (no bridge, veth, tun or other virtual one), its
//                          sweep a /24 around this computer's address
//   --discover-interface IF[/BITS]
//                          discover on IF instead (repeatable: on each named
//                          one alone), virtual or not, sweeping as far as a
//                          /BITS around this computer's address (22 to 32,
//                          by default 24; never beyond IF's own subnet)
//   --discover-hosts RANGE for the test world only: ask each address of
//                          RANGE (a /22 at most) instead of the multicast
//                          groups and the local subnets; repeatable
//   --names FILE           the names discovery learns, "ADDRESS NAME" lines,
//                          for the Windows side's look-ups
//   --unc DIR              a folder DIR/SERVER/SHARE for each disk share
//                          listed, where Wine's shell looks for \\SERVER\SHARE
#include <unistd.h>
#include <sys/prctl.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include "lan/helper/found.h"
#include "lan/helper/server.h"
#include "lan/helper/smb.h"

namespace {

using lanproto::Record;
using lanproto::Verb;

// Samba's libraries print some of their failures on standard output: in
// the listing modes those go to standard error, the lists to what standard
// output was.
FILE* Results()
{
    std::fflush(stdout);
    const int out = dup(1);
    FILE* results = out >= 0 ? fdopen(out, "w") : nullptr;
    if (!results)
        return stdout;
    dup2(2, 1);
    return results;
}

int PrintList(SmbOptions& options)
{
    FILE* out = Results();
    SmbClient client(options, Protocols::PerCall);
    Wipe(&options.credentials);   // the client holds it now
    std::vector<Record> groups;
    if (const Outcome o = client.List(Verb::Workgroups, "", &groups); o.code) {
        std::fprintf(stderr, "ferrolink-lan: workgroups: error %u (%s)\n", o.code, o.reason.c_str());
        return 1;
    }
    int status = 0;
    for (const Record& group : groups) {
        std::fprintf(out, "WORKGROUP\t%s\n", group[0].c_str());
        std::vector<Record> servers;
        if (const Outcome o = client.List(Verb::Servers, group[0], &servers); o.code) {
            std::fprintf(stderr, "ferrolink-lan: %s: error %u (%s)\n", group[0].c_str(), o.code, o.reason.c_str());
            status = 1;
        }
        for (const Record& server : servers)
            std::fprintf(out, "SERVER\t%s\t%s\n", group[0].c_str(), server[0].c_str());
    }
    std::fflush(out);
    return status;
}

int PrintDiscovery(const SmbOptions& options)
{
    // A pass as the workers make it: what it finds, vetted by the resolver.
    std::vector<std::string> refusals;
    bool ran = false;
    for (const discovery::Computer& c :
         found::Shared(std::string(), options.namesFile).Get(options.discovery, 0, 0, &refusals, &ran))
        std::printf("%s\t%s\t%s\t%s\n", c.name.c_str(), c.workgroup.c_str(), discovery::Dotted(c.address).c_str(),
                    c.how.c_str());
    for (const std::string& r : refusals)
        std::fprintf(stderr, "ferrolink-lan: discovery refused %s\n", r.c_str());
    return 0;
}

int PrintShares(SmbOptions& options, const char* server)
{
    FILE* out = Results();
    SmbClient client(options, Protocols::Shares);
    Wipe(&options.credentials);   // the client holds it now
    std::vector<Record> shares;
    if (const Outcome o = client.List(Verb::Shares, server, &shares); o.code) {
        std::fprintf(stderr, "ferrolink-lan: %s: error %u (%s)\n", server, o.code, o.reason.c_str());
        return 1;
    }
    for (const Record& share : shares)
        std::fprintf(out, "%s\t%s\t%s\n", share[0].c_str(), share[1].c_str(), share[2].c_str());
    std::fflush(out);
    return 0;
}

[[noreturn]] void Usage()
{
    std::fprintf(stderr, "usage: ferrolink-lan --key FILE [--port N] [--log FILE] [OPTIONS]\n"
                         "       ferrolink-lan --list | --shares SERVER [OPTIONS]\n"
                         "       ferrolink-lan --discover-now [OPTIONS]\n"
                         "OPTIONS: --conf SMB.CONF --credentials FILE --discover --discover-interface IF[/BITS]\n"
                         "         --discover-hosts RANGE --names FILE --unc DIR\n");
    std::exit(2);
}

} // namespace

int main(int argc, char** argv)
{
    ServerOptions options;
    const char* credentials = nullptr;
    bool list = false, discoverNow = false;
    const char* shares = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool more = i + 1 < argc;
        if (arg == "--list")
            list = true;
        else if (arg == "--discover-now")
            discoverNow = true;
        else if (arg == "--shares" && more)
            shares = argv[++i];
        else if (arg == "--port" && more)
            options.port = std::atoi(argv[++i]);
        else if (arg == "--conf" && more)
            options.smb.conf = argv[++i];
        else if (arg == "--key" && more)
            options.keyFile = argv[++i];
        else if (arg == "--log" && more)
            options.logFile = argv[++i];
        else if (arg == "--credentials" && more)
            credentials = argv[++i];
        else if (arg == "--discover")
            options.smb.discover = true;
        else if (arg == "--discover-hosts" && more) {
            discovery::Range range;
            if (!discovery::ParseRange(argv[++i], &range))
                Usage();
            options.smb.discovery.testHosts.push_back(range);
        } else if (arg == "--discover-interface" && more) {
            discovery::InterfaceChoice choice;
            if (!discovery::ParseInterfaceChoice(argv[++i], &choice))
                Usage();
            options.smb.discovery.interfaces.push_back(choice);
        } else if (arg == "--names" && more)
            options.smb.namesFile = argv[++i];
        else if (arg == "--unc" && more)
            options.smb.uncDir = argv[++i];
        else
            Usage();
    }
    if (credentials) {
        // No core file and no debugger of the same user's reads the
        // password out of this process.
        prctl(PR_SET_DUMPABLE, 0);
        std::string why;
        if (!ReadCredentials(credentials, &options.smb.credentials, &why, &options.notes)) {
            std::fprintf(stderr, "ferrolink-lan: the credentials are not taken: %s\n", why.c_str());
            return 1;
        }
    }
    if (options.port < 0 || options.port > 65535)
        Usage();
    if (list || shares || discoverNow)
        for (const std::string& note : options.notes)
            std::fprintf(stderr, "ferrolink-lan: %s\n", note.c_str());
    if (list)
        return PrintList(options.smb);
    if (discoverNow)
        return PrintDiscovery(options.smb);
    if (shares)
        return PrintShares(options.smb, shares);
    return RunServer(options);
}
