// The helper as a server: one supervising process that accepts connections
// on the loopback address, reads and checks each request, and hands it to a
// long-lived worker of the right kind (browse lists need SMB1 alone, share
// lists may use any protocol; the library's setting is per process). A
// worker keeps its library context, and with it the sessions to the servers
// it has asked, from one request to the next.
//
// Limits, from the outside in: the Windows side waits at most 8 s for an
// answer; the supervisor answers every request it accepts within its
// budget (6 s from the connection), ending a worker that takes longer; a
// worker gives each network operation 1.5 s and a name look-up 1 s. A
// stale browser costs the request that asks it, not the ones after.
#pragma once
#include <string>
#include <vector>
#include "lan/helper/smb.h"

struct ServerOptions {
    int port = 0;                 // 0: the system picks a free one
    std::string keyFile;          // where the key and port go, for the Windows side
    std::string logFile;          // empty: standard error
    SmbOptions smb;
    int budgetMs = 6000;          // a request's whole time, from its connection
    int requestMs = 2000;         // for the request line to arrive
    int workersPerKind = 3;       // at most this many listings of a kind at once
    int maxConnections = 32;      // connections still sending their request
    int maxQueued = 64;           // requests waiting for a worker
    std::vector<std::string> notes;   // for the log once it is open
};

// Serves until SIGTERM or SIGINT; prints "ready PORT" on standard output
// once the key file is written. 0, or 1 with a line on standard error.
int RunServer(ServerOptions& options);
