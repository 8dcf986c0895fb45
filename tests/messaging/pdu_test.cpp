#include "messaging/pdu.h"

#include <gtest/gtest.h>

#include <random>

#include "serial/sim_gsm.h"

namespace {

struct AddressCase {
  const char* legend;
  const char* number;
  const char* destination;
  const char* smsCentre;
};

class AddressEncoding : public ::testing::TestWithParam<AddressCase> {};

TEST_P(AddressEncoding, DestinationAndSMSCentreFields) {
  const AddressCase& c = GetParam();
  EXPECT_EQ(EncodeDestinationAddress(c.number), c.destination);
  EXPECT_EQ(EncodeSMSCField(c.number), c.smsCentre);
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, AddressEncoding,
    ::testing::Values(
        AddressCase{"international_even", "+420123456789", "0C91241032547698", "0791241032547698"},
        AddressCase{"international_odd", "+42012345678", "0B912410325476F8", "07912410325476F8"},
        AddressCase{"national_even", "0603052000", "0A816030500200", "07816030500200"},
        AddressCase{"national_odd_length_counts_digits", "12345", "05812143F5", "07812143F5"},
        AddressCase{"empty", "", "00", "00"}),
    [](const auto& info) { return std::string(info.param.legend); });

struct UserDataCase {
  const char* legend;
  std::string text;
  std::string userData;
};

class UserDataPacking : public ::testing::TestWithParam<UserDataCase> {};

TEST_P(UserDataPacking, PacksSeptets) { EXPECT_EQ(EncodeUserData(GetParam().text), GetParam().userData); }

INSTANTIATE_TEST_SUITE_P(
    Texts, UserDataPacking,
    ::testing::Values(UserDataCase{"abc", "abc", "0361F118"},
                      UserDataCase{"hellohello", "hellohello", "0AE8329BFD4697D9EC37"},
                      // The eighth septet is absorbed whole by the seven octets before it.
                      UserDataCase{"eight_septets_fill_seven_octets", "12345678", "0831D98C56B3DD70"},
                      UserDataCase{"empty", "", "00"},
                      // Codes above 127 are sent modulo 128: 0xE1 goes as "a".
                      UserDataCase{"high_bit_dropped", "\xE1", "0161"}),
    [](const auto& info) { return std::string(info.param.legend); });

TEST(UserData, A160CharacterTextHasLengthA0And140Octets) {
  const std::string ud = EncodeUserData(std::string(160, 'x'));
  EXPECT_EQ(ud.substr(0, 2), "A0");
  EXPECT_EQ(ud.size(), 2u + 140u * 2u);
}

TEST(SubmitPdu, WholeTpduAroundTheAddressAndUserData) {
  EXPECT_EQ(BuildSubmitTPDU("+420123456789", "abc"), "11000C912410325476980000AA0361F118");
  EXPECT_EQ(BuildSubmitTPDU("12345", "abc", true), "310005812143F50000AA0361F118");
}

// Whatever is packed reads back the same, number and text, for every length
// around the octet boundaries.
TEST(SubmitPdu, DecodesBackToNumberAndText) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> ch(32, 126), digit(0, 9);
  for (std::size_t len = 0; len <= 161; ++len) {
    std::string text, number = (len % 2) ? "+" : "";
    for (std::size_t i = 0; i < len; ++i) text += static_cast<char>(ch(rng));
    for (std::size_t i = 0; i < 5 + len % 8; ++i) number += static_cast<char>('0' + digit(rng));
    const auto d = DecodeSubmitTPDU(BuildSubmitTPDU(number, text));
    ASSERT_TRUE(d.has_value()) << len;
    EXPECT_EQ(d->Number, number);
    EXPECT_EQ(d->Text, text);
  }
}

TEST(SubmitPdu, TruncatedOrNonHexDoesNotDecode) {
  const std::string good = BuildSubmitTPDU("+420123456789", "hellohello");
  EXPECT_FALSE(DecodeSubmitTPDU(good.substr(0, good.size() - 2)));
  EXPECT_FALSE(DecodeSubmitTPDU(good.substr(0, good.size() - 1)));
  EXPECT_FALSE(DecodeSubmitTPDU("11000C91ZZ"));
}

struct AnswerCase {
  const char* legend;
  std::string answer;
  bool complete;
  int signal;  // for answers that contain "OK"
};

class ATAnswers : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(ATAnswers, CompletionAndSignal) {
  const AnswerCase& c = GetParam();
  EXPECT_EQ(ATAnswerComplete(c.answer), c.complete);
  EXPECT_EQ(SignalValueFromCSQ(c.answer), c.signal);
}

INSTANTIATE_TEST_SUITE_P(
    Transcripts, ATAnswers,
    ::testing::Values(
        AnswerCase{"csq_full", "\r\n+CSQ: 31,0\r\n\r\nOK\r\n", true, -100},
        AnswerCase{"csq_half", "\r\n+CSQ: 15,99\r\n\r\nOK\r\n", true, -48},
        AnswerCase{"csq_not_known_99", "\r\n+CSQ: 99,99\r\n\r\nOK\r\n", true, -319},
        AnswerCase{"csq_blank_before_comma", "+CSQ: 20 ,99\r\nOK", true, -65},
        AnswerCase{"csq_zero", "+CSQ: 0,0\r\nOK", true, 0},
        AnswerCase{"csq_garbled_number", "+CSQ: x1,0\r\nOK", true, 0},
        AnswerCase{"csq_without_comma", "+CSQ: 12\r\nOK", true, 0},
        AnswerCase{"ok_without_csq", "\r\nOK\r\n", true, 0},
        AnswerCase{"lower_case_ok_completes", "ok", true, 0},
        AnswerCase{"error", "\r\nERROR\r\n", true, 0},
        AnswerCase{"cme_error", "\r\n+CME ERROR: 10\r\n", true, 0},
        AnswerCase{"prompt", "\r\n> ", true, 0},
        AnswerCase{"partial_line", "\r\n+CSQ: 1", false, 0},
        AnswerCase{"silence", "", false, 0}),
    [](const auto& info) { return std::string(info.param.legend); });

}  // namespace
