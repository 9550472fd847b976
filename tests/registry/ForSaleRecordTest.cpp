#include "registry/ForSaleRecord.h"
#include "registry/DnsAnswer.h"
#include "registry/ForSaleLookup.h"
#include "tests/support/ScriptedNameServer.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using registry::ForSaleTag;
using registry::ForSaleVerdict;

TEST(ForSaleRecord, EachRecordReadsToOneSignOrAReason) {
    struct Case {
        std::string record;
        ForSaleVerdict verdict;
        ForSaleTag tag;
        std::string value;
    } cases[] = {
        {"v=FORSALE1;fval=EUR799.00", ForSaleVerdict::Sign, ForSaleTag::Price, "EUR799.00"},
        {"v=FORSALE1;fval=USD1500", ForSaleVerdict::Sign, ForSaleTag::Price, "USD1500"},
        {"v=FORSALE1;ftxt=Ask me; I answer", ForSaleVerdict::Sign, ForSaleTag::Text,
         "Ask me; I answer"},
        {"v=FORSALE1;ftxt=Prix demandé", ForSaleVerdict::Sign, ForSaleTag::Text, "Prix demandé"},
        {"v=FORSALE1;furi=https://sale.example/x?a=1", ForSaleVerdict::Sign, ForSaleTag::Link,
         "https://sale.example/x?a=1"},
        {"v=FORSALE1;furi=http://sale.example", ForSaleVerdict::Sign, ForSaleTag::Link,
         "http://sale.example"},
        {"v=FORSALE1;fcod=NLFS-1", ForSaleVerdict::Sign, ForSaleTag::Code, "NLFS-1"},
        {"v=FORSALE1;", ForSaleVerdict::Sign, ForSaleTag::None, ""},
        {"v=FORSALE1;furi=javascript:alert(1)", ForSaleVerdict::NotWebLink, {}, ""},
        {"v=FORSALE1;furi=data:text/html,hi", ForSaleVerdict::NotWebLink, {}, ""},
        {"v=FORSALE1;furi=file:///etc/passwd", ForSaleVerdict::NotWebLink, {}, ""},
        {"v=FORSALE1;furi=https:///nohost", ForSaleVerdict::NotWebLink, {}, ""},
        {"v=FORSALE1;furi=https://a.example/ b", ForSaleVerdict::NotWebLink, {}, ""},
        {"v=FORSALE1;fval=EUR5;ftxt=cheap", ForSaleVerdict::TwoTags, {}, ""},
        {"v=FORSALE1;ftxt=cheap;fxyz=1", ForSaleVerdict::TwoTags, {}, ""},
        {"v=FORSALE1;fprc=EUR5", ForSaleVerdict::UnknownTag, {}, ""},
        {"v=FORSALE1;FTXT=shout", ForSaleVerdict::UnknownTag, {}, ""},
        {"v=FORSALE1; ftxt=late", ForSaleVerdict::UnknownTag, {}, ""},
        {"ftxt=no version", ForSaleVerdict::NotForSale, {}, ""},
        {"v=spf1 -all", ForSaleVerdict::NotForSale, {}, ""},
        {"", ForSaleVerdict::NotForSale, {}, ""},
        {"v=FORSALE2;ftxt=later", ForSaleVerdict::WrongVersion, {}, ""},
        {"v=FORSALE1ftxt=no semicolon", ForSaleVerdict::WrongVersion, {}, ""},
        {"v=FORSALE1;ftxt=", ForSaleVerdict::BadValue, {}, ""},
        {std::string("v=FORSALE1;ftxt=bell\a"), ForSaleVerdict::BadValue, {}, ""},
        {std::string("v=FORSALE1;ftxt=nul\0byte", 24), ForSaleVerdict::BadValue, {}, ""},
        {"v=FORSALE1;ftxt=\xC3(", ForSaleVerdict::BadValue, {}, ""},
        {"v=FORSALE1;fval=799EUR", ForSaleVerdict::BadValue, {}, ""},
        {"v=FORSALE1;fval=EUR", ForSaleVerdict::BadValue, {}, ""},
        {"v=FORSALE1;fval=EUR7.", ForSaleVerdict::BadValue, {}, ""},
        {"v=FORSALE1;fval=eur7", ForSaleVerdict::BadValue, {}, ""},
        {"v=FORSALE1;fval=EUR1.2.3", ForSaleVerdict::BadValue, {}, ""},
        {"v=FORSALE1;ftxt=" + std::string(255 - 16, 'x'), ForSaleVerdict::Sign, ForSaleTag::Text,
         std::string(255 - 16, 'x')},
        {"v=FORSALE1;ftxt=" + std::string(256 - 16, 'x'), ForSaleVerdict::TooLong, {}, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.record);
        const registry::ForSaleReading reading = registry::ReadForSaleRecord(c.record);
        EXPECT_EQ(reading.verdict, c.verdict);
        EXPECT_EQ(reading.sign.tag, c.tag);
        EXPECT_EQ(reading.sign.value, c.value);
    }
}

TEST(ForSaleRecord, PriceThenLinkThenTextThenCodeThenTheVersionAlone) {
    struct Case {
        std::vector<std::string> records;
        std::optional<std::string> value;
    } cases[] = {
        {{}, std::nullopt},
        {{"v=spf1 -all", "v=FORSALE2;fval=EUR1"}, std::nullopt},
        {{"v=FORSALE1;"}, ""},
        {{"v=FORSALE1;", "v=FORSALE1;fcod=C"}, "C"},
        {{"v=FORSALE1;fcod=C", "v=FORSALE1;ftxt=T"}, "T"},
        {{"v=FORSALE1;ftxt=T", "v=FORSALE1;furi=https://l.example/"}, "https://l.example/"},
        {{"v=FORSALE1;furi=https://l.example/", "v=FORSALE1;fval=EUR9"}, "EUR9"},
        // The first of a tag wins; a record that does not read is passed over.
        {{"v=FORSALE1;fval=EUR9", "v=FORSALE1;fval=USD8"}, "EUR9"},
        {{"v=FORSALE1;fval=EUR9;ftxt=x", "v=FORSALE1;ftxt=ok"}, "ok"},
    };
    for (const Case &c : cases) {
        const auto sign = registry::ChooseForSaleSign(c.records);
        ASSERT_EQ(sign.has_value(), c.value.has_value()) << ::testing::PrintToString(c.records);
        if (sign) {
            EXPECT_EQ(sign->value, *c.value);
        }
    }
}

// A reply to "_for-sale.x.com TXT" whose answer holds one TXT record of rdata data.
std::vector<std::uint8_t> TxtReply(const std::vector<std::uint8_t> &data) {
    std::vector<std::uint8_t> reply = {0x12, 0x34, 0x81, 0x80, 0, 1, 0, 1, 0, 0, 0, 0};
    for (const std::string label : {"_for-sale", "x", "com"}) {
        reply.push_back(static_cast<std::uint8_t>(label.size()));
        reply.insert(reply.end(), label.begin(), label.end());
    }
    reply.insert(reply.end(), {0, 0, 16, 0, 1});
    reply.insert(reply.end(), {0xC0, 0x0C, 0, 16, 0, 1, 0, 0, 0x0E, 0x10});
    reply.push_back(static_cast<std::uint8_t>(data.size() >> 8));
    reply.push_back(static_cast<std::uint8_t>(data.size() & 0xFF));
    reply.insert(reply.end(), data.begin(), data.end());
    return reply;
}

TEST(DnsAnswerText, CharacterStringsOfOneRecordJoinAndOverrunsAreRefused) {
    struct Case {
        std::vector<std::uint8_t> data;
        std::optional<std::string> text; // nothing: EDnsFormatError
    } cases[] = {
        {{3, 'a', 'b', 'c'}, "abc"},        {{2, 'a', 'b', 0, 1, 'c'}, "abc"}, {{}, ""}, {{0}, ""},
        {{4, 'a', 'b', 'c'}, std::nullopt}, {{1, 'a', 5, 'b'}, std::nullopt},
    };
    for (const Case &c : cases) {
        const std::vector<std::uint8_t> reply = TxtReply(c.data);
        SCOPED_TRACE(::testing::PrintToString(c.data));
        if (!c.text) {
            EXPECT_THROW(registry::ReadDnsAnswer(reply.data(), reply.size()),
                         registry::EDnsFormatError);
            continue;
        }
        const registry::DnsAnswer answer = registry::ReadDnsAnswer(reply.data(), reply.size());
        ASSERT_EQ(answer.texts.size(), 1u);
        EXPECT_EQ(answer.texts[0], *c.text);
        EXPECT_TRUE(answer.nameServers.empty());
    }
}

TEST(ForSaleLookup, AsksTheSignsOwnerForTxtAndFailuresAreNoSign) {
    using testsupport::NameServerReply;
    testsupport::ScriptedNameServer server;
    server.AnswerText("_for-sale.offered.com", {{"v=FORSALE1;", "fval=EUR5"}});
    server.Answer("_for-sale.failing.com", NameServerReply::ServerFailure);
    server.Answer("_for-sale.silent.com", NameServerReply::Silence);
    const registry::DnsSettings settings{server.Address(), 1, 1};
    const registry::DnsBounds bounds{std::chrono::steady_clock::now() + std::chrono::seconds(5),
                                     {}};
    const auto offered = registry::LookUpForSale("offered.com", settings, bounds);
    ASSERT_TRUE(offered);
    EXPECT_EQ(offered->value, "EUR5");
    for (const char *name : {"failing.com", "silent.com", "missing.com"})
        EXPECT_FALSE(registry::LookUpForSale(name, settings, bounds)) << name;
    EXPECT_EQ(server.Queries().front(), "_for-sale.offered.com 16");
    EXPECT_EQ(server.QueriesOfType(16), server.Queries().size());
}

} // namespace
