#pragma once
// Station messages (start, daily, trigger, alarm, test): the station
// identifier is prefixed and the text goes either to one e-mail or to the
// SMS receivers and the e-mail-by-SMS gateway. PlanMessage decides; the
// dispatcher starts the jobs and logs one line per started job.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "config/progparam.h"
#include "messaging/gsm_jobs.h"
#include "messaging/mail_script.h"

class WorkerHost;

enum class MessageChannel { Email, SMS };

struct MessageAction {
  MessageChannel Channel = MessageChannel::SMS;
  std::string Number;   // SMS receiver (empty for e-mail)
  std::string Text;     // what the job sends
  std::string LogLine;  // logged after the start, followed by " (" id ")"
};

struct MessagePlan {
  std::string Message;  // IDStation + " " + text
  std::vector<MessageAction> Actions;
};

constexpr std::size_t kEmailLogChars = 100;
// The gateway copy stays one SMS: 160 septets.
constexpr std::size_t kGatewaySMSChars = 160;

// The executable's name as the station knows it: the script file's base
// name without ".sh" (both follow the executable).
std::string ProgramNameFromScript(const std::string& scriptFile);

// `senderIsMainWindow` is true for the trigger message only; with
// GSM/QuarryMode on the other messages go to the first number alone.
MessagePlan PlanMessage(const TProgParam& params, bool senderIsMainWindow, const std::string& text);
MessagePlan PlanMessage(const TProgParam& params, bool senderIsMainWindow, const std::string& text,
                        const std::string& programName);

class MessageDispatcher {
 public:
  // Each starter starts one job and returns its thread id.
  using MailStarter = std::function<uint64_t(const std::string& message)>;
  using SMSStarter = std::function<uint64_t(const std::string& number, const std::string& text)>;

  MessageDispatcher(WorkerHost& host, MailStarter mail, SMSStarter sms)
      : m_host(host), m_mail(std::move(mail)), m_sms(std::move(sms)) {}

  // Starts the jobs of the plan in order; returns their thread ids. Does not
  // wait for them: results arrive as thread-finished notifications.
  std::vector<uint64_t> SendMessage(const TProgParam& params, bool senderIsMainWindow,
                                    const std::string& text);

 private:
  WorkerHost& m_host;
  MailStarter m_mail;
  SMSStarter m_sms;
};

// The station's starters. The mail starter fills the job from the settings
// (script file, receiver, station identifier) and the computer name; the SMS
// starter sends through the modem with the SMS centre and GSM/M1mode.
// `params` must outlive the starters.
MessageDispatcher::MailStarter MakeMailStarter(WorkerHost& host, const TProgParam& params,
                                               std::string programName, std::string computerName,
                                               std::string mailCommand = kSendmailCommand,
                                               ScriptRunner runner = MailScriptRunner());
MessageDispatcher::SMSStarter MakeSMSStarter(WorkerHost& host, const TProgParam& params,
                                             GsmLink link);
