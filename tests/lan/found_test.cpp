// What discovery found, as the helper keeps it for its workers and for the
// program's look-ups: written whole, read back exactly, and nothing taken
// from a line that is not in the form.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include "lan/helper/found.h"
#include "lan/helper/names_line.h"
#include "lan/helper/whole_file.h"
#include "tests/lan/support.h"

namespace {

TEST(Found, WhatIsWrittenIsReadBack)
{
    const std::vector<discovery::Computer> computers = {
        {"DESK", "HOMENET", Ip("127.77.0.12"), "NetBIOS"},
        {"NAS", "", Ip("127.77.0.16"), "mDNS"},
        {"LAPTOP", "HOMENET", Ip("127.77.0.13"), "WS-Discovery"},
    };
    const std::string text = found::Format(computers, 123456);
    EXPECT_EQ(text, "# pass 123456\n127.77.0.12 DESK HOMENET NetBIOS\n127.77.0.16 NAS - mDNS\n"
                    "127.77.0.13 LAPTOP HOMENET WS-Discovery\n");
    std::vector<discovery::Computer> back;
    long long pass = 0;
    ASSERT_TRUE(found::Parse(text, &back, &pass));
    EXPECT_EQ(pass, 123456);
    ASSERT_EQ(back.size(), 3u);
    for (size_t i = 0; i < back.size(); ++i) {
        EXPECT_EQ(back[i].name, computers[i].name);
        EXPECT_EQ(back[i].workgroup, computers[i].workgroup);
        EXPECT_EQ(back[i].address, computers[i].address);
        EXPECT_EQ(back[i].how, computers[i].how);
    }
}

TEST(Found, LinesNotInTheFormAreLeftOut)
{
    const char* bad[] = {
        "127.77.0.12 DESK HOMENET",                 // a field short
        "127.77.0.12 DESK HOMENET NetBIOS extra",   // one too many
        "127.77.0.12  DESK HOMENET NetBIOS",        // two blanks
        "127.77.0.300 DESK HOMENET NetBIOS",
        "desk DESK HOMENET NetBIOS",
        "127.77.0.12 DE/SK HOMENET NetBIOS",
        "127.77.0.12 DESK HOME.NET NetBIOS",
        "127.77.0.12 DESK HOMENET Carrier-Pigeon",
        "127.77.0.12 DESK HOMENET NetBIOS\r",
        "127.77.0.12 D\x01SK HOMENET NetBIOS",
        "# pass 5",                                  // a second pass line
    };
    for (const char* line : bad) {
        std::vector<discovery::Computer> back;
        long long pass = 0;
        EXPECT_TRUE(found::Parse("# pass 1\n" + std::string(line) + "\n127.77.0.9 GOOD - mDNS\n", &back, &pass))
            << line;
        ASSERT_EQ(back.size(), 1u) << line;
        EXPECT_EQ(back[0].name, "GOOD") << line;
        EXPECT_EQ(pass, 1) << line;
    }
    std::vector<discovery::Computer> back;
    long long pass = 0;
    for (const char* text : {"", "127.77.0.9 GOOD - mDNS\n", "# pass\n", "# pass -1\n", "# pass 12x\n",
                             "#pass 1\n", "# pass 99999999999999999999\n"})
        EXPECT_FALSE(found::Parse(text, &back, &pass)) << "no pass line: " << text;
    std::string many = "# pass 1\n";
    for (int i = 0; i < 100; ++i)
        many += "127.77.0.9 N" + std::to_string(i) + " - mDNS\n";
    EXPECT_TRUE(found::Parse(many, &back, &pass, 10));
    EXPECT_EQ(back.size(), 10u) << "no more than it was asked to read";
}

using FoundFolder = TempFolderTest;

TEST_F(FoundFolder, WrittenWholeForItsUserAlone)
{
    const std::string path = m_dir + "/names";
    ASSERT_TRUE(WriteWhole(path, "# pass 1\n127.77.0.12 DESK - NetBIOS\n"));
    ASSERT_TRUE(WriteWhole(path, "# pass 2\n127.77.0.13 LAPTOP - mDNS\n"));
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "# pass 2\n127.77.0.13 LAPTOP - mDNS\n");
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    size_t entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(m_dir))
        entries += e.path().filename() != "names";
    EXPECT_EQ(entries, 0u) << "no file of the writing is left beside it";
    EXPECT_FALSE(WriteWhole(m_dir + "/no/such/folder/names", "x"));
}

TEST_F(FoundFolder, TheProgramsLookUpsReadTheSameFile)
{
    const std::string path = m_dir + "/names";
    std::ofstream(path) << "# pass 7\n127.77.0.12 DESK HOMENET NetBIOS\n"
                        << "127.77.0.99 " << std::string(64, 'L') << " - mDNS\n"
                        << "127.77.0.13 laptop - WS-Discovery\n127.77.0.14 LAPTOP - mDNS\n";
    EXPECT_EQ(found::LearnedAddress(path, "desk"), "127.77.0.12");
    EXPECT_EQ(found::LearnedAddress(path, "LAPTOP"), "127.77.0.13") << "the first line that names it";
    EXPECT_EQ(found::LearnedAddress(path, std::string(63, 'L')), "") << "a name cut short is no name of the file's";
    EXPECT_EQ(found::LearnedAddress(path, "pass"), "");
    EXPECT_EQ(found::LearnedAddress(m_dir + "/none", "DESK"), "");
    EXPECT_EQ(found::LearnedAddress(m_dir, "DESK"), "") << "a folder";

    in_addr a;
    char name[64];
    EXPECT_TRUE(ReadNamesLine("127.77.0.12 DESK\n", &a, name));
    EXPECT_FALSE(ReadNamesLine(("127.77.0.12 " + std::string(64, 'N')).c_str(), &a, name));
    EXPECT_FALSE(ReadNamesLine("127.77.0.1234 DESK", &a, name));
    EXPECT_FALSE(ReadNamesLine("DESK", &a, name));
}

} // namespace
