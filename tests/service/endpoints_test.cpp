#include "servicetestkit.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace servicetest;

namespace {

// The reply as the program reads it: lines split at CR, LF or CR LF, a trailing break
// adding no empty line; a line carries a tag when it is exactly <tag>value</tag>.
std::vector<std::string> replyLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            lines.push_back(line);
            line.clear();
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            line += text[i];
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

std::optional<std::string> tagValue(const std::string& line, const std::string& tag) {
    const std::string open = "<" + tag + ">";
    const std::string close = "</" + tag + ">";
    if (line.size() < open.size() + close.size() || !line.starts_with(open) ||
        !line.ends_with(close))
        return std::nullopt;
    return line.substr(open.size(), line.size() - open.size() - close.size());
}

const std::string checkBody = "cmd=check&appname=QUENLOW+-+Brindleaf&version=%1&os=Debian+GNU%2F"
                              "Linux+12+(Version+6.1%2C+Build+0%2C+64-bit+Edition)&local=de-DE&"
                              "guid=0f1e2d3c&howmany=7";

std::string checkFor(const std::string& version) {
    std::string body = checkBody;
    body.replace(body.find("%1"), 2, version);
    return body;
}

struct Scheme {
    bool tls;
    const char* name;
};

void PrintTo(const Scheme& scheme, std::ostream* out) {
    *out << scheme.name;
}

class ServiceEndpoints : public ::testing::TestWithParam<Scheme> {
protected:
    RunningService service;
};

} // namespace

TEST_P(ServiceEndpoints, CheckOffersTheReleaseAndRecordsTheCheck) {
    struct Case {
        std::string postedVersion;
        std::string result;
    };
    const std::vector<Case> cases{{"1.4", "1"}, {"1.5", "0"}, {"1.50", "1"}, {"", "1"}};
    std::vector<std::string> references;
    for (const Case& c : cases) {
        SCOPED_TRACE("posted version \"" + c.postedVersion + "\"");
        const Reply reply =
            post(service, GetParam().tls, "/php/check2.php", checkFor(c.postedVersion));
        EXPECT_EQ(reply.status, 200U);
        const std::vector<std::string> lines = replyLines(reply.body);
        ASSERT_EQ(lines.size(), 8U) << reply.body;
        EXPECT_FALSE(lines[0].starts_with("ERROR"));
        EXPECT_EQ(tagValue(lines[0], "version"), testRelease.version);
        EXPECT_EQ(tagValue(lines[1], "url"), testRelease.url);
        EXPECT_EQ(tagValue(lines[3], "result"), c.result);
        // The check's reference tells nothing, such as how many checks came before.
        const std::string reference = tagValue(lines[4], "check").value_or("");
        EXPECT_EQ(reference.size(), 16U) << lines[4];
        EXPECT_EQ(reference.find_first_not_of("0123456789abcdef"), std::string::npos) << reference;
        references.push_back(reference);
    }

    const auto rows = queryAtLeast(service.database(),
                                   "SELECT scheme, cmd, appname, version, os, local, guid, "
                                   "howmany, offered_version, result, time, reference FROM checks "
                                   "ORDER BY id",
                                   cases.size());
    ASSERT_EQ(rows.size(), cases.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        EXPECT_EQ(row[0], GetParam().name);
        EXPECT_EQ(row[1], "check");
        EXPECT_EQ(row[2], "QUENLOW - Brindleaf");
        EXPECT_EQ(row[3], cases[i].postedVersion);
        EXPECT_EQ(row[4], "Debian GNU/Linux 12 (Version 6.1, Build 0, 64-bit Edition)");
        EXPECT_EQ(row[5], "de-DE");
        EXPECT_EQ(row[6], "0f1e2d3c");
        EXPECT_EQ(row[7], "7");
        EXPECT_EQ(row[8], testRelease.version);
        EXPECT_EQ(row[9], cases[i].result);
        ASSERT_TRUE(row[10]);
        EXPECT_TRUE(row[10]->ends_with("Z")) << *row[10];
        EXPECT_EQ(row[11], references[i]);
        EXPECT_EQ(std::count(references.begin(), references.end(), references[i]), 1);
    }
}

TEST_P(ServiceEndpoints, CheckWithoutOptionalFieldsStoresThemAsMissing) {
    const Reply reply = post(service, GetParam().tls, "/php/check2.php",
                             "cmd=check&appname=A&version=1.5&os=X&guid=");
    EXPECT_EQ(tagValue(replyLines(reply.body).at(3), "result"), "0");
    const auto rows =
        queryAtLeast(service.database(), "SELECT local, guid, howmany FROM checks", 1);
    ASSERT_EQ(rows.size(), 1U);
    EXPECT_EQ(rows[0][0], std::nullopt);
    EXPECT_EQ(rows[0][1], "");
    EXPECT_EQ(rows[0][2], std::nullopt);
}

TEST_P(ServiceEndpoints, FeedbackIsStoredAsSentAndAnsweredOk) {
    // "I like it!", one CR, then a memo with CR LF breaks and text beyond ASCII.
    const std::string feedback =
        "I like it!\rSehr gut, \xC3\xA9t\xC3\xA9\r\n\xE6\xBC\xA2\xE5\xAD\x97 "
        "\xF0\x9F\x98\x80 a+b=c & 100%";
    const std::string body = "cmd=feedback&appname=QUENLOW+-+Brindleaf&version=1.4&feedback="
                             "I+like+it%21%0DSehr+gut%2C+%C3%A9t%C3%A9%0D%0A%E6%BC%A2%E5%AD%97+"
                             "%F0%9F%98%80+a%2Bb%3Dc+%26+100%25";
    const Reply withoutEmail = post(service, GetParam().tls, "/php/feedback.php", body);
    EXPECT_EQ(withoutEmail.status, 200U);
    EXPECT_EQ(withoutEmail.body, "OK");
    const Reply withEmail = post(service, GetParam().tls, "/php/feedback.php",
                                 body + "&email=first.last%2Btag%40example.org");
    EXPECT_EQ(withEmail.body, "OK");

    const auto rows = query(service.database(), "SELECT scheme, cmd, appname, version, feedback, "
                                                "email, time FROM feedback ORDER BY id");
    ASSERT_EQ(rows.size(), 2U);
    for (const Row& row : rows) {
        EXPECT_EQ(row[0], GetParam().name);
        EXPECT_EQ(row[1], "feedback");
        EXPECT_EQ(row[2], "QUENLOW - Brindleaf");
        EXPECT_EQ(row[3], "1.4");
        EXPECT_EQ(row[4], feedback);
        EXPECT_TRUE(row[6]);
    }
    EXPECT_EQ(rows[0][5], std::nullopt);
    EXPECT_EQ(rows[1][5], "first.last+tag@example.org");
}

// A NUL character would cut the text short for most readers of the database.
TEST_P(ServiceEndpoints, NulCharactersAreNotStored) {
    EXPECT_EQ(post(service, GetParam().tls, "/php/feedback.php",
                   "cmd=feedback&appname=A%00B&feedback=before%00after%00&email=a%00b%40c.example")
                  .body,
              "OK");
    EXPECT_EQ(query(service.database(), "SELECT appname, feedback, email FROM feedback"),
              (std::vector<Row>{{"AB", "beforeafter", "ab@c.example"}}));
    EXPECT_EQ(
        post(service, GetParam().tls, "/php/feedback.php", "cmd=feedback&feedback=%00%00").status,
        400U);
    EXPECT_EQ(post(service, GetParam().tls, "/php/check2.php", "cmd=check&version=1.4&os=Lin%00ux")
                  .status,
              200U);
    EXPECT_EQ(queryAtLeast(service.database(), "SELECT os FROM checks", 1),
              (std::vector<Row>{{"Linux"}}));
}

TEST_P(ServiceEndpoints, MalformedPostsAreRefusedAndNotStored) {
    struct Case {
        const char* what;
        std::string target;
        std::string body;
        unsigned status;
    };
    const std::vector<Case> cases{
        {"feedback without cmd", "/php/feedback.php", "appname=A&version=1&feedback=text", 400},
        {"feedback with another cmd", "/php/feedback.php", "cmd=check&feedback=text", 400},
        {"feedback without text", "/php/feedback.php", "cmd=feedback&appname=A&version=1", 400},
        {"feedback with blank text", "/php/feedback.php", "cmd=feedback&feedback=+%0D%0A%09", 400},
        {"empty body", "/php/feedback.php", "", 400},
        {"check without cmd", "/php/check2.php", "appname=A&version=1.4", 400},
        {"check without version", "/php/check2.php", "cmd=check&appname=A", 400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Reply reply = post(service, GetParam().tls, c.target, c.body);
        EXPECT_EQ(reply.status, c.status);
        EXPECT_NE(reply.body, "OK");
        if (c.target == "/php/check2.php") {
            EXPECT_TRUE(reply.body.starts_with("ERROR")) << reply.body;
        }
    }
    EXPECT_TRUE(query(service.database(), "SELECT id FROM feedback").empty());
    EXPECT_TRUE(query(service.database(), "SELECT id FROM checks").empty());
}

TEST_P(ServiceEndpoints, EndpointsTakeOnlyFormPosts) {
    EXPECT_EQ(get(service, GetParam().tls, "/php/feedback.php").status, 405U);
    EXPECT_EQ(get(service, GetParam().tls, "/php/check2.php").status, 405U);

    Connection connection(service.port(), GetParam().tls, service.certificate());
    auto request = formRequest("/php/feedback.php", R"({"cmd":"feedback","feedback":"x"})");
    request.set(http::field::content_type, "application/json");
    EXPECT_EQ(connection.send(request).status, 415U);
    EXPECT_TRUE(query(service.database(), "SELECT id FROM feedback").empty());
}

TEST_P(ServiceEndpoints, PagesOfTheProgramAreServed) {
    for (const char* path : {"/", "/help/brindleaf/", "/blog/credits-and-acknowledgements/",
                             "/blog/how-to-uninstall-quenlow-software/"}) {
        SCOPED_TRACE(path);
        const Reply reply = get(service, GetParam().tls, path);
        EXPECT_EQ(reply.status, 200U);
        EXPECT_EQ(reply.contentType, "text/html; charset=utf-8");
        EXPECT_TRUE(reply.body.starts_with("<!DOCTYPE html>"));
        EXPECT_NE(reply.body.find("</html>"), std::string::npos);
    }
    EXPECT_EQ(get(service, GetParam().tls, "/help/brindleaf").status, 301U);
    EXPECT_EQ(get(service, GetParam().tls, "/help/other/").status, 404U);
    EXPECT_EQ(get(service, GetParam().tls, "/../etc/passwd").status, 404U);

    const Reply head = get(service, GetParam().tls, "/", http::verb::head);
    EXPECT_EQ(head.status, 200U);
    EXPECT_TRUE(head.body.empty());
}

TEST_P(ServiceEndpoints, OneConnectionCarriesSeveralRequests) {
    Connection connection(service.port(), GetParam().tls, service.certificate());
    for (int i = 0; i < 3; ++i) {
        auto request =
            formRequest("/php/feedback.php", "cmd=feedback&feedback=number+" + std::to_string(i));
        const Reply reply = connection.send(request);
        EXPECT_EQ(reply.body, "OK");
        EXPECT_TRUE(reply.keepAlive);
    }
    EXPECT_EQ(query(service.database(), "SELECT feedback FROM feedback ORDER BY id"),
              (std::vector<Row>{{"number 0"}, {"number 1"}, {"number 2"}}));
}

INSTANTIATE_TEST_SUITE_P(BothSchemes, ServiceEndpoints,
                         ::testing::Values(Scheme{true, "https"}, Scheme{false, "http"}),
                         [](const auto& info) { return std::string(info.param.name); });
