#include "messaging/mail_script.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
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
  mail += "Subject: " + HeaderValue(job.IDStation) + "\n";
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

std::vector<std::string> DetachedScriptArgs(int limitSeconds) {
  return {"timeout", std::to_string(limitSeconds), "/bin/sh", "-s"};
}

ScriptRunner DetachedScriptRunner(int limitSeconds) {
  return [limitSeconds](const std::string& scriptPath, std::string& error) {
    const std::vector<std::string> args = DetachedScriptArgs(limitSeconds);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    // Opened here, before returning: the next message may replace the file
    // at once, and the shell must still read this one.
    const int script = open(scriptPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (script < 0) {
      error = scriptPath + ": " + std::strerror(errno);
      return false;
    }
    // The grandchild reports a failed exec through this pipe; a clean EOF means it runs.
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
      error = std::strerror(errno);
      close(script);
      return false;
    }
    const pid_t child = fork();
    if (child < 0) {
      error = std::strerror(errno);
      close(script);
      close(report[0]);
      close(report[1]);
      return false;
    }
    if (child == 0) {
      // Only async-signal-safe calls between fork and exec.
      setsid();
      const pid_t grandchild = fork();
      if (grandchild != 0) _exit(grandchild < 0 ? 1 : 0);
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
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int execErrno = 0;
    ssize_t n;
    while ((n = read(report[0], &execErrno, sizeof execErrno)) < 0 && errno == EINTR) {
    }
    close(report[0]);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      error = "could not start a detached process";
      return false;
    }
    if (n > 0) {
      error = std::string(argv[0]) + ": " + std::strerror(execErrno);
      return false;
    }
    return true;
  };
}

int RunMailScriptJob(const MailScriptJob& job, const ScriptRunner& runner) {
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
  std::string error;
  return runner && runner(job.ScriptFile, error) ? kCodeScriptRun : kCodeScriptRunError;
}

uint64_t StartMailScriptThread(WorkerHost& host, MailScriptJob job, ScriptRunner runner) {
  return StartWorkerWithId(host, [job = std::move(job), runner = std::move(runner)] {
    return RunMailScriptJob(job, runner);
  });
}
