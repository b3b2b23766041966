#include "app/ErrorLogReply.h"
#include "app/ScopeIdentity.h"
#include "platform/LeadingNumber.h"
#include "platform/VersionText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace {

using skeld::ScopeSupport;

TEST(LeadingNumber, ReadsTheNumberATextBeginsWith) {
  const double infinity = std::numeric_limits<double>::infinity();
  const std::pair<std::string, double> rows[] = {{" \t+12.5x", 12.5},
                                                 {"-3,1", -3.0},
                                                 {"1e5", 1.0},
                                                 {".5", 0.5},
                                                 {"7.", 7.0},
                                                 {".", 0.0},
                                                 {"-", 0.0},
                                                 {"x12", 0.0},
                                                 {"", 0.0},
                                                 {" 1 2", 1.0},
                                                 {std::string(400, '9'), infinity},
                                                 {"0." + std::string(400, '0') + "1", 0.0},
                                                 {"0000", 0.0}};
  for (const auto &[text, value] : rows)
    EXPECT_EQ(skeld::LeadingNumber(text), value) << '"' << text << '"';
}

struct IdentityCase {
  std::string reply;
  std::string model;
  int number;
  ScopeSupport support;
  int zeroEndsLog;
};

class ModelTable : public ::testing::TestWithParam<IdentityCase> {};

TEST_P(ModelTable, CutsTheModelAndAppliesTheTable) {
  const IdentityCase &c = GetParam();
  const skeld::ScopeIdentity id = skeld::IdentifyScope(c.reply);
  EXPECT_EQ(id.model, c.model);
  EXPECT_EQ(id.modelNumber, c.number);
  EXPECT_EQ(id.support, c.support);
  EXPECT_EQ(id.zeroEndsLog, c.zeroEndsLog);
}

constexpr auto Ok = ScopeSupport::Accepted;
constexpr auto No = ScopeSupport::NotSupported;
constexpr auto Refused = ScopeSupport::FirmwareRefused;

INSTANTIATE_TEST_SUITE_P(
    Rows, ModelTable,
    ::testing::Values(
        IdentityCase{"TEK/TDS 209,CF:91.1CT,FV:v1.0", "TDS 209", 209, No, 0},
        IdentityCase{"TEK/TDS 210,CF:91.1CT,FV:v1.0", "TDS 210", 210, Ok, 0},
        IdentityCase{"TEK/TDS 309,CF:91.1CT,FV:v1.0", "TDS 309", 309, Ok, 0},
        IdentityCase{"TEK/TDS 310,CF:91.1CT,FV:v1.0", "TDS 310", 310, Ok, 1},
        IdentityCase{"TEK/TDS 340,CF:91.1CT,FV:v1.0", "TDS 340", 340, Ok, 1},
        IdentityCase{"TEK/TDS 350,CF:91.1CT,FV:v1.0", "TDS 350", 350, Ok, 1},
        IdentityCase{"TEK/TDS 380,CF:91.1CT,FV:v1.0", "TDS 380", 380, Ok, 1},
        IdentityCase{"TEK/TDS 381,CF:91.1CT,FV:v1.0", "TDS 381", 381, Ok, 0},
        IdentityCase{"TEK/TDS 420,CF:91.1CT,FV:v1.0", "TDS 420", 420, Ok, 0},
        IdentityCase{"TEK/TDS 820,CF:91.1CT,FV:v1.0", "TDS 820", 820, Ok, 0},
        IdentityCase{"TEK/TDS 830,CF:91.1CT,FV:v1.0", "TDS 830", 830, No, 0},
        IdentityCase{"TEK/TDS 1001,CF:91.1CT,FV:v1.0", "TDS 1001", 1001, No, 0},
        IdentityCase{"TEK/TDS 1002,CF:91.1CT,FV:v1.0", "TDS 1002", 1002, Ok, 0},
        IdentityCase{"TEK/TDS 1012,CF:91.1CT,FV:v1.0", "TDS 1012", 1012, Ok, 0},
        IdentityCase{"TEK/TDS 1013,CF:91.1CT,FV:v1.0", "TDS 1013", 1013, No, 0},
        IdentityCase{"TEK/TDS 2002,CF:91.1CT,FV:v1.0", "TDS 2002", 2002, Ok, 0},
        IdentityCase{"TEK/TDS 2024,CF:91.1CT,FV:v3.41", "TDS 2024", 2024, Ok, 0},
        IdentityCase{"TEK/TDS 2025,CF:91.1CT,FV:v1.0", "TDS 2025", 2025, No, 0},
        IdentityCase{"TEK/TDS 3011,CF:91.1CT,FV:v3.39", "TDS 3011", 3011, No, 0},
        IdentityCase{"TEK/TDS 3012,CF:91.1CT,FV:v3.39", "TDS 3012", 3012, Ok, 0},
        IdentityCase{"TEK/TDS 3054,CF:91.1CT,FV:v3.39 TDS3FFT:v1.00", "TDS 3054", 3054, Ok, 0},
        IdentityCase{"TEK/TDS 3054,CF:91.1CT,FV:v3.41 TDS3FFT:v1.00", "TDS 3054", 3054, Refused, 0},
        IdentityCase{"TEK/TDS 3064,CF:91.1CT,FV:v3.41", "TDS 3064", 3064, Refused, 0},
        IdentityCase{"TEK/TDS 3065,CF:91.1CT,FV:v3.39", "TDS 3065", 3065, No, 0},
        IdentityCase{"TEK/TDS 5104,CF:91.1CT,FV:v3.39", "TDS 5104", 5104, No, 0},
        // The firmware test belongs to the 3012 to 3064 row only.
        IdentityCase{"TEK/TDS 340,CF:91.1CT,FV:v3.41", "TDS 340", 340, Ok, 1},
        // The firmware text is looked for in the whole reply, case-sensitive.
        IdentityCase{"TEK/TDS 3032,CF:91.1CT,fv:v3.41", "TDS 3032", 3032, Ok, 0},
        IdentityCase{"TEK/TDS 3032,CF:91.1CT,X FV:v3.41", "TDS 3032", 3032, Refused, 0},
        // A header in front and a suffix after the number change nothing.
        IdentityCase{"ID TEK/TDS 3014B,CF:91.1CT,FV:v3.39", "TDS 3014B", 3014, Ok, 0},
        // No space after "TDS": characters 5 to 8 are "054".
        IdentityCase{"TEK/TDS3054,CF:91.1CT,FV:v3.39", "TDS3054", 54, No, 0},
        IdentityCase{"TEK/TDS X,CF:91.1CT", "TDS X", 0, No, 0},
        // Replies the model cannot be cut from are not supported; the message shows what
        // there is from "TDS" on, or the whole reply.
        IdentityCase{"TEK/TDS 3054 CF:91.1CT FV:v3.39", "TDS 3054 CF:91.1CT FV:v3.39", 0, No, 0},
        IdentityCase{"tek/tds 3054,cf:91.1ct", "tek/tds 3054,cf:91.1ct", 0, No, 0},
        IdentityCase{"", "", 0, No, 0}));

TEST(ModelNumber, TakesTheLeadingNumberOfCharactersFiveToEight) {
  EXPECT_EQ(skeld::ModelNumber("TDS 3054"), 3054);
  EXPECT_EQ(skeld::ModelNumber("TDS 340"), 340);
  EXPECT_EQ(skeld::ModelNumber("TDS 3014B"), 3014);
  EXPECT_EQ(skeld::ModelNumber("TDS 30541"), 3054);
  EXPECT_EQ(skeld::ModelNumber("TDS  34"), 34);
  EXPECT_EQ(skeld::ModelNumber("TDS"), 0);
  EXPECT_EQ(skeld::ModelNumber("TDS -"), 0);
  EXPECT_EQ(skeld::ModelNumber("TDS 2.5"), 2);
  EXPECT_EQ(skeld::ModelNumber("TDS 3.5"), 4);
}

struct FirstPhaseCase {
  std::string reply;
  std::int16_t zeroEndsLog;
  std::vector<std::string> items;
};

class FirstPhase : public ::testing::TestWithParam<FirstPhaseCase> {};

TEST_P(FirstPhase, ListsTheItemsBeforeTheEnd) {
  EXPECT_EQ(skeld::FirstLogItems(GetParam().reply, GetParam().zeroEndsLog), GetParam().items);
}

INSTANTIATE_TEST_SUITE_P(Replies, FirstPhase,
                         ::testing::Values(FirstPhaseCase{R"("")", 0, {}}, FirstPhaseCase{"", 0, {}},
                                           FirstPhaseCase{R"("a","b","c")", 0, {"a", "b", "c"}},
                                           FirstPhaseCase{R"("a","b","")", 0, {"a", "b"}},
                                           FirstPhaseCase{R"("a","","c")", 0, {"a"}},
                                           FirstPhaseCase{R"("a","0","c")", 1, {"a"}},
                                           FirstPhaseCase{R"("a","0 boot","c")", 1, {"a"}},
                                           FirstPhaseCase{R"("a","0","c")", 0, {"a", "0", "c"}},
                                           // Items are taken literally: blanks, commas, no unescaping.
                                           FirstPhaseCase{R"(" a, b ","c\","d")", 0, {" a, b ", "c\\", "d"}},
                                           // Text before the first quote is passed over.
                                           FirstPhaseCase{R"(ERRLOG "a","b")", 0, {"a", "b"}},
                                           // An item without its closing quote ends the reply.
                                           FirstPhaseCase{R"("a","b)", 0, {"a"}},
                                           FirstPhaseCase{R"(")", 0, {}}));

struct NextPhaseCase {
  std::string reply;
  std::int16_t zeroEndsLog;
  std::optional<std::string> item;
};

class NextPhase : public ::testing::TestWithParam<NextPhaseCase> {};

TEST_P(NextPhase, TakesTheFirstItemOrEnds) {
  EXPECT_EQ(skeld::NextLogItem(GetParam().reply, GetParam().zeroEndsLog), GetParam().item);
}

INSTANTIATE_TEST_SUITE_P(Replies, NextPhase,
                         ::testing::Values(NextPhaseCase{R"("x 1, y")", 0, "x 1, y"},
                                           NextPhaseCase{R"("a","b")", 0, "a"}, NextPhaseCase{R"("")", 0, {}},
                                           NextPhaseCase{R"("0")", 1, {}}, NextPhaseCase{R"("0")", 0, "0"},
                                           NextPhaseCase{R"(junk"x"more)", 0, "x"},
                                           // The empty reply after a GPIB error, no quote, no closing quote.
                                           NextPhaseCase{"", 0, {}}, NextPhaseCase{"abc", 0, {}},
                                           NextPhaseCase{R"("abc)", 0, {}}));

TEST(CountLine, SaysHowManyErrorsWereFound) {
  EXPECT_EQ(skeld::CountLine(0), QStringLiteral(" No logged errors found."));
  EXPECT_EQ(skeld::CountLine(1), QStringLiteral(" 1 logged error found."));
  EXPECT_EQ(skeld::CountLine(2), QStringLiteral(" 2 logged errors found."));
  EXPECT_EQ(skeld::CountLine(12), QStringLiteral(" 12 logged errors found."));
}

TEST(VersionText, DropsOneTrailingZero) {
  EXPECT_EQ(skeld::MakeVersionText(1, 3, 0), QStringLiteral("1.3"));
  EXPECT_EQ(skeld::MakeVersionText(1, 3, 5), QStringLiteral("1.35"));
  EXPECT_EQ(skeld::MakeVersionText(1, 3, 10), QStringLiteral("1.31"));
  EXPECT_EQ(skeld::MakeVersionText(2, 0, 0), QStringLiteral("2.0"));
}

} // namespace
