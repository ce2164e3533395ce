// What discovery found, as the helper keeps it: one pass at a time for the
// whole helper, whatever the number of its workers, shared through a file
// in a folder of the helper's own; and the names it teaches the program,
// only where nobody else's word says otherwise.
//
// A computer a pass found is taken only when its name is not this
// computer's own and the system's resolver gives that name no other
// address: the hosts file and DNS outrank anything the network claims.
// (discovery::Merge already left out names two addresses claim, localhost
// and numbers.)
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "lan/helper/discovery.h"

namespace found {

// The file a pass is kept in, and the names file the program's look-ups
// read (lan/helper/names_preload.cpp): "ADDRESS NAME WORKGROUP HOW" lines,
// WORKGROUP "-" when none was told; the pass's own first line is
// "# pass MS", MS its monotonic time.
std::string Format(const std::vector<discovery::Computer>& computers, long long passMs);
// Reads such a file; lines that are not in the form are left out, and no
// more than `most` computers are read. False without the pass line.
bool Parse(const std::string& text, std::vector<discovery::Computer>* computers, long long* passMs,
           size_t most = 4096);

// The address `name` has in a names file (any case), or empty.
std::string LearnedAddress(const std::string& path, const std::string& name);

// The IPv4 addresses (network order) the system's resolver gives each name
// within `ms` in all, each list empty where it knows nothing or has not
// answered in time. Look-ups still going on then finish on their own.
std::vector<std::vector<uint32_t>> Resolve(const std::vector<std::string>& names, int ms);

// What the resolver says of each name within `ms`: the computers whose
// name it gives another address, and those named as this computer is, are
// taken out, a line of `refusals` each.
void Vet(std::vector<discovery::Computer>* computers, int ms, std::vector<std::string>* refusals);

class Shared {
public:
    // `folder`: the helper's own (mode 0700); empty: a pass of this
    // process alone, not kept.
    explicit Shared(std::string folder, std::string namesFile)
        : m_folder(std::move(folder)), m_namesFile(std::move(namesFile))
    {
    }
    // The computers of a pass no older than `maxAgeMs`: the last one kept,
    // or one this process makes now, or one another worker is making,
    // waited for until `deadlineMs` (monotonic). `ran`: whether this
    // process made it.
    std::vector<discovery::Computer> Get(const discovery::Options& options, long long maxAgeMs, long long deadlineMs,
                                         std::vector<std::string>* refusals, bool* ran);
    std::string File() const { return m_folder.empty() ? std::string() : m_folder + "/found"; }

private:
    bool Read(long long maxAgeMs, std::vector<discovery::Computer>* computers) const;
    std::string m_folder, m_namesFile;
};

} // namespace found
