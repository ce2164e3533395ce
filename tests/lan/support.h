// What the helper's native tests share: an address from its dotted text,
// and a fixture with a folder of its own under /tmp, removed after each test.
#pragma once
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

// A dotted IPv4 address in network order.
inline uint32_t Ip(const char* text)
{
    in_addr a;
    inet_pton(AF_INET, text, &a);
    return a.s_addr;
}

class TempFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char dir[] = "/tmp/ferrolink-test-XXXXXX";
        ASSERT_TRUE(mkdtemp(dir));
        m_dir = dir;
    }
    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }
    std::string m_dir;
};
