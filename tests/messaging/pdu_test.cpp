#include "messaging/pdu.h"

#include <gtest/gtest.h>

#include <random>

#include "serial/sim_gsm.h"

namespace {

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

std::string Hex(const Septets& s) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (uint8_t v : s) out += {kDigits[v >> 4], kDigits[v & 0xF]};
  return out;
}

// The SMS-centre length octet counts the type octet and the digit octets.
TEST(AddressEncoding, DestinationAndSMSCentreFields) {
  const struct { const char *number, *destination, *smsCentre; } rows[] = {
      {"603052000", "098106032500F0", "068106032500F0"},
      {"0603052000", "0A816030500200", "06816030500200"},
      {"+42060305200", "0B912460305002F0", "07912460305002F0"},
      {"+420603052000", "0C91246030500200", "0791246030500200"},
      {"+4206030520001", "0D91246030500200F1", "0891246030500200F1"},
      {"", "00", "00"}};
  for (const auto& r : rows) {
    EXPECT_EQ(EncodeDestinationAddress(r.number), r.destination) << r.number;
    EXPECT_EQ(EncodeSMSCField(r.number), r.smsCentre) << r.number;
  }
}

struct AlphabetCase {
  const char* legend;
  std::string text;      // Latin-1
  std::string septets;   // hexadecimal
  std::string userData;  // length in septets, then the packed septets
  std::string readBack = {};  // what a phone shows, when not the text itself
};

class Alphabet : public ::testing::TestWithParam<AlphabetCase> {};

TEST_P(Alphabet, Latin1TextInTheGsmAlphabet) {
  const AlphabetCase& c = GetParam();
  EXPECT_EQ(Hex(Latin1ToGsm7(c.text)), c.septets);
  EXPECT_EQ(Gsm7Length(c.text) * 2, c.septets.size());
  EXPECT_EQ(EncodeUserData(c.text), c.userData);
  EXPECT_EQ(Gsm7ToLatin1(Latin1ToGsm7(c.text)), c.readBack.empty() ? c.text : c.readBack);
}

INSTANTIATE_TEST_SUITE_P(Texts, Alphabet, ::testing::Values(
    AlphabetCase{"plain", "abc", "616263", "0361F118"},
    AlphabetCase{"eight_septets_fill_seven_octets", "12345678", "3132333435363738", "0831D98C56B3DD70"},
    // The extension table costs two septets each; the euro sign is not Latin-1.
    AlphabetCase{"specials_and_extension_table", "_$@[]{}~^|\\\x80", "1102001B3C1B3E1B281B291B3D1B141B401B2F3F",
                 "14110160C3DBF836A84D6AD3DB5036C0CDEB07", "_$@[]{}~^|\\?"},
    AlphabetCase{"latin1_letters",
                 "\xC4\xD6\xD1\xDC\xE4\xF6\xF1\xFC\xE0\xE8\xE9\xF9\xEC\xF2\xC7\xD8\xF8\xC5\xE5"
                 "\xC6\xE6\xDF\xC9\xA7\xA1\xBF\xA3\xA5\xA4",
                 "5B5C5D5E7B7C7D7E7F0405060708090B0C0E0F1C1D1E1F5F4060010324",
                 "1D5B6ED7BBE7F7FD7F42C1704024160CC783D3F17CBE4070604002"},
    AlphabetCase{"letters_outside_the_alphabet", "\xE1\xE7\xFF", "3F3F3F", "03BFDF0F", "???"},
    AlphabetCase{"station_name", "ST_1 @ ok", "535411312000206F6B", "09536A24060280DE6B"},
    AlphabetCase{"empty", "", "", "00"}),
    [](const auto& info) { return std::string(info.param.legend); });

struct LongTextCase {
  const char* legend;
  std::size_t length;  // of "12345678" repeated
  std::vector<std::string> userData;
};

class LongTexts : public ::testing::TestWithParam<LongTextCase> {};

// Byte for byte: one SMS up to 160 septets, above that parts of 153 septets
// behind a 6-octet header (8-bit reference 2A, count, sequence) and a fill bit.
TEST_P(LongTexts, OneSmsOrConcatenatedParts) {
  const LongTextCase& c = GetParam();
  const std::string text = Repeat("12345678", 40).substr(0, c.length);
  const std::vector<std::string> tpdus = BuildSubmitTPDUs("+420123456789", text, 0x2A);
  ASSERT_EQ(tpdus.size(), c.userData.size());
  const std::string first = c.userData.size() > 1 ? "51" : "11";
  std::string readBack;
  for (std::size_t k = 0; k < tpdus.size(); ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(tpdus[k], first + "000C912410325476980000AA" + c.userData[k]);
    const auto d = DecodeSubmitTPDU(tpdus[k]);
    ASSERT_TRUE(d.has_value());
    EXPECT_EQ(d->Part, static_cast<int>(k + 1));
    readBack += d->Text;
  }
  EXPECT_EQ(readBack, text);
}

INSTANTIATE_TEST_SUITE_P(Lengths, LongTexts, ::testing::Values(
    LongTextCase{"s160_one_sms", 160, {"A0" + Repeat("31D98C56B3DD70", 20)}},
    LongTextCase{"s161_two_parts", 161,
                 {"A00500032A0201" + Repeat("62B219AD66BBE1", 19) + "62", "0F0500032A020264335ACD76C3C500"}},
    LongTextCase{"s300_two_parts", 300,
                 {"A00500032A0201" + Repeat("62B219AD66BBE1", 19) + "62",
                  "9A0500032A0202" + Repeat("64335ACD76C3C5", 18) + "64331A"}}),
    [](const auto& info) { return std::string(info.param.legend); });

TEST(LongTexts, AtMostFourPartsTheRestCutAndAnEscapePairKeptInOnePart) {
  const std::vector<std::string> tpdus = BuildSubmitTPDUs("+420123", std::string(1000, 'x'), 7);
  ASSERT_EQ(tpdus.size(), kMaxSmsParts);
  std::string readBack;
  for (const std::string& t : tpdus) readBack += DecodeSubmitTPDU(t)->Text;
  EXPECT_EQ(readBack, std::string(4 * kPartSeptets, 'x'));
  // "[" is two septets: placed so that its escape would be septet 153.
  const std::string text = std::string(152, 'a') + "[" + std::string(20, 'b');
  const std::vector<Septets> parts = SplitIntoParts(Latin1ToGsm7(text));
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[0].size(), 152u);
  EXPECT_EQ(parts[1].front(), kGsmEscape);
}

// Whatever is packed reads back the same, number and text, for every length
// around the octet boundaries, with characters of both tables.
TEST(SubmitPdu, DecodesBackToNumberAndText) {
  std::mt19937 rng(7);
  const std::string chars = "abcXYZ019 _@$[]{}~^|\\\xE4\xDF\xE9";
  std::uniform_int_distribution<std::size_t> ch(0, chars.size() - 1);
  std::uniform_int_distribution<int> digit(0, 9);
  for (std::size_t len = 0; len <= 170; ++len) {
    std::string text, number = (len % 2) ? "+" : "";
    for (std::size_t i = 0; i < len; ++i) text += chars[ch(rng)];
    for (std::size_t i = 0; i < 5 + len % 8; ++i) number += static_cast<char>('0' + digit(rng));
    std::string readBack;
    for (const std::string& tpdu : BuildSubmitTPDUs(number, text, 1)) {
      const auto d = DecodeSubmitTPDU(tpdu);
      ASSERT_TRUE(d.has_value()) << len;
      EXPECT_EQ(d->Number, number);
      readBack += d->Text;
    }
    EXPECT_EQ(readBack, text) << len;
  }
}

TEST(ATAnswers, CompletionAndSignal) {
  const struct { std::string answer; bool complete; int signal; } rows[] = {
      {"\r\n+CSQ: 31,0\r\n\r\nOK\r\n", true, -100},
      {"\r\n+CSQ: 15,99\r\n\r\nOK\r\n", true, -48},
      // 99 is "not known": shown as N/A, not as 319 %.
      {"\r\n+CSQ: 99,99\r\n\r\nOK\r\n", true, 0},
      {"+CSQ: 20 ,99\r\nOK", true, -65},
      {"+CSQ: x1,0\r\nOK", true, 0},
      {"+CSQ: 12\r\nOK", true, 0},
      {"ok", true, 0},
      {"\r\n+CME ERROR: 10\r\n", true, 0},
      {"\r\n> ", true, 0},
      {"\r\n+CSQ: 1", false, 0},
      {"", false, 0}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.answer);
    EXPECT_EQ(ATAnswerComplete(r.answer), r.complete);
    EXPECT_EQ(SignalValueFromCSQ(r.answer), r.signal);
  }
}

TEST(SubmitAnswers, DecidedByCmgsOrAnError) {
  const std::pair<std::string, SubmitAnswer> rows[] = {
      {"\r\n+CMGS: 4\r\n\r\nOK\r\n", SubmitAnswer::Sent},
      {"\r\n+CMGS: 4\r\n", SubmitAnswer::Pending},
      {"\r\nOK\r\n", SubmitAnswer::Pending},  // an OK left over from an earlier command
      {"\r\n+CMS ERROR: 42\r\n", SubmitAnswer::Refused},
      {"\r\nOK\r\n\r\n+CMS ERROR: 42\r\n", SubmitAnswer::Refused},
      {"\r\nERROR\r\n", SubmitAnswer::Refused},
      {"", SubmitAnswer::Pending}};
  for (const auto& [answer, decision] : rows) EXPECT_EQ(SubmitAnswerOf(answer), decision) << answer;
}

}  // namespace
