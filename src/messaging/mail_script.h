#pragma once
// One station message as one e-mail: a small /bin/sh script (base name +
// ".sh" in the station directory) that pipes the message into the local mail
// system, run detached with a 60 s limit. The texts go into a quoted
// here-document, so nothing in a message is expanded or run.
//
// Codes: 19 the script was written and started, 20 it could not be started,
// 18 writing the script failed.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/worker.h"

constexpr int kCodeScriptWriteError = 18, kCodeScriptRun = 19, kCodeScriptRunError = 20;
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

// Starts the script and returns without waiting; false (with `error`) when
// it could not be started.
using ScriptRunner = std::function<bool(const std::string& scriptPath, std::string& error)>;
// The command line of a detached run: timeout, the limit, /bin/sh reading
// the script from its standard input.
std::vector<std::string> DetachedScriptArgs(int limitSeconds);
// Runs the script in its own session, detached from the station, killed
// after `limitSeconds`. The script is open before this returns, so a script
// written over it afterwards does not change this run.
ScriptRunner DetachedScriptRunner(int limitSeconds = kMailTimeLimitSeconds);

// Writes the script (through a temporary file and a rename, so a script
// still being read by an earlier run is not changed under it) and runs it.
int RunMailScriptJob(const MailScriptJob& job, const ScriptRunner& runner);
// Counts the job, runs it on its own thread one step below normal priority
// and returns that thread's id (0 when it could not be started).
uint64_t StartMailScriptThread(WorkerHost& host, MailScriptJob job, ScriptRunner runner);
