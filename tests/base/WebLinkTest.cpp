#include "base/WebLink.h"

#include <gtest/gtest.h>

namespace {

TEST(WebLink, OnlyHttpAndHttpsAddressesWithAHostOpen) {
    struct Case {
        const char *text;
        bool web;
    } cases[] = {
        {"https://sale.example/x", true},
        {"http://sale.example", true},
        {"HTTPS://Sale.Example/", true},
        {"javascript:alert(1)", false},
        {"JavaScript://sale.example/%0Aalert(1)", false},
        {"data:text/html,<b>hi</b>", false},
        {"file:///etc/passwd", false},
        {"ftp://sale.example/", false},
        {"https:sale.example", false},
        {"https://", false},
        {"https:///path", false},
        {"https://?q", false},
        {" https://sale.example", false},
        {"https://sale.example/a b", false},
        {"https://sale.example/\n", false},
        {"sale.example", false},
        {"", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(base::IsWebLink(c.text), c.web) << c.text;
}

} // namespace
