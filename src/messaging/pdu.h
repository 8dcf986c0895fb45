#pragma once
// SMS-SUBMIT in PDU mode and the modem's AT answers: pure functions.
//
// A PDU here is upper-case hexadecimal text, two digits per octet. Texts are
// 8-bit; each character's code modulo 128 is sent as its septet, with no
// translation to the GSM default alphabet (so "@" cannot be sent).
#include <cstdint>
#include <string>

// Number in semi-octets: a leading "+" selects type 91 (international),
// otherwise 81; an odd digit count is padded with "F".
std::string EncodeSemiOctets(const std::string& digits);
// Digit count octet, type, semi-octets; "00" for an empty number.
std::string EncodeDestinationAddress(const std::string& number);
// "07", type, semi-octets; "00" for an empty number.
std::string EncodeSMSCField(const std::string& number);
// Character count octet, then the text packed as 7-bit septets.
std::string EncodeUserData(const std::string& text);
// "11" (or "31" with a status report) "00", destination, "0000AA", user data.
std::string BuildSubmitTPDU(const std::string& number, const std::string& text,
                            bool statusReport = false);

// The answer is complete once its upper-cased form holds "OK", "ERROR" or ">".
bool ATAnswerComplete(const std::string& answer);
// The signal job's value for an answer that contains "OK": minus the signal
// in percent of 31 (+CSQ: 15,99 gives -48); 0 when the number cannot be read.
int SignalValueFromCSQ(const std::string& answer);
