#pragma once
// One station message as one e-mail: a small /bin/sh script (base name +
// ".sh" in the station directory) that pipes the message into the local mail
// system, run with a 60 s limit. The texts go into a quoted here-document,
// so nothing in a message is expanded or run. The mail is 8-bit text in
// ISO-8859-1, as the station's texts are.
//
// Codes: 19 the mail command took the mail, 20 it failed or could not be
// run (its exit status is logged), 18 writing the script failed.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/thread_codes.h"
#include "common/worker.h"

constexpr int kMailTimeLimitSeconds = 60;
constexpr char kSendmailCommand[] = "/usr/sbin/sendmail -t -oi";

struct MailScriptJob {
  std::string ScriptFile;    // written anew for every message
  std::string ProgramName;   // the executable's name: the sender's local part
  std::string ComputerName;  // the sender's domain
  std::string EmailAddr;     // receiver
  std::string IDStation;     // subject
  std::string Message;       // body, already prefixed with the station identifier
  // Shell commands that read the whole mail (headers, blank line, body)
  // from their standard input.
  std::string MailCommand = kSendmailCommand;
};

// Letters A to Z in lower case; every other byte as it stands.
std::string LowerCaseAZ(std::string s);
// A here-document delimiter that no line of `text` equals.
std::string HereDocDelimiter(const std::string& text);
// The whole script, lines ended by LF.
std::string MailScriptText(const MailScriptJob& job);

// Runs the script and returns its exit status (the mail command's), or -1
// with `error` when it could not be run at all.
using ScriptRunner = std::function<int(const std::string& scriptPath, std::string& error)>;
// The command line of a run: timeout, the limit, /bin/sh reading the script
// from its standard input.
std::vector<std::string> MailScriptArgs(int limitSeconds);
// Runs the script in a session of its own, killed after `limitSeconds`, and
// waits for it. The script is open before the run starts, so a script
// written over it meanwhile does not change this run.
ScriptRunner MailScriptRunner(int limitSeconds = kMailTimeLimitSeconds);

// "" when the mail command's program can be run, else the "Err:" line that
// says it is missing.
std::string CheckMailCommand(const std::string& mailCommand);
// RFC 2047 form of a header value that is not plain ASCII (ISO-8859-1, Q).
std::string EncodedHeaderWord(const std::string& value);

// Writes the script (through a temporary file and a rename, so a script
// still being read by an earlier run is not changed under it) and runs it.
// A failed run logs the exit status through `log`.
int RunMailScriptJob(const MailScriptJob& job, const ScriptRunner& runner,
                     const std::function<void(const std::string&)>& log = {});
// Counts the job, runs it on its own thread one step below normal priority
// and returns that thread's id (0 when it could not be started).
uint64_t StartMailScriptThread(WorkerHost& host, MailScriptJob job, ScriptRunner runner);
