// Games by e-mail: the address checks, the selection of games into email.txt and
// the mailer's command line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tourney/tourney.h"

namespace lantrel {
namespace {

using Lines = std::vector<std::string>;

// Game k: White "W<k>", the given result, two lines of moves.
std::string Game(int k, const std::string& result = "1-0") {
    return "[Event \"T\"]\n[White \"W" + std::to_string(k) + "\"]\n[Black \"B" + std::to_string(k) +
           "\"]\n[Result \"" + result +
           "\"]\n[TimeControl \"40/60\"]\n\n1. e4 e5 2. Nf3 Nc6\n3. Bb5 " + result + "\n\n";
}

std::string Games(int count) {
    std::string pgn;
    for (int k = 1; k <= count; ++k)
        pgn += Game(k);
    return pgn;
}

// The game as email.txt holds it.
Lines Mailed(int k, const std::string& result = "1-0") {
    return {"",
            "[Event \"T\"]",
            "[White \"W" + std::to_string(k) + "\"]",
            "[Black \"B" + std::to_string(k) + "\"]",
            "[Result \"" + result + "\"]",
            "[TimeControl \"40/60\"]",
            "",
            "1. e4 e5 2. Nf3 Nc6",
            "3. Bb5 " + result,
            ""};
}

Lines Join(const Lines& a, const Lines& b) {
    Lines all = a;
    all.insert(all.end(), b.begin(), b.end());
    return all;
}

TEST(MailAddress, OnlyPlainAddressesPass) {
    const char* plain[] = {"a@b.c", "first.last+tag@mail-host.example.org", "x_y@h", "A1@B2",
                           "9@9"};
    for (const char* a : plain)
        EXPECT_TRUE(IsPlainMailAddress(a)) << a;
    const char* refused[] = {"",        "a",           "@b.c",         "a@",
                             "a@@b",    "a@b@c",       "a b@c",        "a;rm -rf ~@x",
                             "$(id)@x", "`id`@x",      "a@b.c;reboot", "a@b.c&&x",
                             "a|b@c",   "a>b@c",       "a<b@c",        "a@b/c",
                             "\"a\"@b", "a'b@c",       "-x@y",         "a@-x",
                             "a@b.c\n", "a@b_c",       "a@b c",        "j\xf6rg@x",
                             "a@b.c%",  "a@%COMSPEC%", "%PATH%@x",     "a^b@c",
                             "(a)@b"};
    for (const char* a : refused)
        EXPECT_FALSE(IsPlainMailAddress(a)) << a;
}

TEST(MailServer, HostNameWithAnOptionalPort) {
    const char* plain[] = {"smtp.example.com", "127.0.0.1:2525", "mail", "a-b.c:25"};
    for (const char* s : plain)
        EXPECT_TRUE(IsPlainMailServer(s)) << s;
    const char* refused[] = {"",         "smtp;x", "smtp x", "-h",     "host:",   "host:abc",
                             "h:123456", "h:1:2",  "$(x)",   "smtp&x", "smtp|sh", ":25"};
    for (const char* s : refused)
        EXPECT_FALSE(IsPlainMailServer(s)) << s;
}

TEST(SelectGamesForEmail, NumbersMatchWholeWords) {
    // "2 10" picks 2 and 10, not 1, 20 or 102.
    EXPECT_EQ(SelectGamesForEmail(Games(102), "SEND: 2 10"), Join(Mailed(2), Mailed(10)));
    EXPECT_EQ(SelectGamesForEmail(Games(102), "SEND: 102"), Mailed(102));
    // The order of the request does not matter: games come in file order.
    EXPECT_EQ(SelectGamesForEmail(Games(5), "SEND: 5 1"), Join(Mailed(1), Mailed(5)));
}

TEST(SelectGamesForEmail, NothingWithoutANumberAfterABlank) {
    EXPECT_TRUE(SelectGamesForEmail(Games(3), "SEND:").empty());
    EXPECT_TRUE(SelectGamesForEmail(Games(3), "SEND:2").empty());
    EXPECT_TRUE(SelectGamesForEmail(Games(3), "SEND: 4").empty());
    EXPECT_TRUE(SelectGamesForEmail("", "SEND: 1").empty());
}

TEST(SelectGamesForEmail, UnfinishedGamesTakeNoNumber) {
    std::string pgn = Game(1) + Game(2, "*") + Game(3, "0-1") + Game(4, "1/2-1/2");
    // The second finished game is the file's third.
    EXPECT_EQ(SelectGamesForEmail(pgn, "SEND: 2"), Mailed(3, "0-1"));
    EXPECT_EQ(SelectGamesForEmail(pgn, "SEND: 3"), Mailed(4, "1/2-1/2"));
    EXPECT_TRUE(SelectGamesForEmail(pgn, "SEND: 4").empty());
}

TEST(SelectGamesForEmail, KeepsNineteenTagLinesAndTheResultLine) {
    std::string pgn;
    for (int t = 1; t <= 25; ++t)
        pgn += "[Tag" + std::to_string(t) + " \"v\"]\n";
    pgn += "[Result \"1-0\"]\n[After \"x\"]\n\n1. e4 1-0\n\n";
    Lines expected{""};
    for (int t = 1; t <= 19; ++t)
        expected.push_back("[Tag" + std::to_string(t) + " \"v\"]");
    expected.insert(expected.end(), {"[Result \"1-0\"]", "[After \"x\"]", "", "1. e4 1-0", ""});
    EXPECT_EQ(SelectGamesForEmail(pgn, "SEND: 1"), expected);
}

TEST(SelectGamesForEmail, CopyEndsAtTheBlankLineAfterTheMoves) {
    // No blank line between tags and moves, CR LF line ends, and a file that
    // ends without a blank line after the last game.
    std::string pgn =
        "[White \"A\"]\r\n[Result \"1-0\"]\r\n1. e4\r\n  \r\n[White \"B\"]\r\n[Result \"0-1\"]\r\n"
        "\r\n1. d4 0-1";
    EXPECT_EQ(SelectGamesForEmail(pgn, "SEND: 1"),
              (Lines{"", "[White \"A\"]", "[Result \"1-0\"]", "1. e4", "  "}));
    EXPECT_EQ(SelectGamesForEmail(pgn, "SEND: 2"),
              (Lines{"", "[White \"B\"]", "[Result \"0-1\"]", "", "1. d4 0-1"}));
    // The Result line as the very last line: nothing more to copy.
    EXPECT_EQ(SelectGamesForEmail("[White \"A\"]\n[Result \"1-0\"]", "SEND: 1"),
              (Lines{"", "[White \"A\"]", "[Result \"1-0\"]"}));
}

TEST(PlanEmail, RefusesBeforeTouchingAnything) {
    const PgnLookup read{PgnLookup::kRead, "t.pgn", Games(3)};
    const std::string notConfigured = "MSG:Sorry, the server is not configured to send Emails.";
    struct Case {
        const char* name;
        PgnLookup pgn;
        std::string mailServer, returnAddress, address;
        std::string reply;
        std::string notice;
    };
    const Case cases[] = {
        {"no TOURNEYPGN",
         {PgnLookup::kNotConfigured, "", ""},
         "smtp.x",
         "s@x",
         "v@y",
         notConfigured,
         ""},
        {"no mail server", read, "", "s@x", "v@y", notConfigured, ""},
        {"unsafe mail server", read, "smtp.x;reboot", "s@x", "v@y", notConfigured,
         "Email refused: MAILSERVER= is not a plain host name (host or host:port)"},
        {"unsafe return address", read, "smtp.x", "s@x|sh", "v@y", notConfigured,
         "Email refused: RETURNADD= is not a plain Email address"},
        {"file missing",
         {PgnLookup::kNotFound, "t.pgn", ""},
         "smtp.x",
         "s@x",
         "v@y",
         "MSG:PGN file not found!  Sorry, the server cannot process your request.",
         ""},
        {"no address", read, "smtp.x", "s@x", "",
         "MSG:Sorry, the server has no Email address for you.  Please enter your Email address "
         "and ask again.",
         ""},
        {"address with shell characters", read, "smtp.x", "s@x", "v@y; rm -rf ~",
         "MSG:Sorry, your Email address cannot be used.  Please enter a plain address such as "
         "name@example.com and ask again.",
         ""},
        {"file cannot be opened",
         {PgnLookup::kUnreadable, "t.pgn", ""},
         "smtp.x",
         "s@x",
         "v@y",
         "MSG:PGN file cannot be opened!  Sorry, the server cannot process your request.",
         ""},
    };
    for (const auto& c : cases) {
        EmailPlan plan =
            PlanEmail(c.pgn, c.mailServer, c.returnAddress, c.address, "SEND: 1", "email-1.txt");
        EXPECT_EQ(plan.replies, Lines{c.reply}) << c.name;
        EXPECT_EQ(plan.operatorNotice, c.notice) << c.name;
        EXPECT_FALSE(plan.startMailer) << c.name;
        EXPECT_TRUE(plan.emailLines.empty()) << c.name;
        EXPECT_EQ(plan.mailer, MailerCall{}) << c.name;
    }
}

TEST(PlanEmail, AcceptedRequest) {
    EmailPlan plan = PlanEmail({PgnLookup::kRead, "t.pgn", Games(3)}, "smtp.x:587", "", " v@y.z ",
                               "SEND: 3", "email-7.txt");
    EXPECT_EQ(plan.replies,
              Lines{"MSG:Your Email request has been received and is being processed."});
    EXPECT_TRUE(plan.startMailer);
    EXPECT_TRUE(plan.operatorNotice.empty());
    EXPECT_EQ(plan.emailLines, Mailed(3));
    // Blanks around the stored address are dropped; an empty return address is
    // passed on as an empty value. email.log shows the subject quoted, as typed
    // at a command prompt.
    EXPECT_EQ(plan.mailer, (MailerCall{"gbmail",
                                       {"-to", "v@y.z", "-file", "email-7.txt", "-h", "smtp.x:587",
                                        "-from", "", "-s", "Your_requested_game(s)."}}));
    EXPECT_EQ(MailerLogLine(plan.mailer),
              "gbmail -to v@y.z -file email-7.txt -h smtp.x:587 -from  -s "
              "\"Your_requested_game(s).\"");
    // A blank left after a setting in server.ini does not refuse every request.
    EXPECT_EQ(MailerLogLine(PlanEmail({PgnLookup::kRead, "t.pgn", Games(3)}, "smtp.x ", "me@x.org ",
                                      "v@y", "SEND: 1", "email-1.txt")
                                .mailer),
              "gbmail -to v@y -file email-1.txt -h smtp.x -from me@x.org -s "
              "\"Your_requested_game(s).\"");
    // Nothing selected: the mailer still runs, with an empty file.
    EXPECT_TRUE(
        PlanEmail({PgnLookup::kRead, "t.pgn", Games(3)}, "h", "", "v@y", "SEND:", "email-1.txt")
            .startMailer);
}

TEST(MailFileName, NumberedNamesAndOnlyThoseAreMailFiles) {
    EXPECT_EQ(MailFileName(12), "email-12.txt");
    for (const char* name : {"email-1.txt", "email-12.txt", "email-007.txt"})
        EXPECT_TRUE(IsMailFileName(name)) << name;
    for (const char* name : {"email.txt", "email-.txt", "email-1a.txt", "email-1.txt.bak",
                             "Email-1.txt", "email-1.log", "xemail-1.txt", "email.log"})
        EXPECT_FALSE(IsMailFileName(name)) << name;
}

}  // namespace
}  // namespace lantrel
