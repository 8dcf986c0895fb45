#pragma once
// SMS-SUBMIT in PDU mode and the modem's AT answers: pure functions.
//
// A PDU here is upper-case hexadecimal text, two digits per octet. Texts are
// 8-bit (Latin-1) and go out in the GSM 7-bit default alphabet; lengths are
// counted in septets. A text over 160 septets goes as a concatenated SMS of
// up to 4 parts (user-data header with an 8-bit reference) and is cut beyond.
#include <cstdint>
#include <string>
#include <vector>

#include "common/gsm7.h"

constexpr std::size_t kSingleSmsSeptets = 160;
constexpr std::size_t kPartSeptets = 153;  // 160 less the 7 septets of the header
constexpr std::size_t kMaxSmsParts = 4;

// Number in semi-octets: a leading "+" selects type 91 (international),
// otherwise 81; an odd digit count is padded with "F".
std::string EncodeSemiOctets(const std::string& digits);
// Digit count octet, type, semi-octets; "00" for an empty number.
std::string EncodeDestinationAddress(const std::string& number);
// Length octet (type and digit octets: 1 + ceil(digits / 2)), type,
// semi-octets; "00" for an empty number.
std::string EncodeSMSCField(const std::string& number);
// User-data length in septets, then the optional header octets, fill bits
// up to a septet boundary, and the septets packed.
std::string PackUserData(const Septets& septets, const std::vector<uint8_t>& header = {});
// A text that fits one SMS, as user data.
std::string EncodeUserData(const std::string& text);
// The septets of each part: one part up to 160 septets, else parts of 153
// that never split an escape pair, at most 4, the rest cut.
std::vector<Septets> SplitIntoParts(const Septets& septets);
// "11" (or "31" with a status report; "51"/"71" with a header) "00",
// destination, "0000AA", user data: one TPDU per part; `reference` ties
// the parts of one message together.
std::vector<std::string> BuildSubmitTPDUs(const std::string& number, const std::string& text,
                                          uint8_t reference, bool statusReport = false);
// The TPDU of a text that fits one SMS.
std::string BuildSubmitTPDU(const std::string& number, const std::string& text,
                            bool statusReport = false);

// The answer is complete once its upper-cased form holds "OK", "ERROR" or ">".
bool ATAnswerComplete(const std::string& answer);
// After the PDU: decided by "+CMGS:" (and the OK after it) or by an error;
// a bare "OK" decides nothing.
enum class SubmitAnswer { Pending, Sent, Refused };
SubmitAnswer SubmitAnswerOf(const std::string& answer);
// "+CREG: n,1" (home) or "+CREG: n,5" (roaming).
bool RegisteredInCREG(const std::string& answer);
// The signal job's value for an answer that contains "OK": minus the signal
// in percent of 31 (+CSQ: 15,99 gives -48); 0 when the number cannot be
// read or is 99, the modem's "not known".
int SignalValueFromCSQ(const std::string& answer);
