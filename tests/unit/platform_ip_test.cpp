// Dotted addresses: parsed exactly as the system's own parser reads them.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"

namespace lantrel {
namespace {

TEST(ParseIpTest, AgreesWithTheSystemParser) {
    const std::string texts[] = {"192.168.1.10",
                                 "255.255.255.255",
                                 "127.0.0.2",
                                 "0.0.0.0",
                                 "10.0.0.256",
                                 "1.2.3",
                                 "1.2.3.4.5",
                                 "01.2.3.4",
                                 "1.2.3.00",
                                 " 1.2.3.4",
                                 "1.2.3.4 ",
                                 "1..3.4",
                                 "",
                                 "a.b.c.d",
                                 "1.2.3.4x",
                                 "1000.1.1.1",
                                 "1.2.3.-4",
                                 std::string("1.2.3.4\0junk", 12)};
    for (const std::string& text : texts) {
        in_addr system{};
        IpAddress expected = ::inet_pton(AF_INET, text.c_str(), &system) == 1 ? system.s_addr : 0;
        EXPECT_EQ(ParseIp(text), expected) << "'" << text << "'";
        if (expected) {
            EXPECT_EQ(IpText(ParseIp(text)), text.c_str());
        }
    }
}

}  // namespace
}  // namespace lantrel
