// The user's credentials file, read as `smbclient -A` reads it (each row's
// outcome was seen with smbclient against a Samba server; the lan world
// `lan-credentials` checks the same files against both), and taken only
// when it is a regular file of this user's that nobody else may read.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>
#include "lan/helper/credentials.h"
#include "tests/lan/support.h"

namespace {

TEST(Credentials, ReadAsSmbclientReadsThem)
{
    const struct {
        std::string text;
        const char *user, *password, *domain;
    } rows[] = {
        {"username = clerk\npassword = s3cret = yes\ndomain = OFFICE\n", "clerk", "s3cret = yes", "OFFICE"},
        {"username = clerk\npassword = pw x \n", "clerk", "pw x ", ""},          // a trailing blank stays
        {"Username = clerk\nPASSWORD=pw\n", "clerk", "pw", ""},                   // keys in any case
        {"  user name   = clerk\npass word =\t  pw\n", "clerk", "pw", ""},        // blanks in keys, before values
        {"username = clerk \npassword = pw\n", "clerk ", "pw", ""},               // in a name too
        {"username = clerk\r\npassword = pw x \r\n", "clerk", "pw x ", ""},       // CRLF lines
        {"username = clerk\npassword = pw\rx\n", "clerk", "pw", ""},              // a CR ends the value
        {std::string("username = clerk\npassword = pw\0x\n", 32), "clerk", "pw", ""},
        {"username = clerk\npassword = pw\nrealm = EXAMPLE.ORG\nbogus = 1\n", "clerk", "pw", ""},
        {"username = OFFICE\\clerk\npassword = pw\ndomain = OTHER\n", "clerk", "pw", "OFFICE"},
        {"username = OFFICE/clerk\npassword = pw\n", "clerk", "pw", "OFFICE"},
        {"password = pw\nusername = clerk%other\n", "clerk", "other", ""},        // the name's password wins
        {"username = clerk\npassword = one\npassword = two\n", "clerk", "two", ""},  // the last line wins
        {"username = clerk\n# password = no\n; password = no\npassword = \"pw\"\n", "clerk", "\"pw\"", ""},
        {"[global]\nusername = clerk\npassword = pw \\\n", "clerk", "pw \\", ""},
        {"\xef\xbb\xbfusername = clerk\npassword = pw\n", nullptr, "pw", ""},     // a BOM is part of the key
        {"username = \npassword = pw\n", "", "pw", ""},
        {"username = clerk\n", "clerk", "", ""},
    };
    for (const auto& r : rows) {
        Credentials c;
        std::vector<std::string> notes;
        ParseCredentials(r.text, &c, &notes);
        if (r.user) {
            EXPECT_EQ(c.user, r.user) << r.text;
        }
        EXPECT_EQ(c.password, r.password) << r.text;
        EXPECT_EQ(c.domain, r.domain) << r.text;
        for (const std::string& n : notes)
            EXPECT_EQ(n.find(r.password[0] ? r.password : "\x01"), std::string::npos) << "a note shows no password: " << n;
    }
}

TEST(Credentials, WhatIsIgnoredIsSaid)
{
    Credentials c;
    std::vector<std::string> notes;
    ParseCredentials("username = clerk\npassword = pw\nrealm = X\nworkgroup = Y\njust words\n", &c, &notes);
    ASSERT_EQ(notes.size(), 3u);
    EXPECT_NE(notes[0].find("realm"), std::string::npos) << notes[0];
    EXPECT_NE(notes[1].find("workgroup"), std::string::npos) << notes[1];
    EXPECT_NE(notes[2].find("line 5"), std::string::npos) << notes[2];
    notes.clear();
    ParseCredentials("password = pw\n", &c, &notes);
    EXPECT_FALSE(notes.empty()) << "a guessed user name is said";
}

class CredentialsFile : public TempFolderTest {
protected:
    void SetUp() override
    {
        TempFolderTest::SetUp();
        m_path = m_dir + "/credentials";
    }
    void Write(const std::string& text, mode_t mode)
    {
        std::ofstream(m_path) << text;
        chmod(m_path.c_str(), mode);
    }
    std::string m_path;
};

TEST_F(CredentialsFile, OnlyARegularFileOfTheUsersOwn)
{
    Credentials c;
    std::string why;
    Write("username = clerk\npassword = s3cret\n", 0600);
    ASSERT_TRUE(ReadCredentials(m_path, &c, &why, nullptr)) << why;
    EXPECT_EQ(c.password, "s3cret");

    for (mode_t mode : {0644, 0640, 0604, 0660}) {
        Write("username = clerk\npassword = s3cret\n", mode);
        EXPECT_FALSE(ReadCredentials(m_path, &c, &why, nullptr)) << std::oct << mode;
        EXPECT_EQ(why.find("s3cret"), std::string::npos) << "the reason never shows the password: " << why;
        EXPECT_TRUE(c.user.empty() && c.password.empty());
    }
    Write(std::string(kMaxCredentialsFile + 1, '#'), 0600);
    EXPECT_FALSE(ReadCredentials(m_path, &c, &why, nullptr)) << "a file without end";

    Write("username = clerk\n", 0600);
    ASSERT_EQ(symlink(m_path.c_str(), (m_dir + "/link").c_str()), 0);
    EXPECT_FALSE(ReadCredentials(m_dir + "/link", &c, &why, nullptr)) << "a link is not followed";
    // A FIFO nobody writes to would hold a blocking open for ever.
    ASSERT_EQ(mkfifo((m_dir + "/fifo").c_str(), 0600), 0);
    EXPECT_FALSE(ReadCredentials(m_dir + "/fifo", &c, &why, nullptr)) << "a FIFO is refused at once";
    EXPECT_FALSE(ReadCredentials(m_dir, &c, &why, nullptr)) << "a folder";
    if (getuid() != 0)
        GTEST_SKIP() << "another user's file needs root to make";
    ASSERT_EQ(chown(m_path.c_str(), 65534, 65534), 0);
    EXPECT_FALSE(ReadCredentials(m_path, &c, &why, nullptr)) << "another user's file";
}

TEST(Credentials, WipeLeavesNothing)
{
    std::string secret(100, 'x');
    const char* where = secret.data();
    Wipe(&secret);
    EXPECT_TRUE(secret.empty());
    EXPECT_EQ(std::string(where, 100), std::string(100, '\0')) << "the buffer itself is overwritten";
}

} // namespace
