#include "messaging/dispatch.h"

#include "common/gsm7.h"
#include "common/worker.h"

std::string ProgramNameFromScript(const std::string& scriptFile) {
  std::string name = scriptFile;
  const std::size_t slash = name.find_last_of('/');
  if (slash != std::string::npos) name.erase(0, slash + 1);
  if (name.size() > 3 && name.compare(name.size() - 3, 3, ".sh") == 0) name.resize(name.size() - 3);
  return name;
}

MessagePlan PlanMessage(const TProgParam& params, bool senderIsMainWindow, const std::string& text) {
  return PlanMessage(params, senderIsMainWindow, text, ProgramNameFromScript(params.ScriptFile));
}

MessagePlan PlanMessage(const TProgParam& P, bool senderIsMainWindow, const std::string& text,
                        const std::string& programName) {
  MessagePlan plan;
  plan.Message = P.IDStation + " " + text;
  const std::string& M = plan.Message;
  if (P.SendEmail) {
    plan.Actions.push_back({MessageChannel::Email, "", M,
                            "Msg: Script file generated: " + P.ScriptFile + ". " + P.EmailAddr +
                                ": (" + programName + "@" + P.IDStation + ") " +
                                M.substr(0, kEmailLogChars)});
    return plan;
  }
  if (!P.SendSMS) return plan;
  auto sms = [&plan](const std::string& number, const std::string& t) {
    plan.Actions.push_back(
        {MessageChannel::SMS, number, t, "GSM: Trying to send SMS: " + number + ": \"" + t + "\""});
  };
  if (!P.GSM.EmailOnly) {
    const std::size_t count = (senderIsMainWindow || !P.GSM.QuarryMode) ? 3 : 1;
    for (std::size_t i = 0; i < count && i < P.GSM.TelNum.size(); ++i) {
      if (P.GSM.TelNum[i].empty()) break;
      sms(P.GSM.TelNum[i], M);
    }
  }
  if (P.GSM.EmailGateOn)
    sms(P.GSM.EmailGate,
        CutToSeptets(P.GSM.EmailIndicator + P.GSM.EmailGateAddr + " " + M, kGatewaySMSChars));
  return plan;
}

std::vector<uint64_t> MessageDispatcher::SendMessage(const TProgParam& params,
                                                     bool senderIsMainWindow,
                                                     const std::string& text) {
  std::vector<uint64_t> ids;
  for (const MessageAction& a : PlanMessage(params, senderIsMainWindow, text).Actions) {
    uint64_t id = 0;
    if (a.Channel == MessageChannel::Email) {
      if (m_mail) id = m_mail(a.Text);
    } else if (m_sms) {
      id = m_sms(a.Number, a.Text);
    }
    m_host.Log(a.LogLine + " (" + std::to_string(id) + ")");
    ids.push_back(id);
  }
  return ids;
}

MessageDispatcher::MailStarter MakeMailStarter(WorkerHost& host, const TProgParam& params,
                                               std::string programName, std::string computerName,
                                               std::string mailCommand, ScriptRunner runner) {
  return [&host, &params, programName = std::move(programName),
          computerName = std::move(computerName), mailCommand = std::move(mailCommand),
          runner = std::move(runner)](const std::string& message) {
    MailScriptJob job;
    job.ScriptFile = params.ScriptFile;
    job.ProgramName = programName;
    job.ComputerName = computerName;
    job.EmailAddr = params.EmailAddr;
    job.IDStation = params.IDStation;
    job.Message = message;
    job.MailCommand = mailCommand;
    return StartMailScriptThread(host, std::move(job), runner);
  };
}

MessageDispatcher::SMSStarter MakeSMSStarter(WorkerHost& host, const TProgParam& params,
                                             GsmLink link) {
  return [&host, &params, link = std::move(link)](const std::string& number,
                                                  const std::string& text) {
    return StartSendSMSthread(host, link, params.GSM.SMScentrum, number, text, params.GSM.M1mode);
  };
}
