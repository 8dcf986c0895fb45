#include "messaging/mail_script.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "messaging/gsm_jobs.h"

namespace {

// A header value on one line: a CR or LF in it would start a header of its own.
std::string HeaderValue(std::string s) {
  for (char& c : s)
    if (c == '\r' || c == '\n') c = ' ';
  return s;
}

bool HasLine(const std::string& text, const std::string& line) {
  std::size_t pos = 0;
  while (pos <= text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string l = text.substr(pos, end - pos);
    if (!l.empty() && l.back() == '\r') l.pop_back();
    if (l == line) return true;
    pos = end + 1;
  }
  return false;
}

}  // namespace

std::string LowerCaseAZ(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string HereDocDelimiter(const std::string& text) {
  std::string delimiter = "VELKOR_MAIL_END";
  for (int n = 1; HasLine(text, delimiter); ++n) delimiter = "VELKOR_MAIL_END_" + std::to_string(n);
  return delimiter;
}

std::string MailScriptText(const MailScriptJob& job) {
  std::string mail;
  mail += "From: " + HeaderValue(LowerCaseAZ(job.ProgramName) + "@" + LowerCaseAZ(job.ComputerName)) + "\n";
  mail += "To: " + HeaderValue(job.EmailAddr) + "\n";
  mail += "Subject: " + EncodedHeaderWord(HeaderValue(job.IDStation)) + "\n";
  mail += "MIME-Version: 1.0\n";
  mail += "Content-Type: text/plain; charset=ISO-8859-1\n";
  mail += "Content-Transfer-Encoding: 8bit\n";
  mail += "\n";
  mail += job.Message + "\n";
  const std::string delimiter = HereDocDelimiter(mail);
  std::string script = "#!/bin/sh\n";
  // Braced, so a command made of several (a && b) still reads the mail.
  script += "{\n" + job.MailCommand + "\n} <<'" + delimiter + "'\n";
  script += mail;
  script += delimiter + "\n";
  return script;
}

std::vector<std::string> MailScriptArgs(int limitSeconds) {
  return {"timeout", std::to_string(limitSeconds), "/bin/sh", "-s"};
}

ScriptRunner MailScriptRunner(int limitSeconds) {
  return [limitSeconds](const std::string& scriptPath, std::string& error) -> int {
    const std::vector<std::string> args = MailScriptArgs(limitSeconds);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const int script = open(scriptPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (script < 0) {
      error = scriptPath + ": " + std::strerror(errno);
      return -1;
    }
    // The child reports a failed exec through this pipe; a clean EOF means it runs.
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
      error = std::strerror(errno);
      close(script);
      return -1;
    }
    const pid_t child = fork();
    if (child < 0) {
      error = std::strerror(errno);
      close(script);
      close(report[0]);
      close(report[1]);
      return -1;
    }
    if (child == 0) {
      // Only async-signal-safe calls between fork and exec.
      setsid();
      dup2(script, 0);
      const int devnull = open("/dev/null", O_RDWR);
      if (devnull >= 0) {
        dup2(devnull, 1);
        dup2(devnull, 2);
      }
      execvp(argv[0], argv.data());
      const int e = errno;
      (void)!write(report[1], &e, sizeof e);
      _exit(127);
    }
    close(script);
    close(report[1]);
    int execErrno = 0;
    ssize_t n;
    while ((n = read(report[0], &execErrno, sizeof execErrno)) < 0 && errno == EINTR) {
    }
    close(report[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (n > 0) {
      error = std::string(argv[0]) + ": " + std::strerror(execErrno);
      return -1;
    }
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
}

std::string CheckMailCommand(const std::string& mailCommand) {
  const std::size_t start = mailCommand.find_first_not_of(" \t");
  if (start == std::string::npos) return "Err: No mail command.";
  const std::string program = mailCommand.substr(start, mailCommand.find_first_of(" \t", start) - start);
  auto runnable = [](const std::string& path) { return access(path.c_str(), X_OK) == 0; };
  bool found = false;
  if (program.find('/') != std::string::npos) {
    found = runnable(program);
  } else if (const char* path = std::getenv("PATH")) {
    const std::string dirs = path;
    for (std::size_t pos = 0; pos <= dirs.size() && !found;) {
      std::size_t end = dirs.find(':', pos);
      if (end == std::string::npos) end = dirs.size();
      found = runnable((end > pos ? dirs.substr(pos, end - pos) : std::string(".")) + "/" + program);
      pos = end + 1;
    }
  }
  return found ? std::string() : "Err: Mail command not found: " + program + ". No e-mail can be sent.";
}

std::string EncodedHeaderWord(const std::string& value) {
  bool plain = true;
  for (unsigned char c : value)
    if (c >= 0x7F || (c < 0x20 && c != '\t')) plain = false;
  if (plain) return value;
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "=?ISO-8859-1?Q?";
  for (unsigned char c : value) {
    if (c == ' ')
      out += '_';
    else if (std::isalnum(c) && c < 0x80)
      out += static_cast<char>(c);
    else {
      out += '=';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    }
  }
  return out + "?=";
}

int RunMailScriptJob(const MailScriptJob& job, const ScriptRunner& runner,
                     const std::function<void(const std::string&)>& log) {
  namespace fs = std::filesystem;
  const std::string text = MailScriptText(job);
  const std::string temp = job.ScriptFile + ".tmp" + std::to_string(CurrentThreadId());
  try {
    {
      std::ofstream out(temp, std::ios::binary | std::ios::trunc);
      if (!out) return kCodeScriptWriteError;
      out.write(text.data(), static_cast<std::streamsize>(text.size()));
      out.close();
      if (!out) {
        std::error_code ec;
        fs::remove(temp, ec);
        return kCodeScriptWriteError;
      }
    }
    std::error_code ec;
    fs::rename(temp, job.ScriptFile, ec);
    if (ec) {
      fs::remove(temp, ec);
      return kCodeScriptWriteError;
    }
  } catch (...) {
    return kCodeScriptWriteError;
  }
  if (!runner) return kCodeScriptRunError;
  std::string error;
  const int status = runner(job.ScriptFile, error);
  if (status == 0) return kCodeScriptRun;
  if (log)
    log(status < 0 ? "Err: Mail script not run: " + error + "."
                   : "Err: Mail command failed, exit status " + std::to_string(status) + ".");
  return kCodeScriptRunError;
}

uint64_t StartMailScriptThread(WorkerHost& host, MailScriptJob job, ScriptRunner runner) {
  return StartWorkerWithId(host, [&host, job = std::move(job), runner = std::move(runner)] {
    return RunMailScriptJob(job, runner, [&host](const std::string& line) { host.Log(line); });
  });
}
