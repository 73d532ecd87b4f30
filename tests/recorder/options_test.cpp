#include "options.h"

#include <gtest/gtest.h>

namespace qv::recorder {
namespace {

ParseResult parse(const std::vector<const char*>& args) {
    QStringList list;
    for (const char* a : args) list << QString::fromUtf8(a);
    return parseArguments(list);
}

TEST(RecorderOptions, ReadsTheClientsCommandLine) {
    const ParseResult r =
        parse({"-t", "2", "-b", "32", "-f", "12", "-sr", "32.2", "quorvel-user1-20041120134510"});
    ASSERT_EQ(r.kind, ParseResult::Run) << r.error.toStdString();
    EXPECT_EQ(r.options.seconds, 2);
    EXPECT_EQ(r.options.kbps, 32);
    EXPECT_EQ(r.options.quality, 9);  // above the encoder's range: its fastest setting
    EXPECT_EQ(r.options.outputRate, 32000);
    EXPECT_EQ(r.options.baseName, QStringLiteral("quorvel-user1-20041120134510"));
    EXPECT_TRUE(r.options.wavPath.isEmpty());
}

TEST(RecorderOptions, OptionsMayFollowTheNameAndDefaultsApply) {
    const ParseResult r = parse({"voice", "--wav", "in.wav", "-t", "7", "-f", "3"});
    ASSERT_EQ(r.kind, ParseResult::Run) << r.error.toStdString();
    EXPECT_EQ(r.options.baseName, QStringLiteral("voice"));
    EXPECT_EQ(r.options.wavPath, QStringLiteral("in.wav"));
    EXPECT_EQ(r.options.seconds, 7);
    EXPECT_EQ(r.options.quality, 3);
    EXPECT_EQ(r.options.kbps, 32);
    EXPECT_EQ(r.options.outputRate, 32000);
    EXPECT_EQ(parse({"-t", "2", "--", "-voice"}).options.baseName, QStringLiteral("-voice"));
    EXPECT_EQ(parse({"-t", "2", "-h"}).kind, ParseResult::Help);
}

TEST(RecorderOptions, SampleRateInKilohertzOrHertzPicksTheNearestMp3Rate) {
    const std::pair<const char*, int> cases[] = {
        {"32.2", 32000},  {"44.1", 44100},  {"22", 22050}, {"11", 11025},
        {"12.5", 12000},  {"0.5", 8000},    {"96", 48000}, {"44100", 44100},
        {"38.04", 32000}, {"38.06", 44100}, {"28", 32000},  // halfway between 24 and 32 kHz: the
                                                            // higher rate
    };
    for (const auto& [text, rate] : cases) {
        const ParseResult r = parse({"-t", "1", "-sr", text, "x"});
        ASSERT_EQ(r.kind, ParseResult::Run) << text << ": " << r.error.toStdString();
        EXPECT_EQ(r.options.outputRate, rate) << text;
    }
}

TEST(RecorderOptions, BadArgumentsAreRefusedWithAMessage) {
    const std::vector<std::vector<const char*>> bad = {
        {},
        {"-t", "2"},
        {"name"},
        {"-t", "0", "x"},
        {"-t", "abc", "x"},
        {"-t", "2.5", "x"},
        {"-t", "3601", "x"},
        {"-t", "2", "a/b"},
        {"-t", "2", "a\\b"},
        {"-t", "2", ".."},
        {"-t", "2", "one", "two"},
        {"-t", "2", "-x", "name"},
        {"-t", "2", "-b", "0", "x"},
        {"-t", "2", "-b", "999", "x"},
        {"-t", "2", "-f", "-1", "x"},
        {"-t", "2", "-sr", "0", "x"},
        {"-t", "2", "-sr", "abc", "x"},
        {"-t", "2", "-sr", "nan", "x"},
        {"-t", "2", "x", "--wav"},
    };
    for (const auto& args : bad) {
        const ParseResult r = parse(args);
        EXPECT_EQ(r.kind, ParseResult::Error)
            << args.size() << " args, last " << (args.empty() ? "" : args.back());
        EXPECT_FALSE(r.error.isEmpty());
    }
}

}  // namespace
}  // namespace qv::recorder
